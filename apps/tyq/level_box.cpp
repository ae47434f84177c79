#include "level_box.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace tyq_tool {

namespace {

int64_t physicalMemory() {
  const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
  return pages > 0 && pageSize > 0 ? int64_t{pages} * pageSize : INT64_MAX;
}

std::string joined(const int64_t* values, int dims, const char* separator) {
  std::string text;
  for (int d = 0; d < dims; ++d) {
    if (d > 0) text += separator;
    text += std::to_string(values[d]);
  }
  return text;
}

}  // namespace

int64_t levelExtent(int32_t size, int lod) {
  // Beyond 2^62 every survey is one sample along each axis.
  return ((int64_t{size} - 1) >> std::clamp(lod, 0, 62)) + 1;
}

bool boxWorthReading(const int* start, const int* size, int dims, const int32_t* survey, int lod,
                     int64_t bytes) {
  int64_t extent[3], first[3], count[3];
  bool overlaps = true;
  for (int d = 0; d < dims; ++d) {
    extent[d] = levelExtent(survey[d], lod);
    first[d] = start[d];
    count[d] = size[d];
    overlaps = overlaps && start[d] < extent[d] && int64_t{start[d]} + size[d] > 0;
  }
  if (!overlaps) {
    std::fprintf(stderr, "tyq read: the box %s + %s lies wholly outside level %d (%s %s)\n",
                 joined(first, dims, ",").c_str(), joined(count, dims, ",").c_str(), lod,
                 joined(extent, dims, " x ").c_str(), dims == 2 ? "traces" : "samples");
    return false;
  }
  const int64_t memory = physicalMemory();
  if (bytes > memory) {
    std::fprintf(stderr,
                 "tyq read: the box needs %.1f MB, more than this machine's memory (%.1f MB)\n",
                 static_cast<double>(bytes) / 1e6, static_cast<double>(memory) / 1e6);
    return false;
  }
  return true;
}

void reportReadFailure(const std::string& failure, int lod, int levels) {
  if (lod < levels) {
    std::fprintf(stderr, "tyq read: %s\n", failure.c_str());
  } else {
    std::fprintf(stderr, "tyq read: %s (level %d is beyond the file's %d levels)\n",
                 failure.c_str(), lod, levels);
  }
}

}  // namespace tyq_tool
