#pragma once

// The rules that differ between versions 6 to 16 of the compressed format,
// one stateless handler per version. Handlers code records to bytes and
// back; the file object does the I/O.
#include <cstdint>
#include <string>
#include <vector>

#include "compressed/format.h"
#include "tyq/records.h"

namespace Qra::Ostrel::Tyq::Private::Compressed {

class FileVersionHandlerBase {
 public:
  virtual ~FileVersionHandlerBase() = default;
  virtual int32_t Version() const = 0;
  // Whether bricks are coded with the two-stage bit-plane coding.
  virtual bool IsTwoStage() const = 0;
  virtual void ToFileOrder(std::vector<int64_t>& entries) const = 0;
  virtual void FromFileOrder(std::vector<int64_t>& entries) const = 0;
  virtual Offsets InitializeOffsets() const = 0;
  // Makes the records what a reader of the file will see.
  virtual void Normalize(FileAccess::FileInfo& fileInfo, FileAccess::DataInfo& dataInfo,
                         FileAccess::Histogram& hist) const = 0;
  virtual std::string WriteOffsets(const Offsets& offsets) const = 0;
  virtual Offsets ReadOffsets(const uint8_t bytes[kOffsetsSize]) const = 0;
  virtual std::string WriteInfo(const FileAccess::FileInfo& fileInfo,
                                const FileAccess::DataInfo& dataInfo) const = 0;
  virtual void ReadInfo(const uint8_t* bytes, FileAccess::FileInfo& fileInfo,
                        FileAccess::DataInfo& dataInfo) const = 0;
  virtual std::string WriteHist(const HistRecord& record) const = 0;
  virtual bool ReadHist(const uint8_t head[kHistHeadSize], const uint8_t* payload, int32_t size,
                        HistRecord& record) const = 0;
  virtual bool KeepsPyramid() const = 0;
  // Whether a constant brick reads as its stored value (else as 0).
  virtual bool HonoursConstantValue() const = 0;

  // The handler of `version`; null outside 6..16.
  static const FileVersionHandlerBase* ForVersion(int32_t version);
};

}  // namespace Qra::Ostrel::Tyq::Private::Compressed
