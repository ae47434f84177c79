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

// The inverse of the coarser levels in `coef`, then of the finest from
// `fine` (and the two lowest bands, now in `coef`) into `sink`.
void inverseLevels(int32_t* coef, int32_t* tmp, Resolution stopAt, const BandSource (&fine)[6],
                   PlaneSink* sink) {
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

void inverseTransformKeptFinest(int32_t* coef, const int32_t* finest, const uint32_t* keep,
                                int32_t* tmp) {
  StoreSink sink(coef);
  inverseTransformKeptFinest(coef, finest, keep, tmp, sink);
}

}  // namespace Qra::Ostrel::Tyq::Private::Block
