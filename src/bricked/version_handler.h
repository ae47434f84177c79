#pragma once

#include <cstdint>

#include "tyq/records.h"
#include "tyq/status.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {

class File;

// What differs between the versions of the uncompressed format: entry codings,
// word order of tables, trace-block layout and the description blocks. The
// handlers are stateless process-wide singletons.
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
  virtual void Normalize(FileAccess::FileInfo& fileInfo, FileAccess::DataInfo& dataInfo,
                         FileAccess::Histogram& hist) const = 0;
  virtual void DefaultPositions(File& file) const = 0;
  virtual bool WriteOffsets(File& file, Status* status) const = 0;
  virtual bool ReadOffsets(File& file, Status* status) const = 0;
  virtual bool WriteInfo(File& file, Status* status) const = 0;
  virtual bool ReadInfo(File& file, Status* status) const = 0;
  virtual bool WriteHist(File& file, Status* status) const = 0;
  virtual bool ReadHist(File& file, Status* status) const = 0;
  // Bytes of the information block including the strings block.
  virtual int64_t InfoBlockSize(const FileAccess::DataInfo& dataInfo) const = 0;

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
  void Normalize(FileAccess::FileInfo& fileInfo, FileAccess::DataInfo& dataInfo,
                 FileAccess::Histogram& hist) const override;
  void DefaultPositions(File& file) const override;
  bool WriteOffsets(File& file, Status* status) const override;
  bool ReadOffsets(File& file, Status* status) const override;
  bool WriteInfo(File& file, Status* status) const override;
  bool ReadInfo(File& file, Status* status) const override;
  bool WriteHist(File& file, Status* status) const override;
  bool ReadHist(File& file, Status* status) const override;
  int64_t InfoBlockSize(const FileAccess::DataInfo& dataInfo) const override;
};

extern template class FileVersionHandler<1>;
extern template class FileVersionHandler<2>;
extern template class FileVersionHandler<3>;

}  // namespace Qra::Ostrel::Tyq::Private::Bricked
