#include "output_file.h"

#include <cerrno>
#include <cstring>

#include "npy.h"

namespace tyq_tool {

std::FILE* openOutput(const std::string& path, std::string& error) {
  if (path == "-") return stdout;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) error = "cannot write " + path + ": " + std::strerror(errno);
  return file;
}

bool closeOutput(std::FILE* file, const std::string& path) {
  if (path == "-") return std::fflush(file) == 0 && !std::ferror(file);
  const bool clean = !std::ferror(file);
  return std::fclose(file) == 0 && clean;
}

bool outputWantsNpy(const std::string& path) {
  return path == "-" || (path.size() >= 4 && path.compare(path.size() - 4, 4, ".npy") == 0);
}

bool writeArray(const char* command, const std::string& path, const std::string& dtype,
                const std::vector<int64_t>& shape, const void* data, size_t bytes) {
  std::string error;
  std::FILE* out = openOutput(path, error);
  if (!out) {
    std::fprintf(stderr, "tyq %s: %s\n", command, error.c_str());
    return false;
  }
  if (outputWantsNpy(path)) {
    const std::string header = npyHeader(dtype, shape);
    std::fwrite(header.data(), 1, header.size(), out);
  }
  const bool ok = std::fwrite(data, 1, bytes, out) == bytes;
  if (!closeOutput(out, path) || !ok) {
    std::fprintf(stderr, "tyq %s: writing %s failed\n", command, path.c_str());
    return false;
  }
  return true;
}

}  // namespace tyq_tool
