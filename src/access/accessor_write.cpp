// Writing through the accessor core: boxes merged into bricks,
// whole bricks, grid flags; the in-memory histogram kept exact; levels of
// detail rebuilt after writes and on flush.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "access/accessor_core.h"
#include "access/accessor_util.h"
#include "access/convert_box.h"
#include "access/strided_copy.h"
#include "core/aligned_buffer.h"
#include "core/sample_type.h"
#include "stats/brick_histogram.h"
#include "stats/file_histogram.h"
#include "tyq/brick_geometry.h"
#include "tyq/environment.h"

namespace Qra::Ostrel::Tyq::Private::Access {

using Err = FileAccess::Error;
namespace FA = FileAccess;

bool AccessorCore::CheckWritable(Func& func) const {
  if (!CheckOpen(func)) return false;
  if (!hist_) return func.setError(Err::ReadOnly, fileInfo_->fileName);
  return true;
}

// The driver weighs samples by a copy of the histogram, so that writers may
// go on counting while it runs; one generation runs at a time.
bool AccessorCore::GenerateLODs(int highest, int force, const int* begin, const int* end,
                                Status* status) {
  std::lock_guard<std::mutex> generating(lodLock_);
  std::vector<long long> bins;
  Lod::HistogramView view;
  {
    std::lock_guard<std::mutex> hold(histLock_);
    const HistogramData& histo = hist_->gethisto();
    bins.assign(histo.GetBins(), histo.GetBins() + histo.GetSize());
    view.binCount = histo.GetSize();
    view.min = histo.getmin();
    view.max = histo.getmax();
    view.statCount = hist_->getstats().getcnt();
  }
  view.bins = bins.data();
  if (!lodWork_) lodWork_ = std::make_unique<AlignedBuffer>();
  Lod::LodGenerator generator(*store_, lodSettings_, view, brickStrides_, lodWork_.get());
  BrickReader reader(*store_, held_);
  return generator.GenerateLODs(highest, force, begin, end, reader, status);
}

template <typename T>
ConvFcn AccessorCore::WriteConversion(bool raw) const {
  const ConvFcn entry = conversions_.write[SampleTypeOf<T>()];
  if (!raw || fileInfo_->dataType != SampleTypeOf<T>()) return entry;
  if constexpr (std::is_same_v<T, float>) {
    return nullptr;
  } else {
    return NearlyEqual(scaleLow_, fileInfo_->valueMin) &&
                   NearlyEqual(scaleHigh_, fileInfo_->valueMax)
               ? nullptr
               : entry;
  }
}

namespace {

// Where the box `ovStart` begins inside brick `index` laid out by `strides`.
int64_t OffsetInBrick(const int ovStart[3], const int index[3], const int brick[3],
                      const int strides[3]) {
  int64_t offset = 0;
  for (int d = 0; d < 3; ++d) offset += int64_t{ovStart[d] - index[d] * brick[d]} * strides[d];
  return offset;
}

}  // namespace

// A box that covers a brick in part is merged with what the brick holds. In
// the caller's type that would pass every other sample of the brick through
// the read and the write conversion, which round or clip them unless both
// are identities; such merges therefore run in the stored type.
template <typename T>
bool AccessorCore::WriteGeneralRangeT(int lod, const int start[3], const int size[3], const T* data,
                                      Func& func) {
  if (getDebugLevel() > 2) {
    std::printf("## WriteGeneralRangeT(%d, begin=(%d,%d,%d), size=(%d,%d,%d)\n", lod, start[0],
                start[1], start[2], size[0], size[1], size[2]);
  }
  if (!CheckWritable(func) || !CheckLod(lod, func)) return false;
  if (!ValidBox(size) || !data) return func.setError(Err::InvalidArgument, fileInfo_->fileName);
  const int* brick = fileInfo_->brickSize;
  int extent[3];
  LevelExtent(dataInfo_->size, lod, extent);
  if (!OverlapsExtent(start, size, extent)) {
    return func.setError(Err::InvalidArgument, fileInfo_->fileName);
  }
  const BrickRange range = CutIntoBricks(start, size, brick, extent);
  if (range.aligned) {
    const T* bricks[1] = {data};
    const int end[3] = {range.first[0] + 1, range.first[1] + 1, range.first[2] + 1};
    return WriteDataExT(lod, range.first, end, bricks, false, func);
  }
  const size_t samples = static_cast<size_t>(fileInfo_->GetNumberOfSamplesPerBrick());
  const size_t storedSize = static_cast<size_t>(store_->GetSampleSize());
  AlignedBuffer buffer;
  if (!buffer.Resize(samples * std::max(sizeof(T), storedSize))) {
    return func.setError(Err::OutOfMemory, fileInfo_->fileName);
  }
  const bool exact = !conversions_.write[SampleTypeOf<T>()];
  // Where the writer holds the bricks it stores, each is put together in a
  // buffer the holder takes over instead of copying it.
  std::shared_ptr<AlignedBuffer> lent;
  int callerStrides[3] = {size[1] * size[2], size[2], 1};
  StorageStrides(accessOrder_, size, callerStrides);
  const TileIntersect<3> clip{{extent[0], extent[1], extent[2]}, {brick[0], brick[1], brick[2]}};
  for (int i = range.first[0]; i < range.last[0]; ++i) {
    for (int j = range.first[1]; j < range.last[1]; ++j) {
      for (int k = range.first[2]; k < range.last[2]; ++k) {
        const int index[3] = {i, j, k};
        int ovStart[3], ovSize[3];
        const auto level = clip.GetEx(ovStart, ovSize, start, size, index);
        if (getDebugLevel() > 2) {
          std::printf("##  Brick (%d,%d,%d) %s\n", i, j, k, TileLevelText(level));
        }
        if (level == TileIntersect<3>::None) continue;
        const bool partial = level == TileIntersect<3>::Partial;
        const bool inStored = partial && !exact && MergesPartialBricks();
        const bool lends = HoldsLevel(lod) && (inStored || sizeof(T) == storedSize);
        if (lends && !lent) lent = held_.Lend();
        std::shared_ptr<AlignedBuffer>* adoptable = lends && lent ? &lent : nullptr;
        void* work = adoptable ? lent->data() : buffer.data();
        int64_t srcOffset = 0;
        for (int d = 0; d < 3; ++d) {
          srcOffset += (int64_t{ovStart[d]} - start[d]) * callerStrides[d];
        }
        const bool written =
            inStored ? MergeStoredT(lod, index, ovStart, ovSize, data + srcOffset, callerStrides,
                                    work, adoptable, func)
                     : WriteBoxPieceT(lod, index, ovStart, ovSize, data + srcOffset, callerStrides,
                                      partial, static_cast<T*>(work), adoptable, func);
        if (!written) return false;
      }
    }
  }
  return true;
}

// The part of the box in brick `index`, put together in the caller's type
// and storage order in `temp`; a partial brick is merged with what it holds
// read in that type (or with zeros where the format does not merge).
template <typename T>
bool AccessorCore::WriteBoxPieceT(int lod, const int index[3], const int ovStart[3],
                                  const int ovSize[3], const T* src, const int srcStrides[3],
                                  bool partial, T* temp, std::shared_ptr<AlignedBuffer>* adoptable,
                                  Func& func) {
  const size_t samples = static_cast<size_t>(fileInfo_->GetNumberOfSamplesPerBrick());
  const int next[3] = {index[0] + 1, index[1] + 1, index[2] + 1};
  if (partial && !MergesPartialBricks()) {
    std::memset(temp, 0, samples * sizeof(T));
  } else if (partial) {
    T* merge[1] = {temp};
    if (!ReadDataExT(lod, index, next, merge, false, func)) {
      if (func.tyqError() != Err::BrickNotFound) return false;
      func.setSuccess();
      std::memset(temp, 0, samples * sizeof(T));
    }
  }
  int accessBrick[3] = {brickStrides_[0], brickStrides_[1], brickStrides_[2]};
  StorageStrides(accessOrder_, fileInfo_->brickSize, accessBrick);
  CopyBox<T>(temp + OffsetInBrick(ovStart, index, fileInfo_->brickSize, accessBrick), accessBrick,
             src, srcStrides, ovSize);
  const T* bricks[1] = {temp};
  return WriteDataExT(lod, index, next, bricks, false, func, adoptable);
}

// The overlap is converted exactly as a whole brick of the caller's would
// be, sample for sample. Where the brick is absent, the rest holds the
// stored sample nearest the value 0, which is what an absent brick reads as.
template <typename T>
bool AccessorCore::MergeStoredT(int lod, const int index[3], const int ovStart[3],
                                const int ovSize[3], const T* src, const int srcStrides[3],
                                void* work, std::shared_ptr<AlignedBuffer>* adoptable, Func& func) {
  return visitSampleType(
      fileInfo_->dataType,
      [&](auto tag) {
        using U = typename decltype(tag)::type;
        U* brick = static_cast<U*>(work);
        if (!store_->GetBrick(index[0], index[1], index[2], lod, brick, func.statusP())) {
          if (func.tyqError() != Err::BrickNotFound) return false;
          func.setSuccess();
          U zero{};
          const float none = 0.0f;
          if (const ConvFcn code = conversions_.write[SampleTypeOf<float>()]) {
            code(&zero, fileInfo_->valueMin, fileInfo_->valueMax, &none, scaleLow_, scaleHigh_, 1);
          }
          std::fill_n(brick, fileInfo_->GetNumberOfSamplesPerBrick(), zero);
        }
        const ConvertCall convert{conversions_.write[SampleTypeOf<T>()], fileInfo_->valueMin,
                                  fileInfo_->valueMax, scaleLow_, scaleHigh_};
        ConvertBox(brick + OffsetInBrick(ovStart, index, fileInfo_->brickSize, brickStrides_),
                   brickStrides_, src, static_cast<int>(sizeof(T)), srcStrides, ovSize, convert);
        const U* bricks[1] = {brick};
        const int next[3] = {index[0] + 1, index[1] + 1, index[2] + 1};
        return WriteBricksT(lod, index, next, bricks, nullptr, fileInfo_->storageOrder, func,
                            adoptable);
      },
      [&] { return func.setError(Err::InternalError, fileInfo_->fileName); });
}

template <typename T>
bool AccessorCore::WriteBrickRangeT(int lod, const int start[3], const int count[3],
                                    const T* const* bricks, bool raw, Func& func) {
  if (!CheckWritable(func) || !CheckLod(lod, func)) return false;
  int end[3];
  if (!LevelRangeEnd(*store_, lod, 3, start, count, end)) {
    return func.setError(Err::InvalidArgument, fileInfo_->fileName);
  }
  return WriteDataExT(lod, start, end, bricks, raw, func);
}

template <typename T>
bool AccessorCore::WriteDataExT(int lod, const int begin[3], const int end[3],
                                const T* const* bricks, bool raw, Func& func,
                                std::shared_ptr<AlignedBuffer>* adoptable) {
  if (!bricks) return true;
  if (!CheckLod(lod, func)) return false;
  return WriteBricksT(lod, begin, end, bricks, WriteConversion<T>(raw), accessOrder_, func,
                      adoptable);
}

template <typename T>
bool AccessorCore::WriteBricksT(int lod, const int begin[3], const int end[3],
                                const T* const* bricks, ConvFcn convert, int order, Func& func,
                                std::shared_ptr<AlignedBuffer>* adoptable) {
  const bool direct = order == fileInfo_->storageOrder && !convert;
  const int* brick = fileInfo_->brickSize;
  const size_t samples = static_cast<size_t>(fileInfo_->GetNumberOfSamplesPerBrick());
  AlignedBuffer temp, tile;
  if ((!direct && !temp.Resize(samples * std::max<size_t>(sizeof(T), store_->GetSampleSize()))) ||
      !tile.Resize(static_cast<size_t>(fileInfo_->GetNumberOfSamplesPerHorzTile()))) {
    return func.setError(Err::OutOfMemory, fileInfo_->fileName);
  }
  int accessBrick[3] = {brickStrides_[0], brickStrides_[1], brickStrides_[2]};
  StorageStrides(order, brick, accessBrick);
  int extent[3];
  LevelExtent(dataInfo_->size, lod, extent);
  const int64_t nj = end[1] - begin[1], nk = end[2] - begin[2];
  for (int bi = begin[0]; bi < end[0]; ++bi) {
    for (int bj = begin[1]; bj < end[1]; ++bj) {
      if (bi < 0 || bj < 0 || int64_t{bi} * brick[0] >= extent[0] ||
          int64_t{bj} * brick[1] >= extent[1]) {
        continue;
      }
      int state = 0;
      if (!ReadRawGridFlagsTile(lod, bi, bj, &state, tile.bytes(), func)) return false;
      if (state == 1) continue;  // every trace of the column is dead
      for (int bk = begin[2]; bk < end[2]; ++bk) {
        const T* in = bricks[((bi - begin[0]) * nj + (bj - begin[1])) * nk + (bk - begin[2])];
        if (!in || bk < 0 || int64_t{bk} * brick[2] >= extent[2]) continue;
        if (state == 0) {
          if (!store_->SetGridFlagsTileAllConst(bi, bj, lod, 1, func.statusP())) return false;
          ++unflushed_;
          std::memset(tile.data(), 1, tile.size());
          state = 2;
        }
        const void* stored = in;
        if (!direct) {
          T* out = static_cast<T*>(temp.data());
          CopyBox<T>(out, brickStrides_, in, accessBrick, brick);
          if (convert) {
            convert(out, fileInfo_->valueMin, fileInfo_->valueMax, nullptr, scaleLow_, scaleHigh_,
                    static_cast<int64_t>(samples));
          }
          stored = out;
        }
        const int index[3] = {bi, bj, bk};
        if (!StoreBrick(lod, index, stored, direct, state, tile.bytes(), func,
                        direct ? adoptable : nullptr)) {
          return false;
        }
      }
    }
  }
  if (lodSettings_.autoGenerate != 0) {
    // Shifted to level 0, the range may pass the level's end by up to 2^lod
    // bricks; kept within level 0 so that it stays an int.
    int levelBegin[3], levelEnd[3];
    for (int a = 0; a < 3; ++a) {
      const int64_t count0 = store_->GetNumberOfBricks(a, 0);
      levelBegin[a] = static_cast<int>(std::min(int64_t{begin[a]} << lod, count0));
      levelEnd[a] = static_cast<int>(std::min(int64_t{end[a]} << lod, count0));
    }
    return GenerateLODs(lodSettings_.autoGenerate, Lod::kAutomatic, levelBegin, levelEnd,
                        func.statusP());
  }
  return true;
}

// The part of a brick inside the level's extent; samples outside it never
// reach the histogram.
void AccessorCore::ValidSize(int lod, const int index[3], int valid[3]) const {
  int extent[3];
  LevelExtent(dataInfo_->size, lod, extent);
  for (int d = 0; d < 3; ++d) {
    const int64_t brick = fileInfo_->brickSize[d];
    valid[d] = static_cast<int>(std::min<int64_t>(brick, extent[d] - index[d] * brick));
  }
}

// The samples a level-0 brick holds now, in `old` (`had` false when the
// store holds nothing there, which costs no read).
bool AccessorCore::ReadStoredBrick(const int index[3], AlignedBuffer& old, bool& had, Func& func) {
  had = false;
  long long position = 0;
  if (!store_->GetDataBrickPos(&position, 0, index[0], index[1], index[2], 1, 1, 1, nullptr) ||
      position == 0) {
    return true;
  }
  if (!old.Resize(static_cast<size_t>(fileInfo_->GetNumberOfBytesPerBrick()))) {
    return func.setError(Err::OutOfMemory, fileInfo_->fileName);
  }
  if (store_->GetBrick(index[0], index[1], index[2], 0, old.data(), func.statusP())) {
    had = true;
  } else if (func.tyqError() == Err::BrickNotFound) {
    func.setSuccess();
  } else {
    return false;
  }
  return true;
}

// A builder over the histogram's present range, for samples to be added to
// it later: the range only ever doubles, and adding a builder doubles the
// histogram until the two agree.
HistogramBuilder AccessorCore::EmptyHistogram() const {
  std::lock_guard<std::mutex> hold(histLock_);
  const HistogramData& h = hist_->gethisto();
  return HistogramBuilder(h.GetSize(), h.getmin(), h.getmax(), h.isfixed());
}

// A brick judged constant is stored as one value; when its samples only came
// within a few units in the last place of it, the value is what the file
// holds and what the histogram must count.
bool AccessorCore::CountConstant(const void* value, const int valid[3], const unsigned char* flags,
                                 HistogramBuilder& counted) const {
  const size_t size = static_cast<size_t>(store_->GetSampleSize());
  const size_t samples = static_cast<size_t>(fileInfo_->GetNumberOfSamplesPerBrick());
  AlignedBuffer filled;
  if (!filled.Resize(samples * size)) return false;
  for (size_t n = 0; n < samples; ++n) std::memcpy(filled.bytes() + n * size, value, size);
  counted = EmptyHistogram();
  return AddBrickSamples(fileInfo_->dataType, &counted, filled.data(), valid, brickStrides_, flags,
                         flagStrides_, true, nullptr);
}

// At level 0 the histogram follows what the file holds: a brick's old
// samples leave and its new ones enter only once the store has taken it, so
// a failed write that the caller repeats is counted once. A brick rewritten
// in place whose write fails may hold anything from old to new; it is
// counted as it reads back.
bool AccessorCore::StoreBrick(int lod, const int index[3], const void* samples, bool direct,
                              int tileState, const unsigned char* tile, Func& func,
                              std::shared_ptr<AlignedBuffer>* adoptable) {
  const int stored = fileInfo_->dataType;
  int valid[3];
  ValidSize(lod, index, valid);
  const unsigned char* flags = tileState == 3 ? tile : nullptr;
  StatisticData brickStats;
  HistogramBuilder fresh(2);
  if (lod == 0) fresh = EmptyHistogram();
  if (!AddBrickSamples(stored, lod == 0 ? &fresh : nullptr, samples, valid, brickStrides_, flags,
                       flagStrides_, true, &brickStats)) {
    return func.setError(Err::InternalError, fileInfo_->fileName);
  }
  unsigned char value[8] = {};
  const bool constant = ChooseConstant(brickStats, FirstLiveSample(samples, valid, flags), value);
  if (getDebugLevel() > 1) {
    std::printf("##    Write %sBrick (%d,%d,%d) LOD%d%s\n", direct ? "Raw " : "", index[0],
                index[1], index[2], lod, constant ? " (CONSTANT)" : "");
  }
  if (lod == 0 && constant && brickStats.getmin() != brickStats.getmax() &&
      !CountConstant(value, valid, flags, fresh)) {
    return func.setError(Err::OutOfMemory, fileInfo_->fileName);
  }
  AlignedBuffer old;
  bool hadOld = false;
  if (lod == 0 && ReplacesOldSamples() && !ReadStoredBrick(index, old, hadOld, func)) {
    return false;
  }
  // Never held while the file changes under it; kept once stored, as stored.
  held_.Forget(lod, index[0], index[1], index[2]);
  const bool written =
      constant ? store_->SetBrickAllConst(index[0], index[1], index[2], lod, value, func.statusP())
               : store_->SetBrick(index[0], index[1], index[2], lod, samples, func.statusP());
  if (written) ++unflushed_;
  if (written && !constant && HoldsLevel(lod)) {
    if (adoptable && *adoptable && (*adoptable)->data() == samples) {
      held_.Adopt(lod, index[0], index[1], index[2], std::move(*adoptable));
    } else {
      held_.Keep(lod, index[0], index[1], index[2], samples);
    }
  }
  if (lod != 0 || (!written && !hadOld)) return written;
  AlignedBuffer now;
  if (!written) {
    Status probe;
    if (!now.Resize(old.size()) ||
        !store_->GetBrick(index[0], index[1], index[2], 0, now.data(), &probe)) {
      return false;  // unreadable now: counted as it was
    }
  }
  std::lock_guard<std::mutex> hold(histLock_);
  if (hadOld) {
    AddBrickSamples(stored, hist_.get(), old.data(), valid, brickStrides_, flags, flagStrides_,
                    false, nullptr);
  }
  if (written) {
    *hist_ += fresh;
  } else {
    AddBrickSamples(stored, hist_.get(), now.data(), valid, brickStrides_, flags, flagStrides_,
                    true, nullptr);
  }
  return written;
}

// With dead traces present, sample 0 may belong to one of them.
const void* AccessorCore::FirstLiveSample(const void* samples, const int valid[3],
                                          const unsigned char* flags) const {
  int64_t first = 0;
  if (flags) {
    for (int i = 0; i < valid[0]; ++i) {
      for (int j = 0; j < valid[1]; ++j) {
        if (flags[int64_t{i} * flagStrides_[0] + int64_t{j} * flagStrides_[1]]) {
          first = int64_t{i} * brickStrides_[0] + int64_t{j} * brickStrides_[1];
          i = valid[0];
          break;
        }
      }
    }
  }
  return static_cast<const unsigned char*>(samples) + first * store_->GetSampleSize();
}

bool AccessorCore::ChooseConstant(const StatisticData& brickStats, const void* firstLive,
                                  unsigned char* value) const {
  if (!IsConstantBrick(fileInfo_->dataType, brickStats)) return false;
  std::memcpy(value, firstLive, static_cast<size_t>(store_->GetSampleSize()));
  return true;
}

bool AccessorCore::StoreStatistics(bool newIdentity, bool generateLods, Func& func) {
  FileStatistics figures;
  {
    std::lock_guard<std::mutex> hold(histLock_);
    figures = MakeFileStatistics(*fileInfo_, *hist_);
    if (getDebugLevel() > 0) {
      std::printf("## Flush(%s,%s) -> write statistics count = %lld name=\"%s\"\n",
                  newIdentity ? "true" : "false", generateLods ? "true" : "false",
                  static_cast<long long>(figures.stats.getcnt()), fileInfo_->fileName.c_str());
      PrintSummaryLines(*hist_);
    }
  }
  const StatisticData& s = figures.stats;
  const FA::Histogram& h = figures.histogram;
  return store_->SetDataStats(s.getcnt(), s.getsum(), s.getssq(), s.getmin(), s.getmax(),
                              func.statusP()) &&
         store_->SetDataHist(h.count, h.min, h.max, h.bins, func.statusP());
}

bool AccessorCore::Flush(bool newIdentity, bool generateLods, Status* status) {
  Func func("Accessor::Flush", status);
  if (!CheckWritable(func)) return false;
  if (StoresStatisticsOnFlush() && !StoreStatistics(newIdentity, generateLods, func)) {
    return false;
  }
  // Levels that cannot be built (a full disk) must not cost the tables of
  // what was written: the store is flushed anyway, then the failure
  // reported; the levels left unbuilt stay marked for the next flush.
  Status lodStatus;
  const bool built = !generateLods || GenerateLODs(-1, Lod::kDirty, nullptr, nullptr, &lodStatus);
  if (!store_->Flush(newIdentity, func.statusP())) return false;
  unflushed_ = 0;
  if (!built) func.status() = lodStatus;
  return built;
}

bool AccessorCore::Finalize(bool newIdentity, bool generateLods, Status* status) {
  Func func("Accessor::Finalize", status);
  if (!Flush(newIdentity, generateLods, func.statusP())) return false;
  if (!StoresStatisticsOnFlush() && !StoreStatistics(newIdentity, generateLods, func)) {
    return false;
  }
  // The flush above already gave the data its new identity.
  if (!store_->Finalize(false, func.statusP())) return false;
  hist_.reset();
  held_.Reset(0);
  std::lock_guard<std::mutex> generating(lodLock_);
  lodWork_.reset();
  return true;
}

bool AccessorCore::SetDataInfo(const DataInfo& info, Status* status) {
  Func func("Accessor::SetDataInfo", status);
  if (!CheckWritable(func)) return false;
  return store_->SetDataInfo(info, func.statusP());
}

bool AccessorCore::WriteData(int lod, int i0, int j0, int k0, int ni, int nj, int nk,
                             const float* data, Status* status) {
  Func func("Accessor::WriteData", status);
  const int start[3] = {i0, j0, k0}, size[3] = {ni, nj, nk};
  return WriteGeneralRangeT(lod, start, size, data, func);
}

bool AccessorCore::WriteData(int lod, int i0, int j0, int k0, int ni, int nj, int nk,
                             const short* data, Status* status) {
  Func func("Accessor::WriteData", status);
  const int start[3] = {i0, j0, k0}, size[3] = {ni, nj, nk};
  return WriteGeneralRangeT(lod, start, size, data, func);
}

bool AccessorCore::WriteData(int lod, int i0, int j0, int k0, int ni, int nj, int nk,
                             const signed char* data, Status* status) {
  Func func("Accessor::WriteData", status);
  const int start[3] = {i0, j0, k0}, size[3] = {ni, nj, nk};
  return WriteGeneralRangeT(lod, start, size, data, func);
}

bool AccessorCore::WriteDataBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk,
                                  const signed char* const* bricks, Status* status) {
  Func func("Accessor::WriteDataBrick", status);
  const int start[3] = {bi, bj, bk}, count[3] = {nbi, nbj, nbk};
  return WriteBrickRangeT(lod, start, count, bricks, false, func);
}

bool AccessorCore::WriteDataBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk,
                                  const short* const* bricks, Status* status) {
  Func func("Accessor::WriteDataBrick", status);
  const int start[3] = {bi, bj, bk}, count[3] = {nbi, nbj, nbk};
  return WriteBrickRangeT(lod, start, count, bricks, false, func);
}

bool AccessorCore::WriteDataBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk,
                                  const float* const* bricks, Status* status) {
  Func func("Accessor::WriteDataBrick", status);
  const int start[3] = {bi, bj, bk}, count[3] = {nbi, nbj, nbk};
  return WriteBrickRangeT(lod, start, count, bricks, false, func);
}

bool AccessorCore::WriteRawBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk,
                                 const void* const* bricks, Status* status) {
  Func func("Accessor::WriteRawBrick", status);
  if (!CheckWritable(func)) return false;
  const int start[3] = {bi, bj, bk}, count[3] = {nbi, nbj, nbk};
  return visitSampleType(
      fileInfo_->dataType,
      [&](auto tag) {
        using T = typename decltype(tag)::type;
        return WriteBrickRangeT(lod, start, count, reinterpret_cast<const T* const*>(bricks), true,
                                func);
      },
      [&] { return func.setError(Err::InternalError, fileInfo_->fileName); });
}

}  // namespace Qra::Ostrel::Tyq::Private::Access
