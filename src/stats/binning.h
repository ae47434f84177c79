#pragma once

// The one place that turns a value into a bin number, shared by the
// histogram classes and the brick loops so that both always agree.
#include <algorithm>
#include <cmath>

namespace Qra::Ostrel::Tyq::Private::Binning {

// Bin of `v` plus one, clamped to [0, size + 1]: 0 and size + 1 stand for
// "below" and "above", NaN included, so a caller can count into an array of
// size + 2 entries without a branch. x = v * factor + offset is rounded half
// away from zero (x + 0.5 or x - 0.5 by the sign of x, then truncated); the
// clamp runs before the conversion, so no value reaches an int it does not
// fit. The operand order of max/min makes NaN come out as -1.
inline int BinPlusOne(double v, double factor, double offset, double size) {
  const double x = v * factor + offset;
  const double r = x + std::copysign(0.5, x);
  const double clamped = std::min(size, std::max(-1.0, r));
  return static_cast<int>(clamped) + 1;
}

// Bin of `v`, or -1 when it falls outside [0, size).
inline int BinOf(double v, double factor, double offset, int size) {
  const int b = BinPlusOne(v, factor, offset, size) - 1;
  return b >= 0 && b < size ? b : -1;
}

}  // namespace Qra::Ostrel::Tyq::Private::Binning
