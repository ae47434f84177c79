#pragma once

namespace tyq_tool {

// tyq scan: the estimated size of a compressed copy for every SQNR, as a
// table, as JSON, or drawn as an SVG chart.
int runScan(int argc, char** argv);
extern const char* const kScanUsage;

}  // namespace tyq_tool
