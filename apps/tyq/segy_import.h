#pragma once

namespace tyq_tool {

// tyq import-segy: a post-stack SEG-Y survey into a new volume file, with its
// inline, crossline and vertical axes, world corners and dead traces.
int runImportSegy(int argc, char** argv);
extern const char* const kImportSegyUsage;

}  // namespace tyq_tool
