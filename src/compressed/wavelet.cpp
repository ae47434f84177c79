#include "compressed/wavelet.h"

#include "compressed/vector_clones.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace Qra::Ostrel::Tyq::Private::Block {

namespace {

// The lifting term ((a + b) * mul + add) >> shift in wrapping arithmetic
// (the shift is arithmetic).
template <int Mul, int Add, int Shift>
inline uint32_t term(uint32_t a, uint32_t b) {
  return static_cast<uint32_t>(static_cast<int32_t>((a + b) * uint32_t{Mul} + uint32_t(Add)) >>
                               Shift);
}

// Lifting steps over lines whose elements are `w` contiguous values, element
// k at x + k * stride; the `w` lines are lifted together, which keeps the
// inner loops contiguous. Odd elements are updated from their even
// neighbours or the reverse; the row ends mirror without repeating the end.
template <int Mul, int Add, int Shift, bool Subtract>
void liftOdd(uint32_t* x, int n, ptrdiff_t stride, int w) {
  for (int k = 1; k < n; k += 2) {
    uint32_t* __restrict o = x + k * stride;
    const uint32_t* a = x + (k - 1) * stride;
    const uint32_t* b = (k + 1 < n) ? x + (k + 1) * stride : a;
    for (int j = 0; j < w; ++j) {
      const uint32_t t = term<Mul, Add, Shift>(a[j], b[j]);
      o[j] = Subtract ? o[j] - t : o[j] + t;
    }
  }
}

template <int Mul, int Add, int Shift, bool Subtract>
void liftEven(uint32_t* x, int n, ptrdiff_t stride, int w) {
  for (int k = 0; k < n; k += 2) {
    uint32_t* __restrict e = x + k * stride;
    const uint32_t* b = x + (k + 1) * stride;
    const uint32_t* a = k > 0 ? x + (k - 1) * stride : b;
    for (int j = 0; j < w; ++j) {
      const uint32_t t = term<Mul, Add, Shift>(a[j], b[j]);
      e[j] = Subtract ? e[j] - t : e[j] + t;
    }
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

// Rows along axis 0 are contiguous; a block of 8 rows is transposed so that
// the 8 rows are lifted together as lines of width 8.
TYQ_VECTOR_CLONES void liftRows(uint32_t* region, int n0, int rows, bool inverse) {
  constexpr int kGroup = 8;
  uint32_t t[64 * kGroup];
  int r = 0;
  for (; r + kGroup <= rows; r += kGroup) {
    uint32_t* base = region + static_cast<ptrdiff_t>(r) * n0;
    for (int g = 0; g < kGroup; ++g)
      for (int i = 0; i < n0; ++i) t[i * kGroup + g] = base[g * n0 + i];
    if (inverse)
      inverseLines(t, n0, kGroup, kGroup);
    else
      forwardLines(t, n0, kGroup, kGroup);
    for (int g = 0; g < kGroup; ++g)
      for (int i = 0; i < n0; ++i) base[g * n0 + i] = t[i * kGroup + g];
  }
  for (; r < rows; ++r) {
    uint32_t* row = region + static_cast<ptrdiff_t>(r) * n0;
    if (inverse)
      inverseLines(row, n0, 1, 1);
    else
      forwardLines(row, n0, 1, 1);
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
        if (toBands) {
          for (int i0 = 0; i0 < m0; ++i0) {
            lo[i0] = full[2 * i0];
            hi[i0] = full[2 * i0 + 1];
          }
        } else {
          for (int i0 = 0; i0 < m0; ++i0) {
            full[2 * i0] = lo[i0];
            full[2 * i0 + 1] = hi[i0];
          }
        }
      }
    }
  }
  if (!toBands) std::memcpy(region, tmp, total * sizeof(int32_t));
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
  shuffle(coef, 64, 64, 64, true, tmp, false);
  for (int axis = 2; axis >= 0; --axis) liftAxis(coef, 64, 64, 64, axis, true);
}

}  // namespace Qra::Ostrel::Tyq::Private::Block
