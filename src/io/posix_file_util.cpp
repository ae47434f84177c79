#include "io/posix_file_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "io/vv_file.h"

namespace Qra::Ostrel::Tyq::Private::PosixFile {

static_assert(kWriterClaimOffset == vvFile::kWriterClaimOffset,
              "both file classes must claim the same byte");

namespace {

#if defined(F_OFD_SETLK)
constexpr int kSetLock = F_OFD_SETLK;
#else
constexpr int kSetLock = F_SETLK;
#endif

// A file system without record locks leaves the file writable but
// unguarded: refusing every write there would be worse than the lost
// exclusion.
int claim(int fd) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = kWriterClaimOffset;
  lock.l_len = 1;
  while (::fcntl(fd, kSetLock, &lock) != 0) {
    const int err = errno;
    if (err == EINTR) continue;
    if (err == EAGAIN || err == EACCES) return EBUSY;
    if (err == ENOLCK || err == EOPNOTSUPP || err == EINVAL || err == ENOSYS) return 0;
    return err;
  }
  return 0;
}

int checkKindAndBlock(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return errno;
  if (S_ISDIR(info.st_mode)) return EISDIR;
  if (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)) return ESPIPE;
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return errno;
  return 0;
}

// Runs `step` (given the bytes done so far) until `count` bytes moved, the
// end of the file, or a real error, which is returned as -errno even after
// a part moved: a full disk first takes part of a write, then says why it
// takes no more, and the caller needs the reason more than the count.
template <typename Step>
int64_t repeat(uint64_t count, Step step) {
  uint64_t done = 0;
  while (done < count) {
    const ssize_t n = step(done);
    if (n > 0) {
      done += static_cast<uint64_t>(n);
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      return -errno;
    }
  }
  return static_cast<int64_t>(done);
}

}  // namespace

int open(const std::string& name, int flags, bool claimWriter, int* error) {
  int fd;
  // Non-blocking so that a FIFO cannot hang the open; cleared once the kind
  // of file is accepted.
  do {
    fd = ::open(name.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    *error = errno;
    return -1;
  }
  int err = checkKindAndBlock(fd);
  if (err == 0 && claimWriter) err = claim(fd);
  if (err != 0) {
    ::close(fd);
    *error = err;
    return -1;
  }
  return fd;
}

int64_t readAt(int fd, void* buffer, uint64_t count, int64_t position) {
  auto* out = static_cast<char*>(buffer);
  return repeat(count, [&](uint64_t done) {
    return ::pread(fd, out + done, count - done, position + static_cast<int64_t>(done));
  });
}

int64_t writeAt(int fd, const void* buffer, uint64_t count, int64_t position) {
  const auto* in = static_cast<const char*>(buffer);
  return repeat(count, [&](uint64_t done) {
    return ::pwrite(fd, in + done, count - done, position + static_cast<int64_t>(done));
  });
}

}  // namespace Qra::Ostrel::Tyq::Private::PosixFile
