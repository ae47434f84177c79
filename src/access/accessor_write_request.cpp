// The bricks of one write request: the state they share (statistics as the
// request found them, flag tiles, level-0 counts merged in brick order) and
// storing one brick with the histogram kept exact.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <utility>

#include "access/accessor_core.h"
#include "access/accessor_util.h"
#include "core/aligned_buffer.h"
#include "stats/brick_histogram.h"
#include "tyq/brick_geometry.h"
#include "tyq/environment.h"

namespace Qra::Ostrel::Tyq::Private::Access {

using Err = FileAccess::Error;

namespace {

// A brick's old samples, read before it is replaced, kept per thread.
AlignedBuffer& OldSamples() {
  static thread_local AlignedBuffer old;
  return old;
}

}  // namespace

AccessorCore::WriteRequest::WriteRequest(AccessorCore& core, int lod, const int begin[2],
                                         const int end[2])
    : core_(core), lod_(lod), begin_{begin[0], begin[1]}, columns1_(end[1] - begin[1]) {
  columns_.resize(static_cast<size_t>(end[0] - begin[0]) * static_cast<size_t>(columns1_));
  std::lock_guard<std::mutex> hold(core_.histLock_);
  written_ = core_.hist_->getstats();
  const HistogramData& h = core_.hist_->gethisto();
  binCount_ = h.GetSize();
  binMin_ = h.getmin();
  binMax_ = h.getmax();
  binFixed_ = h.isfixed();
}

// The range the first brick set, doubled once: the other bricks' extremes
// differ a little from the first one's, and a brick whose samples leave the
// range costs a second pass over them.
void AccessorCore::WriteRequest::TakeRange() {
  HistogramData range(binCount_);
  {
    std::lock_guard<std::mutex> hold(core_.histLock_);
    const HistogramData& h = core_.hist_->gethisto();
    range = HistogramData(h.GetSize(), h.getmin(), h.getmax(), false);
  }
  range.WidenRange(range.getmin() - (range.getmax() - range.getmin()) / 4, range.getmax());
  binMin_ = range.getmin();
  binMax_ = range.getmax();
}

// Over the range as it stood when the request began (or as its first brick
// set it), so that a brick's counts do not depend on which bricks were
// merged before it; samples outside it cost the brick a second pass.
HistogramBuilder AccessorCore::WriteRequest::Empty(bool fixed) const {
  return HistogramBuilder(binCount_, binMin_, binMax_, fixed || binFixed_);
}

AccessorCore::WriteRequest::Column& AccessorCore::WriteRequest::ColumnOf(int bi, int bj) {
  return columns_[static_cast<size_t>(bi - begin_[0]) * static_cast<size_t>(columns1_) +
                  static_cast<size_t>(bj - begin_[1])];
}

void AccessorCore::WriteRequest::Expect(int64_t count) {
  std::lock_guard<std::mutex> hold(core_.histLock_);
  if (lod_ == 0) settled_.resize(static_cast<size_t>(count));
}

void AccessorCore::WriteRequest::Settle(int64_t n, Counts counts) {
  std::lock_guard<std::mutex> hold(core_.histLock_);
  settled_[static_cast<size_t>(n)] = std::move(counts);
  MergeFrom(false);
}

void AccessorCore::WriteRequest::Finish() {
  std::lock_guard<std::mutex> hold(core_.histLock_);
  MergeFrom(true);
}

// Under histLock_. Without `skipGaps` merging stops at the first brick not
// settled yet; with it, such bricks (failed or never started) are passed.
void AccessorCore::WriteRequest::MergeFrom(bool skipGaps) {
  for (auto at = static_cast<size_t>(merged_); at < settled_.size(); ++at) {
    std::optional<Counts>& counts = settled_[at];
    if (!counts) {
      if (skipGaps) continue;
      return;
    }
    if (counts->gone) *core_.hist_ -= *counts->gone;
    if (counts->came) *core_.hist_ += *counts->came;
    counts.reset();
    merged_ = static_cast<int64_t>(at) + 1;
  }
}

// Columns are settled before any brick is stored: bricks of one column may
// be stored at once, and an absent tile must become all live exactly once.
bool AccessorCore::PrepareColumns(WriteRequest& request, std::vector<WriteItem>& items,
                                  Func& func) {
  const int lod = request.lod();
  AlignedBuffer buffer;
  const size_t bytes = static_cast<size_t>(fileInfo_->GetNumberOfSamplesPerHorzTile());
  if (!buffer.Resize(bytes)) return func.setError(Err::OutOfMemory, fileInfo_->fileName);
  for (const WriteItem& item : items) {
    WriteRequest::Column& column = request.ColumnOf(item.index[0], item.index[1]);
    if (column.state >= 0) continue;
    if (!ReadRawGridFlagsTile(lod, item.index[0], item.index[1], &column.state, buffer.bytes(),
                              func)) {
      return false;
    }
    if (column.state == 0) {
      if (!store_->SetGridFlagsTileAllConst(item.index[0], item.index[1], lod, 1, func.statusP())) {
        return false;
      }
      ++unflushed_;
      column.state = 2;
    } else if (column.state == 3) {
      column.tile.assign(buffer.bytes(), buffer.bytes() + bytes);
    }
  }
  // Every trace of a dead column is dead: nothing of it is stored.
  items.erase(std::remove_if(items.begin(), items.end(),
                             [&](const WriteItem& item) {
                               return request.ColumnOf(item.index[0], item.index[1]).state == 1;
                             }),
              items.end());
  request.Expect(static_cast<int64_t>(items.size()));
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
bool AccessorCore::CountConstant(const WriteRequest& request, const void* value, const int valid[3],
                                 const unsigned char* flags, HistogramBuilder& counted) const {
  const size_t size = static_cast<size_t>(store_->GetSampleSize());
  const size_t samples = static_cast<size_t>(fileInfo_->GetNumberOfSamplesPerBrick());
  AlignedBuffer filled;
  if (!filled.Resize(samples * size)) return false;
  for (size_t n = 0; n < samples; ++n) std::memcpy(filled.bytes() + n * size, value, size);
  counted = request.Empty(false);
  return AddBrickSamples(fileInfo_->dataType, &counted, filled.data(), valid, brickStrides_, flags,
                         flagStrides_, true, nullptr);
}

// At level 0 the histogram follows what the file holds: a brick's old
// samples leave and its new ones enter only once the store has taken it, so
// a failed write that the caller repeats is counted once. A brick rewritten
// in place whose write fails may hold anything from old to new; it is
// counted as it reads back.
bool AccessorCore::StoreBrick(WriteRequest& request, int64_t n, const int index[3],
                              const void* samples, bool direct, Func& func,
                              std::shared_ptr<AlignedBuffer>* adoptable) {
  const int lod = request.lod();
  const int stored = fileInfo_->dataType;
  int valid[3];
  ValidSize(lod, index, valid);
  const WriteRequest::Column& column = request.ColumnOf(index[0], index[1]);
  const unsigned char* flags = column.state == 3 ? column.tile.data() : nullptr;
  StatisticData brickStats;
  std::optional<HistogramBuilder> fresh;
  if (lod == 0) fresh = request.Empty(false);
  if (!AddBrickSamples(stored, fresh ? &*fresh : nullptr, samples, valid, brickStrides_, flags,
                       flagStrides_, true, &brickStats)) {
    return func.setError(Err::InternalError, fileInfo_->fileName);
  }
  unsigned char value[8] = {};
  const bool constant =
      ChooseConstant(brickStats, request.written(), FirstLiveSample(samples, valid, flags), value);
  if (getDebugLevel() > 1) {
    std::printf("##    Write %sBrick (%d,%d,%d) LOD%d%s\n", direct ? "Raw " : "", index[0],
                index[1], index[2], lod, constant ? " (CONSTANT)" : "");
  }
  if (lod == 0 && constant && brickStats.getmin() != brickStats.getmax() &&
      !CountConstant(request, value, valid, flags, *fresh)) {
    return func.setError(Err::OutOfMemory, fileInfo_->fileName);
  }
  AlignedBuffer& old = OldSamples();
  struct Trim {
    AlignedBuffer& buffer;
    ~Trim() { TrimScratch(buffer); }
  } trim{old};
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
  WriteRequest::Counts counts;
  if (written) {
    counts.came = std::move(fresh);
  } else {
    AlignedBuffer now;
    Status probe;
    if (!now.Resize(old.size()) ||
        !store_->GetBrick(index[0], index[1], index[2], 0, now.data(), &probe)) {
      return false;  // unreadable now: counted as it was
    }
    counts.came = request.Empty(false);
    AddBrickSamples(stored, &*counts.came, now.data(), valid, brickStrides_, flags, flagStrides_,
                    true, nullptr);
  }
  if (hadOld) {
    counts.gone = request.Empty(true);
    AddBrickSamples(stored, &*counts.gone, old.data(), valid, brickStrides_, flags, flagStrides_,
                    true, nullptr);
  }
  request.Settle(n, std::move(counts));
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

bool AccessorCore::ChooseConstant(const StatisticData& brickStats, const StatisticData& /*written*/,
                                  const void* firstLive, unsigned char* value) const {
  if (!IsConstantBrick(fileInfo_->dataType, brickStats)) return false;
  std::memcpy(value, firstLive, static_cast<size_t>(store_->GetSampleSize()));
  return true;
}

}  // namespace Qra::Ostrel::Tyq::Private::Access
