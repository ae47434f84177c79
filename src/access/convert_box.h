#pragma once

// Copies a box out of a brick held in its stored sample type into a caller's
// buffer of another type, converting on the way: the strided copy of
// strided_copy.h with a conversion function applied to every run.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "access/conversion.h"
#include "access/strided_copy.h"

namespace Qra::Ostrel::Tyq::Private::Access {

// A conversion function with the ranges it is called with.
struct ConvertCall {
  ConvFcn fn = nullptr;
  float dstLo = 0, dstHi = 0, srcLo = 0, srcHi = 0;
};

namespace ConvertBoxDetail {

using StridedCopyDetail::Axis;

// Samples converted per call: enough to pay for the call, few enough to
// stay on the stack.
constexpr int64_t kChunk = 256;

// Byte addresses throughout: the samples need not lie on a multiple of
// their size, and a typed pointer to them would claim they do.
template <typename U>
void Gather(unsigned char* out, const unsigned char* src, int64_t stride, int64_t n) {
  constexpr int64_t kSize = sizeof(U);
  for (int64_t m = 0; m < n; ++m) std::memcpy(out + m * kSize, src + m * stride * kSize, kSize);
}

// Brings `n` samples of `size` bytes, `stride` samples apart, together.
inline void GatherSamples(unsigned char* out, const unsigned char* src, int64_t stride, int64_t n,
                          int size) {
  if (size == 1) {
    Gather<uint8_t>(out, src, stride, n);
  } else if (size == 2) {
    Gather<uint16_t>(out, src, stride, n);
  } else {
    Gather<uint32_t>(out, src, stride, n);
  }
}

template <typename T>
void ConvertRun(T* dst, const unsigned char* src, const Axis& x, int srcSize,
                const ConvertCall& c) {
  alignas(64) unsigned char gathered[kChunk * 4];
  alignas(64) T converted[kChunk];
  for (int64_t done = 0; done < x.n; done += kChunk) {
    const int64_t n = std::min(kChunk, x.n - done);
    const unsigned char* s = src + done * x.s * srcSize;
    if (x.s != 1) {
      GatherSamples(gathered, s, x.s, n, srcSize);
      s = gathered;
    }
    T* out = x.d == 1 ? dst + done : converted;
    c.fn(out, c.dstLo, c.dstHi, s, c.srcLo, c.srcHi, n);
    if (x.d != 1) {
      for (int64_t m = 0; m < n; ++m) dst[(done + m) * x.d] = converted[m];
    }
  }
}

}  // namespace ConvertBoxDetail

// Copies the box `size` from `src` (samples of `srcSize` bytes, at most 4,
// with strides in samples) to `dst`, converting with `c`; without a
// conversion function the stored type must be T and the samples are copied.
template <typename T>
void ConvertBox(T* dst, const int64_t dstStrides[3], const void* src, int srcSize,
                const int64_t srcStrides[3], const int size[3], const ConvertCall& c,
                bool stream = false) {
  using namespace StridedCopyDetail;
  if (!c.fn) {
    CopyBox(dst, dstStrides, static_cast<const T*>(src), srcStrides, size, stream);
    return;
  }
  Axis a[3];
  if (!Plan(a, dstStrides, srcStrides, size)) return;
  const Axis& middle = Abs(a[0].s) < Abs(a[1].s) ? a[0] : a[1];
  const Axis& outer = Abs(a[0].s) < Abs(a[1].s) ? a[1] : a[0];
  const auto* bytes = static_cast<const unsigned char*>(src);
  for (int64_t i = 0; i < outer.n; ++i) {
    for (int64_t j = 0; j < middle.n; ++j) {
      ConvertBoxDetail::ConvertRun(dst + i * outer.d + j * middle.d,
                                   bytes + (i * outer.s + j * middle.s) * srcSize, a[2], srcSize,
                                   c);
    }
  }
}

template <typename T>
void ConvertBox(T* dst, const int dstStrides[3], const void* src, int srcSize,
                const int srcStrides[3], const int size[3], const ConvertCall& c,
                bool stream = false) {
  const int64_t ds[3] = {dstStrides[0], dstStrides[1], dstStrides[2]};
  const int64_t ss[3] = {srcStrides[0], srcStrides[1], srcStrides[2]};
  ConvertBox(dst, ds, src, srcSize, ss, size, c, stream);
}

}  // namespace Qra::Ostrel::Tyq::Private::Access
