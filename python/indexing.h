#pragma once

// numpy basic indexing of a volume: integers (negative from the end),
// slices with step 1 (clipped like numpy's), and one Ellipsis, over up to
// three axes. Anything else raises IndexError.

#include <pybind11/pybind11.h>

#include <cstdint>
#include <vector>

namespace tyq_python {

struct Selection {
  int start[3] = {0, 0, 0};
  int size[3] = {0, 0, 0};
  // An integer index removes its axis from the result.
  bool keep[3] = {true, true, true};

  bool Empty() const { return size[0] == 0 || size[1] == 0 || size[2] == 0; }
  int64_t Samples() const { return int64_t{size[0]} * size[1] * size[2]; }
  // The result's shape: the sizes of the kept axes.
  std::vector<pybind11::ssize_t> Shape() const;
};

Selection SelectBox(pybind11::handle key, const int extent[3]);

}  // namespace tyq_python
