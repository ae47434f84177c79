// Attaching a store to the accessor, describing the volume, and the
// caller's view of it (scale range, storage order).
#include "access/accessor_core.h"

#include <cmath>
#include <cstdio>

#include "access/accessor_util.h"
#include "core/task_pool.h"
#include "stats/file_histogram.h"
#include "tyq/brick_geometry.h"
#include "tyq/environment.h"

namespace Qra::Ostrel::Tyq::FileAccess {
AccessorBase::~AccessorBase() = default;
}  // namespace Qra::Ostrel::Tyq::FileAccess

namespace Qra::Ostrel::Tyq::Private::Access {

using Err = FileAccess::Error;
namespace FA = FileAccess;

namespace {

// Scale-range ends this close to zero count as zero.
bool nearZero(float x) {
  return NearlyEqual(x, 0.0f);
}

}  // namespace

// Only Flush and Finalize store the tables that reach the bricks, so a writer
// released without them loses its writes; the library cannot flush on the
// way out (the host may have meant to drop them), but it says so.
AccessorCore::~AccessorCore() {
  const int64_t lost = unflushed_.load();
  if (store_ && hist_ && lost > 0 && getDebugLevel() > 0) {
    std::printf(
        "## Release without Flush or Finalize: %lld bricks and tiles written since the "
        "last flush are lost name=\"%s\"\n",
        static_cast<long long>(lost), fileInfo_->fileName.c_str());
  }
  Discard(nullptr);
}

void AccessorCore::AddRef() {
  AddReference();
}

void AccessorCore::Release() {
  DropReference();
}

bool AccessorCore::CheckOpen(Func& func) const {
  if (!store_) return func.setError(Err::NotOpen, "");
  return true;
}

bool AccessorCore::CheckLod(int lod, Func& func) const {
  if (lod < 0 || lod >= fileInfo_->numberOfLods) {
    return func.setError(Err::InvalidArgument, fileInfo_->fileName);
  }
  return true;
}

bool AccessorCore::Attach(std::unique_ptr<BrickStore> store, const FA::TyqOptions& options,
                          Status* status) {
  Func func("Accessor::Initialize", status);
  store_ = std::move(store);
  fileInfo_ = store_->GetFileInfo(func.statusP());
  dataInfo_ = store_->GetDataInfo(func.statusP());
  const Histogram* stored = store_->GetDataHist(func.statusP());
  if (!fileInfo_ || !dataInfo_ || !stored) {
    Discard(nullptr);
    return func.ensureError();
  }
  if (store_->IsWritable()) hist_ = MakeHistogram(*stored);
  const int brick[3] = {fileInfo_->brickSize[0], fileInfo_->brickSize[1], fileInfo_->brickSize[2]};
  StorageStrides(fileInfo_->storageOrder, brick, brickStrides_);
  FlagStrides(fileInfo_->storageOrder, brick[0], brick[1], flagStrides_);
  ResetAccessScaleRange();
  accessOrder_ = fileInfo_->storageOrder;
  threads_ = TaskPool::ChosenThreads(options.threads);
  if (!UpdateConvFcn(func.statusP())) {
    Discard(nullptr);
    return false;
  }
  lodSettings_ = Lod::ChooseLodSettings(options, store_->GetStoreName(), store_->IsWritable());
  held_.Reset(store_->IsWritable() ? static_cast<size_t>(fileInfo_->GetNumberOfBytesPerBrick())
                                   : 0);
  lodSettings_.batchLevels = HeldBricks::LimitForNewWriters() != 0;
  return true;
}

std::unique_ptr<HistogramBuilder> AccessorCore::MakeHistogram(const Histogram& stored) const {
  return std::make_unique<HistogramBuilder>(MakeInMemoryHistogram(*fileInfo_, *dataInfo_, stored));
}

void AccessorCore::ResetAccessScaleRange() {
  scaleLow_ = fileInfo_->valueMin;
  scaleHigh_ = fileInfo_->valueMax;
  if (scaleLow_ == scaleHigh_) {
    scaleLow_ = dataInfo_->statMin;
    scaleHigh_ = dataInfo_->statMax;
    if (scaleLow_ == scaleHigh_) {
      scaleLow_ = fileInfo_->valueMin - 0.5f;
      scaleHigh_ = fileInfo_->valueMax + 0.5f;
    }
  }
}

bool AccessorCore::UpdateConvFcn(Status* status) {
  Func func("Accessor::UpdateConvFcn", status);
  if (!BuildConversionTables(fileInfo_->dataType, fileInfo_->valueMin, fileInfo_->valueMax,
                             scaleLow_, scaleHigh_, conversions_)) {
    return func.setError(Err::UnknownError, fileInfo_->fileName);
  }
  return true;
}

void AccessorCore::Discard(Status* status) {
  Func func("Accessor::Discard", status);
  if (!store_) return;
  if (getDebugLevel() > 0) {
    std::printf("## Discard name=\"%s\"\n", fileInfo_ ? fileInfo_->fileName.c_str() : "");
  }
  store_->Discard(nullptr);
  store_.reset();
  hist_.reset();
  held_.Reset(0);
  lodWork_.reset();
  fileInfo_ = nullptr;
  dataInfo_ = nullptr;
  accessOrder_ = FA::StorageOrderEnum::TraceOptimized();
  conversions_ = ConversionTables{};
}

bool AccessorCore::Reopen(Status* status) {
  Func func("Accessor::Reopen", status);
  if (getDebugLevel() > 0) {
    std::printf("## Re-open name=\"%s\"\n", store_ ? fileInfo_->fileName.c_str() : "");
  }
  if (!CheckOpen(func)) return false;
  held_.Clear();  // the file is the truth again
  return store_->Reload(0, func.statusP());
}

bool AccessorCore::GetFileInfo(FileInfo& info, Status* status) {
  Func func("Accessor::GetFileInfo", status);
  if (!CheckOpen(func)) return false;
  info = *fileInfo_;
  return true;
}

bool AccessorCore::GetDataInfo(DataInfo& info, Status* status) {
  Func func("Accessor::GetDataInfo", status);
  if (!CheckOpen(func)) return false;
  info = *dataInfo_;
  return true;
}

bool AccessorCore::GetDataHist(Histogram& hist, Status* status) {
  Func func("Accessor::GetDataHist", status);
  if (!CheckOpen(func)) return false;
  const Histogram* stored = store_->GetDataHist(func.statusP());
  if (!stored) return false;
  hist = *stored;
  return true;
}

bool AccessorCore::SetAccessScaleRange(float low, float high, Status* status) {
  Func func("Accessor::SetAccessScaleRange", status);
  if (!CheckOpen(func)) return false;
  if (nearZero(low)) low = 0.0f;
  if (nearZero(high)) high = 0.0f;
  if (low == 0.0f && high == 0.0f) {
    ResetAccessScaleRange();
    return UpdateConvFcn(func.statusP());
  }
  // NaN ends are refused too: no range can be built on them.
  if (!(high >= low) || NearlyEqual(low, high)) {
    return func.setError(Err::InvalidArgument, fileInfo_->fileName);
  }
  scaleLow_ = low;
  scaleHigh_ = high;
  return UpdateConvFcn(func.statusP());
}

bool AccessorCore::GetAccessScaleRange(float& low, float& high, Status* status) {
  Func func("Accessor::GetAccessScaleRange", status);
  if (!CheckOpen(func)) return false;
  low = scaleLow_;
  high = scaleHigh_;
  return true;
}

bool AccessorCore::SetAccessStorageOrder(StorageOrder order, Status* status) {
  Func func("Accessor::SetAccessStorageOrder", status);
  if (!CheckOpen(func)) return false;
  accessOrder_ = order;
  return true;
}

bool AccessorCore::GetAccessStorageOrder(StorageOrder& order, Status* status) {
  Func func("Accessor::GetAccessStorageOrder", status);
  if (!CheckOpen(func)) return false;
  order = accessOrder_;
  return true;
}

bool AccessorCore::GetGridFlagsTilePos(long long* positions, int lod, int ti, int tj, int nti,
                                       int ntj, Status* status) {
  Func func("Accessor::GetGridFlagsTilePos", status);
  if (!CheckOpen(func)) return false;
  return store_->GetGridFlagsTilePos(positions, lod, ti, tj, nti, ntj, func.statusP());
}

bool AccessorCore::GetDataBrickPos(long long* positions, int lod, int bi, int bj, int bk, int nbi,
                                   int nbj, int nbk, Status* status) {
  Func func("Accessor::GetDataBrickPos", status);
  if (!CheckOpen(func)) return false;
  return store_->GetDataBrickPos(positions, lod, bi, bj, bk, nbi, nbj, nbk, func.statusP());
}

int AccessorCore::BrickReader::GetBrick(int i, int j, int k, int lod, void* buffer,
                                        Status* status) {
  Func func("Accessor::BrickReader::GetBrick", status);
  store_.GetBrick(i, j, k, lod, buffer, func.statusP());
  return func.tyqError();
}

std::shared_ptr<const AlignedBuffer> AccessorCore::BrickReader::HeldBrick(int i, int j, int k,
                                                                          int lod) {
  return held_.Find(lod, i, j, k);
}

// The children are built into their parent and need not be held longer;
// the parent is held in turn, for the level above it.
void AccessorCore::BrickReader::BrickBuilt(int i, int j, int k, int lod, const void* samples) {
  for (int child = 0; child < 8; ++child) {
    held_.Forget(lod - 1, 2 * i + (child >> 2), 2 * j + ((child >> 1) & 1), 2 * k + (child & 1));
  }
  const FileInfo* info = store_.GetFileInfo(nullptr);
  if (samples && info && lod + 1 < info->numberOfLods) {
    held_.Keep(lod, i, j, k, samples);
  } else {
    held_.Forget(lod, i, j, k);
  }
}

void AccessorCore::BrickReader::BrickLost(int i, int j, int k, int lod) {
  held_.Forget(lod, i, j, k);
}

// Only automatic generation builds parents soon after their children are
// written; without it the whole volume would be held until a flush, which
// reads each level back once instead.
bool AccessorCore::HoldsLevel(int lod) const {
  return lodSettings_.autoGenerate != 0 && lod + 1 < fileInfo_->numberOfLods &&
         store_->GetDirtyMarks() != nullptr;
}

}  // namespace Qra::Ostrel::Tyq::Private::Access
