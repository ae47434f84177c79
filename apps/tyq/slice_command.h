#pragma once

namespace tyq_tool {

// tyq slice: one inline, crossline or time slice drawn as a PNG.
int runSlice(int argc, char** argv);
extern const char* const kSliceUsage;

}  // namespace tyq_tool
