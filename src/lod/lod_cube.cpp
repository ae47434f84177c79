// Decimation rules that look at one 2 x 2 x 2 cube at a time: averages,
// median, extremes and plain decimation.
#include <cmath>
#include <cstdint>
#include <type_traits>

#include "lod/lod_kernel.h"
#include "tyq/lod.h"

namespace Qra::Ostrel::Tyq::Private::Lod {
namespace {

// Integer sums of eight samples need more bits than the sample; 32 bits hold
// any sum of narrow samples and vectorise better than 64.
template <typename T>
using Wide = std::conditional_t<(sizeof(T) < 4), int32_t, int64_t>;

template <typename T>
constexpr bool kIsFloat = std::is_floating_point_v<T>;

template <typename T>
T averageOf(const T (&v)[8]) {
  if constexpr (kIsFloat<T>) {
    // Eight floats cannot overflow a double, so a finite sum means that all
    // eight are finite: the common case costs one test.
    double sum = 0;
    for (T x : v) sum += x;
    if (std::isfinite(sum)) return static_cast<T>(sum * 0.125);
    sum = 0;
    int n = 0;
    for (T x : v) {
      if (std::isfinite(x)) {
        sum += x;
        ++n;
      }
    }
    return n > 0 ? static_cast<T>(sum / n) : v[0];
  } else {
    Wide<T> sum = 0;
    for (T x : v) sum += x;
    return static_cast<T>(sum / 8);  // division truncates toward zero
  }
}

template <typename T>
T averageNon0Of(const T (&v)[8]) {
  if constexpr (kIsFloat<T>) {
    double sum = 0;
    int n = 0;
    bool anyZero = false;
    for (T x : v) {
      if (x == 0) {
        anyZero = true;
      } else if (std::isfinite(x)) {
        sum += x;
        ++n;
      }
    }
    if (n > 0) return static_cast<T>(sum / n);
    return anyZero ? T(0) : v[0];
  } else {
    Wide<T> sum = 0;
    int n = 0;
    for (T x : v) {
      sum += x;
      n += x != 0;
    }
    return n > 0 ? static_cast<T>(sum / n) : T(0);
  }
}

template <typename T>
inline void orderPair(T& a, T& b) {
  // Two separate comparisons map onto min and max instructions; one shared
  // comparison tends to become a branch, which random data mispredicts.
  const T lo = b < a ? b : a;
  const T hi = a < b ? b : a;
  a = lo;
  b = hi;
}

// Batcher's odd-even merge network for eight values, one layer per line, written
// out so that the values stay in registers; valid only for totally ordered
// values (no NaN).
template <typename T>
inline void sortEight(T (&v)[8]) {
  orderPair(v[0], v[1]), orderPair(v[2], v[3]), orderPair(v[4], v[5]), orderPair(v[6], v[7]);
  orderPair(v[0], v[2]), orderPair(v[1], v[3]), orderPair(v[4], v[6]), orderPair(v[5], v[7]);
  orderPair(v[1], v[2]), orderPair(v[5], v[6]);
  orderPair(v[0], v[4]), orderPair(v[1], v[5]), orderPair(v[2], v[6]), orderPair(v[3], v[7]);
  orderPair(v[2], v[4]), orderPair(v[3], v[5]);
  orderPair(v[1], v[2]), orderPair(v[3], v[4]), orderPair(v[5], v[6]);
}

template <typename T>
inline void insertionSort(T* v, int n) {
  for (int i = 1; i < n; ++i) {
    const T x = v[i];
    int j = i;
    for (; j > 0 && x < v[j - 1]; --j) v[j] = v[j - 1];
    v[j] = x;
  }
}

template <typename T>
T medianOf(const T (&cube)[8]) {
  T v[8];
  for (int i = 0; i < 8; ++i) v[i] = cube[i];
  if constexpr (kIsFloat<T>) {
    bool allFinite = true;
    for (T x : cube) allFinite &= std::isfinite(x);
    int n = 8;
    if (allFinite) {
      sortEight(v);
    } else {
      n = 0;
      for (T x : cube) {
        if (std::isfinite(x)) v[n++] = x;
      }
      if (n == 0) return cube[0];
      insertionSort(v, n);
      if (n % 2 == 1) return v[n / 2];
    }
    return static_cast<T>((static_cast<double>(v[n / 2 - 1]) + v[n / 2]) * 0.5);
  } else {
    sortEight(v);
    // Exact in 64 bits; the result lies between the two middle values.
    return static_cast<T>((static_cast<int64_t>(v[3]) + v[4]) / 2);
  }
}

// Folds in the canonical order. With floats a NaN accumulator is replaced by
// the next value, and a NaN last in the order wins; this is deliberate.
template <typename T>
T minimumOf(const T (&v)[8]) {
  T acc = v[0];
  for (int i = 1; i < 8; ++i) acc = acc < v[i] ? acc : v[i];
  return acc;
}

template <typename T>
T maximumOf(const T (&v)[8]) {
  T acc = v[0];
  for (int i = 1; i < 8; ++i) acc = acc > v[i] ? acc : v[i];
  return acc;
}

template <typename T>
T firstFiniteOf(const T (&v)[8]) {
  for (T x : v) {
    if (isFinite(x)) return x;
  }
  return v[0];
}

// Maximum on even and minimum on odd x + y + z, counted within the octant.
template <typename T>
void minMax(T* dst, const Shape& shape, const T* const* src) {
  forEachRow(dst, shape, src, [&](T* out, const T* const* rows, int x, int y) {
    const int xy = (x ^ y) & 1;
    cubeRow(out, rows, shape.stride[2], shape.half[2], [xy](const T(&cube)[8], int z) {
      return ((xy ^ z) & 1) == 0 ? maximumOf(cube) : minimumOf(cube);
    });
  });
}

}  // namespace

template <typename T>
void cubeAlgorithm(T* dst, const Shape& shape, const T* const* src, int algorithm) {
  using Alg = vvArrayBasic::LodAlgorithm;
  switch (algorithm) {
    case Alg::Average:
      return decimateCubes(dst, shape, src, [](const T(&v)[8]) { return averageOf(v); });
    case Alg::Median:
      return decimateCubes(dst, shape, src, [](const T(&v)[8]) { return medianOf(v); });
    case Alg::Minimum:
      return decimateCubes(dst, shape, src, [](const T(&v)[8]) { return minimumOf(v); });
    case Alg::Maximum:
      return decimateCubes(dst, shape, src, [](const T(&v)[8]) { return maximumOf(v); });
    case Alg::MinMax:
      return minMax(dst, shape, src);
    case Alg::Decimate:
      return decimateCubes(dst, shape, src, [](const T(&v)[8]) { return v[0]; });
    case Alg::DecimateSkipNaN:
      return decimateCubes(dst, shape, src, [](const T(&v)[8]) { return firstFiniteOf(v); });
    case Alg::AverageNon0:
      return decimateCubes(dst, shape, src, [](const T(&v)[8]) { return averageNon0Of(v); });
    default:  // DecimateRandom, AllZero, WhiteNoise and unknown numbers
      return decimateCubes(dst, shape, src, [](const T(&)[8]) { return T(0); });
  }
}

#define TYQ_LOD_CUBE(T) template void cubeAlgorithm<T>(T*, const Shape&, const T* const*, int);
TYQ_LOD_INSTANTIATE(TYQ_LOD_CUBE)
#undef TYQ_LOD_CUBE

}  // namespace Qra::Ostrel::Tyq::Private::Lod
