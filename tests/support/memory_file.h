#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tyq/file.h"

namespace tyq_test {

using Bytes = std::vector<uint8_t>;

// A file held in memory. Its contents are a byte vector shared with the test,
// which may inspect or damage what the code under test wrote, or prepare what
// it will read. An empty vector counts as a file that does not exist yet for
// CreateNewFile without overwrite; writes past the end fill the gap with zeros.
class MemoryFile : public Qra::Ostrel::Tyq::FileAccess::FileADT {
 public:
  using Status = Qra::Ostrel::Tyq::Private::Status;

  explicit MemoryFile(std::shared_ptr<Bytes> contents = std::make_shared<Bytes>());

  const std::shared_ptr<Bytes>& contents() const { return contents_; }

  bool CreateNewFile(const std::string& name, Status* status, bool ignoredFlag, bool buffered,
                     bool synchronous, bool overwrite) override;
  bool OpenExistingFile(const std::string& name, Status* status, bool readOnly, bool ignoredFlag,
                        bool buffered, bool synchronous) override;
  void Close(Status* status) override;
  bool Flush(Status* status) override;
  bool WriteAtPosition(int64_t position, uint32_t size, const void* buffer,
                       Status* status) override;
  bool ReadFromPosition(int64_t position, uint32_t size, void* buffer, Status* status) override;
  int32_t WriteBytesAtPosition(int64_t position, uint32_t size, const void* buffer,
                               Status* status) override;
  int32_t ReadBytesFromPosition(int64_t position, uint32_t size, void* buffer,
                                Status* status) override;
  int64_t GetFileSize(Status* status) override;
  const std::string& FileName() const override { return name_; }
  bool IsWritable() const override { return open_ && !readOnly_; }
  bool IsOpen() const override { return open_; }
  bool IsReadOnly() const override { return readOnly_; }
  void* AllocateBuffer(uint32_t size) override;
  void ReleaseBuffer(void* buffer) override;

 private:
  std::shared_ptr<Bytes> contents_;
  std::string name_;
  bool open_ = false;
  bool readOnly_ = true;
};

}  // namespace tyq_test
