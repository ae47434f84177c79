#pragma once

namespace tyq_tool {

// tyq read FILE --lod L --start i,j,k --size ni,nj,nk [--type T] [--order O] -o OUT
// Writes the box to OUT: a NumPy .npy file, or raw little-endian samples for
// any other extension.
int runRead(int argc, char** argv);

}  // namespace tyq_tool
