#pragma once

namespace tyq_tool {

// tyq read FILE --flags: the grid flags (0 dead, non-zero live) of a box of
// traces as a 2-D uint8 array.
int runReadFlags(int argc, char** argv);

}  // namespace tyq_tool
