#pragma once

// Small rules the accessor's read and write paths share.

#include <cmath>
#include <cstdint>
#include <type_traits>

#include "core/sample_type.h"

namespace Qra::Ostrel::Tyq::Private::Access {

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

}  // namespace Qra::Ostrel::Tyq::Private::Access
