#pragma once

#include <string>

namespace tyq_tool {

// Choices every command that writes a volume shares.

// Compressed output is not available yet; this is the one place that says so.
// True when `sqnr` can be honoured, else false after a message.
bool sqnrSupported(const char* command, double sqnr);
// False after a message when `path` exists and `force` was not given.
bool mayWriteOutput(const char* command, const std::string& path, bool force);
// Brick size of the files created from now on in this process.
void applyBrickSize(const int brick[3]);

}  // namespace tyq_tool
