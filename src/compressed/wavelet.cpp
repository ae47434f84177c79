#include "compressed/wavelet.h"

#include "compressed/vector_clones.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace Qra::Ostrel::Tyq::Private::Block {

namespace {

// The steps are inlined into the vector clones below: compiled on their own
// they would only get the baseline instruction set.
#define TYQ_LIFT_INLINE inline __attribute__((always_inline))

using U8 = uint32_t __attribute__((vector_size(32)));
using I8 = int32_t __attribute__((vector_size(32)));

// The lifting term ((a + b) * mul + add) >> shift in wrapping arithmetic
// (the shift is arithmetic).
template <int Mul, int Add, int Shift>
TYQ_LIFT_INLINE uint32_t term(uint32_t a, uint32_t b) {
  return static_cast<uint32_t>(static_cast<int32_t>((a + b) * uint32_t{Mul} + uint32_t(Add)) >>
                               Shift);
}

// o[j] -= or += the term of a[j] and b[j], for j < w; eight lanes at a time
// written as vectors, so that the loop vectorises whatever the optimisation
// level.
template <int Mul, int Add, int Shift, bool Subtract>
TYQ_LIFT_INLINE void liftLine(uint32_t* __restrict o, const uint32_t* a, const uint32_t* b, int w) {
  int j = 0;
  for (; j + 8 <= w; j += 8) {
    U8 va, vb, vo;
    std::memcpy(&va, a + j, sizeof va);
    std::memcpy(&vb, b + j, sizeof vb);
    std::memcpy(&vo, o + j, sizeof vo);
    const I8 sum = reinterpret_cast<I8>((va + vb) * uint32_t{Mul} + uint32_t(Add));
    const U8 t = reinterpret_cast<U8>(sum >> Shift);
    vo = Subtract ? vo - t : vo + t;
    std::memcpy(o + j, &vo, sizeof vo);
  }
  for (; j < w; ++j) {
    const uint32_t t = term<Mul, Add, Shift>(a[j], b[j]);
    o[j] = Subtract ? o[j] - t : o[j] + t;
  }
}

// Lifting steps over lines whose elements are `w` contiguous values, element
// k at x + k * stride; the `w` lines are lifted together, which keeps the
// inner loops contiguous. Odd elements are updated from their even
// neighbours or the reverse; the row ends mirror without repeating the end.
template <int Mul, int Add, int Shift, bool Subtract>
TYQ_LIFT_INLINE void liftOdd(uint32_t* x, int n, ptrdiff_t stride, int w) {
  for (int k = 1; k < n; k += 2) {
    const uint32_t* a = x + (k - 1) * stride;
    const uint32_t* b = (k + 1 < n) ? x + (k + 1) * stride : a;
    liftLine<Mul, Add, Shift, Subtract>(x + k * stride, a, b, w);
  }
}

template <int Mul, int Add, int Shift, bool Subtract>
TYQ_LIFT_INLINE void liftEven(uint32_t* x, int n, ptrdiff_t stride, int w) {
  for (int k = 0; k < n; k += 2) {
    const uint32_t* b = x + (k + 1) * stride;
    const uint32_t* a = k > 0 ? x + (k - 1) * stride : b;
    liftLine<Mul, Add, Shift, Subtract>(x + k * stride, a, b, w);
  }
}

TYQ_VECTOR_CLONES void forwardLines(uint32_t* x, int n, ptrdiff_t stride, int w) {
  liftOdd<203, -64, 7, true>(x, n, stride, w);
  liftEven<217, -2048, 12, true>(x, n, stride, w);
  liftOdd<113, 64, 7, false>(x, n, stride, w);
  liftEven<1817, 2048, 12, false>(x, n, stride, w);
}

TYQ_VECTOR_CLONES void inverseLines(uint32_t* x, int n, ptrdiff_t stride, int w) {
  liftEven<1817, 2048, 12, true>(x, n, stride, w);
  liftOdd<113, 64, 7, true>(x, n, stride, w);
  liftEven<217, -2048, 12, false>(x, n, stride, w);
  liftOdd<203, -64, 7, false>(x, n, stride, w);
}

// A row of 16 V elements held in registers as its even elements e[0, V) and
// its odd ones o[0, V), eight per vector. A step's neighbour vectors are
// the halves shifted by one lane, the mirrored end repeating the last (odd
// step) or first (even step) element.
template <int Mul, int Add, int Shift, bool Subtract>
TYQ_LIFT_INLINE void liftVector(U8& o, const U8& a, const U8& b) {
  const I8 sum = reinterpret_cast<I8>((a + b) * uint32_t{Mul} + uint32_t(Add));
  const U8 t = reinterpret_cast<U8>(sum >> Shift);
  o = Subtract ? o - t : o + t;
}

template <int Mul, int Add, int Shift, bool Subtract, int V>
TYQ_LIFT_INLINE void regOdd(const U8 (&e)[V], U8 (&o)[V]) {
  for (int k = 0; k < V; ++k) {
    const U8 next = k + 1 < V ? __builtin_shufflevector(e[k], e[k + 1], 1, 2, 3, 4, 5, 6, 7, 8)
                              : __builtin_shufflevector(e[k], e[k], 1, 2, 3, 4, 5, 6, 7, 7);
    liftVector<Mul, Add, Shift, Subtract>(o[k], e[k], next);
  }
}

template <int Mul, int Add, int Shift, bool Subtract, int V>
TYQ_LIFT_INLINE void regEven(U8 (&e)[V], const U8 (&o)[V]) {
  for (int k = 0; k < V; ++k) {
    const U8 prev = k > 0 ? __builtin_shufflevector(o[k - 1], o[k], 7, 8, 9, 10, 11, 12, 13, 14)
                          : __builtin_shufflevector(o[k], o[k], 0, 0, 1, 2, 3, 4, 5, 6);
    liftVector<Mul, Add, Shift, Subtract>(e[k], prev, o[k]);
  }
}

template <int V>
TYQ_LIFT_INLINE void liftRowInRegisters(const uint32_t* row, uint32_t* out, bool inverse) {
  U8 e[V], o[V];
  for (int k = 0; k < V; ++k) {
    U8 v0, v1;
    std::memcpy(&v0, row + 16 * k, sizeof v0);
    std::memcpy(&v1, row + 16 * k + 8, sizeof v1);
    e[k] = __builtin_shufflevector(v0, v1, 0, 2, 4, 6, 8, 10, 12, 14);
    o[k] = __builtin_shufflevector(v0, v1, 1, 3, 5, 7, 9, 11, 13, 15);
  }
  if (inverse) {
    regEven<1817, 2048, 12, true>(e, o);
    regOdd<113, 64, 7, true>(e, o);
    regEven<217, -2048, 12, false>(e, o);
    regOdd<203, -64, 7, false>(e, o);
  } else {
    regOdd<203, -64, 7, true>(e, o);
    regEven<217, -2048, 12, true>(e, o);
    regOdd<113, 64, 7, false>(e, o);
    regEven<1817, 2048, 12, false>(e, o);
  }
  for (int k = 0; k < V; ++k) {
    const U8 v0 = __builtin_shufflevector(e[k], o[k], 0, 8, 1, 9, 2, 10, 3, 11);
    const U8 v1 = __builtin_shufflevector(e[k], o[k], 4, 12, 5, 13, 6, 14, 7, 15);
    std::memcpy(out + 16 * k, &v0, sizeof v0);
    std::memcpy(out + 16 * k + 8, &v1, sizeof v1);
  }
}

// Rows along axis 0 are contiguous; rows of 16, 32, 48 or 64 are lifted
// whole in registers.
template <int V>
TYQ_LIFT_INLINE void liftRowsInRegisters(const uint32_t* region, uint32_t* out, int rows,
                                         bool inverse) {
  for (int r = 0; r < rows; ++r) {
    const ptrdiff_t at = static_cast<ptrdiff_t>(r) * 16 * V;
    liftRowInRegisters<V>(region + at, out + at, inverse);
  }
}

// Lifts the rows of `region` into `out` (which may be `region`).
TYQ_VECTOR_CLONES bool liftSplitRows(const uint32_t* region, uint32_t* out, int n0, int rows,
                                     bool inverse) {
  if (n0 == 16)
    liftRowsInRegisters<1>(region, out, rows, inverse);
  else if (n0 == 32)
    liftRowsInRegisters<2>(region, out, rows, inverse);
  else if (n0 == 48)
    liftRowsInRegisters<3>(region, out, rows, inverse);
  else if (n0 == 64)
    liftRowsInRegisters<4>(region, out, rows, inverse);
  else
    return false;
  return true;
}

// Other row lengths: one row at a time, in place.
void liftRows(uint32_t* region, int n0, int rows, bool inverse) {
  if (liftSplitRows(region, region, n0, rows, inverse)) return;
  for (int r = 0; r < rows; ++r) {
    uint32_t* row = region + static_cast<ptrdiff_t>(r) * n0;
    if (inverse)
      inverseLines(row, n0, 1, 1);
    else
      forwardLines(row, n0, 1, 1);
  }
}

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

TYQ_LIFT_INLINE void joinRow(int32_t* __restrict full, const int32_t* __restrict lo,
                             const int32_t* __restrict hi, int m) {
  int i = 0;
  for (; i + 8 <= m; i += 8) {
    U8 even, odd;
    std::memcpy(&even, lo + i, sizeof even);
    std::memcpy(&odd, hi + i, sizeof odd);
    const U8 v0 = __builtin_shufflevector(even, odd, 0, 8, 1, 9, 2, 10, 3, 11);
    const U8 v1 = __builtin_shufflevector(even, odd, 4, 12, 5, 13, 6, 14, 7, 15);
    std::memcpy(full + 2 * i, &v0, sizeof v0);
    std::memcpy(full + 2 * i + 8, &v1, sizeof v1);
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
constexpr BandPair kPairs3[4] = {{0, 2, 0, 0}, {3, 6, 0, 1}, {1, 4, 1, 0}, {5, 7, 1, 1}};
constexpr BandPair kPairs2[2] = {{0, 1, 0, 0}, {2, 3, 0, 1}};

// Gathers the even/odd combinations of a region into contiguous bands
// (`toBands`) or scatters them back; `tmp` holds the interleaved form.
TYQ_VECTOR_CLONES void shuffle(int32_t* region, int n0, int n1, int n2, bool splitAxis2,
                               int32_t* tmp, bool toBands) {
  const size_t total = static_cast<size_t>(n0) * n1 * n2;
  const int m0 = n0 / 2, m1 = n1 / 2, m2 = splitAxis2 ? n2 / 2 : n2;
  const size_t bandSize = static_cast<size_t>(m0) * m1 * m2;
  if (toBands) std::memcpy(tmp, region, total * sizeof(int32_t));
  const int pairs = splitAxis2 ? 4 : 2;
  for (int p = 0; p < pairs; ++p) {
    const BandPair& bp = splitAxis2 ? kPairs3[p] : kPairs2[p];
    for (int i2 = 0; i2 < m2; ++i2) {
      const int k2 = splitAxis2 ? 2 * i2 + bp.h2 : i2;
      for (int i1 = 0; i1 < m1; ++i1) {
        int32_t* __restrict full = tmp + (static_cast<size_t>(k2) * n1 + 2 * i1 + bp.h1) * n0;
        const size_t at = (static_cast<size_t>(i2) * m1 + i1) * m0;
        int32_t* __restrict lo = region + bp.even * bandSize + at;
        int32_t* __restrict hi = region + bp.odd * bandSize + at;
        if (toBands)
          splitRow(full, lo, hi, m0);
        else
          joinRow(full, lo, hi, m0);
      }
    }
  }
  if (!toBands) std::memcpy(region, tmp, total * sizeof(int32_t));
}

// Where the inverse reads a band of the finest level: two's complement as
// it stands, or sign-magnitude kept to the magnitude bits of `keep`.
struct BandSource {
  const int32_t* at = nullptr;
  bool signMagnitude = false;
  uint32_t keep = 0;
};

TYQ_LIFT_INLINE void readBand(U8& v, const BandSource& b, size_t i) {
  std::memcpy(&v, b.at + i, sizeof v);
  if (b.signMagnitude) {
    const U8 neg = reinterpret_cast<U8>(reinterpret_cast<I8>(v) >> 31);
    v = ((v & b.keep) ^ neg) - neg;
  }
}

// The eight bands of the finest level interleaved into the 64^3 brick
// `full` (what shuffle does, reading each band from its own source).
TYQ_VECTOR_CLONES void scatterFinest(const BandSource (&bands)[8], int32_t* full) {
  constexpr int m = 32;
  for (const BandPair& bp : kPairs3) {
    const BandSource& lo = bands[bp.even];
    const BandSource& hi = bands[bp.odd];
    for (int i2 = 0; i2 < m; ++i2) {
      for (int i1 = 0; i1 < m; ++i1) {
        int32_t* row = full + (static_cast<size_t>(2 * i2 + bp.h2) * 64 + 2 * i1 + bp.h1) * 64;
        const size_t at = (static_cast<size_t>(i2) * m + i1) * m;
        for (int i = 0; i < m; i += 8) {
          U8 even, odd;
          readBand(even, lo, at + i);
          readBand(odd, hi, at + i);
          const U8 v0 = __builtin_shufflevector(even, odd, 0, 8, 1, 9, 2, 10, 3, 11);
          const U8 v1 = __builtin_shufflevector(even, odd, 4, 12, 5, 13, 6, 14, 7, 15);
          std::memcpy(row + 2 * i, &v0, sizeof v0);
          std::memcpy(row + 2 * i + 8, &v1, sizeof v1);
        }
      }
    }
  }
}

// The inverse of the coarser levels in `coef`, then of the finest from
// `fine` into `coef`, through `tmp`.
void inverseLevels(int32_t* coef, int32_t* tmp, Resolution stopAt, const BandSource (&fine)[6]) {
  shuffle(coef, 16, 16, 16, false, tmp, false);
  shuffle(coef + 4096, 16, 16, 16, false, tmp, false);
  liftAxis(coef, 16, 16, 32, 1, true);
  liftAxis(coef, 16, 16, 32, 0, true);
  if (stopAt == Resolution::Quarter) return;
  shuffle(coef, 32, 32, 32, true, tmp, false);
  shuffle(coef + 32768, 32, 32, 32, false, tmp, false);
  liftAxis(coef, 32, 32, 32, 2, true);
  liftAxis(coef, 32, 32, 64, 1, true);
  liftAxis(coef, 32, 32, 64, 0, true);
  if (stopAt == Resolution::Half) return;
  BandSource bands[8];
  bands[0].at = coef;
  bands[1].at = coef + 32768;
  for (int b = 2; b < 8; ++b) bands[b] = fine[b - 2];
  scatterFinest(bands, tmp);
  // The last step lifts the rows out of `tmp` into place.
  liftAxis(tmp, 64, 64, 64, 2, true);
  liftAxis(tmp, 64, 64, 64, 1, true);
  liftSplitRows(reinterpret_cast<uint32_t*>(tmp), reinterpret_cast<uint32_t*>(coef), 64, 64 * 64,
                true);
}

}  // namespace

void liftAxis(int32_t* region, int n0, int n1, int n2, int axis, bool inverse) {
  uint32_t* x = reinterpret_cast<uint32_t*>(region);
  const ptrdiff_t plane = static_cast<ptrdiff_t>(n0) * n1;
  if (axis == 0) {
    liftRows(x, n0, n1 * n2, inverse);
  } else if (axis == 1) {
    for (int i2 = 0; i2 < n2; ++i2) {
      if (inverse)
        inverseLines(x + i2 * plane, n1, n0, n0);
      else
        forwardLines(x + i2 * plane, n1, n0, n0);
    }
  } else {
    // Lines along axis 2 are lifted a slice of columns at a time, so that
    // the four passes find the slice in the first-level cache.
    constexpr ptrdiff_t kSlice = 128;
    for (ptrdiff_t j = 0; j < plane; j += kSlice) {
      const int w = static_cast<int>(std::min(kSlice, plane - j));
      if (inverse)
        inverseLines(x + j, n2, plane, w);
      else
        forwardLines(x + j, n2, plane, w);
    }
  }
}

void forwardTransform(int32_t* coef, int32_t* tmp) {
  for (int axis = 0; axis < 3; ++axis) liftAxis(coef, 64, 64, 64, axis, false);
  shuffle(coef, 64, 64, 64, true, tmp, true);
  // Level 2 on the 32 x 32 x 64 region of the two bands low on axes 0 and 1;
  // only its lower half is split again along axis 2.
  liftAxis(coef, 32, 32, 64, 0, false);
  liftAxis(coef, 32, 32, 64, 1, false);
  liftAxis(coef, 32, 32, 32, 2, false);
  shuffle(coef, 32, 32, 32, true, tmp, true);
  shuffle(coef + 32768, 32, 32, 32, false, tmp, true);
  // Level 3 on axes 0 and 1 only.
  liftAxis(coef, 16, 16, 32, 0, false);
  liftAxis(coef, 16, 16, 32, 1, false);
  shuffle(coef, 16, 16, 16, false, tmp, true);
  shuffle(coef + 4096, 16, 16, 16, false, tmp, true);
}

void inverseTransform(int32_t* coef, int32_t* tmp, Resolution stopAt) {
  BandSource fine[6];
  for (int b = 0; b < 6; ++b) fine[b].at = coef + 65536 + 32768 * b;
  inverseLevels(coef, tmp, stopAt, fine);
}

void inverseTransformKeptFinest(int32_t* coef, const int32_t* finest, const uint32_t* keep,
                                int32_t* tmp) {
  BandSource fine[6];
  for (int b = 0; b < 6; ++b) {
    fine[b].at = finest + 32768 * b;
    fine[b].signMagnitude = true;
    fine[b].keep = keep[b] & 0x7FFFFFFFu;
  }
  inverseLevels(coef, tmp, Resolution::Full, fine);
}

}  // namespace Qra::Ostrel::Tyq::Private::Block
