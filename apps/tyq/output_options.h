#pragma once

#include <initializer_list>
#include <string>

namespace tyq_tool {

// Choices every command that writes a file shares, checked before any work.

// A volume or SEG-Y output: false after a message when `path` exists and
// `force` was not given, when it exists as anything but a regular file
// (never replaced, whatever the options), or when it is one of `inputs`.
bool mayWriteOutput(const char* command, const std::string& path, bool force,
                    std::initializer_list<std::string> inputs = {});

// An array, picture or plot output, which may also stream into "-", a FIFO
// or a character device: false after a message when `path` is a directory,
// socket or block device, or one of `inputs`.
bool mayStreamOutput(const char* command, const std::string& path,
                     std::initializer_list<std::string> inputs = {});

}  // namespace tyq_tool
