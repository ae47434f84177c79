#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "segy_input.h"

namespace tyq_tool {

// What one trace header says about where the trace lies.
struct TraceKey {
  int32_t inlineNo = 0;
  int32_t crosslineNo = 0;
  double x = 0;  // CDP X and Y with the coordinate scalar applied
  double y = 0;
};

// Places the traces on the smallest regular grid holding all their inline
// and crossline numbers and finds the grid's world corners; false with a
// reason when the numbers do not form such a grid.
bool inferGrid(const std::vector<TraceKey>& keys, SegyGrid& grid, std::string& error);

}  // namespace tyq_tool
