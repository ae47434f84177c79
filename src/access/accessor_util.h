#pragma once

// Small rules the accessor's read and write paths share.

#include <cmath>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "access/brick_store.h"
#include "core/aligned_buffer.h"
#include "core/sample_type.h"

namespace Qra::Ostrel::Tyq::Private::Access {

// Scratch for bricks is kept per thread between calls, so that reads and
// writes neither allocate nor fault in fresh pages once warm; a block grown
// past this for an unusually large brick is given back after use.
constexpr size_t kKeptScratch = size_t{4} << 20;

inline void TrimScratch(AlignedBuffer& scratch) {
  if (scratch.size() > kKeptScratch) AlignedBuffer dropped(std::move(scratch));
}

// Scale-range ends closer than single-precision epsilon, relative to their
// size (absolute near zero), count as the same.
inline bool NearlyEqual(float a, float b) {
  return std::fabs(a - b) / ((std::fabs(a) + std::fabs(b)) * 0.5f + 1.0f) < 1.1920929e-07f;
}

// Requests are described by int32 sizes whose product is the caller's
// element count; anything that cannot be addressed is refused up front.
inline bool ValidBox(const int size[3]) {
  if (size[0] <= 0 || size[1] <= 0 || size[2] <= 0) return false;
  return int64_t{size[0]} * size[1] * size[2] <= INT32_MAX;
}

// Whether a box shares at least one sample with [0, extent).
inline bool OverlapsExtent(const int start[3], const int size[3], const int extent[3]) {
  for (int d = 0; d < 3; ++d) {
    if (int64_t{start[d]} + size[d] <= 0 || start[d] >= extent[d]) return false;
  }
  return true;
}

// A caller's range of bricks (dims 3) or flag tiles (dims 2) of level `lod`:
// `count` from `start` along each axis. Refused when a count is negative or
// the range leaves the level's bricks; otherwise `end` receives start +
// count, computed where it cannot overflow, and every index of the range
// then fits an int.
inline bool LevelRangeEnd(const BrickStore& store, int lod, int dims, const int start[],
                          const int count[], int end[]) {
  for (int d = 0; d < dims; ++d) {
    const int64_t last = int64_t{start[d]} + count[d];
    if (count[d] < 0 || start[d] < 0 || last > store.GetNumberOfBricks(d, lod)) return false;
    end[d] = static_cast<int>(last);
  }
  return true;
}

}  // namespace Qra::Ostrel::Tyq::Private::Access
