#pragma once

// The samples of a synthetic volume: a smooth field computed from the sample
// position, the rule that marks samples missing, and the conversion of field
// values into the sample type a caller asked for.
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "tyq/brick_geometry.h"

namespace Qra::Ostrel::Tyq::Private::Factory {

// Float samples are the field's values; a missing sample is 0.
struct FloatSamples {
  using value_type = float;
  float Missing() const { return 0.0f; }
  float operator()(float v) const { return v; }
};

// Integer samples map the range [low, high] linearly onto the type's whole
// code range (2^32 codes wide for the 32-bit types) and truncate toward zero,
// clamping at the type's limits; a missing sample is the type's minimum.
// Worked in double so that no float range, however wide, overflows on the
// way; a value that has no code (NaN, or any value over an empty range)
// reads as missing.
template <typename T>
class IntegerSamples {
  static_assert(std::is_integral_v<T> && sizeof(T) <= 4);

 public:
  using value_type = T;

  IntegerSamples(float low, float high) : low_(low), width_(double{high} - low) {}

  T Missing() const { return std::numeric_limits<T>::min(); }

  T operator()(float v) const {
    const double r = kMin + (double{v} - low_) * kSpan / width_;
    if (!(r > kMin)) return std::numeric_limits<T>::min();
    if (r >= kMax) return std::numeric_limits<T>::max();
    return static_cast<T>(static_cast<int64_t>(r));
  }

 private:
  static constexpr double kMin = static_cast<double>(std::numeric_limits<T>::min());
  static constexpr double kMax = static_cast<double>(std::numeric_limits<T>::max());
  static constexpr double kSpan = sizeof(T) == 4 ? 4294967296.0 : kMax - kMin;

  double low_;
  double width_;
};

// The field over a volume of `count` samples per axis cut into bricks of
// `brick` samples, with values spanning [low, high]. At level of detail L the
// sample with indices (i, j, k) is the field at (i, j, k) * 2^L, so every
// level shows the same picture at a coarser spacing.
class SyntheticField {
 public:
  SyntheticField() = default;
  SyntheticField(float low, float high, const int32_t count[3], const int32_t brick[3],
                 uint64_t border)
      : low_(low), high_(high), border_(border) {
    for (int a = 0; a < 3; ++a) {
      count_[a] = count[a];
      brick_[a] = brick[a];
    }
  }

  // The part of the field that is constant along a trace.
  struct Trace {
    float a = 0.0f;
    float b = 0.0f;
  };

  // All in single precision, in this order of operations, so that results
  // are the same wherever the field is evaluated.
  static Trace TraceAt(float x, float y) {
    const float ax = std::sin(0.001f * x);
    const float bx = std::sin(0.01f * x + kHalfPi);
    return {std::sin(0.005f * y) * kTwoPi * ax * kPi,
            std::sin(0.02f * y + kHalfPi) * 0.7f * bx * 0.7f};
  }
  float ValueAt(const Trace& t, float z) const {
    const float b = t.b * std::sin(0.03f * z + kHalfPi) * 0.7f;
    return (0.5f * std::sin(t.a + b * z) + 0.5f) * (high_ - low_) + low_;
  }

  // A sample is missing outside its level's extent and in the last `border`
  // samples of every brick along each axis (every sample when the border is
  // a whole brick or more).
  bool Missing(int axis, int64_t index, int lod) const {
    if (index < 0 || index >= LevelExtent(count_[axis], lod)) return true;
    const uint64_t brick = static_cast<uint64_t>(brick_[axis]);
    if (border_ >= brick) return true;
    return (border_ + static_cast<uint64_t>(index)) % brick < border_;
  }

  // Position along an axis of a sample inside its level (see Missing). Such
  // an index is below ceil(count / 2^lod), so the position stays below
  // count + 2^lod; past level 31 only index 0 is inside.
  static float Position(int64_t index, int lod) {
    return static_cast<float>(index << (lod < 32 ? lod : 32));
  }

  // Fills the box of `size` samples starting at `start` (indices at level
  // `lod`) into `out`, whose element strides along i, j and k are `strides`.
  template <typename Samples>
  void Fill(int lod, const int64_t start[3], const int size[3], const int64_t strides[3],
            typename Samples::value_type* out, const Samples& samples) const {
    for (int ii = 0; ii < size[0]; ++ii) {
      const int64_t i = start[0] + ii;
      const bool missingI = Missing(0, i, lod);
      for (int jj = 0; jj < size[1]; ++jj) {
        const int64_t j = start[1] + jj;
        auto* trace = out + ii * strides[0] + jj * strides[1];
        if (missingI || Missing(1, j, lod)) {
          for (int kk = 0; kk < size[2]; ++kk) trace[kk * strides[2]] = samples.Missing();
          continue;
        }
        const Trace t = TraceAt(Position(i, lod), Position(j, lod));
        for (int kk = 0; kk < size[2]; ++kk) {
          const int64_t k = start[2] + kk;
          trace[kk * strides[2]] =
              Missing(2, k, lod) ? samples.Missing() : samples(ValueAt(t, Position(k, lod)));
        }
      }
    }
  }

 private:
  static constexpr float kHalfPi = 1.57079632679489661923f;
  static constexpr float kPi = 3.14159265358979323846f;
  static constexpr float kTwoPi = 6.28318530717958647692f;

  float low_ = 0.0f;
  float high_ = 0.0f;
  int32_t count_[3] = {0, 0, 0};
  int32_t brick_[3] = {1, 1, 1};
  uint64_t border_ = 0;
};

}  // namespace Qra::Ostrel::Tyq::Private::Factory
