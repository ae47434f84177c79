#pragma once

// numpy basic indexing of a volume: integers (negative from the end),
// slices (clipped like numpy's), and one Ellipsis, over up to three axes.
// Anything else raises IndexError. Reads take any step, as blocked array
// libraries pass them on; writes take step 1 only.

#include <pybind11/pybind11.h>

#include <cstdint>
#include <vector>

namespace tyq_python {

struct Selection {
  int start[3] = {0, 0, 0};
  int size[3] = {0, 0, 0};
  // An integer index removes its axis from the result.
  bool keep[3] = {true, true, true};
  // The box covers every sample a stepped slice picks; the step thins it
  // afterwards (a negative one reverses it).
  int step[3] = {1, 1, 1};

  bool Empty() const { return size[0] == 0 || size[1] == 0 || size[2] == 0; }
  int64_t Samples() const { return int64_t{size[0]} * size[1] * size[2]; }
  // The box's shape: the sizes of the kept axes.
  std::vector<pybind11::ssize_t> Shape() const;
  bool Stepped() const { return step[0] != 1 || step[1] != 1 || step[2] != 1; }
  // The key that thins the box's samples (of Shape()) to the selection.
  pybind11::tuple Thinning() const;
};

Selection SelectBox(pybind11::handle key, const int extent[3], bool steps = false);

}  // namespace tyq_python
