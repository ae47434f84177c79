#include <cmath>
#include <limits>
#include <type_traits>

#include "compressed/samples.h"
#include "core/saturate.h"

namespace Qra::Ostrel::Tyq::Private::Block {

namespace {

constexpr int kSamples = 64 * 64 * 64;
// Float bricks are scaled so that the largest magnitude becomes 2^17 - 1.
constexpr double kFloatRange = 131071.0;
constexpr double kSilentFloat = 1e-6;

// The largest float marks an unknown value and, like NaN and infinities,
// takes no part in the scaling.
inline bool isMarker(float v) { return !std::isfinite(v) || v == std::numeric_limits<float>::max(); }

}  // namespace

template <typename T>
double comparable(T v) {
  if constexpr (std::is_same_v<T, float>) return isMarker(v) ? 0.0 : double{v};
  else return static_cast<double>(v);
}

template <typename T>
double toCoefficients(const T* s, int32_t* coef) {
  if constexpr (std::is_same_v<T, float>) {
    float m = 0;
    for (int i = 0; i < kSamples; ++i) {
      if (!isMarker(s[i])) m = std::max(m, std::fabs(s[i]));
    }
    if (m < kSilentFloat) {
      std::fill(coef, coef + kSamples, 0);
      return 0.0;
    }
    const double scale = kFloatRange / m;
    for (int i = 0; i < kSamples; ++i) {
      coef[i] = isMarker(s[i]) ? 0 : roundToCode<int32_t>(s[i] * scale);
    }
    return 1.0 / scale;
  } else {
    for (int i = 0; i < kSamples; ++i) coef[i] = s[i];
    return 1.0;
  }
}

template <typename T>
ErrorSums compareSamples(const T* s, const int32_t* rec, double gain, const TraceLayout& l,
                         bool fullBlock) {
  ErrorSums sums;
  const int v0 = fullBlock ? 64 : l.valid[0];
  const int v1 = fullBlock ? 64 : l.valid[1];
  const int v2 = fullBlock ? 64 : l.valid[2];
  for (int i2 = 0; i2 < v2; ++i2) {
    for (int i1 = 0; i1 < v1; ++i1) {
      const int row = 64 * (i1 + 64 * i2);
      double sig = 0, err = 0;
      for (int i0 = 0; i0 < v0; ++i0) {
        const double in = comparable(s[row + i0]);
        sig += std::fabs(in);
        err += std::fabs(in - rec[row + i0] * gain);
      }
      if (fullBlock) {
        sums.signal += sig;
        sums.error += err;
      } else {
        sums.signal += sig / v0;
        sums.error += err / v0;
        sums.rows += 1;
      }
    }
  }
  if (fullBlock) sums.rows = kSamples;
  return sums;
}

double sqnrFromSums(const ErrorSums& sums, bool fullBlock) {
  const double degenerate = fullBlock ? 400.0 : 200.0;
  if (sums.rows <= 0 || sums.error / sums.rows < 1e-8) return degenerate;
  return 20.0 * std::log10((sums.signal / sums.rows) / (sums.error / sums.rows));
}

template <typename T>
void writeOutput(const int32_t* coef, int count, const OutputMap& map, T* out) {
  if constexpr (std::is_same_v<T, float>) {
    for (int i = 0; i < count; ++i) out[i] = narrowToFloat(coef[i] * map.factor);
  } else if constexpr (std::is_same_v<T, int32_t>) {
    for (int i = 0; i < count; ++i) out[i] = coef[i];
  } else {
    for (int i = 0; i < count; ++i) out[i] = roundToCode<T>(map.factor * coef[i] - map.offset);
  }
}

#define TYQ_INSTANTIATE_CONVERT(T)                                                           \
  template double comparable<T>(T);                                                          \
  template double toCoefficients<T>(const T*, int32_t*);                                     \
  template ErrorSums compareSamples<T>(const T*, const int32_t*, double, const TraceLayout&, \
                                       bool);                                                \
  template void writeOutput<T>(const int32_t*, int, const OutputMap&, T*);
TYQ_INSTANTIATE_CONVERT(int8_t)
TYQ_INSTANTIATE_CONVERT(int16_t)
TYQ_INSTANTIATE_CONVERT(int32_t)
TYQ_INSTANTIATE_CONVERT(float)
#undef TYQ_INSTANTIATE_CONVERT

}  // namespace Qra::Ostrel::Tyq::Private::Block
