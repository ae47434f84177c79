#pragma once

#include <cstdio>
#include <string>

namespace tyq_tool {

// Where a command's array goes: a file, or standard output for "-". Arrays
// are written as .npy to a name ending in .npy and to standard output (so a
// pipe carries their shape), as raw little-endian bytes otherwise.
std::FILE* openOutput(const std::string& path, std::string& error);
// Closes (or flushes, for standard output); false when anything was lost.
bool closeOutput(std::FILE* file, const std::string& path);
bool outputWantsNpy(const std::string& path);

}  // namespace tyq_tool
