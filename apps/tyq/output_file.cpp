#include "output_file.h"

#include <cerrno>
#include <cstring>

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

}  // namespace tyq_tool
