#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tyq_tool {

// Where a command's array goes: a file, or standard output for "-". Arrays
// are written as .npy to a name ending in .npy and to standard output (so a
// pipe carries their shape), as raw little-endian bytes otherwise.
std::FILE* openOutput(const std::string& path, std::string& error);
// Closes (or flushes, for standard output); false when anything was lost.
bool closeOutput(std::FILE* file, const std::string& path);
bool outputWantsNpy(const std::string& path);
// Writes an array of `bytes` bytes to `path` as above; false after a message.
bool writeArray(const char* command, const std::string& path, const std::string& dtype,
                const std::vector<int64_t>& shape, const void* data, size_t bytes);

}  // namespace tyq_tool
