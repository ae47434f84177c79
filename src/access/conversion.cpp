#include "access/conversion.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <tuple>
#include <type_traits>
#include <utility>

#include "core/saturate.h"

#if defined(__SSE2__) || defined(_M_X64)
#define TYQ_CONVERSION_SSE2 1
#include <emmintrin.h>
#endif

namespace Qra::Ostrel::Tyq::Private::Access {
namespace {

using SampleTypes = std::tuple<int8_t, uint8_t, int16_t, uint16_t, int32_t, uint32_t, float>;
constexpr int kTypes = 7;

template <int I>
using SampleType = std::tuple_element_t<I, SampleTypes>;

template <typename T>
constexpr bool kIsCode = std::is_integral_v<T>;

template <typename T>
constexpr double CodeMin() {
  return static_cast<double>(std::numeric_limits<T>::min());
}
template <typename T>
constexpr double CodeSpan() {
  return static_cast<double>(std::numeric_limits<T>::max()) - CodeMin<T>();
}

// A conversion first finds each sample's value: a float sample is its value,
// a code c of the source type stands for (c - offset) * scale + bias, the
// constants worked out once per call in double. An integer destination then
// takes the value to a code exactly as written, in single precision:
//   t = (v - lo) / width;  t < 0: cmin;  t > 1: cmax;  else t * span + cmin
// rounded half away from zero. Dividing by the width (not multiplying by its
// inverse) matters: the two disagree by one code for about one sample in a
// thousand, and other programs reading the same files divide.
struct Linear {
  float offset = 0;
  float scale = 1;
  float bias = 0;
  float lo = 0;     // destination range start
  float width = 1;  // destination range width, hi - lo, in float
  float span = 1;   // cmax - cmin of the destination, in float
  float cmin = 0;
};

static_assert(std::numeric_limits<float>::is_iec559,
              "an empty range divides by zero and relies on infinities");

template <typename S, typename D>
Linear MakeLinear(float dstLo, float dstHi, float srcLo, float srcHi) {
  Linear k;
  if constexpr (kIsCode<S>) {
    k.offset = toFloatOrInfinity(CodeMin<S>());
    k.scale = toFloatOrInfinity((double{srcHi} - srcLo) / CodeSpan<S>());
    k.bias = srcLo;
  }
  if constexpr (kIsCode<D>) {
    k.lo = dstLo;
    k.width = dstHi - dstLo;
    k.span = static_cast<float>(CodeSpan<D>());
    k.cmin = static_cast<float>(CodeMin<D>());
  }
  return k;
}

// The value of one source sample.
template <typename S>
float ValueOf(S s, const Linear& k) {
  if constexpr (kIsCode<S>) {
    return (static_cast<float>(s) - k.offset) * k.scale + k.bias;
  } else {
    return s;
  }
}

// A value to a position in code space. The clamps of the rule (t < 0 gives
// cmin, t > 1 gives cmax) need no test of their own: t * span + cmin rounds
// monotonically, so such a t lands at or beyond that end, where ToCode's
// clamp catches it; infinities do the same, and NaN stays NaN.
inline float CodePosition(float v, const Linear& k) {
  const float t = (v - k.lo) / k.width;
  return t * k.span + k.cmin;
}

// A position in code space to a code: round half away from zero, clamp,
// truncate, and NaN to 0. The order matters for speed, not for the result:
// written this way the compiler keeps it free of branches and vectorises it.
// For the 32-bit codes cmax is not a float; the clamp lets the float reach
// 2^31 or 2^32, which converts safely through int64 and is then pulled back
// to cmax.
template <typename D>
D ToCode(float v) {
  constexpr float lo = static_cast<float>(std::numeric_limits<D>::min());
  constexpr float hi = static_cast<float>(std::numeric_limits<D>::max());
  float r = v + std::copysign(0.5f, v);
  r = r < lo ? lo : r;
  r = r > hi ? hi : r;
  r = v == v ? r : 0.0f;
  if constexpr (sizeof(D) < sizeof(int32_t)) {
    return static_cast<D>(static_cast<int32_t>(r));
  } else {
    const int64_t wide = static_cast<int64_t>(r);
    constexpr int64_t kMax = std::numeric_limits<D>::max();
    return static_cast<D>(wide < kMax ? wide : kMax);
  }
}

#if defined(TYQ_CONVERSION_SSE2)
// Float values to 8- and 16-bit codes, eight at a time. Without fast-math
// the compiler keeps the clamp's selects as compare-and-blend and narrows
// with shuffles; minps/maxps and the saturating packs make this about 2.5
// times faster. The result is bit-identical to the scalar path: the same
// arithmetic, and min/max agree with the selects for every input but NaN,
// which both then mask to 0.
template <typename D>
constexpr bool kSimdCodes = std::is_integral_v<D> && sizeof(D) <= 2;

inline __m128i CodesOf4(__m128 v, const Linear& k, __m128 lo, __m128 hi) {
  const __m128 t = _mm_div_ps(_mm_sub_ps(v, _mm_set1_ps(k.lo)), _mm_set1_ps(k.width));
  const __m128 r = _mm_add_ps(_mm_mul_ps(t, _mm_set1_ps(k.span)), _mm_set1_ps(k.cmin));
  const __m128 half = _mm_or_ps(_mm_and_ps(r, _mm_set1_ps(-0.0f)), _mm_set1_ps(0.5f));
  const __m128 clamped = _mm_min_ps(_mm_max_ps(_mm_add_ps(r, half), lo), hi);
  return _mm_cvttps_epi32(_mm_and_ps(clamped, _mm_cmpord_ps(r, r)));
}

// Narrows two sets of four in-range codes and stores them.
template <typename D>
void Store8(D* dst, __m128i a, __m128i b) {
  if constexpr (std::is_same_v<D, uint16_t>) {
    // No unsigned 32-to-16 pack: shift into the signed range and back.
    const __m128i bias = _mm_set1_epi32(32768);
    const __m128i packed = _mm_packs_epi32(_mm_sub_epi32(a, bias), _mm_sub_epi32(b, bias));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst),
                     _mm_xor_si128(packed, _mm_set1_epi16(static_cast<int16_t>(0x8000))));
  } else if constexpr (sizeof(D) == 2) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_packs_epi32(a, b));
  } else {
    const __m128i words = _mm_packs_epi32(a, b);
    const __m128i bytes =
        std::is_signed_v<D> ? _mm_packs_epi16(words, words) : _mm_packus_epi16(words, words);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), bytes);
  }
}

// Converts the longest multiple of eight samples; returns how many.
template <typename D>
int64_t ConvertToCodesSse2(const float* src, D* dst, int64_t n, const Linear& k) {
  const __m128 lo = _mm_set1_ps(static_cast<float>(std::numeric_limits<D>::min()));
  const __m128 hi = _mm_set1_ps(static_cast<float>(std::numeric_limits<D>::max()));
  int64_t i = 0;
  for (; i + 8 <= n; i += 8) {
    Store8(dst + i, CodesOf4(_mm_loadu_ps(src + i), k, lo, hi),
           CodesOf4(_mm_loadu_ps(src + i + 4), k, lo, hi));
  }
  return i;
}
#else
template <typename D>
constexpr bool kSimdCodes = false;
#endif

template <typename S, typename D>
void ConvertRun(const S* src, D* dst, int64_t n, Linear k) {
  int64_t i = 0;
#if defined(TYQ_CONVERSION_SSE2)
  if constexpr (std::is_same_v<S, float> && kSimdCodes<D>) i = ConvertToCodesSse2(src, dst, n, k);
#endif
  for (; i < n; ++i) {
    const float v = ValueOf(src[i], k);
    if constexpr (kIsCode<D>) {
      dst[i] = ToCode<D>(CodePosition(v, k));
    } else {
      dst[i] = v;
    }
  }
}

// In place, the source and destination samples share bytes, which the
// compiler may not assume for different types. Each chunk is therefore
// converted into a local buffer, out of reach of the source, and copied back
// with memcpy; chunks run last to first when widening so that no chunk
// overwrites source samples not yet read.
template <typename S, typename D>
void ConvertInPlace(void* buffer, int64_t count, Linear k) {
  constexpr int64_t kChunk = 1024;
  alignas(64) D out[kChunk];
  const S* src = static_cast<const S*>(buffer);
  unsigned char* dst = static_cast<unsigned char*>(buffer);
  const int64_t chunks = (count + kChunk - 1) / kChunk;
  for (int64_t c = 0; c < chunks; ++c) {
    const int64_t chunk = sizeof(D) > sizeof(S) ? chunks - 1 - c : c;
    const int64_t first = chunk * kChunk;
    const int64_t n = count - first < kChunk ? count - first : kChunk;
    ConvertRun(src + first, out, n, k);
    std::memcpy(dst + first * static_cast<int64_t>(sizeof(D)), out, n * sizeof(D));
  }
}

// Samples that do not start on a multiple of their size (a brick another
// writer placed at an odd byte, a caller's unaligned array) are moved in
// and out of aligned chunks with memcpy, in place as ConvertInPlace orders
// its chunks. Aligned buffers, the usual case, pay one test per call.
template <typename S, typename D>
void ConvertUnaligned(const unsigned char* src, unsigned char* dst, int64_t count, Linear k,
                      bool lastFirst) {
  constexpr int64_t kChunk = 1024;
  alignas(64) S in[kChunk];
  alignas(64) D out[kChunk];
  const int64_t chunks = (count + kChunk - 1) / kChunk;
  for (int64_t c = 0; c < chunks; ++c) {
    const int64_t first = (lastFirst ? chunks - 1 - c : c) * kChunk;
    const int64_t n = count - first < kChunk ? count - first : kChunk;
    std::memcpy(in, src + first * static_cast<int64_t>(sizeof(S)), n * sizeof(S));
    ConvertRun(in, out, n, k);
    std::memcpy(dst + first * static_cast<int64_t>(sizeof(D)), out, n * sizeof(D));
  }
}

template <typename T>
bool Aligned(const void* p) {
  return reinterpret_cast<uintptr_t>(p) % alignof(T) == 0;
}

template <typename S, typename D>
void* Convert(void* dst, float dstLo, float dstHi, const void* src, float srcLo, float srcHi,
              int64_t count) {
  if (count <= 0) return dst;
  const bool inPlace = src == nullptr || src == dst;
  if constexpr (std::is_same_v<S, float> && std::is_same_v<D, float>) {
    // Values pass unchanged: no arithmetic, which would turn -0 into +0.
    if (!inPlace) std::memcpy(dst, src, count * sizeof(float));
  } else {
    const Linear k = MakeLinear<S, D>(dstLo, dstHi, srcLo, srcHi);
    const void* from = inPlace ? dst : src;
    if (!Aligned<S>(from) || !Aligned<D>(dst)) {
      ConvertUnaligned<S, D>(static_cast<const unsigned char*>(from),
                             static_cast<unsigned char*>(dst), count, k,
                             inPlace && sizeof(D) > sizeof(S));
    } else if (inPlace) {
      ConvertInPlace<S, D>(dst, count, k);
    } else {
      ConvertRun(static_cast<const S*>(src), static_cast<D*>(dst), count, k);
    }
  }
  return dst;
}

template <size_t From, size_t... To>
constexpr std::array<ConvFcn, kTypes> MakeRow(std::index_sequence<To...>) {
  return {&Convert<SampleType<From>, SampleType<To>>...};
}

template <size_t... From>
constexpr std::array<std::array<ConvFcn, kTypes>, kTypes> MakeMatrix(std::index_sequence<From...>) {
  return {MakeRow<From>(std::make_index_sequence<kTypes>{})...};
}

// kMatrix[from][to]: every pair is one instance of Convert.
constexpr auto kMatrix = MakeMatrix(std::make_index_sequence<kTypes>{});

}  // namespace

ConvFcn ConversionFunction(int from, int to) {
  if (from < 0 || from >= kTypes || to < 0 || to >= kTypes) return nullptr;
  return kMatrix[from][to];
}

bool BuildConversionTables(int storedType, float codingLo, float codingHi, float accessLo,
                           float accessHi, ConversionTables& out) {
  if (storedType < 0 || storedType >= kTypes) return false;
  constexpr int kFloat = kTypes - 1;
  const bool sameRange = accessLo == codingLo && accessHi == codingHi;
  for (int t = 0; t < kTypes; ++t) {
    const bool identity = t == storedType && (t == kFloat || sameRange);
    out.read[t] = identity ? nullptr : kMatrix[storedType][t];
    out.write[t] = identity ? nullptr : kMatrix[t][storedType];
  }
  return true;
}

}  // namespace Qra::Ostrel::Tyq::Private::Access
