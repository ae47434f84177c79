#pragma once

#include <cstdint>
#include <string>

#include "tyq/records.h"
#include "tyq/status.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {

// What differs between the versions of the uncompressed format: entry codings,
// word order of tables, trace-block layout, where the description blocks go
// and their bytes. A handler is a codec: it returns layouts and bytes, the
// file object does the I/O. The handlers are stateless process-wide
// singletons.
class FileVersionHandlerBase {
 public:
  virtual ~FileVersionHandlerBase() = default;
  virtual int32_t GetVersion() const = 0;
  virtual bool IsBlockedLayout() const = 0;
  virtual bool SupportsAnyConstant() const = 0;
  virtual void ToFileOrder(int64_t* entries, int64_t count) const = 0;
  virtual void FromFileOrder(int64_t* entries, int64_t count) const = 0;
  virtual int64_t EncodeTileEntry(int64_t position, const uint8_t* constant) const = 0;
  virtual int64_t DecodeTileEntry(int64_t entry, uint8_t* constantOut) const = 0;
  virtual int64_t EncodeBrickEntry(int64_t position, const void* constant,
                                   int32_t sampleSize) const = 0;
  virtual int64_t DecodeBrickEntry(int64_t entry, void* constantOut, int32_t sampleSize) const = 0;
  // Round-trips the records through this version's blocks so that memory
  // holds exactly what a reader of the file will get.
  void Normalize(FileAccess::FileInfo& fileInfo, FileAccess::DataInfo& dataInfo,
                 FileAccess::Histogram& hist) const;

  // Layout. Whether the block positions are stored in an offsets record
  // behind the header (else they follow from the layout).
  virtual bool HasOffsetsRecord() const = 0;
  virtual int64_t DefaultInfoPosition() const = 0;
  // Bytes of the information block before its strings block.
  virtual uint32_t InfoFixedSize() const = 0;
  // Bytes of the information block including the strings block.
  virtual int64_t InfoBlockSize(const FileAccess::DataInfo& dataInfo) const = 0;
  virtual uint32_t HistSize() const = 0;

  // Bytes.
  virtual std::string EncodeInfo(const FileAccess::FileInfo& fileInfo,
                                 const FileAccess::DataInfo& dataInfo) const = 0;
  // The length of the strings block a fixed block announces, or -1 when the
  // length cannot be right for a file of `fileSize` bytes; 0 for a version
  // without strings.
  virtual int64_t StringsLength(const uint8_t* fixed, int64_t fileSize) const = 0;
  virtual bool DecodeInfo(const uint8_t* fixed, const uint8_t* strings, uint32_t length,
                          FileAccess::FileInfo& fileInfo, FileAccess::DataInfo& dataInfo) const = 0;
  virtual std::string EncodeHist(const FileAccess::Histogram& hist,
                                 const FileAccess::FileInfo& fileInfo) const = 0;
  // Version 1 also takes the value range and the statistics range from the
  // block.
  virtual void DecodeHist(const uint8_t* bytes, FileAccess::Histogram& hist,
                          FileAccess::FileInfo& fileInfo, FileAccess::DataInfo& dataInfo) const = 0;

  // The handler of a version (1, 2 or 3); null for any other.
  static const FileVersionHandlerBase* ForVersion(int32_t version);
};

template <int V>
class FileVersionHandler final : public FileVersionHandlerBase {
 public:
  int32_t GetVersion() const override { return V; }
  bool IsBlockedLayout() const override { return V == 1; }
  bool SupportsAnyConstant() const override { return V != 1; }
  void ToFileOrder(int64_t* entries, int64_t count) const override;
  void FromFileOrder(int64_t* entries, int64_t count) const override;
  int64_t EncodeTileEntry(int64_t position, const uint8_t* constant) const override;
  int64_t DecodeTileEntry(int64_t entry, uint8_t* constantOut) const override;
  int64_t EncodeBrickEntry(int64_t position, const void* constant,
                           int32_t sampleSize) const override;
  int64_t DecodeBrickEntry(int64_t entry, void* constantOut, int32_t sampleSize) const override;
  bool HasOffsetsRecord() const override { return V == 1; }
  int64_t DefaultInfoPosition() const override;
  uint32_t InfoFixedSize() const override;
  int64_t InfoBlockSize(const FileAccess::DataInfo& dataInfo) const override;
  uint32_t HistSize() const override;
  std::string EncodeInfo(const FileAccess::FileInfo& fileInfo,
                         const FileAccess::DataInfo& dataInfo) const override;
  int64_t StringsLength(const uint8_t* fixed, int64_t fileSize) const override;
  bool DecodeInfo(const uint8_t* fixed, const uint8_t* strings, uint32_t length,
                  FileAccess::FileInfo& fileInfo, FileAccess::DataInfo& dataInfo) const override;
  std::string EncodeHist(const FileAccess::Histogram& hist,
                         const FileAccess::FileInfo& fileInfo) const override;
  void DecodeHist(const uint8_t* bytes, FileAccess::Histogram& hist, FileAccess::FileInfo& fileInfo,
                  FileAccess::DataInfo& dataInfo) const override;
};

extern template class FileVersionHandler<1>;
extern template class FileVersionHandler<2>;
extern template class FileVersionHandler<3>;

}  // namespace Qra::Ostrel::Tyq::Private::Bricked
