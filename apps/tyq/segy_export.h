#pragma once

namespace tyq_tool {

// tyq export-segy: one level of a volume as a SEG-Y rev 1 file of IEEE
// floats, with its inline and crossline numbers, positions and dead traces.
int runExportSegy(int argc, char** argv);
extern const char* const kExportSegyUsage;

}  // namespace tyq_tool
