// Writing through the accessor core: boxes merged into bricks,
// whole bricks, grid flags; the in-memory histogram kept exact; levels of
// detail rebuilt after writes and on flush.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "access/accessor_core.h"
#include "access/accessor_util.h"
#include "access/brick_tasks.h"
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

// Bricks being put together, kept per thread.
struct WriteScratch {
  AlignedBuffer piece;  // a box's part merged into its brick
  AlignedBuffer coded;  // a brick made stored samples in the file's order
  // A brick-sized buffer from the holder, taken over when the brick put
  // together in it is held.
  std::shared_ptr<AlignedBuffer> lent;
};

WriteScratch& ThreadWriteScratch() {
  static thread_local WriteScratch scratch;
  return scratch;
}

struct WriteScratchLease {
  WriteScratchLease() = default;
  WriteScratchLease(const WriteScratchLease&) = delete;
  WriteScratchLease& operator=(const WriteScratchLease&) = delete;
  ~WriteScratchLease() {
    WriteScratch& scratch = ThreadWriteScratch();
    TrimScratch(scratch.piece);
    TrimScratch(scratch.coded);
    if (scratch.lent && scratch.lent->size() > kKeptScratch) scratch.lent.reset();
  }
};

}  // namespace

// The bricks go to the pool in slabs when each slab is to be followed by
// building the parents it completed: the bricks held for them then stay a
// few slabs, as when each brick was written on its own. The parents are
// built once the slab's counts are merged, so that what they are weighed
// by does not depend on the order its bricks were stored in. Into a
// histogram without a range the first brick goes alone, to set one.
template <typename Body>
bool AccessorCore::WriteItems(WriteRequest& request, const std::vector<WriteItem>& items,
                              Func& func, Body&& body) {
  const bool builds = lodSettings_.autoGenerate != 0;
  const bool slabs = builds && store_->GetDirtyMarks() != nullptr;
  const auto slab = [&](size_t n) { return slabs ? items[n].index[0] / 2 : 0; };
  size_t first = 0;
  while (first < items.size()) {
    size_t last = first + 1;
    const bool alone = first == 0 && request.lod() == 0 && request.NeedsRange();
    while (!alone && last < items.size() && slab(last) == slab(first)) ++last;
    const bool ok = RunBrickTasks(
        static_cast<int64_t>(last - first), threads_, func,
        [&](int64_t n, Func& task) { return body(static_cast<int64_t>(first) + n, task); });
    request.Finish();
    if (!ok || (builds && !BuildParents(request.lod(), items, first, last, func))) return false;
    if (alone) request.TakeRange();
    first = last;
  }
  return true;
}

// Shifted to level 0, the bricks' range may pass the level's end by up to
// 2^lod bricks; it is kept within level 0 so that it stays an int.
bool AccessorCore::BuildParents(int lod, const std::vector<WriteItem>& items, size_t first,
                                size_t last, Func& func) {
  int levelBegin[3], levelEnd[3];
  for (int a = 0; a < 3; ++a) {
    int lo = items[first].index[a], hi = lo;
    for (size_t n = first; n < last; ++n) {
      lo = std::min(lo, items[n].index[a]);
      hi = std::max(hi, items[n].index[a]);
    }
    const int64_t count0 = store_->GetNumberOfBricks(a, 0);
    levelBegin[a] = static_cast<int>(std::min(int64_t{lo} << lod, count0));
    levelEnd[a] = static_cast<int>(std::min(int64_t{hi + 1} << lod, count0));
  }
  return GenerateLODs(lodSettings_.autoGenerate, Lod::kAutomatic, levelBegin, levelEnd,
                      func.statusP());
}

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
  int callerStrides[3] = {size[1] * size[2], size[2], 1};
  StorageStrides(accessOrder_, size, callerStrides);
  const TileIntersect<3> clip{{extent[0], extent[1], extent[2]}, {brick[0], brick[1], brick[2]}};
  std::vector<WriteItem> items;
  for (int i = range.first[0]; i < range.last[0]; ++i) {
    for (int j = range.first[1]; j < range.last[1]; ++j) {
      for (int k = range.first[2]; k < range.last[2]; ++k) {
        WriteItem item{{i, j, k}, {}, {}, 0, false};
        const auto level = clip.GetEx(item.start, item.size, start, size, item.index);
        if (getDebugLevel() > 2) {
          std::printf("##  Brick (%d,%d,%d) %s\n", i, j, k, TileLevelText(level));
        }
        if (level == TileIntersect<3>::None) continue;
        item.partial = level == TileIntersect<3>::Partial;
        for (int d = 0; d < 3; ++d) {
          item.source += (int64_t{item.start[d]} - start[d]) * callerStrides[d];
        }
        items.push_back(item);
      }
    }
  }
  WriteRequest request(*this, lod, range.first, range.last);
  if (!PrepareColumns(request, items, func)) return false;
  return WriteItems(request, items, func, [&](int64_t n, Func& task) {
    return WriteBoxItemT(request, n, items[static_cast<size_t>(n)], data, callerStrides, task);
  });
}

// Where the writer holds the bricks it stores, each is put together in a
// buffer the holder takes over instead of copying it.
template <typename T>
bool AccessorCore::WriteBoxItemT(WriteRequest& request, int64_t n, const WriteItem& item,
                                 const T* data, const int srcStrides[3], Func& func) {
  const size_t samples = static_cast<size_t>(fileInfo_->GetNumberOfSamplesPerBrick());
  const size_t storedSize = static_cast<size_t>(store_->GetSampleSize());
  const bool exact = !conversions_.write[SampleTypeOf<T>()];
  const bool inStored = item.partial && !exact && MergesPartialBricks();
  const bool lends = HoldsLevel(request.lod()) && (inStored || sizeof(T) == storedSize);
  const WriteScratchLease lease;
  WriteScratch& scratch = ThreadWriteScratch();
  if (lends && scratch.lent && scratch.lent->size() < samples * storedSize) scratch.lent.reset();
  if (lends && !scratch.lent) scratch.lent = held_.Lend();
  std::shared_ptr<AlignedBuffer>* adoptable = lends && scratch.lent ? &scratch.lent : nullptr;
  if (!adoptable && !scratch.piece.Resize(samples * std::max(sizeof(T), storedSize))) {
    return func.setError(Err::OutOfMemory, fileInfo_->fileName);
  }
  void* work = adoptable ? scratch.lent->data() : scratch.piece.data();
  const T* src = data + item.source;
  return inStored ? MergeStoredT(request, n, item.index, item.start, item.size, src, srcStrides,
                                 work, adoptable, func)
                  : WriteBoxPieceT(request, n, item.index, item.start, item.size, src, srcStrides,
                                   item.partial, static_cast<T*>(work), adoptable, func);
}

// The part of the box in brick `index`, put together in the caller's type
// and storage order in `temp`; a partial brick is merged with what it holds
// read in that type (or with zeros where the format does not merge).
template <typename T>
bool AccessorCore::WriteBoxPieceT(WriteRequest& request, int64_t n, const int index[3],
                                  const int ovStart[3], const int ovSize[3], const T* src,
                                  const int srcStrides[3], bool partial, T* temp,
                                  std::shared_ptr<AlignedBuffer>* adoptable, Func& func) {
  const size_t samples = static_cast<size_t>(fileInfo_->GetNumberOfSamplesPerBrick());
  const int next[3] = {index[0] + 1, index[1] + 1, index[2] + 1};
  if (partial && !MergesPartialBricks()) {
    std::memset(temp, 0, samples * sizeof(T));
  } else if (partial) {
    T* merge[1] = {temp};
    if (!ReadDataExT(request.lod(), index, next, merge, false, func)) {
      if (func.tyqError() != Err::BrickNotFound) return false;
      func.setSuccess();
      std::memset(temp, 0, samples * sizeof(T));
    }
  }
  int accessBrick[3] = {brickStrides_[0], brickStrides_[1], brickStrides_[2]};
  StorageStrides(accessOrder_, fileInfo_->brickSize, accessBrick);
  CopyBox<T>(temp + OffsetInBrick(ovStart, index, fileInfo_->brickSize, accessBrick), accessBrick,
             src, srcStrides, ovSize);
  return PutBrickT(request, n, index, temp, WriteConversion<T>(false), accessOrder_, func,
                   adoptable);
}

// The overlap is converted exactly as a whole brick of the caller's would
// be, sample for sample. Where the brick is absent, the rest holds the
// stored sample nearest the value 0, which is what an absent brick reads as.
template <typename T>
bool AccessorCore::MergeStoredT(WriteRequest& request, int64_t n, const int index[3],
                                const int ovStart[3], const int ovSize[3], const T* src,
                                const int srcStrides[3], void* work,
                                std::shared_ptr<AlignedBuffer>* adoptable, Func& func) {
  const int lod = request.lod();
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
        return PutBrickT(request, n, index, static_cast<const U*>(brick), nullptr,
                         fileInfo_->storageOrder, func, adoptable);
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
                                const T* const* bricks, bool raw, Func& func) {
  if (!bricks) return true;
  if (!CheckLod(lod, func)) return false;
  return WriteBricksT(lod, begin, end, bricks, WriteConversion<T>(raw), accessOrder_, func);
}

template <typename T>
bool AccessorCore::WriteBricksT(int lod, const int begin[3], const int end[3],
                                const T* const* bricks, ConvFcn convert, int order, Func& func) {
  const int* brick = fileInfo_->brickSize;
  int extent[3];
  LevelExtent(dataInfo_->size, lod, extent);
  std::vector<WriteItem> items;
  int64_t n = 0;
  for (int bi = begin[0]; bi < end[0]; ++bi) {
    for (int bj = begin[1]; bj < end[1]; ++bj) {
      for (int bk = begin[2]; bk < end[2]; ++bk, ++n) {
        const bool inside = bi >= 0 && bj >= 0 && bk >= 0 && int64_t{bi} * brick[0] < extent[0] &&
                            int64_t{bj} * brick[1] < extent[1] &&
                            int64_t{bk} * brick[2] < extent[2];
        if (inside && bricks[n]) items.push_back({{bi, bj, bk}, {}, {}, n, false});
      }
    }
  }
  WriteRequest request(*this, lod, begin, end);
  if (!PrepareColumns(request, items, func)) return false;
  return WriteItems(request, items, func, [&](int64_t at, Func& task) {
    const WriteScratchLease lease;
    const WriteItem& item = items[static_cast<size_t>(at)];
    return PutBrickT(request, at, item.index, bricks[item.source], convert, order, task, nullptr);
  });
}

// A brick in the file's order and sample type is stored as it is; any other
// is copied and converted into the thread's scratch first.
template <typename T>
bool AccessorCore::PutBrickT(WriteRequest& request, int64_t n, const int index[3], const T* in,
                             ConvFcn convert, int order, Func& func,
                             std::shared_ptr<AlignedBuffer>* adoptable) {
  if (order == fileInfo_->storageOrder && !convert) {
    return StoreBrick(request, n, index, in, true, func, adoptable);
  }
  const int* brick = fileInfo_->brickSize;
  const size_t samples = static_cast<size_t>(fileInfo_->GetNumberOfSamplesPerBrick());
  AlignedBuffer& temp = ThreadWriteScratch().coded;
  if (!temp.Resize(samples * std::max<size_t>(sizeof(T), store_->GetSampleSize()))) {
    return func.setError(Err::OutOfMemory, fileInfo_->fileName);
  }
  int accessBrick[3] = {brickStrides_[0], brickStrides_[1], brickStrides_[2]};
  StorageStrides(order, brick, accessBrick);
  T* out = static_cast<T*>(temp.data());
  CopyBox<T>(out, brickStrides_, in, accessBrick, brick);
  if (convert) {
    convert(out, fileInfo_->valueMin, fileInfo_->valueMax, nullptr, scaleLow_, scaleHigh_,
            static_cast<int64_t>(samples));
  }
  return StoreBrick(request, n, index, out, false, func);
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
