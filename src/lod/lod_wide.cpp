#include "lod/lod_wide.h"

#include <atomic>
#include <limits>

#include "core/cpu_features.h"

// Built where the compiler offers per-function targets on x86-64;
// TYQ_NO_VECTOR_CLONES leaves the wide variants out.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(TYQ_NO_VECTOR_CLONES)
#define TYQ_LOD_WIDE 1
#include <immintrin.h>
#define TYQ_AVX512 __attribute__((target("avx2,avx512f,avx512dq,avx512vl,avx512bw")))
#endif

namespace Qra::Ostrel::Tyq::Private::Lod::Wide {
namespace {

bool Offered() {
#if TYQ_LOD_WIDE
  return Cpu::HasAvx512();
#else
  return false;
#endif
}

std::atomic<bool>& Switch() {
  static std::atomic<bool> on{Offered()};
  return on;
}

}  // namespace

bool Enabled() {
  return Switch().load(std::memory_order_relaxed);
}

void Use(bool on) {
  static const bool offered = Offered();
  Switch().store(on && offered, std::memory_order_relaxed);
}

#if TYQ_LOD_WIDE
namespace {

// GCC's own intrinsics start some results from a deliberately undefined
// register, which its flow analysis takes for a fault.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

// A product the compiler cannot fuse with the addition that follows it:
// fused results would differ from the scalar code's in the last bit.
TYQ_AVX512 inline __m512d Mul(__m512d a, __m512d b) {
  return _mm512_mul_round_pd(a, b, _MM_FROUND_CUR_DIRECTION);
}

TYQ_AVX512 inline __mmask8 NonFinite(__m512d x) {
  return _mm512_fpclass_pd_mask(x, 0x99);  // NaN (quiet, signalling), +inf, -inf
}

// Weight of eight values as Weights::of gives it.
TYQ_AVX512 inline __m512d WeightOf(__m512d v, const WeightMap& map) {
  const __m512d half = _mm512_set1_pd(0.5);
  const __m512d total = _mm512_set1_pd(map.total);
  if (map.count == 0) return total;
  __m512d x = _mm512_add_pd(Mul(v, _mm512_set1_pd(map.factor)), _mm512_set1_pd(map.offset));
  const __mmask8 down = _mm512_cmp_pd_mask(x, _mm512_setzero_pd(), _CMP_LE_OQ);
  x = _mm512_mask_blend_pd(down, _mm512_add_pd(x, half), _mm512_sub_pd(x, half));
  const __mmask8 inside = _mm512_cmp_pd_mask(x, _mm512_set1_pd(-1.0), _CMP_GT_OQ) &
                          _mm512_cmp_pd_mask(x, _mm512_set1_pd(map.count), _CMP_LT_OQ);
  const __m256i bin = _mm512_maskz_cvttpd_epi32(inside, x);
  if (map.table) return _mm512_mask_i32gather_pd(total, inside, bin, map.table, 8);
  __m512i counts = _mm512_mask_i32gather_epi64(_mm512_setzero_si512(), inside, bin, map.bins, 8);
  counts = _mm512_max_epi64(counts, _mm512_set1_epi64(1));
  return _mm512_mask_div_pd(total, inside, total, _mm512_cvtepi64_pd(counts));
}

TYQ_AVX512 inline void AddValue(__m512d& numerator, __m512d& denominator, __m256 value,
                                const WeightMap& map) {
  const __m512d v = _mm512_cvtps_pd(value);
  const __mmask8 finite = static_cast<__mmask8>(~NonFinite(v));
  const __m512d w = WeightOf(v, map);
  numerator = _mm512_mask_add_pd(numerator, finite, numerator, Mul(v, w));
  denominator = _mm512_mask_add_pd(denominator, finite, denominator, w);
}

// narrowToFloat of eight values.
TYQ_AVX512 inline __m256 Narrow(__m512d r) {
  const double kMax = std::numeric_limits<float>::max();
  const __mmask8 finite = static_cast<__mmask8>(~NonFinite(r));
  const __mmask8 above = finite & _mm512_cmp_pd_mask(r, _mm512_set1_pd(kMax), _CMP_GT_OQ);
  const __mmask8 below = finite & _mm512_cmp_pd_mask(r, _mm512_set1_pd(-kMax), _CMP_LT_OQ);
  r = _mm512_mask_blend_pd(above, r, _mm512_set1_pd(kMax));
  r = _mm512_mask_blend_pd(below, r, _mm512_set1_pd(-kMax));
  return _mm512_cvtpd_ps(r);
}

// p[0], p[2], ..., p[14]; the second load stops at p[14].
TYQ_AVX512 inline __m512d EvenAt(const double* p, __m512i even) {
  return _mm512_permutex2var_pd(_mm512_loadu_pd(p), even, _mm512_maskz_loadu_pd(0x7F, p + 8));
}

}  // namespace

// Eight outputs per round, one per lane; each lane adds its cube's values
// in the canonical order, skipping non-finite ones, as weightedMean does.
TYQ_AVX512 int WeightedRow(float* out, const float* const rows[4], int n, const WeightMap& map,
                           double lo, double hi) {
  if (!Enabled()) return 0;
  // Even samples of sixteen to the lower half, odd ones to the upper.
  const __m512i split = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15);
  const __m512d low = _mm512_set1_pd(lo);
  const __m512d high = _mm512_set1_pd(hi);
  int z = 0;
  for (; z + 8 <= n; z += 8) {
    __m512d numerator = _mm512_setzero_pd();
    __m512d denominator = _mm512_setzero_pd();
    __m256 first = _mm256_setzero_ps();
    for (int q = 0; q < 4; ++q) {
      const __m512 pairs = _mm512_permutexvar_ps(split, _mm512_loadu_ps(rows[q] + 2 * z));
      const __m256 even = _mm512_castps512_ps256(pairs);
      if (q == 0) first = even;
      AddValue(numerator, denominator, even, map);
      AddValue(numerator, denominator, _mm512_extractf32x8_ps(pairs, 1), map);
    }
    const __mmask8 none = _mm512_cmp_pd_mask(denominator, _mm512_setzero_pd(), _CMP_EQ_OQ);
    __m512d r = _mm512_div_pd(numerator, denominator);
    r = _mm512_mask_blend_pd(_mm512_cmp_pd_mask(r, low, _CMP_LT_OQ), r, low);
    r = _mm512_mask_blend_pd(_mm512_cmp_pd_mask(r, high, _CMP_GT_OQ), r, high);
    // Without a finite value the cube's first sample passes as it is.
    _mm256_storeu_ps(out + z, _mm256_mask_blend_ps(none, Narrow(r), first));
  }
  return z;
}

// Eight outputs per round; the ten samples under output m are gathered by
// even-index permutes.
TYQ_AVX512 int FilterTrace(const double* t, int outputs, const double c[5], double* out) {
  if (!Enabled()) return 0;
  const __m512i even = _mm512_setr_epi64(0, 2, 4, 6, 8, 10, 12, 14);
  const __m512d c0 = _mm512_set1_pd(c[0]), c1 = _mm512_set1_pd(c[1]), c2 = _mm512_set1_pd(c[2]);
  const __m512d c3 = _mm512_set1_pd(c[3]), c4 = _mm512_set1_pd(c[4]);
  int m = 0;
  for (; m + 8 <= outputs; m += 8) {
    const double* p = t + 2 * m;
    const __m512d s0 = _mm512_add_pd(EvenAt(p, even), EvenAt(p + 1, even));
    const __m512d s1 = _mm512_add_pd(EvenAt(p - 1, even), EvenAt(p + 2, even));
    const __m512d s2 = _mm512_add_pd(EvenAt(p - 2, even), EvenAt(p + 3, even));
    const __m512d s3 = _mm512_add_pd(EvenAt(p - 3, even), EvenAt(p + 4, even));
    const __m512d s4 = _mm512_add_pd(EvenAt(p - 4, even), EvenAt(p + 5, even));
    __m512d r = _mm512_add_pd(Mul(c0, s0), Mul(c1, s1));
    r = _mm512_add_pd(r, Mul(c2, s2));
    r = _mm512_add_pd(r, Mul(c3, s3));
    _mm512_storeu_pd(out + m, _mm512_add_pd(r, Mul(c4, s4)));
  }
  return m;
}

TYQ_AVX512 int Widen(const float* in, int n, double* out) {
  if (!Enabled()) return 0;
  int k = 0;
  for (; k + 16 <= n; k += 16) {
    const __m512 v = _mm512_loadu_ps(in + k);
    _mm512_storeu_pd(out + k, _mm512_cvtps_pd(_mm512_castps512_ps256(v)));
    _mm512_storeu_pd(out + k + 8, _mm512_cvtps_pd(_mm512_extractf32x8_ps(v, 1)));
  }
  return k;
}

TYQ_AVX512 int NarrowFinite(const double* r, int n, float* out) {
  if (!Enabled()) return 0;
  int m = 0;
  for (; m + 8 <= n; m += 8) {
    const __m512d v = _mm512_loadu_pd(r + m);
    if (NonFinite(v) != 0) break;
    _mm256_storeu_ps(out + m, Narrow(v));
  }
  return m;
}

#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#else

int WeightedRow(float*, const float* const*, int, const WeightMap&, double, double) {
  return 0;
}

int FilterTrace(const double*, int, const double*, double*) {
  return 0;
}

int Widen(const float*, int, double*) {
  return 0;
}

int NarrowFinite(const double*, int, float*) {
  return 0;
}

#endif

}  // namespace Qra::Ostrel::Tyq::Private::Lod::Wide
