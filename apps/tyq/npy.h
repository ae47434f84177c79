#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tyq_tool {

// The header of a NumPy .npy file (format 1.0), C order: what numpy.load
// needs to rebuild an array from the bytes that follow.
// dtype: "<f4", "<i2" or "|i1".
std::string npyHeader(const std::string& dtype, const std::vector<int64_t>& shape);

}  // namespace tyq_tool
