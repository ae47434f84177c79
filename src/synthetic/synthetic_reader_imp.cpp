// Opening a synthetic volume's description and the records and caller view
// built from it.
#include <cmath>

#include "synthetic/synthetic_reader_imp.h"
#include "tyq/geometry.h"

namespace Qra::Ostrel::Tyq::Private::Factory {

namespace {

using Err = FileAccess::Error;
namespace FA = FileAccess;

using Lock = std::lock_guard<std::mutex>;

// Both ends finite and apart: integer samples divide by the range's width.
bool UsableScaleRange(float low, float high) {
  return std::isfinite(low) && std::isfinite(high) && low != high;
}

}  // namespace

SyntheticReaderImp::SyntheticReaderImp(const std::string& name, FA::FileADT* file) : file_(file) {
  if (!file_) {
    ownedFile_.reset(
        FA::FileFactory::instance().CreateFileADT(name, FA::FileFactory::UsageRead, false));
    file_ = ownedFile_.get();
  }
}

SyntheticReaderImp::~SyntheticReaderImp() {
  if (file_ && file_->IsOpen()) file_->Close(nullptr);
}

bool SyntheticReaderImp::CheckOpen(Func& func) const {
  if (!file_ || !file_->IsOpen() || !described_) return func.setError(Err::NotOpen, "");
  return true;
}

bool SyntheticReaderImp::Open(const std::string& name, Status* status) {
  Func func("SyntheticReader::Open", status);
  Lock hold(lock_);
  return OpenLocked(name, func);
}

bool SyntheticReaderImp::Reopen(Status* status) {
  Func func("SyntheticReader::Reopen", status);
  Lock hold(lock_);
  if (!CheckOpen(func)) return false;
  const std::string name = fileInfo_.fileName;
  return OpenLocked(name, func);
}

bool SyntheticReaderImp::OpenLocked(const std::string& name, Func& func) {
  std::string text;
  if (!ReadDescription(name, text, func)) return false;
  SyntheticDescription description;
  const int code = ParseSyntheticSignature(text, description);
  if (code != Err::NoError) return func.setError(code, name);
  if (!ReadVersion(text, description, func.statusP())) return false;
  Adopt(description, name, static_cast<int64_t>(text.size()));
  return true;
}

// The whole description, read in one piece: it is small, and a file far
// larger than any description is refused before anything is allocated.
bool SyntheticReaderImp::ReadDescription(const std::string& name, std::string& text, Func& func) {
  if (!file_) return func.setError(Err::OutOfMemory, name);
  if (!file_->OpenExistingFile(name, func.statusP(), true, true, true, true)) return false;
  const int64_t size = file_->GetFileSize(func.statusP());
  if (!func.ok()) return false;
  if (size < 0 || size > kMaxSyntheticDescriptionBytes) {
    return func.setError(Err::ReadFailed, name);
  }
  text.assign(static_cast<size_t>(size), '\0');
  if (!file_->ReadFromPosition(0, static_cast<uint32_t>(size), text.data(), func.statusP())) {
    return func.pushError(Err::ReadFailed);
  }
  return true;
}

bool SyntheticReaderImp::ReadVersion(std::string_view text, SyntheticDescription& description,
                                     Status* status) {
  Func func("SyntheticReaderImp::ReadVersion", status);
  const int code = ParseSyntheticDescription(text, description);
  if (code != Err::NoError) return func.setError(code, file_->FileName());
  return true;
}

void SyntheticReaderImp::Adopt(const SyntheticDescription& d, const std::string& name,
                               int64_t size) {
  fileInfo_ = FileInfo();
  fileInfo_.SetBasic(name, size);
  fileInfo_.SetFormat("Synthetic TYQ", 1, 1);
  fileInfo_.SetBricked(d.count[0], d.count[1], d.count[2], d.brickSize[0], d.brickSize[1],
                       d.brickSize[2], 1, FA::StorageOrderEnum::TraceOptimized());
  fileInfo_.SetCodingUncompressed(d.sampleType, d.codingLow, d.codingHigh);

  dataInfo_ = DataInfo();
  dataInfo_.SetExtent(d.annotStart[0], d.annotInc[0], d.count[0], d.annotStart[1], d.annotInc[1],
                      d.count[1], d.annotStart[2], d.annotInc[2], d.count[2], true);
  const auto& t = d.tiePoints;
  const FA::OrderedCornerPoints corners(
      d.annotStart[0], d.annotInc[0], static_cast<uint64_t>(d.count[0]), d.annotStart[1],
      d.annotInc[1], static_cast<uint64_t>(d.count[1]), t[0].inlineAnnot, t[0].crosslineAnnot,
      t[0].x, t[0].y, t[1].inlineAnnot, t[1].crosslineAnnot, t[1].x, t[1].y, t[2].inlineAnnot,
      t[2].crosslineAnnot, t[2].x, t[2].y);
  corners.GetCoords(dataInfo_.corners);
  dataInfo_.SetHorzDomain("<projection system>", FA::HorzDimEnum::Length, d.horzFactor, d.horzUnit);
  dataInfo_.SetVertDomain(d.vertDomain, d.vertFactor, d.vertUnit);
  dataInfo_.SetSourceInfo(name, "Synthetic TYQ data", d.sampleType);
  dataInfo_.SetStatistics(0, 0.0, 0.0, d.statMin, d.statMax);

  hist_ = Histogram(0, d.histMin, d.histMax);
  for (int b = 0; b < Histogram::kBins; ++b) hist_.bins[b] = d.bins[b];

  scaleLow_ = d.codingLow;
  scaleHigh_ = d.codingHigh;
  accessOrder_ = FA::StorageOrderEnum::TraceOptimized();
  layoutOrder_ = accessOrder_;
  field_ = SyntheticField(d.codingLow, d.codingHigh, d.count, d.brickSize, d.borderWidth);
  described_ = true;
}

bool SyntheticReaderImp::GetFileInfo(FileInfo& info, Status* status) {
  Func func("SyntheticReader::GetFileInfo", status);
  Lock hold(lock_);
  if (!CheckOpen(func)) return false;
  info = fileInfo_;
  return true;
}

bool SyntheticReaderImp::GetDataInfo(DataInfo& info, Status* status) {
  Func func("SyntheticReader::GetDataInfo", status);
  Lock hold(lock_);
  if (!CheckOpen(func)) return false;
  info = dataInfo_;
  return true;
}

bool SyntheticReaderImp::GetDataHist(Histogram& hist, Status* status) {
  Func func("SyntheticReader::GetDataHist", status);
  Lock hold(lock_);
  if (!CheckOpen(func)) return false;
  hist = hist_;
  return true;
}

bool SyntheticReaderImp::SetAccessScaleRange(float low, float high, Status* status) {
  Func func("SyntheticReader::SetAccessScaleRange", status);
  Lock hold(lock_);
  if (!CheckOpen(func)) return false;
  if (!UsableScaleRange(low, high)) return func.setError(Err::InvalidArgument, fileInfo_.fileName);
  scaleLow_ = low;
  scaleHigh_ = high;
  return true;
}

bool SyntheticReaderImp::GetAccessScaleRange(float& low, float& high, Status* status) {
  Func func("SyntheticReader::GetAccessScaleRange", status);
  Lock hold(lock_);
  if (!CheckOpen(func)) return false;
  low = scaleLow_;
  high = scaleHigh_;
  return true;
}

bool SyntheticReaderImp::SetAccessStorageOrder(StorageOrder order, Status* status) {
  Func func("SyntheticReader::SetAccessStorageOrder", status);
  Lock hold(lock_);
  if (!CheckOpen(func)) return false;
  accessOrder_ = order;
  if (order >= 0 && order <= 5) layoutOrder_ = order;
  return true;
}

bool SyntheticReaderImp::GetAccessStorageOrder(StorageOrder& order, Status* status) {
  Func func("SyntheticReader::GetAccessStorageOrder", status);
  Lock hold(lock_);
  if (!CheckOpen(func)) return false;
  order = accessOrder_;
  return true;
}

}  // namespace Qra::Ostrel::Tyq::Private::Factory
