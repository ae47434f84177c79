#pragma once

namespace tyq_tool {

// tyq create OUT --from IN.npy [--type float|int8|uint8|int16|uint16|int32|uint32]
//            [--range lo,hi] [--version 1|2|3] [--brick b0,b1,b2]
// Writes a new uncompressed volume from a NumPy array, with its levels of
// detail, histogram and statistics, under a temporary name renamed over OUT
// only once complete.
int runCreate(int argc, char** argv);

}  // namespace tyq_tool
