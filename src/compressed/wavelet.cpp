#include "compressed/wavelet.h"

#include "compressed/vector_clones.h"
#include "compressed/wavelet_lift.h"
#include "compressed/wavelet_steps.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace Qra::Ostrel::Tyq::Private::Block {

namespace {

using namespace Lift;

TYQ_VECTOR_CLONES void liftLinesNarrow(uint32_t* x, int n, ptrdiff_t stride, int w, bool inverse) {
  liftLines<U8>(x, n, stride, w, inverse);
}
TYQ_WIDE_VECTORS void liftLinesWide(uint32_t* x, int n, ptrdiff_t stride, int w, bool inverse) {
  liftLines<U16>(x, n, stride, w, inverse);
}

void liftLinesAnyWidth(uint32_t* x, int n, ptrdiff_t stride, int w, bool inverse) {
  if (wideVectors())
    liftLinesWide(x, n, stride, w, inverse);
  else
    liftLinesNarrow(x, n, stride, w, inverse);
}

TYQ_VECTOR_CLONES bool liftRowsNarrow(const uint32_t* region, uint32_t* out, int n0, int rows,
                                      bool inverse) {
  return liftRowsOf<U8>(region, out, n0, rows, inverse);
}
TYQ_WIDE_VECTORS bool liftRowsWide(const uint32_t* region, uint32_t* out, int n0, int rows,
                                   bool inverse) {
  return liftRowsOf<U16>(region, out, n0, rows, inverse) ||
         liftRowsOf<U8>(region, out, n0, rows, inverse);
}

// Lifts the rows of `region` into `out` (which may be `region`) when their
// length allows it.
bool liftSplitRows(const uint32_t* region, uint32_t* out, int n0, int rows, bool inverse) {
  if (wideVectors()) return liftRowsWide(region, out, n0, rows, inverse);
  return liftRowsNarrow(region, out, n0, rows, inverse);
}

// Other row lengths: one row at a time, in place.
void liftRows(uint32_t* region, int n0, int rows, bool inverse) {
  if (liftSplitRows(region, region, n0, rows, inverse)) return;
  for (int r = 0; r < rows; ++r)
    liftLinesAnyWidth(region + static_cast<ptrdiff_t>(r) * n0, n0, 1, 1, inverse);
}

// Lifts the rows of `in` into `out`.
void liftRowsInto(const int32_t* in, int32_t* out, int n0, int rows, bool inverse) {
  const auto* u = reinterpret_cast<const uint32_t*>(in);
  if (liftSplitRows(u, reinterpret_cast<uint32_t*>(out), n0, rows, inverse)) return;
  std::memcpy(out, in, static_cast<size_t>(n0) * rows * sizeof(int32_t));
  liftRows(reinterpret_cast<uint32_t*>(out), n0, rows, inverse);
}

// Gathers the even/odd combinations of the interleaved region `full` into
// the contiguous bands of `region` (`toBands`), or scatters them back.
TYQ_VECTOR_CLONES void moveBands(int32_t* region, int32_t* full, int n0, int n1, int n2,
                                 bool splitAxis2, bool toBands) {
  const int m0 = n0 / 2, m1 = n1 / 2, m2 = splitAxis2 ? n2 / 2 : n2;
  const size_t bandSize = static_cast<size_t>(m0) * m1 * m2;
  const int pairs = splitAxis2 ? 4 : 2;
  for (int p = 0; p < pairs; ++p) {
    const BandPair& bp = splitAxis2 ? kPairs3[p] : kPairs2[p];
    for (int i2 = 0; i2 < m2; ++i2) {
      const int k2 = splitAxis2 ? 2 * i2 + bp.h2 : i2;
      for (int i1 = 0; i1 < m1; ++i1) {
        int32_t* __restrict row = full + (static_cast<size_t>(k2) * n1 + 2 * i1 + bp.h1) * n0;
        const size_t at = (static_cast<size_t>(i2) * m1 + i1) * m0;
        int32_t* __restrict lo = region + bp.even * bandSize + at;
        int32_t* __restrict hi = region + bp.odd * bandSize + at;
        if (toBands)
          splitRow(row, lo, hi, m0);
        else
          joinRow(row, lo, hi, m0);
      }
    }
  }
}

// A level of the transform works on an n0 x n1 x n2 region made of a lower
// part of `lower` planes, split along axis 2 as well when `split2`, and the
// planes above it as a part of their own, split on axes 0 and 1 only.
struct Level {
  int n0, n1, n2, lower;
  bool split2;
};

// Moves the bands of both parts between `coef` and the interleaved `tmp`.
void moveLevelBands(int32_t* coef, int32_t* tmp, const Level& l, bool toBands) {
  moveBands(coef, tmp, l.n0, l.n1, l.lower, l.split2, toBands);
  if (l.lower == l.n2) return;
  const size_t at = static_cast<size_t>(l.n0) * l.n1 * l.lower;
  moveBands(coef + at, tmp + at, l.n0, l.n1, l.n2 - l.lower, false, toBands);
}

// The forward level, lifted in `tmp` and split into bands back in `coef`.
void forwardLevel(int32_t* coef, int32_t* tmp, const Level& l) {
  liftRowsInto(coef, tmp, l.n0, l.n1 * l.n2, false);
  liftAxis(tmp, l.n0, l.n1, l.n2, 1, false);
  if (l.split2) liftAxis(tmp, l.n0, l.n1, l.lower, 2, false);
  moveLevelBands(coef, tmp, l, true);
}

// Its inverse, through `tmp`.
void inverseLevel(int32_t* coef, int32_t* tmp, const Level& l) {
  moveLevelBands(coef, tmp, l, false);
  if (l.split2) liftAxis(tmp, l.n0, l.n1, l.lower, 2, true);
  liftAxis(tmp, l.n0, l.n1, l.n2, 1, true);
  liftRowsInto(tmp, coef, l.n0, l.n1 * l.n2, true);
}

// Level 1 splits the brick on all axes. Level 2 works on the 32 x 32 x 64
// region of the two bands low on axes 0 and 1, splitting only its lower
// half along axis 2 again; level 3 on axes 0 and 1 only.
constexpr Level kLevel1 = {64, 64, 64, 64, true};
constexpr Level kLevel2 = {32, 32, 64, 32, true};
constexpr Level kLevel3 = {16, 16, 32, 16, false};

// The inverse of the coarser levels in `coef`, then of the finest from
// `fine` (and the two lowest bands, now in `coef`) into `sink`.
void inverseLevels(int32_t* coef, int32_t* tmp, Resolution stopAt, const BandSource (&fine)[6],
                   PlaneSink* sink) {
  inverseLevel(coef, tmp, kLevel3);
  if (stopAt == Resolution::Quarter) return;
  inverseLevel(coef, tmp, kLevel2);
  if (stopAt == Resolution::Half) return;
  BandSource bands[8];
  bands[0].at = coef;
  bands[1].at = coef + 32768;
  for (int b = 2; b < 8; ++b) bands[b] = fine[b - 2];
  inverseFinestLevel(bands, tmp, *sink);
}

// Takes the planes of the full inverse into the brick.
struct StoreSink final : PlaneSink {
  int32_t* coef;
  explicit StoreSink(int32_t* c) : coef(c) {}
  void take(int i2, int32_t* plane) override {
    std::memcpy(coef + static_cast<size_t>(i2) * 4096, plane, 4096 * sizeof(int32_t));
  }
};

}  // namespace

void liftAxis(int32_t* region, int n0, int n1, int n2, int axis, bool inverse) {
  uint32_t* x = reinterpret_cast<uint32_t*>(region);
  const ptrdiff_t plane = static_cast<ptrdiff_t>(n0) * n1;
  if (axis == 0) {
    liftRows(x, n0, n1 * n2, inverse);
  } else if (axis == 1) {
    for (int i2 = 0; i2 < n2; ++i2) liftLinesAnyWidth(x + i2 * plane, n1, n0, n0, inverse);
  } else {
    // Lines along axis 2 are lifted a slice of columns at a time, so that
    // the four passes find the slice in the first-level cache.
    constexpr ptrdiff_t kSlice = 128;
    for (ptrdiff_t j = 0; j < plane; j += kSlice) {
      const int w = static_cast<int>(std::min(kSlice, plane - j));
      liftLinesAnyWidth(x + j, n2, plane, w, inverse);
    }
  }
}

void forwardTransform(int32_t* coef, int32_t* tmp) {
  forwardLevel(coef, tmp, kLevel1);
  forwardLevel(coef, tmp, kLevel2);
  forwardLevel(coef, tmp, kLevel3);
}

void inverseTransform(int32_t* coef, int32_t* tmp, Resolution stopAt) {
  BandSource fine[6];
  for (int b = 0; b < 6; ++b) fine[b].at = coef + 65536 + 32768 * b;
  StoreSink sink(coef);
  inverseLevels(coef, tmp, stopAt, fine, &sink);
}

void inverseTransformKeptFinest(int32_t* coef, const int32_t* finest, const uint32_t* keep,
                                int32_t* tmp, PlaneSink& sink) {
  BandSource fine[6];
  for (int b = 0; b < 6; ++b) {
    fine[b].at = finest + 32768 * b;
    fine[b].signMagnitude = true;
    fine[b].keep = keep[b] & 0x7FFFFFFFu;
  }
  inverseLevels(coef, tmp, Resolution::Full, fine, &sink);
}

}  // namespace Qra::Ostrel::Tyq::Private::Block
