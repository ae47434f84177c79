#include "io/vv_file.h"

#include "io/posix_file_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <new>

namespace Qra::Ostrel::Tyq::Private {

namespace {

using E = FileAccess::Error;

// Open-file-description locks belong to the open file, not to the process, so
// two vvFiles of one process exclude each other the way two handles do, and
// closing an unrelated descriptor of the same file does not drop them. The
// process-owned record locks of the fallback lack both properties.
#if defined(F_OFD_SETLK)
constexpr int kSetLock = F_OFD_SETLK;
constexpr int kSetLockWait = F_OFD_SETLKW;
#else
constexpr int kSetLock = F_SETLK;
constexpr int kSetLockWait = F_SETLKW;
#endif

constexpr std::align_val_t kBufferAlignment{4096};

int lockFd(int fd, int command, short type, int64_t position, int64_t length) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = position;
  lock.l_len = length;
  while (::fcntl(fd, command, &lock) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

// The byte counts come back as int32, so a transfer must fit in one. This
// guard is deliberate: a larger size would make the count overflow.
bool checkTransfer(uint32_t size, const void* buffer, Func& func, const std::string& name) {
  if (size > static_cast<uint32_t>(INT32_MAX) || (size > 0 && buffer == nullptr)) {
    return func.setError(E::InvalidArgument, name);
  }
  return true;
}

// Loops over partial transfers and interruptions; stops early only at the end
// of the file (a step that moves nothing) or on a real error, which is then
// recorded. `step(done)` moves what is left after `done` bytes.
template <typename Step>
int32_t transferAll(uint32_t size, Func& func, const std::string& name, Step step) {
  uint32_t done = 0;
  while (done < size) {
    const ssize_t n = step(done);
    if (n > 0) {
      done += static_cast<uint32_t>(n);
    } else if (n == 0) {
      break;  // the caller sees the shortfall
    } else if (errno != EINTR) {
      func.setSysError(errno, name);
      break;
    }
  }
  return static_cast<int32_t>(done);
}

}  // namespace

vvFile::~vvFile() {
  Close(nullptr);
}

bool vvFile::openDescriptor(const std::string& name, int flags, bool claim, Func& func) {
  int err = 0;
  const int fd = PosixFile::open(name, flags, claim, &err);
  if (fd < 0) return func.setSysError(err, name);
  fd_ = fd;
  return true;
}

bool vvFile::CreateNewFile(const std::string& name, Status* status, bool /*ignoredFlag*/,
                           bool /*buffered*/, bool /*synchronous*/, bool overwrite) {
  Func func("vvFile::CreateNewFile", status);
  Close(nullptr);
  // Never O_TRUNC: the file may be held for writing elsewhere, and only after
  // the writer claim is ours may its contents go.
  const int flags = O_RDWR | O_CREAT | (overwrite ? 0 : O_EXCL);
  if (!openDescriptor(name, flags, true, func)) return false;
  if (overwrite && ::ftruncate(fd_, 0) != 0) {
    const int err = errno;
    Close(nullptr);
    return func.setSysError(err, name);
  }
  name_ = name;
  readOnly_ = false;
  open_ = true;
  return true;
}

// `buffered` and `synchronous` do not apply: every vvFile transfer blocks and
// is cached.
bool vvFile::OpenExistingFile(const std::string& name, Status* status, bool readOnly,
                              bool /*ignoredFlag*/, bool /*buffered*/, bool /*synchronous*/) {
  Func func("vvFile::OpenExistingFile", status);
  Close(nullptr);
  if (!openDescriptor(name, readOnly ? O_RDONLY : O_RDWR, !readOnly, func)) return false;
  name_ = name;
  readOnly_ = readOnly;
  open_ = true;
  return true;
}

void vvFile::Close(Status* status) {
  Func func("vvFile::Close", status);
  // The descriptor (and with it the writer claim and range locks) is gone
  // even when close fails, and retrying could close someone else's. A
  // failure is still recorded: on network file systems it can be the only
  // news that earlier writes were lost.
  if (fd_ >= 0 && ::close(fd_) != 0 && errno != EINTR) func.setSysError(errno, name_);
  fd_ = -1;
  name_.clear();
  open_ = false;
}

bool vvFile::Flush(Status* status) {
  Func func("vvFile::Flush", status);
  if (!open_) return func.setError(E::NotOpen, name_);
  // A read-only file has nothing of ours to flush; syncing would only wait for
  // other writers' data.
  if (readOnly_) return true;
  // fdatasync carries the file size too; only timestamps are left behind.
  if (::fdatasync(fd_) != 0) return func.setSysError(errno, name_);
  return true;
}

bool vvFile::GoToPosition(int64_t position, Status* status) {
  Func func("vvFile::GoToPosition", status);
  if (!open_) return func.setError(E::NotOpen, name_);
  if (position < 0) return func.setError(E::InvalidArgument, name_);
  if (::lseek(fd_, position, SEEK_SET) < 0) return func.setSysError(errno, name_);
  return true;
}

int64_t vvFile::GetCurrentPosition(Status* status) {
  Func func("vvFile::GetCurrentPosition", status);
  if (!open_) {
    func.setError(E::NotOpen, name_);
    return 0;
  }
  const off_t position = ::lseek(fd_, 0, SEEK_CUR);
  if (position < 0) {
    func.setSysError(errno, name_);
    return 0;
  }
  return position;
}

int64_t vvFile::GetFileSize(Status* status) {
  Func func("vvFile::GetFileSize", status);
  if (!open_) {
    func.setError(E::NotOpen, name_);
    return 0;
  }
  struct stat info {};
  if (::fstat(fd_, &info) != 0) {
    func.setSysError(errno, name_);
    return 0;
  }
  return info.st_size;
}

int32_t vvFile::ReadBytes(uint32_t size, void* buffer, Status* status) {
  return readAt(-1, size, buffer, status);
}

int32_t vvFile::WriteBytes(uint32_t size, const void* buffer, Status* status) {
  return writeAt(-1, size, buffer, status);
}

// A negative position reads at the file position and moves it; any other
// reads there without touching it, so several threads may read at once.
int32_t vvFile::readAt(int64_t position, uint32_t size, void* buffer, Status* status) {
  Func func("vvFile::ReadBytes", status);
  if (!open_) {
    func.setError(E::NotOpen, name_);
    return 0;
  }
  if (!checkTransfer(size, buffer, func, name_)) return 0;
  auto* out = static_cast<char*>(buffer);
  return transferAll(size, func, name_, [&](uint32_t done) {
    return position < 0 ? ::read(fd_, out + done, size - done)
                        : ::pread(fd_, out + done, size - done, position + done);
  });
}

int32_t vvFile::writeAt(int64_t position, uint32_t size, const void* buffer, Status* status) {
  Func func("vvFile::WriteBytes", status);
  if (!open_) {
    func.setError(E::NotOpen, name_);
    return 0;
  }
  if (readOnly_) {
    func.setError(E::ReadOnly, name_);
    return 0;
  }
  if (!checkTransfer(size, buffer, func, name_)) return 0;
  const auto* in = static_cast<const char*>(buffer);
  const int32_t written = transferAll(size, func, name_, [&](uint32_t done) {
    return position < 0 ? ::write(fd_, in + done, size - done)
                        : ::pwrite(fd_, in + done, size - done, position + done);
  });
  if (position >= 0 && written > 0) writeback_.Written(fd_, position, written);
  return written;
}

// The checks a seek to `position` would make, without moving the file
// position.
bool vvFile::checkPositioned(int64_t position, uint32_t size, Func& outer) const {
  if (open_ && position >= 0 && static_cast<int64_t>(size) > INT64_MAX - position) {
    return outer.setError(E::InvalidArgument, name_);
  }
  Func func("vvFile::GoToPosition", outer.statusP());
  if (!open_) return func.setError(E::NotOpen, name_);
  if (position < 0) return func.setError(E::InvalidArgument, name_);
  return true;
}

int32_t vvFile::ReadBytesFromPosition(int64_t position, uint32_t size, void* buffer,
                                      Status* status) {
  Func func("vvFile::ReadBytesFromPosition", status);
  if (!checkPositioned(position, size, func)) return 0;
  return readAt(position, size, buffer, func.statusP());
}

int32_t vvFile::WriteBytesAtPosition(int64_t position, uint32_t size, const void* buffer,
                                     Status* status) {
  Func func("vvFile::WriteBytesAtPosition", status);
  if (!checkPositioned(position, size, func)) return 0;
  return writeAt(position, size, buffer, func.statusP());
}

bool vvFile::ReadFromPosition(int64_t position, uint32_t size, void* buffer, Status* status) {
  Func func("vvFile::ReadFromPosition", status);
  if (!checkPositioned(position, size, func)) return false;
  const int32_t done = readAt(position, size, buffer, func.statusP());
  if (!func.ok()) return false;
  if (static_cast<uint32_t>(done) < size) return func.setError(E::ShortRead, name_);
  return true;
}

bool vvFile::WriteAtPosition(int64_t position, uint32_t size, const void* buffer, Status* status) {
  Func func("vvFile::WriteAtPosition", status);
  if (!checkPositioned(position, size, func)) return false;
  const int32_t done = writeAt(position, size, buffer, func.statusP());
  if (!func.ok()) return false;
  if (static_cast<uint32_t>(done) < size) return func.setError(E::ShortWrite, name_);
  return true;
}

void* vvFile::AllocateBuffer(uint32_t size) {
  return ::operator new(size == 0 ? 1 : size, kBufferAlignment, std::nothrow);
}

void vvFile::ReleaseBuffer(void* buffer) {
  if (buffer) ::operator delete(buffer, kBufferAlignment);
}

bool vvFile::setRangeLock(int64_t position, int64_t length, short type, bool wait) {
  // An empty length would mean "to infinity" to the OS and swallow the
  // reserved writer-claim byte, so ranges must be explicit and stop short of it.
  if (!open_ || position < 0 || length <= 0 || length > kWriterClaimOffset - position) {
    return false;
  }
  return lockFd(fd_, wait ? kSetLockWait : kSetLock, type, position, length) == 0;
}

bool vvFile::TryLockRange(int64_t position, int64_t length, bool shared) {
  return setRangeLock(position, length, shared ? F_RDLCK : F_WRLCK, false);
}

bool vvFile::LockRange(int64_t position, int64_t length, bool shared) {
  return setRangeLock(position, length, shared ? F_RDLCK : F_WRLCK, true);
}

bool vvFile::UnlockRange(int64_t position, int64_t length) {
  return setRangeLock(position, length, F_UNLCK, false);
}

}  // namespace Qra::Ostrel::Tyq::Private
