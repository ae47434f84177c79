#include "partial_file.h"

#include <fcntl.h>
#include <pybind11/pybind11.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>

namespace py = pybind11;
namespace fs = std::filesystem;

namespace tyq_python {

namespace {

// OSError(number, text, path) comes back as the subclass the number
// stands for: FileExistsError for EEXIST.
[[noreturn]] void RaiseOSError(int number, const std::string& text, const fs::path& path) {
  const py::object error =
      py::module_::import("builtins").attr("OSError")(number, text, path.string());
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
  throw py::error_already_set();
}

bool Exists(const fs::path& path) {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(path, ignored));
}

fs::path PartialName(const fs::path& target) {
  static std::atomic<unsigned> serial{0};
  return target.parent_path() / ("." + target.filename().string() + ".partial-" +
                                 std::to_string(getpid()) + "-" + std::to_string(serial++));
}

// 0, or the error number. Without overwrite a target that appeared while
// the file was being written is kept, where the file system can tell.
int Rename(const fs::path& from, const fs::path& to, bool overwrite) {
  if (!overwrite) {
#ifdef RENAME_NOREPLACE
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
#endif
    if (Exists(to)) return EEXIST;
  }
  return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

constexpr const char* kExists = "a file exists there; pass overwrite=True to replace it";

}  // namespace

PartialFile::PartialFile(fs::path target, bool overwrite)
    : target_(std::move(target)), partial_(PartialName(target_)), overwrite_(overwrite) {
  if (!overwrite_ && Exists(target_)) RaiseOSError(EEXIST, kExists, target_);
}

PartialFile::~PartialFile() {
  if (committed_) return;
  std::error_code ignored;
  fs::remove(partial_, ignored);
}

void PartialFile::Commit() {
  const int number = Rename(partial_, target_, overwrite_);
  if (number == EEXIST && !overwrite_) RaiseOSError(number, kExists, target_);
  if (number != 0) RaiseOSError(number, std::strerror(number), target_);
  committed_ = true;
}

}  // namespace tyq_python
