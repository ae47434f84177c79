#include "bricked/version_handler.h"

#include <string>
#include <vector>

#include "bricked/format.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {

namespace E = FileAccess;

const FileVersionHandlerBase* FileVersionHandlerBase::ForVersion(int32_t version) {
  static const FileVersionHandler<1> v1;
  static const FileVersionHandler<2> v2;
  static const FileVersionHandler<3> v3;
  switch (version) {
    case 1:
      return &v1;
    case 2:
      return &v2;
    case 3:
      return &v3;
    default:
      return nullptr;
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

// Both blocks are encoded before either is decoded: the oldest version keeps
// part of FileInfo in the histogram block.
void FileVersionHandlerBase::Normalize(E::FileInfo& fileInfo, E::DataInfo& dataInfo,
                                       E::Histogram& hist) const {
  const std::string info = EncodeInfo(fileInfo, dataInfo);
  const std::string histBytes = EncodeHist(hist, fileInfo);
  const auto* bytes = reinterpret_cast<const uint8_t*>(info.data());
  const uint32_t fixed = InfoFixedSize();
  DecodeInfo(bytes, bytes + fixed, static_cast<uint32_t>(info.size() - fixed), fileInfo, dataInfo);
  DecodeHist(reinterpret_cast<const uint8_t*>(histBytes.data()), hist, fileInfo, dataInfo);
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
int64_t FileVersionHandler<V>::DefaultInfoPosition() const {
  return V == 1 ? kV1InfoPos : kV23InfoPos;
}

template <int V>
uint32_t FileVersionHandler<V>::InfoFixedSize() const {
  return static_cast<uint32_t>(V == 1 ? kV1InfoSize : kV23InfoFixedSize);
}

template <int V>
uint32_t FileVersionHandler<V>::HistSize() const {
  return static_cast<uint32_t>(V == 1 ? kV1HistSize : kV23HistSize);
}

template <int V>
std::string FileVersionHandler<V>::EncodeInfo(const E::FileInfo& fileInfo,
                                              const E::DataInfo& dataInfo) const {
  if constexpr (V == 1) {
    return encodeInfoV1(fileInfo, dataInfo);
  } else {
    return encodeInfoV23(fileInfo, dataInfo);
  }
}

template <int V>
int64_t FileVersionHandler<V>::StringsLength(const uint8_t* fixed, int64_t fileSize) const {
  if constexpr (V == 1) {
    (void)fixed;
    (void)fileSize;
    return 0;
  } else {
    const uint32_t length = stringsLengthV23(fixed);
    return stringsLengthPlausibleV23(length, fileSize) ? int64_t{length} : -1;
  }
}

template <int V>
bool FileVersionHandler<V>::DecodeInfo(const uint8_t* fixed, const uint8_t* strings,
                                       uint32_t length, E::FileInfo& fileInfo,
                                       E::DataInfo& dataInfo) const {
  if constexpr (V == 1) {
    (void)strings;
    (void)length;
    decodeInfoV1(fixed, fileInfo, dataInfo);
    return true;
  } else {
    return decodeInfoV23(fixed, strings, length, fileInfo, dataInfo);
  }
}

template <int V>
std::string FileVersionHandler<V>::EncodeHist(const E::Histogram& hist,
                                              const E::FileInfo& fileInfo) const {
  if constexpr (V == 1) {
    return encodeHistV1(hist, fileInfo);
  } else {
    (void)fileInfo;
    return encodeHistV23(hist);
  }
}

template <int V>
void FileVersionHandler<V>::DecodeHist(const uint8_t* bytes, E::Histogram& hist,
                                       E::FileInfo& fileInfo, E::DataInfo& dataInfo) const {
  if constexpr (V == 1) {
    decodeHistV1(bytes, hist, fileInfo, dataInfo);
  } else {
    (void)fileInfo;
    (void)dataInfo;
    decodeHistV23(bytes, hist);
  }
}

template class FileVersionHandler<1>;
template class FileVersionHandler<2>;
template class FileVersionHandler<3>;

}  // namespace Qra::Ostrel::Tyq::Private::Bricked
