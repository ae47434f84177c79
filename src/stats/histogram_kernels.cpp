#include "stats/histogram_kernels.h"

#include <algorithm>
#include <atomic>
#include <type_traits>

#include "core/cpu_features.h"
#include "stats/binning.h"

// The wide variants need the x86-64 vector intrinsics and the compiler's
// per-function targets; sanitizer builds keep them (no load-time resolver
// is involved), TYQ_NO_VECTOR_CLONES leaves them out.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(TYQ_NO_VECTOR_CLONES)
#define TYQ_HIST_WIDE 1
#include <immintrin.h>
#define TYQ_AVX2 __attribute__((target("avx2")))
#define TYQ_AVX512 __attribute__((target("avx2,avx512f,avx512dq,avx512vl,avx512bw")))
#endif

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Qra::Ostrel::Tyq::Private::HistogramKernels {
namespace {

// ---- Baseline: SSE2 on x86-64, plain C++ elsewhere ----

#if defined(__SSE2__)
// Binning::BinPlusOne for two values; maxpd and minpd give their second
// operand for NaN, which makes NaN come out below the range as there.
inline __m128i BinPlusOne2(__m128d v, const BinMap& map) {
  const __m128d x = _mm_add_pd(_mm_mul_pd(v, _mm_set1_pd(map.factor)), _mm_set1_pd(map.offset));
  const __m128d half = _mm_or_pd(_mm_and_pd(x, _mm_set1_pd(-0.0)), _mm_set1_pd(0.5));
  const __m128d r = _mm_max_pd(_mm_add_pd(x, half), _mm_set1_pd(-1.0));
  const __m128d clamped = _mm_min_pd(r, _mm_set1_pd(map.size));
  return _mm_add_epi32(_mm_cvttpd_epi32(clamped), _mm_set1_epi32(1));
}

template <typename T, bool kStats, bool kBins>
void ManyBaseline(const T* p, int m, int* idx, Lanes& lanes, const BinMap& map) {
  __m128d sum[2] = {_mm_loadu_pd(lanes.sum), _mm_loadu_pd(lanes.sum + 2)};
  __m128d ssq[2] = {_mm_loadu_pd(lanes.ssq), _mm_loadu_pd(lanes.ssq + 2)};
  __m128d lo[2] = {_mm_loadu_pd(lanes.lo), _mm_loadu_pd(lanes.lo + 2)};
  __m128d hi[2] = {_mm_loadu_pd(lanes.hi), _mm_loadu_pd(lanes.hi + 2)};
  for (int i = 0; i < m; i += 4) {
    const __m128d a[2] = {_mm_set_pd(double(p[i + 1]), double(p[i])),
                          _mm_set_pd(double(p[i + 3]), double(p[i + 2]))};
    if constexpr (kStats) {
      for (int h = 0; h < 2; ++h) {
        sum[h] = _mm_add_pd(sum[h], a[h]);
        ssq[h] = _mm_add_pd(ssq[h], _mm_mul_pd(a[h], a[h]));
        lo[h] = _mm_min_pd(lo[h], a[h]);
        hi[h] = _mm_max_pd(hi[h], a[h]);
      }
    }
    if constexpr (kBins) {
      const __m128i both = _mm_unpacklo_epi64(BinPlusOne2(a[0], map), BinPlusOne2(a[1], map));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(idx + i), both);
    }
  }
  for (int h = 0; h < 2; ++h) {
    _mm_storeu_pd(lanes.sum + 2 * h, sum[h]);
    _mm_storeu_pd(lanes.ssq + 2 * h, ssq[h]);
    _mm_storeu_pd(lanes.lo + 2 * h, lo[h]);
    _mm_storeu_pd(lanes.hi + 2 * h, hi[h]);
  }
}
#else
// minpd/maxpd order: the lane's own value unless the sample is smaller
// (larger), so a NaN sample replaces it, as in the vector variants.
template <typename T, bool kStats, bool kBins>
void ManyBaseline(const T* p, int m, int* idx, Lanes& lanes, const BinMap& map) {
  for (int i = 0; i < m; ++i) {
    const double v = static_cast<double>(p[i]);
    const int l = i & 3;
    if constexpr (kStats) {
      lanes.sum[l] += v;
      lanes.ssq[l] += v * v;
      lanes.lo[l] = lanes.lo[l] < v ? lanes.lo[l] : v;
      lanes.hi[l] = lanes.hi[l] > v ? lanes.hi[l] : v;
    }
    if constexpr (kBins) idx[i] = Binning::BinPlusOne(v, map.factor, map.offset, map.size);
  }
}
#endif

#if TYQ_HIST_WIDE
// ---- AVX2: one register holds the four lanes ----

// Four samples widened to double; every sample type converts exactly.
template <typename T>
TYQ_AVX2 inline __m256d Load4(const T* p) {
  if constexpr (std::is_same_v<T, float>) {
    return _mm256_cvtps_pd(_mm_loadu_ps(p));
  } else if constexpr (std::is_same_v<T, int>) {
    return _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
  } else if constexpr (std::is_same_v<T, unsigned int>) {
    // Flipping the top bit makes the code signed; 2^31 restores it.
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i flipped = _mm_xor_si128(x, _mm_set1_epi32(INT32_MIN));
    return _mm256_add_pd(_mm256_cvtepi32_pd(flipped), _mm256_set1_pd(2147483648.0));
  } else if constexpr (std::is_same_v<T, short>) {
    return _mm256_cvtepi32_pd(
        _mm_cvtepi16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
  } else if constexpr (std::is_same_v<T, unsigned short>) {
    return _mm256_cvtepi32_pd(
        _mm_cvtepu16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
  } else {
    int four = 0;
    __builtin_memcpy(&four, p, 4);
    const __m128i x = _mm_cvtsi32_si128(four);
    return _mm256_cvtepi32_pd(std::is_same_v<T, signed char> ? _mm_cvtepi8_epi32(x)
                                                             : _mm_cvtepu8_epi32(x));
  }
}

TYQ_AVX2 inline __m128i BinPlusOne4(__m256d v, __m256d factor, __m256d offset, __m256d size) {
  const __m256d x = _mm256_add_pd(_mm256_mul_pd(v, factor), offset);
  const __m256d half = _mm256_or_pd(_mm256_and_pd(x, _mm256_set1_pd(-0.0)), _mm256_set1_pd(0.5));
  const __m256d r = _mm256_max_pd(_mm256_add_pd(x, half), _mm256_set1_pd(-1.0));
  const __m256d clamped = _mm256_min_pd(r, size);
  return _mm_add_epi32(_mm256_cvttpd_epi32(clamped), _mm_set1_epi32(1));
}

struct Wide {
  __m256d sum, ssq, lo, hi;
};

TYQ_AVX2 inline void Accumulate(Wide& w, __m256d a) {
  w.sum = _mm256_add_pd(w.sum, a);
  w.ssq = _mm256_add_pd(w.ssq, _mm256_mul_pd(a, a));
  w.lo = _mm256_min_pd(w.lo, a);
  w.hi = _mm256_max_pd(w.hi, a);
}

TYQ_AVX2 inline Wide LoadLanes(const Lanes& lanes) {
  return {_mm256_loadu_pd(lanes.sum), _mm256_loadu_pd(lanes.ssq), _mm256_loadu_pd(lanes.lo),
          _mm256_loadu_pd(lanes.hi)};
}

TYQ_AVX2 inline void StoreLanes(const Wide& w, Lanes& lanes) {
  _mm256_storeu_pd(lanes.sum, w.sum);
  _mm256_storeu_pd(lanes.ssq, w.ssq);
  _mm256_storeu_pd(lanes.lo, w.lo);
  _mm256_storeu_pd(lanes.hi, w.hi);
}

template <typename T, bool kStats, bool kBins>
TYQ_AVX2 void ManyAvx2(const T* p, int m, int* idx, Lanes& lanes, const BinMap& map) {
  Wide w = LoadLanes(lanes);
  const __m256d factor = _mm256_set1_pd(map.factor);
  const __m256d offset = _mm256_set1_pd(map.offset);
  const __m256d size = _mm256_set1_pd(map.size);
  for (int i = 0; i < m; i += 4) {
    const __m256d a = Load4(p + i);
    if constexpr (kStats) Accumulate(w, a);
    if constexpr (kBins) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(idx + i), BinPlusOne4(a, factor, offset, size));
    }
  }
  StoreLanes(w, lanes);
}

// ---- AVX-512: eight samples binned at once; the statistics still run four
// lanes wide, first the lower four samples then the upper, so that every
// lane adds in the same order as above ----

// The compiler's own intrinsics start some results from a deliberately
// undefined register, which its flow analysis takes for a fault.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

TYQ_AVX512 inline __m256i BinPlusOne8(__m512d v, __m512d factor, __m512d offset, __m512d size) {
  const __m512d x = _mm512_add_pd(_mm512_mul_pd(v, factor), offset);
  const __m512d half = _mm512_or_pd(_mm512_and_pd(x, _mm512_set1_pd(-0.0)), _mm512_set1_pd(0.5));
  const __m512d r = _mm512_max_pd(_mm512_add_pd(x, half), _mm512_set1_pd(-1.0));
  const __m512d clamped = _mm512_min_pd(r, size);
  return _mm256_add_epi32(_mm512_cvttpd_epi32(clamped), _mm256_set1_epi32(1));
}

template <typename T, bool kStats, bool kBins>
TYQ_AVX512 void ManyAvx512(const T* p, int m, int* idx, Lanes& lanes, const BinMap& map) {
  Wide w = LoadLanes(lanes);
  const __m512d factor = _mm512_set1_pd(map.factor);
  const __m512d offset = _mm512_set1_pd(map.offset);
  const __m512d size = _mm512_set1_pd(map.size);
  int i = 0;
  for (; i + 8 <= m; i += 8) {
    const __m256d a = Load4(p + i);
    const __m256d b = Load4(p + i + 4);
    if constexpr (kStats) {
      Accumulate(w, a);
      Accumulate(w, b);
    }
    if constexpr (kBins) {
      const __m512d both = _mm512_insertf64x4(_mm512_castpd256_pd512(a), b, 1);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(idx + i),
                          BinPlusOne8(both, factor, offset, size));
    }
  }
  if (i < m) {  // four left
    const __m256d a = Load4(p + i);
    if constexpr (kStats) Accumulate(w, a);
    if constexpr (kBins) {
      const __m512d wide = _mm512_castpd256_pd512(a);
      const __m256i bins = BinPlusOne8(wide, factor, offset, size);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(idx + i), _mm256_castsi256_si128(bins));
    }
  }
  StoreLanes(w, lanes);
}
#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

Level Detect() {
#if TYQ_HIST_WIDE
  if (Cpu::HasAvx512()) return Level::Avx512;
  if (Cpu::HasAvx2()) return Level::Avx2;
#endif
  return Level::Baseline;
}

std::atomic<int>& ActiveLevel() {
  static std::atomic<int> level{static_cast<int>(Supported())};
  return level;
}

}  // namespace

Level Supported() {
  static const Level level = Detect();
  return level;
}

Level Active() {
  return static_cast<Level>(ActiveLevel().load(std::memory_order_relaxed));
}

void UseLevel(Level level) {
  const int chosen = std::min(static_cast<int>(level), static_cast<int>(Supported()));
  ActiveLevel().store(chosen, std::memory_order_relaxed);
}

template <typename T, bool kStats, bool kBins>
ManyFn<T, kStats, kBins> Many() {
#if TYQ_HIST_WIDE
  switch (Active()) {
    case Level::Avx512:
      return ManyAvx512<T, kStats, kBins>;
    case Level::Avx2:
      return ManyAvx2<T, kStats, kBins>;
    case Level::Baseline:
      break;
  }
#endif
  return ManyBaseline<T, kStats, kBins>;
}

#define TYQ_HIST_MANY(T)                                  \
  template ManyFn<T, true, true> Many<T, true, true>();   \
  template ManyFn<T, true, false> Many<T, true, false>(); \
  template ManyFn<T, false, true> Many<T, false, true>();
TYQ_HIST_MANY(signed char)
TYQ_HIST_MANY(unsigned char)
TYQ_HIST_MANY(short)
TYQ_HIST_MANY(unsigned short)
TYQ_HIST_MANY(int)
TYQ_HIST_MANY(unsigned int)
TYQ_HIST_MANY(float)
#undef TYQ_HIST_MANY

}  // namespace Qra::Ostrel::Tyq::Private::HistogramKernels
