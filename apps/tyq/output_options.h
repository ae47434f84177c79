#pragma once

#include <string>

namespace tyq_tool {

// Choices every command that writes a volume shares.

// False after a message when `path` exists and `force` was not given.
bool mayWriteOutput(const char* command, const std::string& path, bool force);

}  // namespace tyq_tool
