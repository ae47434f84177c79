// Opening, creating and describing an uncompressed volume through the
// accessor, and the caller's view of it (scale range, storage order).
#include "bricked/accessor.h"

#include <cmath>
#include <cstdio>

#include "bricked/accessor_util.h"
#include "stats/file_histogram.h"
#include "tyq/brick_geometry.h"
#include "tyq/environment.h"

namespace Qra::Ostrel::Tyq::FileAccess {
AccessorBase::~AccessorBase() = default;
}  // namespace Qra::Ostrel::Tyq::FileAccess

namespace Qra::Ostrel::Tyq::Private::Bricked {

using Err = FileAccess::Error;
namespace FA = FileAccess;

namespace {

// Scale-range ends this close to zero count as zero.
bool nearZero(float x) { return NearlyEqual(x, 0.0f); }

}  // namespace

Accessor::Accessor(FA::FileADT* file) : callerFile_(file) {}

Accessor::~Accessor() { Discard(nullptr); }

void Accessor::AddRef() { AddReference(); }

void Accessor::Release() { DropReference(); }

bool Accessor::CheckOpen(Func& func) const {
  if (!file_) return func.setError(Err::NotOpen, "");
  return true;
}

bool Accessor::CheckLod(int lod, Func& func) const {
  if (lod < 0 || lod >= fileInfo_->numberOfLods) {
    return func.setError(Err::InvalidArgument, fileInfo_->fileName);
  }
  return true;
}

bool Accessor::Open(const std::string& name, const FA::TyqOptions& options, Status* status,
                    bool readOnly, int version) {
  Func func("Accessor::Open", status);
  if (getDebugLevel() > 0) std::printf("## Open name=\"%s\"\n", name.c_str());
  Discard(nullptr);
  auto file = std::make_unique<File>(
      name, readOnly ? FA::FileFactory::UsageRead : FA::FileFactory::UsageReadWrite, callerFile_);
  if (!file->Open(name, readOnly, options, func.statusP(), version)) return false;
  file_ = std::move(file);
  return Initialize(options, func.statusP());
}

bool Accessor::Create(const std::string& name, const DataInfo& dataInfo,
                      FA::EnumClass<FA::DataTypeEnum> dataType, const FA::TyqOptions& options,
                      Status* status, float valueMin, float valueMax, int version) {
  Func func("Accessor::Create", status);
  if (getDebugLevel() > 0) std::printf("## Create name=\"%s\"\n", name.c_str());
  Discard(nullptr);
  auto file = std::make_unique<File>(name, FA::FileFactory::UsageCreate, callerFile_);
  if (!file->Create(name, dataInfo, dataType, options, func.statusP(), valueMin, valueMax,
                    version)) {
    return false;
  }
  file_ = std::move(file);
  return Initialize(options, func.statusP());
}

bool Accessor::Initialize(const FA::TyqOptions& options, Status* status) {
  Func func("Accessor::Initialize", status);
  fileInfo_ = file_->GetFileInfo(func.statusP());
  dataInfo_ = file_->GetDataInfo(func.statusP());
  const Histogram* stored = file_->GetDataHist(func.statusP());
  if (!fileInfo_ || !dataInfo_ || !stored) {
    Discard(nullptr);
    return func.ensureError();
  }
  if (file_->IsWritable()) {
    hist_ = std::make_unique<HistogramBuilder>(
        MakeInMemoryHistogram(*fileInfo_, *dataInfo_, *stored));
  }
  const int brick[3] = {fileInfo_->brickSize[0], fileInfo_->brickSize[1], fileInfo_->brickSize[2]};
  StorageStrides(fileInfo_->storageOrder, brick, brickStrides_);
  FlagStrides(fileInfo_->storageOrder, brick[0], brick[1], flagStrides_);
  ResetAccessScaleRange();
  accessOrder_ = fileInfo_->storageOrder;
  if (!UpdateConvFcn(func.statusP())) {
    Discard(nullptr);
    return false;
  }
  lodSettings_ = Lod::ChooseLodSettings(options, file_->GetFileADT()->FileName(),
                                        file_->IsWritable());
  return true;
}

void Accessor::ResetAccessScaleRange() {
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

bool Accessor::UpdateConvFcn(Status* status) {
  Func func("Accessor::UpdateConvFcn", status);
  if (!BuildConversionTables(fileInfo_->dataType, fileInfo_->valueMin, fileInfo_->valueMax,
                             scaleLow_, scaleHigh_, conversions_)) {
    return func.setError(Err::UnknownError, fileInfo_->fileName);
  }
  return true;
}

void Accessor::Discard(Status* status) {
  Func func("Accessor::Discard", status);
  if (!file_) return;
  if (getDebugLevel() > 0) {
    std::printf("## Discard name=\"%s\"\n", fileInfo_ ? fileInfo_->fileName.c_str() : "");
  }
  file_->Discard(nullptr);
  file_.reset();
  hist_.reset();
  fileInfo_ = nullptr;
  dataInfo_ = nullptr;
  accessOrder_ = FA::StorageOrderEnum::TraceOptimized();
  conversions_ = ConversionTables{};
}

bool Accessor::Reopen(Status* status) {
  Func func("Accessor::Reopen", status);
  if (getDebugLevel() > 0) {
    std::printf("## Re-open name=\"%s\"\n", file_ ? fileInfo_->fileName.c_str() : "");
  }
  if (!CheckOpen(func)) return false;
  return file_->Reload(0, func.statusP());
}

bool Accessor::GetFileInfo(FileInfo& info, Status* status) {
  Func func("Accessor::GetFileInfo", status);
  if (!CheckOpen(func)) return false;
  info = *fileInfo_;
  return true;
}

bool Accessor::GetDataInfo(DataInfo& info, Status* status) {
  Func func("Accessor::GetDataInfo", status);
  if (!CheckOpen(func)) return false;
  info = *dataInfo_;
  return true;
}

bool Accessor::GetDataHist(Histogram& hist, Status* status) {
  Func func("Accessor::GetDataHist", status);
  if (!CheckOpen(func)) return false;
  const Histogram* stored = file_->GetDataHist(func.statusP());
  if (!stored) return false;
  hist = *stored;
  return true;
}

bool Accessor::SetAccessScaleRange(float low, float high, Status* status) {
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

bool Accessor::GetAccessScaleRange(float& low, float& high, Status* status) {
  Func func("Accessor::GetAccessScaleRange", status);
  if (!CheckOpen(func)) return false;
  low = scaleLow_;
  high = scaleHigh_;
  return true;
}

bool Accessor::SetAccessStorageOrder(StorageOrder order, Status* status) {
  Func func("Accessor::SetAccessStorageOrder", status);
  if (!CheckOpen(func)) return false;
  accessOrder_ = order;
  return true;
}

bool Accessor::GetAccessStorageOrder(StorageOrder& order, Status* status) {
  Func func("Accessor::GetAccessStorageOrder", status);
  if (!CheckOpen(func)) return false;
  order = accessOrder_;
  return true;
}

bool Accessor::GetGridFlagsTilePos(long long* positions, int lod, int ti, int tj, int nti,
                                   int ntj, Status* status) {
  Func func("Accessor::GetGridFlagsTilePos", status);
  if (!CheckOpen(func)) return false;
  return file_->GetGridFlagsTilePos(positions, lod, ti, tj, nti, ntj, func.statusP());
}

bool Accessor::GetDataBrickPos(long long* positions, int lod, int bi, int bj, int bk, int nbi,
                               int nbj, int nbk, Status* status) {
  Func func("Accessor::GetDataBrickPos", status);
  if (!CheckOpen(func)) return false;
  return file_->GetDataBrickPos(positions, lod, bi, bj, bk, nbi, nbj, nbk, func.statusP());
}

int Accessor::BrickReader::GetBrick(int i, int j, int k, int lod, void* buffer, Status* status) {
  Func func("Accessor::BrickReader::GetBrick", status);
  if (!accessor_.CheckOpen(func)) return func.tyqError();
  accessor_.file_->GetBrick(i, j, k, lod, buffer, func.statusP());
  return func.tyqError();
}

}  // namespace Qra::Ostrel::Tyq::Private::Bricked
