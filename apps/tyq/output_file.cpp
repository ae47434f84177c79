#include "output_file.h"

#include <cerrno>
#include <cstring>

#include "npy.h"
#include "output_target.h"
#include "replacing_output.h"

namespace tyq_tool {

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {}

OutputFile::~OutputFile() {
  if (file_ && file_ != stdout) std::fclose(file_);
}

std::FILE* OutputFile::open(std::string& error) {
  if (path_ == "-") return file_ = stdout;
  std::string what;
  const PathKind kind = pathKind(path_, &what);
  if (kind == PathKind::Other) {
    error = "cannot write " + path_ + ": it is " + what;
    return nullptr;
  }
  std::string name = path_;
  // A link is written through, as a shell's redirection would: /dev/stdout
  // or /dev/fd/N name an open descriptor whose file must get the bytes, not
  // a new file under its name.
  if (kind == PathKind::Missing || (kind == PathKind::Regular && !isLink(path_))) {
    replacing_ = std::make_unique<ReplacingOutput>(path_);
    if (!replacing_->reserve(error)) return nullptr;
    name = replacing_->temporaryName();
  }
  file_ = std::fopen(name.c_str(), "wb");
  if (!file_) error = "cannot write " + path_ + ": " + std::strerror(errno);
  errno = 0;  // so that a failed write's reason is the one reported
  return file_;
}

bool OutputFile::commit(std::string& error) {
  std::FILE* file = file_;
  file_ = nullptr;
  bool clean = file && !std::ferror(file);
  if (file == stdout) {
    clean = std::fflush(file) == 0 && clean;
  } else if (file) {
    clean = std::fclose(file) == 0 && clean;
  }
  if (!clean) {
    error = "writing " + path_ + " failed";
    if (errno != 0) error += std::string(": ") + std::strerror(errno);
    return false;
  }
  return !replacing_ || replacing_->commit(error);
}

bool outputWantsNpy(const std::string& path) {
  return path == "-" || (path.size() >= 4 && path.compare(path.size() - 4, 4, ".npy") == 0);
}

bool writeArray(const char* command, const std::string& path, const std::string& dtype,
                const std::vector<int64_t>& shape, const void* data, size_t bytes) {
  OutputFile output(path);
  std::string error;
  std::FILE* out = output.open(error);
  if (out && outputWantsNpy(path)) {
    const std::string header = npyHeader(dtype, shape);
    std::fwrite(header.data(), 1, header.size(), out);
  }
  if (out) std::fwrite(data, 1, bytes, out);
  if (!out || !output.commit(error)) {
    std::fprintf(stderr, "tyq %s: %s\n", command, error.c_str());
    return false;
  }
  return true;
}

}  // namespace tyq_tool
