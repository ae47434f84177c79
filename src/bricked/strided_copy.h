#pragma once

// Copies boxes of samples between buffers laid out in different storage
// orders, or between a brick and a larger caller buffer. Strides count
// elements; offsets are formed in 64 bits since caller buffers can hold more
// than 2^31 samples.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

namespace Qra::Ostrel::Tyq::Private::Bricked {

namespace StridedCopyDetail {

struct Axis {
  int64_t n;  // samples along the axis
  int64_t d;  // destination stride
  int64_t s;  // source stride
};

inline int64_t Abs(int64_t v) {
  return v < 0 ? -v : v;
}

// Loop plan: exactly three axes, outermost first, the last being the one
// along which the destination is densest so that writes run forward. Axes of
// one sample are dropped and axes contiguous in both buffers merged, which
// turns a whole contiguous box into a single run. False for an empty box.
inline bool Plan(Axis out[3], const int64_t ds[3], const int64_t ss[3], const int size[3]) {
  Axis axes[3];
  int m = 0;
  for (int a = 0; a < 3; ++a) {
    if (size[a] <= 0) return false;
    if (size[a] > 1) axes[m++] = Axis{size[a], ds[a], ss[a]};
  }
  const auto outer = [](const Axis& x, const Axis& y) {
    return Abs(x.d) != Abs(y.d) ? Abs(x.d) > Abs(y.d) : Abs(x.s) > Abs(y.s);
  };
  for (int a = 1; a < m; ++a) {
    for (int b = a; b > 0 && outer(axes[b], axes[b - 1]); --b) std::swap(axes[b], axes[b - 1]);
  }
  // Fill `out` from the innermost axis outwards, folding each axis into the
  // one inside it when it merely continues it in both buffers.
  int k = 3;
  for (int a = m - 1; a >= 0; --a) {
    const Axis& x = axes[a];
    if (k < 3 && x.d == out[k].d * out[k].n && x.s == out[k].s * out[k].n) {
      out[k].n *= x.n;
    } else {
      out[--k] = x;
    }
  }
  for (int a = 0; a < k; ++a) out[a] = Axis{1, 0, 0};
  return true;
}

template <typename T>
void CopyAxis(T* dst, const T* src, const Axis& x) {
  if (x.d == 1 && x.s == 1) {
    std::memcpy(dst, src, static_cast<size_t>(x.n) * sizeof(T));
    return;
  }
  for (int64_t i = 0; i < x.n; ++i) dst[i * x.d] = src[i * x.s];
}

}  // namespace StridedCopyDetail

// Copies a box of size[0] x size[1] x size[2] samples from `src` to `dst`,
// the sample (i, j, k) being at i * strides[0] + j * strides[1] + k *
// strides[2] in each. Runs contiguous in both buffers become memcpy calls,
// a box contiguous in both a single one. The buffers must not overlap.
template <typename T>
void CopyBox(T* dst, const int64_t dstStrides[3], const T* src, const int64_t srcStrides[3],
             const int size[3]) {
  using namespace StridedCopyDetail;
  Axis a[3];
  if (!Plan(a, dstStrides, srcStrides, size)) return;
  // Of the two outer axes, the one along which the source is denser runs in
  // the middle: when the inner loop reads across the source's lines, the
  // next pass reads the same lines while they are still cached (a quarter
  // off a whole-brick reordering).
  const Axis& middle = Abs(a[0].s) < Abs(a[1].s) ? a[0] : a[1];
  const Axis& outer = Abs(a[0].s) < Abs(a[1].s) ? a[1] : a[0];
  for (int64_t i = 0; i < outer.n; ++i) {
    T* d = dst + i * outer.d;
    const T* s = src + i * outer.s;
    for (int64_t j = 0; j < middle.n; ++j) CopyAxis(d + j * middle.d, s + j * middle.s, a[2]);
  }
}

template <typename T>
void CopyBox(T* dst, const int dstStrides[3], const T* src, const int srcStrides[3],
             const int size[3]) {
  const int64_t ds[3] = {dstStrides[0], dstStrides[1], dstStrides[2]};
  const int64_t ss[3] = {srcStrides[0], srcStrides[1], srcStrides[2]};
  CopyBox(dst, ds, src, ss, size);
}

// The two-dimensional counterpart, for flag tiles: size[0] x size[1] samples.
template <typename T>
void CopyRect(T* dst, const int dstStrides[2], const T* src, const int srcStrides[2],
              const int size[2]) {
  const int64_t ds[3] = {dstStrides[0], dstStrides[1], 1};
  const int64_t ss[3] = {srcStrides[0], srcStrides[1], 1};
  const int box[3] = {size[0], size[1], 1};
  CopyBox(dst, ds, src, ss, box);
}

}  // namespace Qra::Ostrel::Tyq::Private::Bricked
