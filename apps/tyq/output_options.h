#pragma once

#include <string>

namespace tyq_tool {

// Choices every command that writes a volume shares.

// Compressed output is not available yet; this is the one place that says so.
// True when `sqnr` can be honoured, else false after a message.
bool sqnrSupported(const char* command, double sqnr);
// False after a message when `path` exists and `force` was not given.
bool mayWriteOutput(const char* command, const std::string& path, bool force);

}  // namespace tyq_tool
