// Lifecycle of an uncompressed volume file: open, create, reload, flush,
// finalise, discard, and the in-memory description records.
#include "bricked/file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "bricked/format.h"
#include "bricked/version_handler.h"
#include "core/endian.h"
#include "core/random_id.h"
#include "tyq/environment.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {

using Err = FileAccess::Error;
namespace FA = FileAccess;

File::File(const std::string& name, FA::FileFactory::UsageHint hint, FA::FileADT* file) {
  fileInfo_.formatName = "Uncompressed TYQ";
  if (file) {
    file_ = file;
  } else {
    ownedFile_.reset(FA::FileFactory::instance().CreateFileADT(name, hint, true));
    file_ = ownedFile_.get();
  }
}

File::~File() {
  Discard(nullptr);
}

int32_t File::GetNumberOfBricks(int axis, int level) const {
  if (level < 0 || static_cast<size_t>(level) >= geometry_.levels.size()) return 0;
  return geometry_.levels[static_cast<size_t>(level)].count[axis];
}

void File::ChooseFileModes(const std::string& name, const FA::TyqOptions& options, bool& buffered,
                           bool& synchronous) const {
  buffered = Environment::getNumericEnv("OSTREL_TYQ_BUFFERED", options.unbuffered ? 0 : 1) != 0;
  synchronous =
      Environment::getNumericEnv("OSTREL_TYQ_SYNCHRONOUS", options.asynchronous ? 0 : 1) != 0;
  if (name.find(".tyqb") != std::string::npos) {
    buffered = synchronous = true;
  } else if (name.find(".tyqu") != std::string::npos) {
    buffered = false;
    synchronous = true;
  } else if (name.find(".tyqa") != std::string::npos) {
    buffered = synchronous = false;
  }
}

bool File::Open(const std::string& name, bool readOnly, const FA::TyqOptions& options,
                Status* status, int32_t version) {
  Func func("File::Open", status);
  Discard(nullptr);
  if (!file_) return func.setError(Err::InternalError, name);
  bool buffered = true, synchronous = true;
  ChooseFileModes(name, options, buffered, synchronous);
  if (!file_->OpenExistingFile(name, func.statusP(), readOnly, true, buffered, synchronous)) {
    return func.pushError(Err::OpenFailed);
  }
  open_ = true;
  writable_ = !readOnly;
  fileInfo_.fileName = name;  // so that errors while reading name the file
  if (!Reload(version, func.statusP())) {
    Discard(nullptr);
    return func.ensureError();
  }
  fileInfo_.fileName = name;
  return true;
}

bool File::Reload(int32_t version, Status* status) {
  Func func("File::Reload", status);
  if (!open_) return func.setError(Err::NotOpen, fileInfo_.fileName);
  fileInfo_.fileSize = file_->GetFileSize(func.statusP());
  if (!func.ok()) return false;
  {
    std::lock_guard<std::mutex> hold(tableLock_);
    dataEnd_ = fileInfo_.fileSize;
  }
  // Everything is re-derived from the file, including where its blocks are.
  infoPosition_ = histPosition_ = brickTable_.position = tileTable_.position = -1;
  tileCursor_ = brickCursor_ = -1;
  infoChanged_ = histChanged_ = false;
  dataInfo_.Reset();
  hist_ = Histogram();
  mapping_.Unmap();
  if (!ReadFileHeader(version, func.statusP()) || !ReadOffsets(func.statusP()) ||
      !ReadInfo(func.statusP()) || !ReadHist(func.statusP()) || !ReadLookupTable(func.statusP())) {
    return false;
  }
  RefreshMapping();
  return true;
}

bool File::SetVersion(int32_t version, Status* status) {
  Func func("File::SetVersion", status);
  if (version <= 0) return func.setError(Err::VersionTooOld, fileInfo_.fileName);
  if (version >= 4) return func.setError(Err::VersionTooNew, fileInfo_.fileName);
  handler_ = FileVersionHandlerBase::ForVersion(version);
  fileInfo_.formatVersion = version;
  return true;
}

bool File::ReadFileHeader(int32_t version, Status* status) {
  Func func("File::ReadFileHeader", status);
  uint8_t header[kHeaderSize];
  if (!file_->ReadFromPosition(0, kHeaderSize, header, func.statusP())) {
    return func.pushError(Err::ReadFailed);
  }
  if (Le::getI32(header) != kMagic) return func.setError(Err::UnknownFileType, fileInfo_.fileName);
  const int32_t found = Le::getI32(header + 4);
  if (version > 0 && found != version) {
    return func.setError(Err::VersionUnsupported, fileInfo_.fileName);
  }
  return SetVersion(found, func.statusP());
}

bool File::WriteFileHeader(Status* status) {
  Func func("File::WriteFileHeader", status);
  uint8_t header[kHeaderSize];
  encodeHeader(fileInfo_.formatVersion, header);
  if (!file_->WriteAtPosition(0, kHeaderSize, header, func.statusP())) {
    return func.pushError(Err::WriteFailed);
  }
  return true;
}

namespace {
constexpr int32_t kDefaultBrick[3] = {64, 64, 64};
}  // namespace

void File::ApplyBrickSizeOverride() {
  if (Environment::getStringEnv("OSTREL_TYQ_BRICK_SIZE").empty()) return;
  const int32_t common = Environment::getNumericEnv("OSTREL_TYQ_BRICK_SIZE", 64);
  const char* names[3] = {"OSTREL_TYQ_BRICK_SIZE_0", "OSTREL_TYQ_BRICK_SIZE_1",
                          "OSTREL_TYQ_BRICK_SIZE_2"};
  int32_t brick[3];
  for (int a = 0; a < 3; ++a) {
    brick[a] = Environment::getNumericEnv(names[a], common);
    if (brick[a] <= 0) brick[a] = dataInfo_.size[a];
  }
  fileInfo_.SetBricked(dataInfo_.size[0], dataInfo_.size[1], dataInfo_.size[2], brick[0], brick[1],
                       brick[2], 0, FA::StorageOrderEnum::TraceOptimized());
  std::fprintf(stderr,
               "Warning: Overriding TYQ brick size to %d*%d*%d. This is an UNTESTED FEATURE!\n",
               brick[0], brick[1], brick[2]);
}

// The caller's brick size, else the environment's, else 64 on every axis;
// checked against the volume and the sample type (what the version and the
// pyramid can hold is checked by the caller).
bool File::ChooseBrickSize(const DataInfo& dataInfo, FA::EnumClass<FA::DataTypeEnum> dataType,
                           const FA::TyqOptions& options, Status* status) {
  Func func("File::Create", status);
  dataInfo_ = dataInfo;
  const int32_t* asked = options.brickSize;
  const bool given = asked[0] != 0 || asked[1] != 0 || asked[2] != 0;
  const int32_t* brick = given ? asked : kDefaultBrick;
  fileInfo_.SetBricked(dataInfo.size[0], dataInfo.size[1], dataInfo.size[2], brick[0], brick[1],
                       brick[2], 0, FA::StorageOrderEnum::TraceOptimized());
  if (!given) ApplyBrickSizeOverride();
  sampleSize_ = FA::DataTypeEnum::Size(dataType);
  return CheckGeometry(func.statusP());
}

bool File::Create(const std::string& name, const DataInfo& dataInfo,
                  FA::EnumClass<FA::DataTypeEnum> dataType, const FA::TyqOptions& options,
                  Status* status, float valueMin, float valueMax, int32_t version, bool overwrite) {
  Func func("File::Create", status);
  Discard(nullptr);
  fileInfo_.fileName = name;
  if (!file_) return func.setError(Err::InternalError, name);
  if (!SetVersion(version == 0 ? GetCurrentVersionNumber() : version, func.statusP())) {
    return false;
  }
  // Refuse what no file can describe before anything is created on disk.
  if (dataType < 0 || dataType > FA::DataTypeEnum::IbmFloat32 || dataInfo.size[0] <= 0 ||
      dataInfo.size[1] <= 0 || dataInfo.size[2] <= 0 ||
      !ChooseBrickSize(dataInfo, dataType, options, func.statusP())) {
    return func.setError(Err::InvalidArgument, name);
  }
  fileInfo_.SetCodingUncompressed(dataType, valueMin, valueMax);
  // A level the pyramid cannot halve would be stored unfilled.
  if (!creatableBrickGeometry(fileInfo_, fileInfo_.formatVersion)) {
    return func.setError(Err::InvalidArgument, name);
  }
  bool buffered = true, synchronous = true;
  ChooseFileModes(name, options, buffered, synchronous);
  if (!file_->CreateNewFile(name, func.statusP(), true, buffered, synchronous, overwrite)) {
    return func.pushError(Err::CreateFailed);
  }
  open_ = writable_ = true;
  sequential_ = Environment::getNumericEnv("OSTREL_TYQ_SEQUENTIAL", 0) > 0 ||
                name.rfind("sd://", 0) == 0 || name.rfind("gs://", 0) == 0;
  fileInfo_.fileSize = 0;
  {
    std::lock_guard<std::mutex> hold(tableLock_);
    dataEnd_ = 0;
  }
  uint8_t id[16];
  const bool ok = newRandomId(id, func.statusP());
  if (ok) {
    dataInfo_.SetId(id, nullptr, nullptr, 0);
    Normalize();
    infoChanged_ = true;
  }
  if (!ok || !OnCriticalInfoChanged(-1, func.statusP()) || !Flush(false, func.statusP())) {
    Discard(nullptr);
    return func.ensureError();
  }
  SetInitialCursors();
  fileInfo_.fileName = name;
  return true;
}

void File::Normalize() {
  handler_->Normalize(fileInfo_, dataInfo_, hist_);
}

bool File::NewIdentity(Status* status) {
  Func func("File::Flush", status);
  uint8_t id[16];
  if (!newRandomId(id, func.statusP())) return false;
  std::memcpy(dataInfo_.previousDataId, dataInfo_.dataId, 16);
  std::memcpy(dataInfo_.dataId, id, 16);
  dataInfo_.updateCounter += 1;
  Normalize();
  infoChanged_ = true;
  return true;
}

bool File::Flush(bool newIdentity, Status* status) {
  Func func("File::Flush", status);
  if (!open_) return func.setError(Err::NotOpen, fileInfo_.fileName);
  if (!writable_) return func.setError(Err::ReadOnly, fileInfo_.fileName);
  if (newIdentity && !NewIdentity(func.statusP())) return false;
  // Every block lies inside the file already, so a full disk still takes
  // them: after a failure the later blocks are written anyway, above all the
  // tables, without which no brick written so far could be found. The first
  // failure is reported.
  Status later;
  bool ok = EndBrickBatch(true, func.statusP());
  const auto write = [&](bool (File::*block)(Status*)) {
    if (!(this->*block)(ok ? func.statusP() : &later)) ok = false;
  };
  write(&File::WriteFileHeader);
  write(&File::WriteOffsets);
  write(&File::WriteInfo);
  write(&File::WriteHist);
  write(&File::WriteLookupTable);
  if (!ok) return false;
  fileInfo_.fileSize = file_->GetFileSize(func.statusP());
  std::lock_guard<std::mutex> hold(tableLock_);
  dataEnd_ = std::max(dataEnd_, fileInfo_.fileSize);
  return func.ok();
}

bool File::Finalize(bool newIdentity, Status* status) {
  Func func("File::Finalize", status);
  if (!Flush(newIdentity, func.statusP())) return false;
  writable_ = false;
  marks_.bricks.Clear();
  marks_.tiles.Clear();
  return true;
}

bool File::Discard(Status* status) {
  Func func("File::Discard", status);
  if (!open_) return func.setError(Err::NotOpen, fileInfo_.fileName);
  EndBrickBatch(true, nullptr);  // what was stored stays stored, as it would unbatched
  infoPosition_ = histPosition_ = brickTable_.position = tileTable_.position = -1;
  mapping_.Unmap();
  if (file_) file_->Close(nullptr);
  open_ = writable_ = false;
  marks_.bricks.Clear();
  marks_.tiles.Clear();
  tileCursor_ = brickCursor_ = -1;
  return true;
}

const FA::FileInfo* File::GetFileInfo(Status* status) const {
  Func func("File::GetFileInfo", status);
  if (!open_) return func.setError(Err::NotOpen, fileInfo_.fileName), nullptr;
  return &fileInfo_;
}

const FA::DataInfo* File::GetDataInfo(Status* status) const {
  Func func("File::GetDataInfo", status);
  if (!open_) return func.setError(Err::NotOpen, fileInfo_.fileName), nullptr;
  return &dataInfo_;
}

const FA::Histogram* File::GetDataHist(Status* status) const {
  Func func("File::GetDataHist", status);
  if (!open_) return func.setError(Err::NotOpen, fileInfo_.fileName), nullptr;
  return &hist_;
}

bool File::CheckWritable(Func& func) const {
  if (!open_) return func.setError(Err::NotOpen, fileInfo_.fileName);
  if (!writable_) return func.setError(Err::ReadOnly, fileInfo_.fileName);
  return true;
}

bool File::SetDataInfo(const DataInfo& info, Status* status) {
  Func func("File::SetDataInfo", status);
  if (!CheckWritable(func)) return false;
  DataInfo next = info;
  next.sourceName = dataInfo_.sourceName;
  next.sourceDescription = dataInfo_.sourceDescription;
  next.coordinateSystem = dataInfo_.coordinateSystem;
  std::copy(std::begin(dataInfo_.size), std::end(dataInfo_.size), next.size);
  std::copy(std::begin(dataInfo_.regionBegin), std::end(dataInfo_.regionBegin), next.regionBegin);
  std::copy(std::begin(dataInfo_.regionSize), std::end(dataInfo_.regionSize), next.regionSize);
  // The histogram and tables sit right behind the strings block, so unit
  // names that would change its length are refused rather than silently
  // dropped or allowed to overwrite the histogram.
  if (handler_->InfoBlockSize(next) != handler_->InfoBlockSize(dataInfo_)) {
    return func.setError(Err::InvalidArgument, fileInfo_.fileName);
  }
  dataInfo_ = next;
  infoChanged_ = true;
  return true;
}

bool File::SetDataHist(int64_t count, double min, double max, const int64_t* bins, Status* status) {
  Func func("File::SetDataHist", status);
  if (!CheckWritable(func)) return false;
  if (!bins) return func.setError(Err::InvalidArgument, fileInfo_.fileName);
  hist_ = Histogram(count, static_cast<float>(min), static_cast<float>(max));
  std::copy(bins, bins + Histogram::kBins, hist_.bins);
  Normalize();
  histChanged_ = true;
  return true;
}

bool File::SetDataStats(int64_t count, double sum, double sumOfSquares, double min, double max,
                        Status* status) {
  Func func("File::SetDataStats", status);
  if (!CheckWritable(func)) return false;
  dataInfo_.SetStatistics(count, sum, sumOfSquares, static_cast<float>(min),
                          static_cast<float>(max));
  Normalize();
  infoChanged_ = true;
  return true;
}

}  // namespace Qra::Ostrel::Tyq::Private::Bricked
