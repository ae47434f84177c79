#pragma once

// Vector pieces shared by the wavelet files: row splitting and joining, the
// band order of a split and the reading of bands held in sign-magnitude.
// Everything is inlined into the cloned functions that call it, so that it
// takes their instruction set.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "compressed/vector_clones.h"
#include "compressed/wavelet.h"

namespace Qra::Ostrel::Tyq::Private::Block::Lift {

#define TYQ_LIFT_INLINE inline __attribute__((always_inline))

using U8 = uint32_t __attribute__((vector_size(32)));
using I8 = int32_t __attribute__((vector_size(32)));
using U16 = uint32_t __attribute__((vector_size(64)));
using I16 = int32_t __attribute__((vector_size(64)));

// The signed vector of the same lanes, for arithmetic shifts.
template <typename V>
struct SignedOf;
template <>
struct SignedOf<U8> {
  using type = I8;
};
template <>
struct SignedOf<U16> {
  using type = I16;
};

// Even elements of a row of 2m to `lo`, odd ones to `hi`, or back; eight
// at a time in vectors.
TYQ_LIFT_INLINE void splitRow(const int32_t* __restrict full, int32_t* __restrict lo,
                              int32_t* __restrict hi, int m) {
  int i = 0;
  for (; i + 8 <= m; i += 8) {
    U8 v0, v1;
    std::memcpy(&v0, full + 2 * i, sizeof v0);
    std::memcpy(&v1, full + 2 * i + 8, sizeof v1);
    const U8 even = __builtin_shufflevector(v0, v1, 0, 2, 4, 6, 8, 10, 12, 14);
    const U8 odd = __builtin_shufflevector(v0, v1, 1, 3, 5, 7, 9, 11, 13, 15);
    std::memcpy(lo + i, &even, sizeof even);
    std::memcpy(hi + i, &odd, sizeof odd);
  }
  for (; i < m; ++i) {
    lo[i] = full[2 * i];
    hi[i] = full[2 * i + 1];
  }
}

TYQ_LIFT_INLINE void joinVectors(int32_t* full, const U8& even, const U8& odd) {
  const U8 v0 = __builtin_shufflevector(even, odd, 0, 8, 1, 9, 2, 10, 3, 11);
  const U8 v1 = __builtin_shufflevector(even, odd, 4, 12, 5, 13, 6, 14, 7, 15);
  std::memcpy(full, &v0, sizeof v0);
  std::memcpy(full + 8, &v1, sizeof v1);
}

TYQ_LIFT_INLINE void joinRow(int32_t* __restrict full, const int32_t* __restrict lo,
                             const int32_t* __restrict hi, int m) {
  int i = 0;
  for (; i + 8 <= m; i += 8) {
    U8 even, odd;
    std::memcpy(&even, lo + i, sizeof even);
    std::memcpy(&odd, hi + i, sizeof odd);
    joinVectors(full + 2 * i, even, odd);
  }
  for (; i < m; ++i) {
    full[2 * i] = lo[i];
    full[2 * i + 1] = hi[i];
  }
}

// Band order of a three-axis split, written (axis 2, axis 1, axis 0) with
// L = even and H = odd: LLL, HLL, LLH, LHL, HLH, HHL, LHH, HHH; of a split
// of axes 0 and 1: LL, LH, HL, HH. Listed here as pairs of bands that differ
// only on axis 0 (even band, odd band) with their axis-2 and axis-1 parity,
// so that each row is gathered or scattered in one go.
struct BandPair {
  int even, odd, h2, h1;
};
inline constexpr BandPair kPairs3[4] = {{0, 2, 0, 0}, {3, 6, 0, 1}, {1, 4, 1, 0}, {5, 7, 1, 1}};
inline constexpr BandPair kPairs2[2] = {{0, 1, 0, 0}, {2, 3, 0, 1}};

// Where the inverse reads a band of the finest level: two's complement as
// it stands, or sign-magnitude kept to the magnitude bits of `keep`.
struct BandSource {
  const int32_t* at = nullptr;
  bool signMagnitude = false;
  uint32_t keep = 0;
};

template <typename V>
TYQ_LIFT_INLINE void readBand(V& v, const BandSource& b, size_t i) {
  using S = typename SignedOf<V>::type;
  std::memcpy(&v, b.at + i, sizeof v);
  if (b.signMagnitude) {
    const V neg = reinterpret_cast<V>(reinterpret_cast<S>(v) >> 31);
    v = ((v & b.keep) ^ neg) - neg;
  }
}

// The finest level of the inverse: from its eight bands to the brick, handed
// to `sink` a plane at a time; `tmp` is scratch of 64^3 values.
void inverseFinestLevel(const BandSource (&bands)[8], int32_t* tmp, PlaneSink& sink);

}  // namespace Qra::Ostrel::Tyq::Private::Block::Lift
