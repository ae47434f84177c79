#include "bricked/version_handler.h"

#include <string>
#include <vector>

#include "bricked/file.h"
#include "bricked/format.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {

namespace E = FileAccess;
using Err = FileAccess::Error;

const FileVersionHandlerBase* FileVersionHandlerBase::ForVersion(int32_t version) {
  static const FileVersionHandler<1> v1;
  static const FileVersionHandler<2> v2;
  static const FileVersionHandler<3> v3;
  switch (version) {
    case 1: return &v1;
    case 2: return &v2;
    case 3: return &v3;
    default: return nullptr;
  }
}

template <int V>
void FileVersionHandler<V>::ToFileOrder(int64_t* entries, int64_t count) const {
  if constexpr (V == 1) swapEntryWords(entries, static_cast<size_t>(count));
}

template <int V>
void FileVersionHandler<V>::FromFileOrder(int64_t* entries, int64_t count) const {
  if constexpr (V == 1) swapEntryWords(entries, static_cast<size_t>(count));
}

template <int V>
int64_t FileVersionHandler<V>::EncodeTileEntry(int64_t position, const uint8_t* constant) const {
  if constexpr (V == 1) {
    return encodeEntryV1(position, constant != nullptr && *constant == 0);
  } else {
    return encodeTileEntryV23(position, constant);
  }
}

template <int V>
int64_t FileVersionHandler<V>::DecodeTileEntry(int64_t entry, uint8_t* constantOut) const {
  if constexpr (V == 1) {
    return decodeTileEntryV1(entry, constantOut);
  } else {
    return decodeTileEntryV23(entry, constantOut);
  }
}

template <int V>
int64_t FileVersionHandler<V>::EncodeBrickEntry(int64_t position, const void* constant,
                                                int32_t sampleSize) const {
  if constexpr (V == 1) {
    bool zero = constant != nullptr;
    for (int32_t b = 0; zero && b < sampleSize; ++b) {
      zero = static_cast<const uint8_t*>(constant)[b] == 0;
    }
    return encodeEntryV1(position, zero);
  } else {
    return encodeBrickEntryV23(position, constant, sampleSize);
  }
}

template <int V>
int64_t FileVersionHandler<V>::DecodeBrickEntry(int64_t entry, void* constantOut,
                                                int32_t sampleSize) const {
  if constexpr (V == 1) {
    return decodeBrickEntryV1(entry, constantOut, sampleSize);
  } else {
    return decodeBrickEntryV23(entry, constantOut, sampleSize);
  }
}

template <int V>
void FileVersionHandler<V>::Normalize(E::FileInfo& fileInfo, E::DataInfo& dataInfo,
                                      E::Histogram& hist) const {
  if constexpr (V == 1) {
    const std::string info = encodeInfoV1(fileInfo, dataInfo);
    const std::string histBytes = encodeHistV1(hist, fileInfo);
    decodeInfoV1(reinterpret_cast<const uint8_t*>(info.data()), fileInfo, dataInfo);
    decodeHistV1(reinterpret_cast<const uint8_t*>(histBytes.data()), hist, fileInfo, dataInfo);
  } else {
    const std::string info = encodeInfoV23(fileInfo, dataInfo);
    const auto* bytes = reinterpret_cast<const uint8_t*>(info.data());
    decodeInfoV23(bytes, bytes + kV23InfoFixedSize, info.size() - kV23InfoFixedSize, fileInfo,
                  dataInfo);
    const std::string histBytes = encodeHistV23(hist);
    decodeHistV23(reinterpret_cast<const uint8_t*>(histBytes.data()), hist);
  }
}

template <int V>
int64_t FileVersionHandler<V>::InfoBlockSize(const E::DataInfo& info) const {
  if constexpr (V == 1) {
    return static_cast<int64_t>(kV1InfoSize);
  } else {
    return static_cast<int64_t>(kV23InfoFixedSize) + stringsLengthV23(info);
  }
}

template <int V>
void FileVersionHandler<V>::DefaultPositions(File& file) const {
  if (file.infoPosition_ == -1) file.infoPosition_ = V == 1 ? kV1InfoPos : kV23InfoPos;
  if (file.histPosition_ == -1) {
    file.histPosition_ = file.infoPosition_ + InfoBlockSize(file.dataInfo_);
  }
  if (file.tileTable_.position == -1) {
    file.tileTable_.position =
        file.histPosition_ + static_cast<int64_t>(V == 1 ? kV1HistSize : kV23HistSize);
  }
  if (file.brickTable_.position == -1) {
    file.brickTable_.position = file.tileTable_.position + 8 * file.tileTable_.count;
  }
}

template <int V>
bool FileVersionHandler<V>::WriteOffsets(File& file, Status* status) const {
  if constexpr (V != 1) {
    (void)file;
    (void)status;
    return true;
  } else {
    Func func("File::WriteOffsets<1>", status);
    V1Offsets offsets;
    offsets.info = file.infoPosition_;
    offsets.tiles = file.tileTable_.position;
    offsets.bricks = file.brickTable_.position;
    offsets.hist = file.histPosition_;
    uint8_t bytes[kV1OffsetsSize];
    encodeV1Offsets(offsets, bytes);
    if (!file.file_->WriteAtPosition(kHeaderSize, kV1OffsetsSize, bytes, func.statusP())) {
      return func.pushError(Err::WriteFailed);
    }
    return true;
  }
}

namespace {

// A block position read from a file must leave room for the block itself.
bool blockFits(int64_t position, int64_t size, int64_t fileSize) {
  return position >= static_cast<int64_t>(kHeaderSize) && size >= 0 && position <= fileSize &&
         size <= fileSize - position;
}

}  // namespace

template <int V>
bool FileVersionHandler<V>::ReadOffsets(File& file, Status* status) const {
  if constexpr (V != 1) {
    (void)status;
    file.infoPosition_ = kV23InfoPos;
    return true;
  } else {
    Func func("File::ReadOffsets<1>", status);
    uint8_t bytes[kV1OffsetsSize];
    if (!file.file_->ReadFromPosition(kHeaderSize, kV1OffsetsSize, bytes, func.statusP())) {
      return func.pushError(Err::ReadFailed);
    }
    const V1Offsets offsets = decodeV1Offsets(bytes);
    const int64_t size = file.fileInfo_.fileSize;
    if (!blockFits(offsets.info, kV1InfoSize, size) || !blockFits(offsets.hist, 0, size) ||
        !blockFits(offsets.tiles, 0, size) || !blockFits(offsets.bricks, 0, size)) {
      return func.setError(Err::ReadFailed, file.fileInfo_.fileName);
    }
    file.infoPosition_ = offsets.info;
    file.histPosition_ = offsets.hist;
    file.tileTable_.position = offsets.tiles;
    file.brickTable_.position = offsets.bricks;
    return true;
  }
}

template <int V>
bool FileVersionHandler<V>::WriteInfo(File& file, Status* status) const {
  Func func("File::WriteInfo", status);
  if (!file.infoChanged_) return true;
  if (file.infoPosition_ <= 0) return func.setError(Err::InternalError, file.fileInfo_.fileName);
  std::string bytes;
  if constexpr (V == 1) {
    bytes = encodeInfoV1(file.fileInfo_, file.dataInfo_);
  } else {
    bytes = encodeInfoV23(file.fileInfo_, file.dataInfo_);
  }
  // The blocks behind the information block were placed for its size when
  // the file was created or opened; a different size would overwrite them.
  if (static_cast<int64_t>(bytes.size()) > file.histPosition_ - file.infoPosition_) {
    return func.setError(Err::InternalError, file.fileInfo_.fileName);
  }
  if (!file.file_->WriteAtPosition(file.infoPosition_, static_cast<uint32_t>(bytes.size()),
                                   bytes.data(), func.statusP())) {
    return func.pushError(Err::WriteFailed);
  }
  file.infoChanged_ = false;
  return true;
}

template <int V>
bool FileVersionHandler<V>::ReadInfo(File& file, Status* status) const {
  Func func("File::ReadInfo", status);
  const std::string& name = file.fileInfo_.fileName;
  if (file.infoPosition_ <= 0) return func.setError(Err::InternalError, name);
  const size_t fixedSize = V == 1 ? kV1InfoSize : kV23InfoFixedSize;
  std::vector<uint8_t> fixed(fixedSize);
  if (!file.file_->ReadFromPosition(file.infoPosition_, static_cast<uint32_t>(fixedSize),
                                    fixed.data(), func.statusP())) {
    return func.pushError(Err::ReadFailed);
  }
  if constexpr (V == 1) {
    decodeInfoV1(fixed.data(), file.fileInfo_, file.dataInfo_);
  } else {
    const int64_t stringsAt = file.infoPosition_ + static_cast<int64_t>(fixedSize);
    const uint32_t length = stringsLengthV23(fixed.data());
    if (!stringsLengthPlausibleV23(length, file.fileInfo_.fileSize) ||
        !blockFits(stringsAt, length, file.fileInfo_.fileSize)) {
      return func.setError(Err::ReadFailed, name);
    }
    std::vector<uint8_t> strings(length);
    if (length > 0 &&
        !file.file_->ReadFromPosition(stringsAt, length, strings.data(), func.statusP())) {
      return func.pushError(Err::ReadFailed);
    }
    if (!decodeInfoV23(fixed.data(), strings.data(), length, file.fileInfo_, file.dataInfo_)) {
      return func.setError(Err::ReadFailed, name);
    }
  }
  return file.OnCriticalInfoChanged(file.fileInfo_.fileSize, func.statusP());
}

template <int V>
bool FileVersionHandler<V>::WriteHist(File& file, Status* status) const {
  Func func("File::WriteHist", status);
  if (!file.histChanged_) return true;
  if (file.histPosition_ <= 0) return func.setError(Err::InternalError, file.fileInfo_.fileName);
  std::string bytes;
  if constexpr (V == 1) {
    bytes = encodeHistV1(file.hist_, file.fileInfo_);
  } else {
    bytes = encodeHistV23(file.hist_);
  }
  if (!file.file_->WriteAtPosition(file.histPosition_, static_cast<uint32_t>(bytes.size()),
                                   bytes.data(), func.statusP())) {
    return func.pushError(Err::WriteFailed);
  }
  file.histChanged_ = false;
  return true;
}

template <int V>
bool FileVersionHandler<V>::ReadHist(File& file, Status* status) const {
  Func func("File::ReadHist", status);
  if (file.histPosition_ <= 0) return func.setError(Err::InternalError, file.fileInfo_.fileName);
  const size_t size = V == 1 ? kV1HistSize : kV23HistSize;
  std::vector<uint8_t> bytes(size);
  if (!file.file_->ReadFromPosition(file.histPosition_, static_cast<uint32_t>(size), bytes.data(),
                                    func.statusP())) {
    return func.pushError(Err::ReadFailed);
  }
  if constexpr (V == 1) {
    decodeHistV1(bytes.data(), file.hist_, file.fileInfo_, file.dataInfo_);
  } else {
    decodeHistV23(bytes.data(), file.hist_);
  }
  return true;
}

template class FileVersionHandler<1>;
template class FileVersionHandler<2>;
template class FileVersionHandler<3>;

}  // namespace Qra::Ostrel::Tyq::Private::Bricked
