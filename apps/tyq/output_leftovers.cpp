#include "output_leftovers.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "io/posix_file_util.h"

namespace tyq_tool {

namespace {

namespace PosixFile = Qra::Ostrel::Tyq::Private::PosixFile;

constexpr std::string_view kPartial = ".partial-";
constexpr size_t kRandomChars = 6;  // mkstemp's XXXXXX

void splitPath(const std::string& target, std::string& directory, std::string& base) {
  const size_t slash = target.rfind('/');
  directory = slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
  base = slash == std::string::npos ? target : target.substr(slash + 1);
}

bool allOf(std::string_view text, int (*test)(int)) {
  for (const char c : text) {
    if (!test(static_cast<unsigned char>(c))) return false;
  }
  return !text.empty();
}

// The process id in `name` when it is one of `base`'s temporaries, else 0.
pid_t leftoverPid(std::string_view name, const std::string& base) {
  if (name.substr(0, base.size()) != base) return 0;
  name.remove_prefix(base.size());
  if (name.substr(0, kPartial.size()) != kPartial) return 0;
  name.remove_prefix(kPartial.size());
  const size_t dash = name.find('-');
  if (dash == std::string_view::npos || dash > 9) return 0;
  const std::string_view pid = name.substr(0, dash);
  std::string_view rest = name.substr(dash + 1);
  if (rest.size() == kRandomChars + std::string_view(kStageSuffix).size() &&
      rest.substr(kRandomChars) == kStageSuffix) {
    rest = rest.substr(0, kRandomChars);
  }
  if (!allOf(pid, ::isdigit) || rest.size() != kRandomChars || !allOf(rest, ::isalnum)) return 0;
  return static_cast<pid_t>(std::strtol(std::string(pid).c_str(), nullptr, 10));
}

// The process is gone for certain: not merely unreachable to us (EPERM).
bool processGone(pid_t pid) {
  return pid > 0 && pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH;
}

// A writer in a process this one cannot see (another pid namespace sharing
// the folder) still holds the library's writer claim on its file.
bool unclaimed(const std::string& path) {
  int err = 0;
  const int fd = PosixFile::open(path, O_RDWR, true, &err);
  if (fd >= 0) ::close(fd);
  return fd >= 0;
}

}  // namespace

std::string temporaryTemplate(const std::string& target) {
  return target + std::string(kPartial) + std::to_string(::getpid()) + "-XXXXXX";
}

int removeLeftovers(const std::string& target) {
  std::string directory, base;
  splitPath(target, directory, base);
  if (base.empty()) return 0;
  DIR* folder = ::opendir(directory.c_str());
  if (!folder) return 0;
  int removed = 0;
  while (const dirent* entry = ::readdir(folder)) {
    if (!processGone(leftoverPid(entry->d_name, base))) continue;
    const std::string path = directory + "/" + entry->d_name;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || !unclaimed(path)) continue;
    if (::unlink(path.c_str()) == 0) ++removed;
  }
  ::closedir(folder);
  return removed;
}

}  // namespace tyq_tool
