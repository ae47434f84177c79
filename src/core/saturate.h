#pragma once

// The one set of saturating number conversions. A plain cast from a double
// that is NaN or beyond the target's range is undefined behaviour; every
// conversion of a computed value to a narrower type goes through here.
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

namespace Qra::Ostrel::Tyq::Private {

// The range of an integer type as doubles (exact for every type up to 32
// bits; the 64-bit limits round to the nearest power of two).
template <typename T>
constexpr double codeMin() {
  return static_cast<double>(std::numeric_limits<T>::lowest());
}
template <typename T>
constexpr double codeMax() {
  return static_cast<double>(std::numeric_limits<T>::max());
}

// Truncation toward zero into an integer type. Values at or beyond the
// type's range, and NaN, saturate (NaN to the lowest value).
template <typename T>
inline T truncToCode(double r) {
  static_assert(std::is_integral_v<T> && sizeof(T) <= 4);
  if (!(r > codeMin<T>())) return std::numeric_limits<T>::lowest();
  if (!(r < codeMax<T>())) return std::numeric_limits<T>::max();
  return static_cast<T>(r);
}

// Rounding half away from zero into an integer type, saturating as above.
template <typename T>
inline T roundToCode(double r) {
  static_assert(std::is_integral_v<T> && sizeof(T) <= 4);
  if (!(r > codeMin<T>())) return std::numeric_limits<T>::lowest();
  if (!(r < codeMax<T>())) return std::numeric_limits<T>::max();
  return static_cast<T>(r <= 0 ? r - 0.5 : r + 0.5);
}

// Truncation toward zero that maps NaN to 0 (not to the lowest value), as
// the file formats store unknown numbers.
inline int32_t truncToInt32(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483648.0) return INT32_MAX;
  if (v <= -2147483649.0) return INT32_MIN;
  return static_cast<int32_t>(v);
}

inline int64_t truncToInt64(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 9223372036854775808.0) return INT64_MAX;
  if (v < -9223372036854775808.0) return INT64_MIN;
  return static_cast<int64_t>(v);
}

// Narrowing of a double to float; finite values beyond the float range
// saturate instead of turning into infinities. Non-finite values pass.
inline float narrowToFloat(double r) {
  constexpr double kMax = std::numeric_limits<float>::max();
  if (std::isfinite(r)) r = r > kMax ? kMax : r < -kMax ? -kMax : r;
  return static_cast<float>(r);
}

// Narrowing of a double to float where values beyond the float range
// become infinities of their sign (a plain conversion would be undefined).
// NaN passes.
inline float toFloatOrInfinity(double v) {
  constexpr double kMax = std::numeric_limits<float>::max();
  if (v > kMax) return std::numeric_limits<float>::infinity();
  if (v < -kMax) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(v);
}

// An unsigned count clipped to 32 bits.
inline uint32_t saturateToUInt32(uint64_t v) {
  return v > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(v);
}

}  // namespace Qra::Ostrel::Tyq::Private
