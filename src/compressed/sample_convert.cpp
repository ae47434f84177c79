#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#include "compressed/samples.h"
#include "compressed/vector_clones.h"
#include "core/saturate.h"

namespace Qra::Ostrel::Tyq::Private::Block {

namespace {

constexpr int kSamples = 64 * 64 * 64;
// Float bricks are scaled so that the largest magnitude becomes 2^17 - 1.
constexpr double kFloatRange = 131071.0;
constexpr double kSilentFloat = 1e-6;

using I4 = int32_t __attribute__((vector_size(16)));
using F4 = float __attribute__((vector_size(16)));
using D4 = double __attribute__((vector_size(32)));

// All ones in the lanes of `v` that hold a marker: the largest float marks
// an unknown value and, like NaN and infinities, takes no part in the
// scaling.
inline __attribute__((always_inline)) I4 markerLanes(const F4& v) {
  const I4 bits = reinterpret_cast<I4>(v) & 0x7FFFFFFF;
  return (bits >= 0x7F800000) | (v == std::numeric_limits<float>::max());
}

// The largest |s| of the samples that are no markers (0 when none is).
TYQ_VECTOR_CLONES float largestMagnitude(const float* s) {
  I4 m{};
  for (int i = 0; i < kSamples; i += 4) {
    F4 v;
    std::memcpy(&v, s + i, sizeof v);
    // Magnitudes of finite floats order like their bits.
    const I4 x = reinterpret_cast<I4>(v) & 0x7FFFFFFF & ~markerLanes(v);
    const I4 larger = m < x;
    m = (x & larger) | (m & ~larger);
  }
  const int32_t top = std::max(std::max(m[0], m[1]), std::max(m[2], m[3]));
  float f;
  std::memcpy(&f, &top, sizeof f);
  return f;
}

// roundToCode(s * scale) of every sample, 0 for markers; no product leaves
// the code range since |s| never exceeds the largest magnitude. Adding 0.5
// with the product's sign rounds half away from zero (0 stays 0 either way).
TYQ_VECTOR_CLONES void scaleToCodes(const float* s, double scale, int32_t* coef) {
  using U64x4 = uint64_t __attribute__((vector_size(32)));
  const U64x4 half = reinterpret_cast<U64x4>(D4{} + 0.5);
  for (int i = 0; i < kSamples; i += 4) {
    F4 v;
    std::memcpy(&v, s + i, sizeof v);
    const D4 x = __builtin_convertvector(v, D4) * scale;
    const U64x4 sign = reinterpret_cast<U64x4>(x) & 0x8000000000000000ull;
    const D4 r = x + reinterpret_cast<D4>(half | sign);
    const I4 c = __builtin_convertvector(r, I4) & ~markerLanes(v);
    std::memcpy(coef + i, &c, sizeof c);
  }
}

}  // namespace

template <typename T>
double toCoefficients(const T* s, int32_t* coef) {
  if constexpr (std::is_same_v<T, float>) {
    const float m = largestMagnitude(s);
    if (m < kSilentFloat) {
      std::fill(coef, coef + kSamples, 0);
      return 0.0;
    }
    const double scale = kFloatRange / m;
    scaleToCodes(s, scale, coef);
    return 1.0 / scale;
  } else {
    for (int i = 0; i < kSamples; ++i) coef[i] = s[i];
    return 1.0;
  }
}

namespace {

// double(s), 0 for markers, four at a time.
TYQ_VECTOR_CLONES void comparableFloats(const float* s, double* ref) {
  using I64x4 = int64_t __attribute__((vector_size(32)));
  for (int i = 0; i < kSamples; i += 4) {
    F4 v;
    std::memcpy(&v, s + i, sizeof v);
    const I64x4 keep = ~__builtin_convertvector(markerLanes(v), I64x4);
    const D4 d =
        reinterpret_cast<D4>(reinterpret_cast<I64x4>(__builtin_convertvector(v, D4)) & keep);
    std::memcpy(ref + i, &d, sizeof d);
  }
}

}  // namespace

template <typename T>
void comparableSamples(const T* s, double* ref) {
  if constexpr (std::is_same_v<T, float>) {
    comparableFloats(s, ref);
  } else {
    for (int i = 0; i < kSamples; ++i) ref[i] = static_cast<double>(s[i]);
  }
}

namespace {

// Sum of |ref - gain * rec| over a row, in four interleaved partial sums
// (a fixed order, whatever the vector width).
TYQ_VECTOR_CLONES double rowError(const double* ref, const int32_t* rec, double gain, int n) {
  double a[4] = {0, 0, 0, 0};
  int i = 0;
  for (; i + 4 <= n; i += 4)
    for (int j = 0; j < 4; ++j) a[j] += std::fabs(ref[i + j] - rec[i + j] * gain);
  for (; i < n; ++i) a[0] += std::fabs(ref[i] - rec[i] * gain);
  return (a[0] + a[1]) + (a[2] + a[3]);
}

// a += |ref - gain * rec| for four consecutive values, lane by lane.
inline __attribute__((always_inline)) void addError(D4& a, const double* ref, const int32_t* rec,
                                                    double gain) {
  using U64x4 = uint64_t __attribute__((vector_size(32)));
  I4 c;
  D4 x;
  std::memcpy(&c, rec, sizeof c);
  std::memcpy(&x, ref, sizeof x);
  const D4 d = x - __builtin_convertvector(c, D4) * gain;
  a += reinterpret_cast<D4>(reinterpret_cast<U64x4>(d) & 0x7FFFFFFFFFFFFFFFull);
}

// Row r's share of four rows 64 apart from its four partial sums a,
// continued over the elements from i on as rowError does.
inline __attribute__((always_inline)) double finishRow(double a0, double a1, double a2, double a3,
                                                       const double* ref, const int32_t* rec,
                                                       double gain, int i, int n) {
  for (; i < n; ++i) {
    double product = rec[i] * gain;
    __asm__("" : "+x"(product));  // no fused multiply-add in the wide caller
    a0 += std::fabs(ref[i] - product);
  }
  return (a0 + a1) + (a2 + a3);
}

// rowError of four rows 64 apart at once: the same sums in the same order,
// the four rows' additions interleaved instead of each waiting on the last.
TYQ_VECTOR_CLONES void rowErrors4Narrow(const double* ref, const int32_t* rec, double gain, int n,
                                        double (&out)[4]) {
  D4 a0{}, a1{}, a2{}, a3{};
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    addError(a0, ref + i, rec + i, gain);
    addError(a1, ref + 64 + i, rec + 64 + i, gain);
    addError(a2, ref + 128 + i, rec + 128 + i, gain);
    addError(a3, ref + 192 + i, rec + 192 + i, gain);
  }
  const D4 a[4] = {a0, a1, a2, a3};
  for (int r = 0; r < 4; ++r)
    out[r] = finishRow(a[r][0], a[r][1], a[r][2], a[r][3], ref + 64 * r, rec + 64 * r, gain, i, n);
}

using D8 = double __attribute__((vector_size(64)));

// addError of two rows 64 apart in one vector: row r in lanes 0-3, row
// r + 1 in lanes 4-7, each lane adding what it adds in addError.
inline __attribute__((always_inline)) void addErrorPair(D8& a, const double* ref,
                                                        const int32_t* rec, double gain) {
  using I8 = int32_t __attribute__((vector_size(32)));
  using U64x8 = uint64_t __attribute__((vector_size(64)));
  I4 c0, c1;
  D4 x0, x1;
  std::memcpy(&c0, rec, sizeof c0);
  std::memcpy(&c1, rec + 64, sizeof c1);
  std::memcpy(&x0, ref, sizeof x0);
  std::memcpy(&x1, ref + 64, sizeof x1);
  const I8 c = __builtin_shufflevector(c0, c1, 0, 1, 2, 3, 4, 5, 6, 7);
  const D8 x = __builtin_shufflevector(x0, x1, 0, 1, 2, 3, 4, 5, 6, 7);
  D8 product = __builtin_convertvector(c, D8) * gain;
  // The 512-bit instruction set brings fused multiply-adds, which would
  // round differently; the product stays a product of its own (GCC fuses
  // across statements, clang only within one).
#if !defined(__clang__)
  __asm__("" : "+v"(product));
#endif
  const D8 d = x - product;
  a += reinterpret_cast<D8>(reinterpret_cast<U64x8>(d) & 0x7FFFFFFFFFFFFFFFull);
}

TYQ_WIDE_VECTORS void rowErrors4Wide(const double* ref, const int32_t* rec, double gain, int n,
                                     double (&out)[4]) {
  D8 a01{}, a23{};
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    addErrorPair(a01, ref + i, rec + i, gain);
    addErrorPair(a23, ref + 128 + i, rec + 128 + i, gain);
  }
  for (int r = 0; r < 4; ++r) {
    const D8& a = r < 2 ? a01 : a23;
    const int l = 4 * (r % 2);
    out[r] = finishRow(a[l], a[l + 1], a[l + 2], a[l + 3], ref + 64 * r, rec + 64 * r, gain, i, n);
  }
}

void rowErrors4(const double* ref, const int32_t* rec, double gain, int n, double (&out)[4]) {
  if (wideVectors())
    rowErrors4Wide(ref, rec, gain, n, out);
  else
    rowErrors4Narrow(ref, rec, gain, n, out);
}

// Sum of |ref| over a row, in order, for four rows 64 apart at once: each
// row's additions wait on the one before, the four rows' do not.
void rowSignals4(const double* ref, int n, double (&out)[4]) {
  double a0 = 0, a1 = 0, a2 = 0, a3 = 0;
  for (int i = 0; i < n; ++i) {
    a0 += std::fabs(ref[i]);
    a1 += std::fabs(ref[64 + i]);
    a2 += std::fabs(ref[128 + i]);
    a3 += std::fabs(ref[192 + i]);
  }
  out[0] = a0;
  out[1] = a1;
  out[2] = a2;
  out[3] = a3;
}

int extent(const TraceLayout& l, bool fullBlock, int axis) {
  return fullBlock ? 64 : l.valid[axis];
}

// float(coef[i] * factor), four at a time.
TYQ_VECTOR_CLONES void scaleToFloats(const int32_t* coef, int count, double factor, float* out) {
  int i = 0;
  for (; i + 4 <= count; i += 4) {
    I4 c;
    std::memcpy(&c, coef + i, sizeof c);
    const F4 f = __builtin_convertvector(__builtin_convertvector(c, D4) * factor, F4);
    std::memcpy(out + i, &f, sizeof f);
  }
  for (; i < count; ++i) out[i] = static_cast<float>(coef[i] * factor);
}

}  // namespace

ErrorSums sumSignal(const double* ref, const TraceLayout& l, bool fullBlock) {
  ErrorSums sums;
  const int v0 = extent(l, fullBlock, 0), v1 = extent(l, fullBlock, 1),
            v2 = extent(l, fullBlock, 2);
  for (int i2 = 0; i2 < v2; ++i2) {
    // Rows past the valid ones are summed with them but not added.
    for (int i1 = 0; i1 < v1; i1 += 4) {
      double rows[4];
      rowSignals4(ref + 64 * (i1 + 64 * i2), v0, rows);
      for (int r = 0; r < 4 && i1 + r < v1; ++r) {
        sums.signal += fullBlock ? rows[r] : rows[r] / v0;
        sums.rows += fullBlock ? v0 : 1;
      }
    }
  }
  return sums;
}

double addPlaneError(double error, const double* ref, const int32_t* rec, double gain,
                     const TraceLayout& l, bool fullBlock, int i2) {
  const int v0 = extent(l, fullBlock, 0), v1 = extent(l, fullBlock, 1);
  if (i2 >= extent(l, fullBlock, 2)) return error;
  int i1 = 0;
  for (; i1 + 4 <= v1; i1 += 4) {
    double rows[4];
    rowErrors4(ref + 64 * i1, rec + 64 * i1, gain, v0, rows);
    for (const double row : rows) error += fullBlock ? row : row / v0;
  }
  for (; i1 < v1; ++i1) {
    const double row = rowError(ref + 64 * i1, rec + 64 * i1, gain, v0);
    error += fullBlock ? row : row / v0;
  }
  return error;
}

double sumError(const double* ref, const int32_t* rec, double gain, const TraceLayout& l,
                bool fullBlock) {
  double error = 0;
  for (int i2 = 0; i2 < extent(l, fullBlock, 2); ++i2) {
    const int at = 64 * 64 * i2;
    error = addPlaneError(error, ref + at, rec + at, gain, l, fullBlock, i2);
  }
  return error;
}

double sqnrFromSums(const ErrorSums& sums, bool fullBlock) {
  const double degenerate = fullBlock ? 400.0 : 200.0;
  if (sums.rows <= 0 || sums.error / sums.rows < 1e-8) return degenerate;
  return 20.0 * std::log10((sums.signal / sums.rows) / (sums.error / sums.rows));
}

template <typename T>
void writeOutput(const int32_t* coef, int count, const OutputMap& map, T* out) {
  if constexpr (std::is_same_v<T, float>) {
    // No product can leave the float range: the plain conversion in vectors.
    const bool inRange = std::isfinite(map.factor) &&
                         std::fabs(map.factor) * 2147483648.0 <= std::numeric_limits<float>::max();
    if (inRange) {
      scaleToFloats(coef, count, map.factor, out);
      return;
    }
    for (int i = 0; i < count; ++i) out[i] = narrowToFloat(coef[i] * map.factor);
  } else if constexpr (std::is_same_v<T, int32_t>) {
    for (int i = 0; i < count; ++i) out[i] = coef[i];
  } else {
    for (int i = 0; i < count; ++i) out[i] = roundToCode<T>(map.factor * coef[i] - map.offset);
  }
}

#define TYQ_INSTANTIATE_CONVERT(T)                       \
  template void comparableSamples<T>(const T*, double*); \
  template double toCoefficients<T>(const T*, int32_t*); \
  template void writeOutput<T>(const int32_t*, int, const OutputMap&, T*);
TYQ_INSTANTIATE_CONVERT(int8_t)
TYQ_INSTANTIATE_CONVERT(int16_t)
TYQ_INSTANTIATE_CONVERT(int32_t)
TYQ_INSTANTIATE_CONVERT(float)
#undef TYQ_INSTANTIATE_CONVERT

}  // namespace Qra::Ostrel::Tyq::Private::Block
