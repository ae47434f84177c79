#include "output_options.h"

#include <cstdio>
#include <filesystem>

namespace tyq_tool {

bool mayWriteOutput(const char* command, const std::string& path, bool force) {
  std::error_code ec;
  if (force || !std::filesystem::exists(std::filesystem::symlink_status(path, ec))) return true;
  std::fprintf(stderr, "tyq %s: %s exists (give --force to replace it)\n", command, path.c_str());
  return false;
}

}  // namespace tyq_tool
