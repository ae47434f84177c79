#include "output_options.h"

#include <cstdio>
#include <filesystem>

#include "tyq/environment.h"

namespace tyq_tool {

using Qra::Ostrel::Tyq::Private::Environment;

bool sqnrSupported(const char* command, double sqnr) {
  if (sqnr <= 0) return true;
  std::fprintf(stderr,
               "tyq %s: compressed output (--sqnr %g) is not available in this build; "
               "use --sqnr 0 for an uncompressed file\n",
               command, sqnr);
  return false;
}

bool mayWriteOutput(const char* command, const std::string& path, bool force) {
  std::error_code ec;
  if (force || !std::filesystem::exists(std::filesystem::symlink_status(path, ec))) return true;
  std::fprintf(stderr, "tyq %s: %s exists (give --force to replace it)\n", command, path.c_str());
  return false;
}

void applyBrickSize(const int brick[3]) {
  Environment::putNumericEnv("OSTREL_TYQ_BRICK_SIZE", brick[0]);
  Environment::putNumericEnv("OSTREL_TYQ_BRICK_SIZE_0", brick[0]);
  Environment::putNumericEnv("OSTREL_TYQ_BRICK_SIZE_1", brick[1]);
  Environment::putNumericEnv("OSTREL_TYQ_BRICK_SIZE_2", brick[2]);
}

}  // namespace tyq_tool
