#include "output_target.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "io/posix_file_util.h"

namespace tyq_tool {

namespace {

namespace PosixFile = Qra::Ostrel::Tyq::Private::PosixFile;

const char* describeMode(mode_t mode) {
  if (S_ISREG(mode)) return "a regular file";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISBLK(mode)) return "a block device";
  return "not a regular file";
}

}  // namespace

PathKind pathKind(const std::string& path, std::string* what) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    const int err = errno;
    struct stat link {};
    const bool linked = ::lstat(path.c_str(), &link) == 0;
    if (err == ENOENT && !linked) return PathKind::Missing;
    // A link to nothing, or a folder that cannot be searched: nothing a
    // command may use or replace.
    if (what)
      *what = linked ? "a link to nothing" : "unreachable: " + std::string(std::strerror(err));
    return PathKind::Other;
  }
  if (what) *what = describeMode(st.st_mode);
  if (S_ISREG(st.st_mode)) return PathKind::Regular;
  if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)) return PathKind::Stream;
  return PathKind::Other;
}

bool isLink(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat sa {};
  struct stat sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

WriterClaim::~WriterClaim() {
  if (fd_ >= 0) ::close(fd_);
}

bool WriterClaim::take(const std::string& path, std::string& error) {
  int err = 0;
  const int fd = PosixFile::open(path, O_RDWR, true, &err);
  if (fd >= 0) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
    return true;
  }
  if (err == EACCES || err == EPERM || err == EROFS) return true;
  errno = err;
  error = err == EBUSY ? path + " is open for writing in another process; it is not replaced"
                       : "cannot open " + path + ": " + std::strerror(err);
  return false;
}

bool WriterClaim::stillNames(const std::string& path) const {
  if (fd_ < 0) return true;
  struct stat held {
  }, named{};
  return ::fstat(fd_, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

}  // namespace tyq_tool
