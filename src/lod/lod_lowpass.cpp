// Anti-aliased decimation along k: each trace of two stacked children is
// filtered with a symmetric 10-tap half-band filter and decimated by two.
// Along i and j the even samples are taken as they are; seismic traces are
// band-limited along the vertical axis, where aliasing would show most.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <type_traits>
#include <vector>

#include "lod/lod_kernel.h"
#include "lod/lod_wide.h"

namespace Qra::Ostrel::Tyq::Private::Lod {
namespace {

// The taps, from the centre pair outward; the ten weights sum to 1.
constexpr double kTaps[5] = {0.46728086247062456, 0.13215387136350137, -0.11012372306899207,
                             -0.07241458842975841, 0.08310357766462453};
constexpr double kC0 = kTaps[0];
constexpr double kC1 = kTaps[1];
constexpr double kC2 = kTaps[2];
constexpr double kC3 = kTaps[3];
constexpr double kC4 = kTaps[4];

// The filter reaches four samples beyond either end of a trace.
constexpr int kPad = 4;

// Traces of bricks up to this size along k are filtered in stack buffers.
constexpr int kStackK = 128;

// Index within a trace of n samples for an index i outside it, mirrored about
// the end samples without repeating them, as often as needed for traces
// shorter than the filter.
int mirrored(int i, int n) {
  if (n < 2) return 0;
  const int period = 2 * n - 2;
  i %= period;
  if (i < 0) i += period;
  return i < n ? i : period - i;
}

// trace[kPad .. kPad + n) holds the trace; fills the kPad samples either side.
void padEnds(double* trace, int n) {
  double* t = trace + kPad;
  if (n > kPad) {  // one reflection reaches: no search for the mirrored index
    for (int i = 1; i <= kPad; ++i) {
      t[-i] = t[i];
      t[n - 1 + i] = t[n - 1 - i];
    }
    return;
  }
  for (int i = 1; i <= kPad; ++i) {
    t[-i] = t[mirrored(-i, n)];
    t[n - 1 + i] = t[mirrored(n - 1 + i, n)];
  }
}

// Branch-free so that it vectorises; non-finite outputs are mended afterwards.
void filterTrace(const double* trace, int outputs, double* out) {
  const double* t = trace + kPad;
  for (int m = Wide::FilterTrace(t, outputs, kTaps, out); m < outputs; ++m) {
    const double* p = t + 2 * m;
    out[m] = kC0 * (p[0] + p[1]) + kC1 * (p[-1] + p[2]) + kC2 * (p[-2] + p[3]) +
             kC3 * (p[-3] + p[4]) + kC4 * (p[-4] + p[5]);
  }
}

// A NaN or infinity anywhere under the filter spoils every output it reaches;
// those outputs fall back to the plain pair mean, then to one of the pair.
template <typename T>
T toSample(double r, const double* pair) {
  if constexpr (std::is_floating_point_v<T>) {
    if (!std::isfinite(r)) {
      r = (pair[0] + pair[1]) / 2;
      if (!std::isfinite(r)) r = pair[1];
      if (!std::isfinite(r)) r = pair[0];
    }
    return narrowToFloat(r);
  } else {
    return roundToCode<T>(r);
  }
}

// Whether the wide loops apply: float samples adjacent along k.
template <std::ptrdiff_t kStep, typename T>
constexpr bool kWide = kStep == 1 && std::is_same_v<T, float>;

template <std::ptrdiff_t kStep, typename T>
void widen(const T* in, int n, std::ptrdiff_t step, double* t) {
  int k = 0;
  if constexpr (kWide<kStep, T>) k = Wide::Widen(in, n, t);
  for (; k < n; ++k) t[k] = in[k * step];
}

// Groups of outputs with a non-finite one go through toSample one by one.
template <std::ptrdiff_t kStep, typename T>
void narrow(const double* filtered, const double* t, int n, std::ptrdiff_t step, T* out) {
  int m = 0;
  while (m < n) {
    int end = n;
    if constexpr (kWide<kStep, T>) {
      m += Wide::NarrowFinite(filtered + m, n - m, out + m);
      end = std::min(n, m + 8);
    }
    for (; m < end; ++m) out[m * step] = toSample<T>(filtered[m], t + 2 * m);
  }
}

// Every other trace of the children is read, from memory the writer filled
// long before; fetching a few traces ahead hides most of the wait.
constexpr int kAhead = 4;

template <typename T>
void prefetchTrace(const T* lower, const T* upper, std::ptrdiff_t at, int n) {
  const std::ptrdiff_t bytes = static_cast<std::ptrdiff_t>(n) * sizeof(T);
  for (std::ptrdiff_t b = 0; b < bytes; b += 64) {
    __builtin_prefetch(reinterpret_cast<const char*>(lower + at) + b);
    __builtin_prefetch(reinterpret_cast<const char*>(upper + at) + b);
  }
}

template <std::ptrdiff_t kStep, typename T>
void lowPassT(T* dst, const Shape& shape, const T* const* src, double* trace, double* filtered) {
  const std::ptrdiff_t s0 = shape.stride[0];
  const std::ptrdiff_t s1 = shape.stride[1];
  const std::ptrdiff_t step = kStep != 0 ? kStep : shape.stride[2];
  const int n2 = 2 * shape.half[2];
  double* t = trace + kPad;
  for (int a = 0; a < 2; ++a) {
    for (int b = 0; b < 2; ++b) {
      const T* lower = src[4 * a + 2 * b];
      const T* upper = src[4 * a + 2 * b + 1];
      for (int x = 0; x < shape.half[0]; ++x) {
        for (int y = 0; y < shape.half[1]; ++y) {
          const std::ptrdiff_t in = 2 * x * s0 + 2 * y * s1;
          if constexpr (kStep == 1) prefetchTrace(lower, upper, in + kAhead * 2 * s1, n2);
          widen<kStep>(lower + in, n2, step, t);
          widen<kStep>(upper + in, n2, step, t + n2);
          padEnds(trace, 2 * n2);
          filterTrace(trace, n2, filtered);
          T* out = dst + (a * shape.half[0] + x) * s0 + (b * shape.half[1] + y) * s1;
          narrow<kStep>(filtered, t, n2, step, out);
        }
      }
    }
  }
}

}  // namespace

template <typename T>
void lowPass(T* dst, const Shape& shape, const T* const* src) {
  const int n2 = 2 * shape.half[2];
  const std::size_t traceSize = 2 * static_cast<std::size_t>(n2) + 2 * kPad;
  double stackBuffer[2 * kStackK + 2 * kPad + kStackK];
  std::vector<double> heapBuffer;
  double* trace = stackBuffer;
  if (n2 > kStackK) {
    heapBuffer.resize(traceSize + n2);
    trace = heapBuffer.data();
  }
  double* filtered = trace + traceSize;
  if (shape.stride[2] == 1) {
    lowPassT<1>(dst, shape, src, trace, filtered);
  } else {
    lowPassT<0>(dst, shape, src, trace, filtered);
  }
}

#define TYQ_LOD_LOWPASS(T) template void lowPass<T>(T*, const Shape&, const T* const*);
TYQ_LOD_INSTANTIATE(TYQ_LOD_LOWPASS)
#undef TYQ_LOD_LOWPASS

}  // namespace Qra::Ostrel::Tyq::Private::Lod
