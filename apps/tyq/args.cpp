#include "args.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tool_threads.h"

namespace tyq_tool {

namespace {
std::string gParseNote;
}  // namespace

std::string takeParseNote() {
  std::string note;
  note.swap(gParseNote);
  return note;
}

bool parseInt(const char* text, int& out) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno != 0 || v < INT_MIN || v > INT_MAX) return false;
  out = static_cast<int>(v);
  return true;
}

bool parseDouble(const char* text, double& out) {
  char* end = nullptr;
  out = std::strtod(text, &end);
  return end != text && *end == '\0' && std::isfinite(out);
}

bool parseInts(const char* text, int count, int* out) {
  std::string s = text;
  for (int a = 0; a < count; ++a) {
    const size_t comma = s.find(',');
    if ((a + 1 < count) != (comma != std::string::npos)) return false;
    if (!parseInt(s.substr(0, comma).c_str(), out[a])) return false;
    s = a + 1 < count ? s.substr(comma + 1) : "";
  }
  return true;
}

bool parseTriple(const char* text, int out[3]) {
  return parseInts(text, 3, out);
}

bool parseRange(const char* text, double out[2]) {
  char* end = nullptr;
  out[0] = std::strtod(text, &end);
  if (end == text || *end != ',') return false;
  const char* second = end + 1;
  out[1] = std::strtod(second, &end);
  // Infinite or NaN ends would code every sample as NaN.
  return end != second && *end == '\0' && std::isfinite(out[0]) && std::isfinite(out[1]) &&
         out[0] < out[1];
}

bool codableRange(double lo, double hi) {
  const float flo = static_cast<float>(lo), fhi = static_cast<float>(hi);
  return std::isfinite(flo) && std::isfinite(fhi) && flo < fhi && std::isfinite(fhi - flo);
}

int maxThreads() {
  return std::clamp(4 * coreCount(), 8, 1024);
}

bool parseThreads(const char* text, int& out) {
  if (!parseInt(text, out)) return false;
  if (out >= 1 && out <= maxThreads()) return true;
  gParseNote = "1 to " + std::to_string(maxThreads()) + " threads here (four per core of " +
               std::to_string(coreCount()) + ", never fewer than 8 nor more than 1024)";
  return false;
}

bool walkArguments(const char* command, const char* usage, int argc, char** argv,
                   std::initializer_list<std::string*> positionals,
                   const std::function<bool(const std::string&)>& toggle,
                   const std::function<bool(const std::string&, const char*)>& option) {
  auto next = positionals.begin();
  for (int a = 0; a < argc; ++a) {
    const std::string flag = argv[a];
    if (toggle(flag)) continue;
    if (!flag.empty() && flag[0] != '-' && next != positionals.end()) {
      **next++ = flag;
    } else if (a + 1 < argc && option(flag, argv[a + 1])) {
      ++a;
    } else {
      const std::string note = takeParseNote();
      std::fprintf(stderr, "tyq %s: unexpected argument or bad value \"%s%s%s\"%s%s\n", command,
                   flag.c_str(), a + 1 < argc ? " " : "", a + 1 < argc ? argv[a + 1] : "",
                   note.empty() ? "" : ": ", note.c_str());
      return false;
    }
  }
  if (next != positionals.end()) {
    std::fprintf(stderr, "usage: %s\n", usage);
    return false;
  }
  return true;
}

}  // namespace tyq_tool
