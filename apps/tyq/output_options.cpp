#include "output_options.h"

#include <cstdio>

#include "output_target.h"

namespace tyq_tool {

namespace {

// Compared by identity, not by name: a link or another spelling of the input
// would otherwise be replaced while it is being read.
bool isAnInput(const char* command, const std::string& path,
               std::initializer_list<std::string> inputs) {
  for (const std::string& input : inputs) {
    if (sameFile(path, input)) {
      const std::string alias = path == input ? "" : " " + input;
      std::fprintf(stderr, "tyq %s: %s is the input%s; give another output name\n", command,
                   path.c_str(), alias.c_str());
      return true;
    }
  }
  return false;
}

}  // namespace

bool mayWriteOutput(const char* command, const std::string& path, bool force,
                    std::initializer_list<std::string> inputs) {
  std::string what;
  const PathKind kind = pathKind(path, &what);
  if (kind == PathKind::Stream || kind == PathKind::Other) {
    std::fprintf(stderr, "tyq %s: %s is %s, not a regular file; it is never replaced\n", command,
                 path.c_str(), what.c_str());
    return false;
  }
  if (isAnInput(command, path, inputs)) return false;
  if (kind == PathKind::Missing || force) return true;
  std::fprintf(stderr, "tyq %s: %s exists (give --force to replace it)\n", command, path.c_str());
  return false;
}

bool mayStreamOutput(const char* command, const std::string& path,
                     std::initializer_list<std::string> inputs) {
  if (path == "-") return true;
  std::string what;
  if (pathKind(path, &what) == PathKind::Other) {
    std::fprintf(stderr, "tyq %s: cannot write %s: it is %s\n", command, path.c_str(),
                 what.c_str());
    return false;
  }
  return !isAnInput(command, path, inputs);
}

}  // namespace tyq_tool
