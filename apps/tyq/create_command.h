#pragma once

namespace tyq_tool {

// tyq create OUT --from IN.npy [--type float|int16|int8] [--range lo,hi]
//            [--version 1|2|3] [--brick b0,b1,b2]
// Writes a new uncompressed volume from a NumPy array, with its levels of
// detail, histogram and statistics.
int runCreate(int argc, char** argv);

}  // namespace tyq_tool
