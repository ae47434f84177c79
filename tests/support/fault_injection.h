#pragma once

#include <cerrno>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "tyq/file.h"

namespace tyq_test {

// One planned failure of reads or of writes: the nth call (counting from 1
// over every file sharing the plan) fails, and with `repeat` every later one
// too (a full disk). A short transfer moves all but `missing` bytes.
struct Fault {
  enum class Kind { None, SystemError, Short };
  Kind kind = Kind::None;
  int64_t nth = 0;
  bool repeat = false;
  int32_t sysError = EIO;
  uint32_t missing = 1;

  static Fault error(int64_t nth, int32_t sysError = EIO) {
    return {Kind::SystemError, nth, false, sysError, 0};
  }
  static Fault shortBy(int64_t nth, uint32_t missing) {
    return {Kind::Short, nth, false, 0, missing};
  }
};

// Plans and counters shared by a factory and all files it made, so a test
// still sees them after the library destroyed the files. Calls counted are
// the four positioned transfers; bytes counted are the bytes really moved.
struct FaultState {
  Fault read;
  Fault write;
  int64_t reads = 0;
  int64_t writes = 0;
  int64_t bytesRead = 0;
  int64_t bytesWritten = 0;
  // A disk that holds this many bytes per file (when not negative): a write
  // that would reach past it fails with ENOSPC, moving nothing; writes
  // within it succeed, as on a real full disk.
  int64_t sizeLimit = -1;
};

// Forwards to a real file, applying the shared plan to the transfers.
// Injected errors are recorded as system errors of this wrapper's own
// operations ("FaultInjectionFile::ReadFromPosition", ...).
class FaultInjectionFile : public Qra::Ostrel::Tyq::FileAccess::FileADT {
 public:
  using FileADT = Qra::Ostrel::Tyq::FileAccess::FileADT;
  using Status = Qra::Ostrel::Tyq::Private::Status;

  FaultInjectionFile(std::unique_ptr<FileADT> inner, std::shared_ptr<FaultState> state);

  FileADT& inner() { return *inner_; }

  bool CreateNewFile(const std::string& name, Status* status, bool ignoredFlag, bool buffered,
                     bool synchronous, bool overwrite) override {
    return inner_->CreateNewFile(name, status, ignoredFlag, buffered, synchronous, overwrite);
  }
  bool OpenExistingFile(const std::string& name, Status* status, bool readOnly, bool ignoredFlag,
                        bool buffered, bool synchronous) override {
    return inner_->OpenExistingFile(name, status, readOnly, ignoredFlag, buffered, synchronous);
  }
  void Close(Status* status) override { inner_->Close(status); }
  bool Flush(Status* status) override { return inner_->Flush(status); }
  bool WriteAtPosition(int64_t position, uint32_t size, const void* buffer,
                       Status* status) override;
  bool ReadFromPosition(int64_t position, uint32_t size, void* buffer, Status* status) override;
  int32_t WriteBytesAtPosition(int64_t position, uint32_t size, const void* buffer,
                               Status* status) override;
  int32_t ReadBytesFromPosition(int64_t position, uint32_t size, void* buffer,
                                Status* status) override;
  int64_t GetFileSize(Status* status) override { return inner_->GetFileSize(status); }
  const std::string& FileName() const override { return inner_->FileName(); }
  bool IsWritable() const override { return inner_->IsWritable(); }
  bool IsOpen() const override { return inner_->IsOpen(); }
  bool IsReadOnly() const override { return inner_->IsReadOnly(); }
  void* AllocateBuffer(uint32_t size) override { return inner_->AllocateBuffer(size); }
  void ReleaseBuffer(void* buffer) override { inner_->ReleaseBuffer(buffer); }

 private:
  std::unique_ptr<FileADT> inner_;
  std::shared_ptr<FaultState> state_;
};

// Hands out fault-injecting wrappers around the files of `makeInner` (by
// default the library's synchronous file). Install it with
// FileFactory::setInstanceGiveOwnership to reach the files the library makes.
class FaultInjectionFactory : public Qra::Ostrel::Tyq::FileAccess::FileFactory {
 public:
  using FileADT = Qra::Ostrel::Tyq::FileAccess::FileADT;
  using Maker = std::function<FileADT*()>;

  explicit FaultInjectionFactory(std::shared_ptr<FaultState> state, Maker makeInner = {});

  FileADT* CreateFileADT(const std::string& name, UsageHint hint, bool multiThreaded) override;

 private:
  std::shared_ptr<FaultState> state_;
  Maker makeInner_;
};

}  // namespace tyq_test
