#pragma once

#include <string>

namespace tyq_tool {

// Temporary files of an output are named TARGET.partial-PID-XXXXXX (the X
// filled in by mkstemp), beside the target, and a stage of one may add
// kStageSuffix. The process id lets a later run tell a dead run's leftovers
// from a live run's work in progress.
constexpr const char* kStageSuffix = ".compressed";

// The mkstemp template of this process's temporary for `target`.
std::string temporaryTemplate(const std::string& target);

// Removes the temporaries of `target` (and their stages) that runs of this
// tool left when their process died: only regular files of exactly that
// pattern, whose process no longer exists and that no writer holds. Returns
// how many went.
int removeLeftovers(const std::string& target);

}  // namespace tyq_tool
