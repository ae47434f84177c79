#include "npy.h"

namespace tyq_tool {

std::string npyHeader(const std::string& dtype, const std::vector<int64_t>& shape) {
  std::string dict = "{'descr': '" + dtype + "', 'fortran_order': False, 'shape': (";
  for (const int64_t n : shape) dict += std::to_string(n) + ", ";
  // "(a, b, c)" but "(a,)" for one axis.
  if (!shape.empty()) dict.erase(dict.size() - (shape.size() == 1 ? 1 : 2));
  dict += "), }";
  // Magic (6), version (2), header length (2), then the dictionary padded
  // with spaces and a newline so the data starts on a 64-byte boundary.
  const size_t unpadded = 10 + dict.size() + 1;
  dict.append((64 - unpadded % 64) % 64, ' ');
  dict += '\n';
  std::string header("\x93NUMPY\x01\x00", 8);
  header += static_cast<char>(dict.size() & 0xFF);
  header += static_cast<char>(dict.size() >> 8);
  return header + dict;
}

}  // namespace tyq_tool
