#pragma once

// Shared machinery of the decimation kernels: the walk over the eight octants
// of an output brick, one output row along k at a time, and the value rules
// every algorithm family uses.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "core/saturate.h"

namespace Qra::Ostrel::Tyq::Private::Lod {

// Half sizes of the output brick (the octant size) and the element strides
// shared by the output and the children.
struct Shape {
  int half[3];
  std::ptrdiff_t stride[3];
};

// The histogram WeightedAverage weighs with; bins may be null.
struct Histogram {
  const long long* bins;
  int count;
  double min;
  double max;
};

// Integer samples are always finite; only float has NaN and infinities.
template <typename T>
inline bool isFinite(T v) {
  if constexpr (std::is_floating_point_v<T>) {
    return std::isfinite(v);
  } else {
    (void)v;
    return true;
  }
}

using Private::codeMax;
using Private::codeMin;
using Private::narrowToFloat;
using Private::roundToCode;
using Private::truncToCode;

// Calls rowFn(out, rows, x, y) for every output row of every octant. out is
// the first output sample of the row; rows are the child rows at
// (2x + di, 2y + dj) for (di, dj) = (0,0), (0,1), (1,0), (1,1), each at k = 0.
// Along k the output advances by stride[2] and the children by twice that.
template <typename T, typename RowFn>
void forEachRow(T* dst, const Shape& shape, const T* const* src, RowFn&& rowFn) {
  const std::ptrdiff_t s0 = shape.stride[0];
  const std::ptrdiff_t s1 = shape.stride[1];
  const std::ptrdiff_t s2 = shape.stride[2];
  for (int a = 0; a < 2; ++a) {
    for (int b = 0; b < 2; ++b) {
      for (int c = 0; c < 2; ++c) {
        const T* child = src[4 * a + 2 * b + c];
        T* octant = dst + a * shape.half[0] * s0 + b * shape.half[1] * s1 + c * shape.half[2] * s2;
        for (int x = 0; x < shape.half[0]; ++x) {
          for (int y = 0; y < shape.half[1]; ++y) {
            const T* base = child + 2 * x * s0 + 2 * y * s1;
            const T* const rows[4] = {base, base + s1, base + s0, base + s0 + s1};
            rowFn(octant + x * s0 + y * s1, rows, x, y);
          }
        }
      }
    }
  }
}

// One output row: out[z] = op(cube, z) where cube holds the eight samples of
// the cube below output z in the canonical order (corner first, k fastest).
// kStep is the k stride when known at compile time (1 for the usual layout),
// 0 when it is only known at run time.
template <std::ptrdiff_t kStep, typename T, typename Op>
inline void cubeRowT(T* out, const T* const* rows, std::ptrdiff_t runtimeStep, int n, Op& op) {
  const std::ptrdiff_t step = kStep != 0 ? kStep : runtimeStep;
  const T* r0 = rows[0];
  const T* r1 = rows[1];
  const T* r2 = rows[2];
  const T* r3 = rows[3];
  for (int z = 0; z < n; ++z) {
    const std::ptrdiff_t k = 2 * z * step;
    const T cube[8] = {r0[k], r0[k + step], r1[k], r1[k + step],
                       r2[k], r2[k + step], r3[k], r3[k + step]};
    out[z * step] = op(cube, z);
  }
}

template <typename T, typename Op>
inline void cubeRow(T* out, const T* const* rows, std::ptrdiff_t step, int n, Op&& op) {
  if (step == 1) {
    cubeRowT<1>(out, rows, 1, n, op);
  } else {
    cubeRowT<0>(out, rows, step, n, op);
  }
}

// Applies a per-cube rule that does not depend on the output position.
template <typename T, typename Op>
void decimateCubes(T* dst, const Shape& shape, const T* const* src, Op op) {
  forEachRow(dst, shape, src, [&](T* out, const T* const* rows, int, int) {
    cubeRow(out, rows, shape.stride[2], shape.half[2],
            [&](const T(&cube)[8], int) { return op(cube); });
  });
}

// The algorithm families; each is one template over the sample type,
// instantiated for the eight sample types in its own source file.
template <typename T>
void cubeAlgorithm(T* dst, const Shape& shape, const T* const* src, int algorithm);
template <typename T>
void mostFrequent(T* dst, const Shape& shape, const T* const* src, bool skipZero);
template <typename T>
void lowPass(T* dst, const Shape& shape, const T* const* src);
template <typename T>
void weightedAverage(T* dst, const Shape& shape, const T* const* src, const Histogram& hist);

}  // namespace Qra::Ostrel::Tyq::Private::Lod

// Explicit instantiation of a family for every sample type.
#define TYQ_LOD_INSTANTIATE(SIGNATURE) \
  SIGNATURE(char)                      \
  SIGNATURE(signed char)               \
  SIGNATURE(unsigned char)             \
  SIGNATURE(short)                     \
  SIGNATURE(unsigned short)            \
  SIGNATURE(int)                       \
  SIGNATURE(unsigned int)              \
  SIGNATURE(float)
