#include "replacing_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "output_leftovers.h"

namespace tyq_tool {

namespace {

constexpr int kSignals[4] = {SIGINT, SIGTERM, SIGHUP, SIGXFSZ};

// Read by the signal handler, so a plain buffer rather than a std::string.
char gTemporary[4096];
// The handlers in place before ours, which ours passes the signal on to: a
// command's own interrupt handling (a clean stop, or exit code 130) still
// answers once the temporary is gone.
struct sigaction gPrevious[4];

void removeTemporaryAndPassOn(int signal) {
  if (gTemporary[0] != '\0') ::unlink(gTemporary);
  for (int s = 0; s < 4; ++s) {
    const auto handler = gPrevious[s].sa_handler;
    if (kSignals[s] != signal || handler == SIG_DFL || handler == SIG_IGN ||
        handler == removeTemporaryAndPassOn) {
      continue;
    }
    if (!(gPrevious[s].sa_flags & SA_SIGINFO)) return handler(signal);
  }
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

std::string directoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string reason(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

}  // namespace

ReplacingOutput::ReplacingOutput(const std::string& target) : target_(target) {}

ReplacingOutput::~ReplacingOutput() {
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  restoreSignals();
}

bool ReplacingOutput::checkTarget(std::string& error) {
  std::string what;
  switch (pathKind(target_, &what)) {
    case PathKind::Missing:
      return true;
    case PathKind::Regular:
      return resolveLink(error) && claim_.take(target_, error);
    default:
      error = target_ + " is " + what + ", not a regular file; it is never replaced";
      return false;
  }
}

// A link names the file it points to: that file is replaced, beside itself,
// and the link stays.
bool ReplacingOutput::resolveLink(std::string& error) {
  if (!isLink(target_)) return true;
  char* real = ::realpath(target_.c_str(), nullptr);
  if (!real) return error = reason("cannot follow " + target_), false;
  target_ = real;
  std::free(real);
  return true;
}

bool ReplacingOutput::reserveName(std::string& error) {
  if (!reserve(error)) return false;
  ::unlink(temporary_.c_str());
  return true;
}

bool ReplacingOutput::reserve(std::string& error) {
  if (!checkTarget(error)) return false;
  removeLeftovers(target_);
  const std::string name = temporaryTemplate(target_);
  if (name.size() >= sizeof gTemporary) return error = target_ + ": name too long", false;
  std::memcpy(gTemporary, name.c_str(), name.size() + 1);
  struct sigaction action = {};
  action.sa_handler = removeTemporaryAndPassOn;
  sigemptyset(&action.sa_mask);
  for (int s = 0; s < 4; ++s) {
    ::sigaction(kSignals[s], nullptr, &previous_[s]);
    gPrevious[s] = previous_[s];
  }
  for (int s = 0; s < 4; ++s) {
    if (kSignals[s] == SIGXFSZ) action.sa_handler = SIG_IGN;
    // A signal the process was told to ignore stays ignored.
    if (previous_[s].sa_handler != SIG_IGN) ::sigaction(kSignals[s], &action, nullptr);
  }
  handlersInstalled_ = true;
  // The handlers are in place before the file exists, so an interrupt in
  // between cannot leave it behind.
  const int fd = ::mkstemp(gTemporary);
  if (fd < 0) {
    gTemporary[0] = '\0';
    return error = reason("cannot create a file beside " + target_), false;
  }
  ::close(fd);
  temporary_ = gTemporary;
  return true;
}

bool ReplacingOutput::commit(std::string& error) {
  // The name may have changed hands while the file was written.
  const PathKind now = pathKind(target_);
  if (now == PathKind::Stream || now == PathKind::Other || !claim_.stillNames(target_)) {
    error = target_ + " changed while it was being written; it is not replaced";
    return false;
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  const int fd = ::open(temporary_.c_str(), O_RDONLY | O_CLOEXEC);
  bool ok = fd >= 0 && ::fsync(fd) == 0 && ::fchmod(fd, 0666 & ~mask) == 0;
  if (!ok) error = reason("cannot complete " + temporary_);
  if (fd >= 0) ::close(fd);
  if (ok && ::rename(temporary_.c_str(), target_.c_str()) != 0) {
    ok = false;
    error = reason("cannot rename " + temporary_ + " to " + target_);
  }
  if (!ok) return false;  // the destructor removes the temporary
  temporary_.clear();
  gTemporary[0] = '\0';
  // The rename itself must survive a crash too.
  const int dir = ::open(directoryOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

void ReplacingOutput::restoreSignals() {
  if (!handlersInstalled_) return;
  for (int s = 0; s < 4; ++s) ::sigaction(kSignals[s], &previous_[s], nullptr);
  gTemporary[0] = '\0';
  handlersInstalled_ = false;
}

}  // namespace tyq_tool
