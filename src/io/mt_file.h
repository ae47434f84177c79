#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "io/early_writeback.h"
#include "tyq/file.h"
#include "tyq/io_request_pool.h"

namespace Qra::Ostrel::Tyq::Private {

// The multi-threaded file: positioned transfers that several threads may
// issue at once, optionally bypassing the system cache (O_DIRECT, 4096-byte
// alignment, hidden from callers by bouncing misaligned transfers through
// aligned scratch buffers), and, when opened for writing without
// `synchronous`, fire-and-forget writes through an IORequestPool (busy limit
// 8) that return before the data reaches the file. A later read of bytes a
// pending write covers waits for it; a pooled write that fails is reported
// by a later write, by Flush or by Close (code 22, AsyncError).
//
// Opening, creating, closing and flushing must not overlap other calls on the
// same object. The transfer counters and the cached size are only approximate
// under concurrent use.
class MtFileWin32 : public FileAccess::FileADT {
 public:
  static constexpr int32_t kUnbufferedAlignment = 4096;
  static constexpr uint32_t kWriteLimit = 262144;
  static constexpr int32_t kPoolBusyLimit = 8;

  MtFileWin32() = default;
  ~MtFileWin32() override;
  MtFileWin32(const MtFileWin32&) = delete;
  MtFileWin32& operator=(const MtFileWin32&) = delete;

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
  bool IsWritable() const override { return fd_ >= 0 && !readOnly_; }
  bool IsOpen() const override { return fd_ >= 0; }
  bool IsReadOnly() const override { return readOnly_; }
  // Page-aligned, in whole pages; null when out of memory.
  void* AllocateBuffer(uint32_t size) override;
  void ReleaseBuffer(void* buffer) override;

  // The open descriptor, -1 when closed; for mapping the file.
  int descriptor() const { return fd_; }
  // For tests and reports.
  int32_t alignment() const { return alignment_; }
  int32_t misalignedReads() const { return misalignedReads_.load(std::memory_order_relaxed); }
  int32_t misalignedWrites() const { return misalignedWrites_.load(std::memory_order_relaxed); }
  IORequestPool* pool() const { return pool_.get(); }

 private:
  bool openWith(const std::string& name, int flags, bool claimWriter, bool buffered, Func& func);
  void setUpAsync(bool writable, bool synchronous);
  bool finishPool(const char* operation);
  void printPoolReport();
  void printCounters();
  int64_t internalRead(int64_t position, uint32_t count, void* destination, Func& func);
  int64_t internalWrite(int64_t position, uint32_t count, const void* source, Func& func);
  char* bounceBuffer(uint32_t size, Func& func);
  int64_t bouncedRead(int64_t position, uint32_t count, void* destination, Func& func);
  int64_t bouncedWrite(int64_t position, uint32_t count, const void* source, Func& func);
  bool writeLimitOn();
  int64_t systemResult(int64_t done, Func& func);
  int32_t invalidArgument(Func& func);
  bool allMoved(int32_t done, uint32_t count, int shortCode, Func& func);
  void noteWritten(int64_t position, uint32_t count, int64_t written);
  bool aligned(int64_t value) const { return value % alignment_ == 0; }

  std::string name_;
  int fd_ = -1;
  bool readOnly_ = true;
  int32_t alignment_ = 1;
  std::atomic<int32_t> readCount_{0};
  std::atomic<int32_t> writeCount_{0};
  std::atomic<int32_t> misalignedReads_{0};
  std::atomic<int32_t> misalignedWrites_{0};
  std::unique_ptr<IORequestPool> pool_;
  EarlyWriteback writeback_;
  std::atomic<int64_t> cachedSize_{-1};
  bool writeLimit_ = false;
  std::once_flag writeLimitKnown_;
};

}  // namespace Qra::Ostrel::Tyq::Private
