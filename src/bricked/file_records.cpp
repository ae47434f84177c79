// The description blocks of the file: where they go, and their I/O. The
// version handler supplies layouts and bytes.
#include <string>
#include <vector>

#include "bricked/file.h"
#include "bricked/format.h"
#include "bricked/version_handler.h"
#include "core/record_read.h"
#include "core/sample_count.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {

using Err = FileAccess::Error;

namespace {

constexpr int64_t kFirstBlock = static_cast<int64_t>(kHeaderSize);

// Whether the counts of statistics and histogram can describe samples.
bool plausibleCounts(const FileAccess::Histogram& hist, const FileAccess::DataInfo& info) {
  return plausibleCount(hist.count) && plausibleCount(info.statCount) &&
         checkedCountSum(hist.bins, FileAccess::Histogram::kBins) >= 0;
}

}  // namespace

void File::DefaultPositions() {
  if (infoPosition_ == -1) infoPosition_ = handler_->DefaultInfoPosition();
  if (histPosition_ == -1) histPosition_ = infoPosition_ + handler_->InfoBlockSize(dataInfo_);
  if (tileTable_.position == -1) tileTable_.position = histPosition_ + handler_->HistSize();
  if (brickTable_.position == -1) {
    brickTable_.position = tileTable_.position + 8 * tileTable_.count;
  }
}

bool File::WriteOffsets(Status* status) {
  if (!handler_->HasOffsetsRecord()) return true;
  Func func("File::WriteOffsets<1>", status);
  V1Offsets offsets;
  offsets.info = infoPosition_;
  offsets.tiles = tileTable_.position;
  offsets.bricks = brickTable_.position;
  offsets.hist = histPosition_;
  uint8_t bytes[kV1OffsetsSize];
  encodeV1Offsets(offsets, bytes);
  return WriteRecord(*file_, kFirstBlock, kV1OffsetsSize, bytes, func);
}

bool File::ReadOffsets(Status* status) {
  if (!handler_->HasOffsetsRecord()) {
    infoPosition_ = handler_->DefaultInfoPosition();
    return true;
  }
  Func func("File::ReadOffsets<1>", status);
  uint8_t bytes[kV1OffsetsSize];
  if (!ReadRecord(*file_, kFirstBlock, kV1OffsetsSize, bytes, func)) return false;
  const V1Offsets offsets = decodeV1Offsets(bytes);
  const int64_t size = fileInfo_.fileSize;
  if (!RecordFits(offsets.info, handler_->InfoFixedSize(), size, kFirstBlock) ||
      !RecordFits(offsets.hist, 0, size, kFirstBlock) ||
      !RecordFits(offsets.tiles, 0, size, kFirstBlock) ||
      !RecordFits(offsets.bricks, 0, size, kFirstBlock)) {
    return func.setError(Err::ReadFailed, fileInfo_.fileName);
  }
  infoPosition_ = offsets.info;
  histPosition_ = offsets.hist;
  tileTable_.position = offsets.tiles;
  brickTable_.position = offsets.bricks;
  return true;
}

bool File::WriteInfo(Status* status) {
  Func func("File::WriteInfo", status);
  if (!infoChanged_) return true;
  if (infoPosition_ <= 0) return func.setError(Err::InternalError, fileInfo_.fileName);
  const std::string bytes = handler_->EncodeInfo(fileInfo_, dataInfo_);
  // The blocks behind the information block were placed for its size when
  // the file was created or opened; a different size would overwrite them.
  if (static_cast<int64_t>(bytes.size()) > histPosition_ - infoPosition_) {
    return func.setError(Err::InternalError, fileInfo_.fileName);
  }
  if (!WriteRecord(*file_, infoPosition_, static_cast<uint32_t>(bytes.size()), bytes.data(),
                   func)) {
    return false;
  }
  infoChanged_ = false;
  return true;
}

bool File::ReadInfo(Status* status) {
  Func func("File::ReadInfo", status);
  const std::string& name = fileInfo_.fileName;
  if (infoPosition_ <= 0) return func.setError(Err::InternalError, name);
  std::vector<uint8_t> fixed(handler_->InfoFixedSize());
  if (!ReadRecord(*file_, infoPosition_, static_cast<uint32_t>(fixed.size()), fixed.data(), func)) {
    return false;
  }
  const int64_t stringsAt = infoPosition_ + static_cast<int64_t>(fixed.size());
  const int64_t length = handler_->StringsLength(fixed.data(), fileInfo_.fileSize);
  if (length < 0 || !RecordFits(stringsAt, length, fileInfo_.fileSize, kFirstBlock)) {
    return func.setError(Err::ReadFailed, name);
  }
  std::vector<uint8_t> strings(static_cast<size_t>(length));
  if (length > 0 &&
      !ReadRecord(*file_, stringsAt, static_cast<uint32_t>(length), strings.data(), func)) {
    return false;
  }
  if (!handler_->DecodeInfo(fixed.data(), strings.data(), static_cast<uint32_t>(length), fileInfo_,
                            dataInfo_)) {
    return func.setError(Err::ReadFailed, name);
  }
  return OnCriticalInfoChanged(fileInfo_.fileSize, func.statusP());
}

bool File::WriteHist(Status* status) {
  Func func("File::WriteHist", status);
  if (!histChanged_) return true;
  if (histPosition_ <= 0) return func.setError(Err::InternalError, fileInfo_.fileName);
  const std::string bytes = handler_->EncodeHist(hist_, fileInfo_);
  if (!WriteRecord(*file_, histPosition_, static_cast<uint32_t>(bytes.size()), bytes.data(),
                   func)) {
    return false;
  }
  histChanged_ = false;
  return true;
}

bool File::ReadHist(Status* status) {
  Func func("File::ReadHist", status);
  if (histPosition_ <= 0) return func.setError(Err::InternalError, fileInfo_.fileName);
  std::vector<uint8_t> bytes(handler_->HistSize());
  if (!ReadRecord(*file_, histPosition_, static_cast<uint32_t>(bytes.size()), bytes.data(), func)) {
    return false;
  }
  handler_->DecodeHist(bytes.data(), hist_, fileInfo_, dataInfo_);
  if (!plausibleCounts(hist_, dataInfo_)) return func.setError(Err::ReadFailed, fileInfo_.fileName);
  return true;
}

}  // namespace Qra::Ostrel::Tyq::Private::Bricked
