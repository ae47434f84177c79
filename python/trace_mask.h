#pragma once

// Live-trace masks on their way between numpy and the grid flags: one byte
// per trace of a level, crossline fastest (the layout trace order gives
// flag buffers), 1 for live and 0 for dead.

#include <pybind11/pybind11.h>

#include <vector>

namespace tyq_python {

struct TraceMask {
  int size[2] = {0, 0};
  std::vector<unsigned char> live;
};

// `given` as the mask of `size` traces: a bool or integer array of exactly
// that shape (non-zero meaning live). Anything else raises ValueError
// naming the shape it needs.
TraceMask MaskArgument(pybind11::handle given, const int size[2]);

}  // namespace tyq_python
