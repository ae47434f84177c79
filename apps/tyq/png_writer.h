#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tyq_tool {

// Writes an 8-bit RGB image, rows top to bottom, to `path` ("-": standard
// output); false with a reason.
bool writePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb,
              std::string& error);

}  // namespace tyq_tool
