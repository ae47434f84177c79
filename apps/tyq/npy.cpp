#include "npy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

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

namespace {

// The value of `key` in the header dictionary, up to the next comma or
// closing brace outside parentheses.
std::string dictValue(const std::string& dict, const std::string& key) {
  const size_t at = dict.find("'" + key + "'");
  if (at == std::string::npos) return "";
  size_t p = dict.find(':', at);
  if (p == std::string::npos) return "";
  ++p;
  while (p < dict.size() && dict[p] == ' ') ++p;
  int depth = 0;
  size_t end = p;
  for (; end < dict.size(); ++end) {
    const char c = dict[end];
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (depth == 0 && (c == ',' || c == '}')) break;
    if (depth < 0) break;
  }
  return dict.substr(p, end - p + (dict[end] == ')' ? 1 : 0));
}

bool parseShape(const std::string& text, int64_t shape[3]) {
  if (text.size() < 2 || text.front() != '(') return false;
  int n = 0;
  const char* p = text.c_str() + 1;
  while (*p && *p != ')') {
    char* end = nullptr;
    const long long v = std::strtoll(p, &end, 10);
    if (end == p || v <= 0 || v > INT32_MAX || n == 3) return false;
    shape[n++] = v;
    p = end;
    while (*p == ',' || *p == ' ') ++p;
  }
  return n == 3;
}

// Opens `path` for reading only if it is a regular file: a FIFO or a device
// would block or never end. O_NONBLOCK keeps the open itself from waiting for
// a FIFO's writer.
std::FILE* openRegularFile(const std::string& path, std::string& error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return error = "cannot open " + path + ": " + std::strerror(errno), nullptr;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return error = path + " is not a regular file", nullptr;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE* file = ::fdopen(fd, "rb");
  if (!file) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    ::close(fd);
  }
  return file;
}

}  // namespace

bool readNpyHeader(std::FILE* file, const std::string& path, NpyArray& out, int64_t& dataStart,
                   std::string& error) {
  unsigned char head[10];
  if (std::fread(head, 1, 10, file) != 10 || std::memcmp(head, "\x93NUMPY", 6) != 0 ||
      head[6] != 1) {
    return error = path + " is not a NumPy 1.0 .npy file", false;
  }
  const size_t headerLength = head[8] | (head[9] << 8);
  std::string dict(headerLength, '\0');
  if (std::fread(dict.data(), 1, headerLength, file) != headerLength) {
    return error = path + ": truncated header", false;
  }
  std::string descr = dictValue(dict, "descr");
  if (descr.size() >= 2) descr = descr.substr(1, descr.size() - 2);
  if (descr == "<i1") descr = "|i1";
  if (descr != "<f4" && descr != "<i2" && descr != "|i1") {
    return error = path + ": element type " + descr + " is not float32, int16 or int8", false;
  }
  if (dictValue(dict, "fortran_order") != "False") {
    return error = path + ": only C-order arrays are read", false;
  }
  if (!parseShape(dictValue(dict, "shape"), out.shape)) {
    return error = path + ": the array must have three dimensions", false;
  }
  const int64_t element = descr == "<f4" ? 4 : (descr == "<i2" ? 2 : 1);
  // Each axis is below 2^31, so a product still within 2^31 is checked one
  // factor at a time without overflowing.
  int64_t count = 1;
  for (const int64_t n : out.shape) {
    if (n > INT32_MAX / count) return error = path + ": more than 2^31 - 1 samples", false;
    count *= n;
  }
  // Check the data is really there before anything relies on it.
  dataStart = std::ftell(file);
  std::fseek(file, 0, SEEK_END);
  const long fileSize = std::ftell(file);
  if (fileSize - dataStart < count * element) return error = path + ": truncated data", false;
  std::fseek(file, static_cast<long>(dataStart), SEEK_SET);
  out.dtype = descr;
  return true;
}

std::FILE* openNpy(const std::string& path, std::string& error) {
  return openRegularFile(path, error);
}

bool readNpy(const std::string& path, NpyArray& out, std::string& error) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(openRegularFile(path, error), &std::fclose);
  if (!file) return false;
  int64_t dataStart = 0;
  if (!readNpyHeader(file.get(), path, out, dataStart, error)) return false;
  const int64_t element = out.dtype == "<f4" ? 4 : (out.dtype == "<i2" ? 2 : 1);
  out.data.resize(static_cast<size_t>(out.shape[0] * out.shape[1] * out.shape[2] * element));
  if (std::fread(out.data.data(), 1, out.data.size(), file.get()) != out.data.size()) {
    return error = path + ": read failed", false;
  }
  return true;
}

}  // namespace tyq_tool
