// Creating, opening and finalizing a compressed volume file, and its fixed
// records: header, offsets, information block and histogram.
#include "compressed/file.h"

#include <algorithm>
#include <cstring>

#include "compressed/version_handler.h"
#include "core/endian.h"
#include "core/random_id.h"
#include "core/record_read.h"
#include "core/sample_count.h"
#include "tyq/environment.h"

namespace Qra::Ostrel::Tyq::Private::Compressed {

using Err = FileAccess::Error;
namespace FA = FileAccess;

File::File(FA::FileFactory::UsageHint hint, FA::FileADT* file) : file_(file), hint_(hint) {
  if (!file_) {
    const bool multiThreaded = Environment::getNumericEnv("OSTREL_TYQ_MT_COMPRESSED", 1) != 0;
    ownedFile_.reset(FA::FileFactory::instance().CreateFileADT("", hint, multiThreaded));
    file_ = ownedFile_.get();
  }
}

File::~File() {
  Discard(nullptr);
}

bool File::Fail(Func& func) {
  Discard(nullptr);
  return func.ensureError();
}

bool File::SetVersion(int32_t version, Status* status) {
  Func func("File::SetVersion", status);
  if (version < kOldestVersion) return func.setError(Err::VersionTooOld, file_->FileName());
  if (version > kNewestVersion) return func.setError(Err::VersionTooNew, file_->FileName());
  handler_ = FileVersionHandlerBase::ForVersion(version);
  offsets_ = handler_->InitializeOffsets();
  fileInfo_.formatVersion = version;
  twoStage_ = handler_->IsTwoStage();
  return true;
}

bool File::ReadFileHeader(int32_t version, Status* status) {
  Func func("File::ReadFileHeader", status);
  uint8_t head[kHeaderSize];
  if (!ReadAt(0, kHeaderSize, head, func)) return false;
  if (Le::getI32(head) != kMagic) return func.setError(Err::UnknownFileType, file_->FileName());
  const int32_t found = Le::getI32(head + 4);
  if (version > 0 && found != version) {
    return func.setError(Err::VersionUnsupported, file_->FileName());
  }
  return SetVersion(found, func.statusP());
}

bool File::WriteFileHeader(Status* status) {
  Func func("File::WriteFileHeader", status);
  uint8_t head[kHeaderSize];
  Le::putI32(head, kMagic);
  Le::putI32(head + 4, handler_->Version());
  return WriteRecord(*file_, 0, kHeaderSize, head, func);
}

bool File::ReadOffsets(Status* status) {
  Func func("File::ReadOffsets", status);
  uint8_t bytes[kOffsetsSize];
  if (!ReadAt(kOffsetsPos, kOffsetsSize, bytes, func)) return false;
  offsets_ = handler_->ReadOffsets(bytes);
  return true;
}

bool File::WriteOffsets(Status* status) {
  Func func("File::WriteOffsets", status);
  const std::string bytes = handler_->WriteOffsets(offsets_);
  return WriteRecord(*file_, kOffsetsPos, kOffsetsSize, bytes.data(), func);
}

bool File::ReadInfo(Status* status) {
  Func func("File::ReadInfo", status);
  if (offsets_.info == 0) return func.setError(Err::InternalError, file_->FileName());
  std::vector<uint8_t> block(infoSize(handler_->Version()));
  if (!ReadAt(offsets_.info, block.size(), block.data(), func)) return false;
  handler_->ReadInfo(block.data(), fileInfo_, dataInfo_);
  fileInfo_.SetBasic(file_->FileName(), end_);
  return SetTableGeometry(func.statusP());
}

bool File::WriteInfo(Status* status) {
  Func func("File::WriteInfo", status);
  const std::string block = handler_->WriteInfo(fileInfo_, dataInfo_);
  if (!WriteRecord(*file_, offsets_.info, static_cast<uint32_t>(block.size()), block.data(),
                   func)) {
    return false;
  }
  infoChanged_ = false;
  return true;
}

bool File::ReadHist(Status* status) {
  Func func("File::ReadHist", status);
  hist_ = Histogram();
  // A file whose histogram was never stored reads as one without samples.
  if (offsets_.hist == 0) return true;
  uint8_t head[kHistHeadSize];
  if (!ReadAt(offsets_.hist, kHistHeadSize, head, func)) return false;
  const int32_t size = histPayloadSize(head);
  if (!histPayloadFits(size)) return func.setError(Err::InternalError, file_->FileName());
  std::vector<uint8_t> payload(static_cast<size_t>(size));
  if (!ReadAt(offsets_.hist + static_cast<int64_t>(kHistHeadSize), payload.size(), payload.data(),
              func)) {
    return false;
  }
  HistRecord record;
  if (!handler_->ReadHist(head, payload.data(), size, record)) {
    return func.setError(Err::InternalError, file_->FileName());
  }
  hist_.min = record.rangeMin;
  hist_.max = record.rangeMax;
  std::copy(record.bins, record.bins + kHistBins, hist_.bins);
  hist_.count = checkedCountSum(record.bins, kHistBins);
  if (hist_.count < 0) return func.setError(Err::ReadFailed, file_->FileName());
  fileInfo_.SetCodingCompressed(record.compressionFactor, record.sqnr);
  fileInfo_.valueMin = record.statMin;
  fileInfo_.valueMax = record.statMax;
  dataInfo_.statMin = record.statMin;
  dataInfo_.statMax = record.statMax;
  return true;
}

bool File::WriteHist(Status* status) {
  Func func("File::WriteHist", status);
  if (offsets_.hist != 0) return func.setError(Err::InternalError, file_->FileName());
  HistRecord record;
  record.sqnr = fileInfo_.sqnr;
  record.rangeMax = hist_.max;
  record.rangeMin = hist_.min;
  record.statMax = dataInfo_.statMax;
  record.statMin = dataInfo_.statMin;
  std::copy(hist_.bins, hist_.bins + kHistBins, record.bins);
  // The factor is measured against the file as it ends with this record,
  // whose length does not depend on the factor.
  const int64_t after = end_ + static_cast<int64_t>(handler_->WriteHist(record).size());
  const double raw =
      double{kBrick} * kBrick * kBrick * 4.0 * static_cast<double>(brickTable_.stored);
  fileInfo_.compressionFactor = static_cast<float>(raw / static_cast<double>(after));
  record.compressionFactor = fileInfo_.compressionFactor;
  if (!Append(handler_->WriteHist(record), offsets_.hist, func)) return false;
  histChanged_ = false;
  return true;
}

void File::Normalize() {
  handler_->Normalize(fileInfo_, dataInfo_, hist_);
}

bool File::Create(const std::string& name, const DataInfo& dataInfo, float sqnr, int32_t version,
                  bool overwrite, Status* status) {
  Func func("File::Create", status);
  Discard(nullptr);
  if (!SetVersion(version == 0 ? kNewestVersion : version, func.statusP())) return false;
  if (!file_->CreateNewFile(name, func.statusP(), false, true, true, overwrite)) {
    func.pushError(Err::CreateFailed);
    return Fail(func);
  }
  open_ = writable_ = true;
  end_ = 0;
  const int32_t* size = dataInfo.size;
  const int32_t bricks[3] = {bricksAlong(size[0]), bricksAlong(size[1]), bricksAlong(size[2])};
  fileInfo_ = FileInfo();
  fileInfo_.SetBasic(name, 0);
  fileInfo_.SetFormat("Compressed TYQ", handler_->Version(), 1);
  fileInfo_.SetBricked(size[0], size[1], size[2], kBrick, kBrick, kBrick,
                       handler_->KeepsPyramid() ? pyramidLevels(bricks) : 3,
                       FA::StorageOrderEnum::TraditionalTyq());
  fileInfo_.SetCodingCompressed(0.0f, sqnr);
  dataInfo_ = dataInfo;
  std::memset(dataInfo_.dataId, 0, sizeof dataInfo_.dataId);
  std::memset(dataInfo_.previousDataId, 0, sizeof dataInfo_.previousDataId);
  dataInfo_.updateCounter = 0;
  if (!newRandomId(dataInfo_.fileId, func.statusP())) return Fail(func);
  hist_ = Histogram();
  Normalize();
  if (!OnCriticalInfoChanged(func.statusP()) || !WriteFileHeader(func.statusP()) ||
      !WriteOffsets(func.statusP()) || !WriteInfo(func.statusP())) {
    return Fail(func);
  }
  end_ = kInfoPos + static_cast<int64_t>(infoSize(handler_->Version()));
  return true;
}

bool File::Open(const std::string& name, int32_t version, Status* status) {
  Func func("File::Open", status);
  Discard(nullptr);
  const bool readOnly = hint_ == FA::FileFactory::UsageRead;
  if (!file_->OpenExistingFile(name, func.statusP(), readOnly, false, true, true)) {
    func.pushError(Err::OpenFailed);
    return Fail(func);
  }
  open_ = true;
  end_ = file_->GetFileSize(func.statusP());
  if (end_ < 0) return Fail(func);
  if (!ReadFileHeader(version, func.statusP()) || !ReadOffsets(func.statusP()) ||
      !ReadInfo(func.statusP()) || !ReadHist(func.statusP()) || !ReadLookupTable(func.statusP())) {
    return Fail(func);
  }
  ReadStats();
  fileInfo_.SetBasic(name, end_);
  return true;
}

bool File::NewRevision(Status* status) {
  Func func("File::NewRevision", status);
  std::memcpy(dataInfo_.previousDataId, dataInfo_.dataId, sizeof dataInfo_.dataId);
  if (!newRandomId(dataInfo_.dataId, func.statusP())) return false;
  ++dataInfo_.updateCounter;
  infoChanged_ = true;
  return true;
}

bool File::Finalize(bool newRevision, Status* status) {
  Func func("File::Finalize", status);
  if (!CheckWritable(func)) return false;
  std::lock_guard<std::mutex> hold(lock_);
  if ((newRevision && !NewRevision(func.statusP())) || !WriteLookupTable(func.statusP()) ||
      (infoChanged_ && !WriteInfo(func.statusP())) ||
      (histChanged_ && !WriteStats(func.statusP())) ||
      (histChanged_ && !WriteHist(func.statusP())) || !WriteOffsets(func.statusP()) ||
      !WriteFileHeader(func.statusP()) || !file_->Flush(func.statusP())) {
    return Fail(func);
  }
  Normalize();
  fileInfo_.SetBasic(file_->FileName(), end_);
  writable_ = false;
  return true;
}

bool File::Discard(Status* status) {
  Func func("File::Discard", status);
  if (open_) file_->Close(nullptr);
  open_ = writable_ = false;
  brickTable_ = LookupTable();
  tileTable_ = LookupTable();
  return true;
}

bool File::CheckWritable(Func& func) const {
  if (!open_) return func.setError(Err::NotOpen, file_->FileName());
  if (!writable_) return func.setError(Err::ReadOnly, file_->FileName());
  return true;
}

const FA::FileInfo* File::GetFileInfo(Status* status) const {
  Func func("File::GetFileInfo", status);
  if (!open_) return func.setError(Err::NotOpen, ""), nullptr;
  return &fileInfo_;
}

const FA::DataInfo* File::GetDataInfo(Status* status) const {
  Func func("File::GetDataInfo", status);
  if (!open_) return func.setError(Err::NotOpen, ""), nullptr;
  return &dataInfo_;
}

const FA::Histogram* File::GetDataHist(Status* status) const {
  Func func("File::GetDataHist", status);
  if (!open_) return func.setError(Err::NotOpen, ""), nullptr;
  return &hist_;
}

bool File::SetDataInfo(const DataInfo& info, Status* status) {
  Func func("File::SetDataInfo", status);
  if (!CheckWritable(func)) return false;
  // Extent and identity are fixed at creation: the tables depend on them.
  DataInfo next = info;
  std::copy(dataInfo_.size, dataInfo_.size + 3, next.size);
  std::memcpy(next.fileId, dataInfo_.fileId, sizeof next.fileId);
  dataInfo_ = next;
  infoChanged_ = true;
  return true;
}

bool File::SetDataStats(int64_t count, double sum, double sumOfSquares, double min, double max,
                        Status* status) {
  Func func("File::SetDataStats", status);
  if (!CheckWritable(func)) return false;
  dataInfo_.SetStatistics(count, sum, sumOfSquares, static_cast<float>(min),
                          static_cast<float>(max));
  histChanged_ = infoChanged_ = true;
  return true;
}

bool File::SetDataHist(int64_t count, double min, double max, const int64_t* bins, Status* status) {
  Func func("File::SetDataHist", status);
  if (!CheckWritable(func)) return false;
  hist_.count = count;
  hist_.min = static_cast<float>(min);
  hist_.max = static_cast<float>(max);
  std::copy(bins, bins + kHistBins, hist_.bins);
  histChanged_ = true;
  return true;
}

}  // namespace Qra::Ostrel::Tyq::Private::Compressed
