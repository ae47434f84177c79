#pragma once

// Copies boxes of samples between buffers laid out in different storage
// orders, or between a brick and a larger caller buffer. Strides count
// elements; offsets are formed in 64 bits since caller buffers can hold more
// than 2^31 samples.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Qra::Ostrel::Tyq::Private::Access {

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

// Runs of 128 bytes and more go to the library's copy, which moves 32 or 64
// bytes per instruction where the processor can: a crossline read straight
// from memory ran a quarter faster with it than with the 16-byte moves below.
// Shorter runs are copied with fixed-size moves the compiler inlines; there a
// library call per run would cost as much as the copy itself.
inline void CopyRun(void* dst, const void* src, size_t bytes) {
  if (bytes >= 128) {
    std::memcpy(dst, src, bytes);
    return;
  }
  auto* d = static_cast<unsigned char*>(dst);
  const auto* s = static_cast<const unsigned char*>(src);
  // The tail is one more fixed-size move that overlaps the one before it
  // (same bytes written twice), not a variable-size library call.
  if (bytes >= 32) {
    const size_t last = bytes - 32;
    for (size_t at = 0; at < last; at += 32) std::memcpy(d + at, s + at, 32);
    std::memcpy(d + last, s + last, 32);
  } else if (bytes >= 16) {
    std::memcpy(d, s, 16);
    std::memcpy(d + bytes - 16, s + bytes - 16, 16);
  } else if (bytes >= 8) {
    std::memcpy(d, s, 8);
    std::memcpy(d + bytes - 8, s + bytes - 8, 8);
  } else if (bytes >= 4) {
    std::memcpy(d, s, 4);
    std::memcpy(d + bytes - 4, s + bytes - 4, 4);
  } else {
    for (size_t at = 0; at < bytes; ++at) d[at] = s[at];
  }
}

// The same with stores that bypass the cache, for destinations far larger
// than the cache: ordinary stores would first read every destination line.
inline void StreamRun(void* dst, const void* src, size_t bytes) {
#if defined(__SSE2__)
  auto* d = static_cast<unsigned char*>(dst);
  const auto* s = static_cast<const unsigned char*>(src);
  if ((reinterpret_cast<uintptr_t>(d) & 15) == 0) {
    for (; bytes >= 64; bytes -= 64, d += 64, s += 64) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
      const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 32));
      const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 48));
      _mm_stream_si128(reinterpret_cast<__m128i*>(d), a);
      _mm_stream_si128(reinterpret_cast<__m128i*>(d + 16), b);
      _mm_stream_si128(reinterpret_cast<__m128i*>(d + 32), c);
      _mm_stream_si128(reinterpret_cast<__m128i*>(d + 48), e);
    }
  }
  CopyRun(d, s, bytes);
#else
  CopyRun(dst, src, bytes);
#endif
}

template <typename T>
void CopyAxis(T* dst, const T* src, const Axis& x, bool stream = false) {
  if (x.d == 1 && x.s == 1) {
    const size_t bytes = static_cast<size_t>(x.n) * sizeof(T);
    if (stream) {
      StreamRun(dst, src, bytes);
    } else {
      CopyRun(dst, src, bytes);
    }
    return;
  }
  for (int64_t i = 0; i < x.n; ++i) dst[i * x.d] = src[i * x.s];
}

// Short runs far apart in the source (a crossline through a brick reads 256
// bytes every 16 KiB) leave each run waiting for its own page walk and cache
// misses. Touching the run a few iterations ahead overlaps those waits.
template <typename T>
class RunPrefetcher {
 public:
  RunPrefetcher(const T* src, const Axis& outer, const Axis& middle, const Axis& inner)
      : src_(src), outer_(outer), middle_(middle) {
    const int64_t runBytes = inner.n * static_cast<int64_t>(sizeof(T));
    const int64_t jump = Abs(middle.n > 1 ? middle.s : outer.s) * static_cast<int64_t>(sizeof(T));
    active_ = inner.s == 1 && runBytes <= 1024 && jump >= 4096;
    lines_ = static_cast<int>((runBytes + 63) / 64);
    for (int n = 0; active_ && n <= kAhead; ++n) Next();
  }
  void Next() {
    if (!active_ || i_ >= outer_.n) return;
    const char* p = reinterpret_cast<const char*>(src_ + i_ * outer_.s + j_ * middle_.s);
    for (int l = 0; l < lines_; ++l) __builtin_prefetch(p + l * 64);
    if (++j_ < middle_.n) return;
    j_ = 0;
    ++i_;
  }

 private:
  static constexpr int kAhead = 6;
  const T* src_;
  Axis outer_, middle_;
  bool active_ = false;
  int lines_ = 0;
  int64_t i_ = 0, j_ = 0;
};

// Boxes whose destination runs along one axis (`x`, destination stride 1)
// and whose source runs along another (`y`, source stride 1): a compressed
// brick, laid out inline-fastest, read into a trace-ordered box. Reading
// across the source sample by sample would touch one line per sample at a
// large power-of-two stride, which the caches fold onto a handful of sets.
// Instead each tile of up to 64 x 64 samples is read row by row into a
// buffer that stays in the first-level cache and written out along the
// destination's rows.
template <typename T>
void TransposePlane(T* dst, const T* src, const Axis& x, const Axis& y, bool stream) {
  constexpr int64_t kTile = 64;
  alignas(64) T tile[kTile][kTile];  // [x][y]
  alignas(64) T row[kTile];
  for (int64_t y0 = 0; y0 < y.n; y0 += kTile) {
    const int64_t ny = std::min(kTile, y.n - y0);
    for (int64_t x0 = 0; x0 < x.n; x0 += kTile) {
      const int64_t nx = std::min(kTile, x.n - x0);
      for (int64_t xi = 0; xi < nx; ++xi) {
        std::memcpy(tile[xi], src + (x0 + xi) * x.s + y0, static_cast<size_t>(ny) * sizeof(T));
      }
      for (int64_t yi = 0; yi < ny; ++yi) {
        for (int64_t xi = 0; xi < nx; ++xi) row[xi] = tile[xi][yi];
        T* d = dst + (y0 + yi) * y.d + x0;
        const size_t bytes = static_cast<size_t>(nx) * sizeof(T);
        if (stream) {
          StreamRun(d, row, bytes);
        } else {
          CopyRun(d, row, bytes);
        }
      }
    }
  }
}

}  // namespace StridedCopyDetail

// Copies a box of size[0] x size[1] x size[2] samples from `src` to `dst`,
// the sample (i, j, k) being at i * strides[0] + j * strides[1] + k *
// strides[2] in each. Runs contiguous in both buffers become memcpy calls,
// a box contiguous in both a single one. The buffers must not overlap.
// With `stream`, contiguous runs are written around the cache; for copies
// into destinations much larger than the cache that are not read again soon.
template <typename T>
void CopyBox(T* dst, const int64_t dstStrides[3], const T* src, const int64_t srcStrides[3],
             const int size[3], bool stream = false) {
  using namespace StridedCopyDetail;
  Axis a[3];
  if (!Plan(a, dstStrides, srcStrides, size)) return;
  // Of the two outer axes, the one along which the source is denser runs in
  // the middle: when the inner loop reads across the source's lines, the
  // next pass reads the same lines while they are still cached (a quarter
  // off a whole-brick reordering).
  const Axis& middle = Abs(a[0].s) < Abs(a[1].s) ? a[0] : a[1];
  const Axis& outer = Abs(a[0].s) < Abs(a[1].s) ? a[1] : a[0];
  if (a[2].d == 1 && a[2].s != 1 && middle.s == 1 && middle.n > 1) {
    for (int64_t i = 0; i < outer.n; ++i) {
      TransposePlane(dst + i * outer.d, src + i * outer.s, a[2], middle, stream);
    }
#if defined(__SSE2__)
    if (stream) _mm_sfence();
#endif
    return;
  }
  RunPrefetcher<T> ahead(src, outer, middle, a[2]);
  for (int64_t i = 0; i < outer.n; ++i) {
    T* d = dst + i * outer.d;
    const T* s = src + i * outer.s;
    for (int64_t j = 0; j < middle.n; ++j) {
      ahead.Next();
      CopyAxis(d + j * middle.d, s + j * middle.s, a[2], stream);
    }
  }
#if defined(__SSE2__)
  if (stream) _mm_sfence();
#endif
}

template <typename T>
void CopyBox(T* dst, const int dstStrides[3], const T* src, const int srcStrides[3],
             const int size[3], bool stream = false) {
  const int64_t ds[3] = {dstStrides[0], dstStrides[1], dstStrides[2]};
  const int64_t ss[3] = {srcStrides[0], srcStrides[1], srcStrides[2]};
  CopyBox(dst, ds, src, ss, size, stream);
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

}  // namespace Qra::Ostrel::Tyq::Private::Access
