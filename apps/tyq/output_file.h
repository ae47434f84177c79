#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace tyq_tool {

class ReplacingOutput;

// Where a command's array, picture or plot goes. "-" is standard output; an
// existing FIFO or character device is written into as a stream, the way a
// shell's redirection would (opening a FIFO waits for its reader), and so is
// a link to a regular file (/dev/stdout, /dev/fd/N); a regular file, new or
// existing, is written under a temporary name and renamed into place when
// complete, so a failed or killed run never leaves part of one.
// Anything else is refused.
class OutputFile {
 public:
  explicit OutputFile(std::string path);
  ~OutputFile();  // a file not committed is dropped
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // The stream to write to; null with a reason.
  std::FILE* open(std::string& error);
  // Completes the output; false with a reason when anything was lost.
  bool commit(std::string& error);

 private:
  std::string path_;
  std::FILE* file_ = nullptr;
  std::unique_ptr<ReplacingOutput> replacing_;
};

// Arrays are written as .npy to a name ending in .npy and to standard output
// (so a pipe carries their shape), as raw little-endian bytes otherwise.
bool outputWantsNpy(const std::string& path);
// Writes an array of `bytes` bytes to `path` as above; false after a message.
bool writeArray(const char* command, const std::string& path, const std::string& dtype,
                const std::vector<int64_t>& shape, const void* data, size_t bytes);

}  // namespace tyq_tool
