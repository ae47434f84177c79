#pragma once

#include <cstdint>
#include <string>

#include "io/early_writeback.h"
#include "tyq/file.h"

namespace Qra::Ostrel::Tyq::Private {

// The plain synchronous file: every transfer blocks and goes through the
// operating system's cache. Positioned transfers (the FileADT interface) do
// not use the file position, so several threads may read and write one open
// vvFile at once; opening, closing and the position-based ReadBytes,
// WriteBytes and GoToPosition belong to one thread at a time.
//
// Sharing: while a vvFile holds a file open for writing, no other opener for
// writing (in this or any other process) is admitted; readers always are.
// The writer claim is an exclusive open-file-description lock on the byte at
// kWriterClaimOffset, released by the OS when the holder closes or dies, so
// that byte is reserved and refused by the range-lock operations below. A
// child forked (without exec) while the file is open shares the open file and
// so keeps the claim until it closes its copy or exits.
class vvFile : public FileAccess::FileADT {
 public:
  // Far beyond any real data; the range locks may cover [0, kWriterClaimOffset).
  static constexpr int64_t kWriterClaimOffset = INT64_MAX - 1;

  vvFile() = default;
  ~vvFile() override;
  vvFile(const vvFile&) = delete;
  vvFile& operator=(const vvFile&) = delete;

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
  // 4096-byte aligned, so brick buffers can later be used for cache-bypassing
  // transfers. Null when out of memory.
  void* AllocateBuffer(uint32_t size) override;
  void ReleaseBuffer(void* buffer) override;

  int32_t WriteBytes(uint32_t size, const void* buffer, Status* status);
  int32_t ReadBytes(uint32_t size, void* buffer, Status* status);
  // Advisory byte-range locks owned by this open file, exclusive unless
  // `shared`. False for a closed file, an empty or negative range, a range
  // reaching the reserved byte, a conflicting lock (TryLockRange only), or an
  // exclusive lock on a read-only file, which the OS does not grant.
  bool TryLockRange(int64_t position, int64_t length, bool shared);
  bool LockRange(int64_t position, int64_t length, bool shared);
  bool UnlockRange(int64_t position, int64_t length);
  bool GoToPosition(int64_t position, Status* status);
  int64_t GetCurrentPosition(Status* status);

 private:
  bool openDescriptor(const std::string& name, int flags, bool claimWriter, Func& func);
  bool checkPositioned(int64_t position, uint32_t size, Func& outer) const;
  int32_t readAt(int64_t position, uint32_t size, void* buffer, Status* status);
  int32_t writeAt(int64_t position, uint32_t size, const void* buffer, Status* status);
  bool setRangeLock(int64_t position, int64_t length, short type, bool wait);

  std::string name_;
  bool readOnly_ = true;
  bool open_ = false;
  int fd_ = -1;
  EarlyWriteback writeback_;
};

}  // namespace Qra::Ostrel::Tyq::Private
