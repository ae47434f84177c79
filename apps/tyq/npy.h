#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tyq_tool {

// The header of a NumPy .npy file (format 1.0), C order: what numpy.load
// needs to rebuild an array from the bytes that follow.
// dtype: "<f4", "<i2" or "|i1".
std::string npyHeader(const std::string& dtype, const std::vector<int64_t>& shape);

// A NumPy array read from a .npy file: little-endian float32, int16 or int8,
// C order, three dimensions.
struct NpyArray {
  std::string dtype;  // "<f4", "<i2" or "|i1"
  int64_t shape[3] = {0, 0, 0};
  std::vector<char> data;
};

// Reads `path`, which must be a regular file; on failure returns false with a
// reason in `error`. Sizes in the header are checked against the file before
// anything is allocated.
bool readNpy(const std::string& path, NpyArray& out, std::string& error);
// `path` opened for reading if it is a regular file; null with a reason.
std::FILE* openNpy(const std::string& path, std::string& error);
// Reads the header of an open .npy file: type and shape into `out` (not the
// data), the data's offset into `dataStart`, once the data is known to be
// there in full.
bool readNpyHeader(std::FILE* file, const std::string& path, NpyArray& out, int64_t& dataStart,
                   std::string& error);

}  // namespace tyq_tool
