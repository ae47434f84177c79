// Opening, closing, flushing and the size of MtFileWin32; the transfers are
// in mt_file_transfer.cpp.
#include "io/mt_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "io/posix_file_util.h"
#include "tyq/environment.h"

namespace Qra::Ostrel::Tyq::Private {

namespace {

using E = FileAccess::Error;

// Asks the kernel to bypass the cache. A file system that cannot leaves the
// file cached; the 4096-byte alignment rules still apply, so behaviour seen
// by callers stays the same.
void bypassCache(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags | O_DIRECT);
}

// The counterpart of a debug-output channel.
void debugOutput(const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
}

}  // namespace

MtFileWin32::~MtFileWin32() {
  Close(nullptr);
}

bool MtFileWin32::openWith(const std::string& name, int flags, bool claimWriter, bool buffered,
                           Func& func) {
  int err = 0;
  const int fd = PosixFile::open(name, flags, claimWriter, &err);
  if (fd < 0) {
    if (err == EBUSY && claimWriter && !(flags & O_CREAT)) {
      debugOutput("Cannot open " + name + " for write due to sharing violation.");
    }
    return func.setSysError(err, name);
  }
  if (!buffered) bypassCache(fd);
  fd_ = fd;
  name_ = name;
  alignment_ = buffered ? 1 : kUnbufferedAlignment;
  cachedSize_ = -1;
  return true;
}

void MtFileWin32::setUpAsync(bool writable, bool synchronous) {
  if (!pool_ && writable && !synchronous) {
    pool_ = std::make_unique<IORequestPool>(0, kPoolBusyLimit);
  }
}

bool MtFileWin32::OpenExistingFile(const std::string& name, Status* status, bool readOnly,
                                   bool /*ignoredFlag*/, bool buffered, bool synchronous) {
  Func func("MtFileWin32::OpenExistingFile", status);
  Close(func.statusP());
  if (!func.ok()) return false;
  const bool claim = !readOnly && Environment::getNumericEnv("OSTREL_UNSAFE_OPEN_WRITE", 0) <= 0;
  if (!openWith(name, readOnly ? O_RDONLY : O_RDWR, claim, buffered, func)) return false;
  readOnly_ = readOnly;
  setUpAsync(!readOnly, synchronous);
  return true;
}

bool MtFileWin32::CreateNewFile(const std::string& name, Status* status, bool /*ignoredFlag*/,
                                bool buffered, bool synchronous, bool overwrite) {
  Func func("MtFileWin32::CreateNewFile", status);
  Close(func.statusP());
  if (!func.ok()) return false;
  // Never O_TRUNC: only once the writer claim is ours may the contents go.
  const int flags = O_RDWR | O_CREAT | (overwrite ? 0 : O_EXCL);
  if (!openWith(name, flags, true, buffered, func)) return false;
  if (overwrite && ::ftruncate(fd_, 0) != 0) {
    const int err = errno;
    Close(nullptr);
    return func.setSysError(err, name);
  }
  readOnly_ = false;
  setUpAsync(true, synchronous);
  return true;
}

// Waits for every pooled request and collects every failure of one, so that
// no failed fire-and-forget write is left behind unreported.
bool MtFileWin32::finishPool(const char* operation) {
  int first = 0;
  if (!pool_->waitForRequest(true, &first) && first == 0) first = E::AsyncError;
  for (;;) {
    int failed = 0;
    if (pool_->reaper(&failed)) break;
    if (first == 0) first = failed;
  }
  if (first == 0) return true;
  std::printf("MtFileWin32: %s() caught a deferred error: %s\n", operation,
              IORequestPool::errorString(first).c_str());
  std::fflush(stdout);
  return false;
}

bool MtFileWin32::Flush(Status* status) {
  Func func("MtFileWin32::Flush", status);
  if (fd_ < 0) return func.setError(E::NotOpen, name_);
  const bool deferred = pool_ && !finishPool("Flush");
  // A read-only file has nothing of ours to flush.
  const int syncError = !readOnly_ && ::fdatasync(fd_) != 0 ? errno : 0;
  cachedSize_ = -1;
  if (syncError != 0) return func.setSysError(syncError, name_);
  if (deferred) return func.setError(E::AsyncError, name_);
  return true;
}

void MtFileWin32::printCounters() {
  std::printf("MtFileWin32: Read/Write  operations: %d+%d, Misaligned %d+%d\n", readCount_.load(),
              writeCount_.load(), misalignedReads_.load(), misalignedWrites_.load());
}

void MtFileWin32::printPoolReport() {
  std::printf("MtFileWin32: Close the IORequestPool for file %s\n", name_.c_str());
  std::printf("MtFileWin32: Pool size = %d, Queue length: [", pool_->reportSize());
  for (int32_t count : pool_->reportUsage()) std::printf(" %d", count);
  std::printf(" ], Waits = [");
  for (int32_t count : pool_->reportWaits()) std::printf(" %d", count);
  std::printf(" ]\n");
  printCounters();
  std::fflush(stdout);
}

void MtFileWin32::Close(Status* status) {
  Func func("MtFileWin32::Close", status);
  cachedSize_ = -1;
  if (pool_) {
    // Unlike a bare printed line, the error tells the caller that data it
    // believed written never reached the file.
    if (!finishPool("Close")) func.setError(E::AsyncError, name_);
    if (readCount_ + writeCount_ > 10) {
      printPoolReport();
      readCount_ = writeCount_ = misalignedReads_ = misalignedWrites_ = 0;
    }
    pool_.reset();
  }
  if (fd_ < 0) return;
  if (misalignedReads_ + misalignedWrites_ > 2) {
    std::printf("MtFileWin32: Closing Unbuffered/Sync file %s\n", name_.c_str());
    printCounters();
    std::fflush(stdout);
  }
  readCount_ = writeCount_ = misalignedReads_ = misalignedWrites_ = 0;
  // The descriptor is gone even when close fails; retrying could close
  // someone else's.
  if (::close(fd_) != 0 && errno != EINTR) func.setSysError(errno, name_);
  fd_ = -1;
  name_.clear();
}

int64_t MtFileWin32::GetFileSize(Status* status) {
  Func func("MtFileWin32::GetFileSize", status);
  if (fd_ < 0) {
    func.setError(E::NotOpen, name_);
    return -1;
  }
  const int64_t cached = cachedSize_;
  if (cached >= 0) return cached;
  // Failures of the writes waited for are left for Flush and Close.
  int ignored = 0;
  if (pool_) pool_->waitForRequest(true, &ignored);
  struct stat info {};
  if (::fstat(fd_, &info) != 0) {
    func.setSysError(errno, name_);
    return -1;
  }
  cachedSize_ = info.st_size;
  return info.st_size;
}

void* MtFileWin32::AllocateBuffer(uint32_t size) {
  const size_t page = kUnbufferedAlignment;
  const size_t rounded = (static_cast<size_t>(size) + page - 1) / page * page;
  return std::aligned_alloc(page, rounded == 0 ? page : rounded);
}

void MtFileWin32::ReleaseBuffer(void* buffer) {
  std::free(buffer);
}

}  // namespace Qra::Ostrel::Tyq::Private
