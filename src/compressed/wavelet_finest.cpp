// The finest level of the wavelet, where the brick no longer fits the
// second-level cache: the work is cut into pieces that fit the first-level
// cache. Lines along axis 2 are lifted in slabs of two axis-1 rows of every
// plane (32 KiB each); then each plane is gathered from the slabs and
// lifted along axes 1 and 0 while it is small enough to stay close.
#include "compressed/vector_clones.h"
#include "compressed/wavelet.h"
#include "compressed/wavelet_lift.h"
#include "compressed/wavelet_steps.h"

namespace Qra::Ostrel::Tyq::Private::Block::Lift {

namespace {

constexpr int kEdge = 64;
constexpr int kHalf = 32;
constexpr int kPlane = kEdge * kEdge;
// A slab: rows i1 = 2 j1 and 2 j1 + 1 of all planes, plane after plane.
constexpr int kSlabRows = 2;
constexpr int kSlab = kSlabRows * kEdge * kEdge;

// Slab j1 interleaved from the eight bands: row (k2, 2 j1 + h1) joins the
// even and odd band of the pair with parities (k2 % 2, h1).
template <typename V>
TYQ_LIFT_INLINE void gatherSlabOf(const BandSource (&bands)[8], int j1, int32_t* slab) {
  constexpr int L = kLanes<V>;
  for (const BandPair& bp : kPairs3) {
    const BandSource& lo = bands[bp.even];
    const BandSource& hi = bands[bp.odd];
    for (int i2 = 0; i2 < kHalf; ++i2) {
      int32_t* row = slab + ((2 * i2 + bp.h2) * kSlabRows + bp.h1) * kEdge;
      const size_t at = (static_cast<size_t>(i2) * kHalf + j1) * kHalf;
      for (int i = 0; i < kHalf; i += L) {
        V even, odd, v0, v1;
        readBand(even, lo, at + i);
        readBand(odd, hi, at + i);
        interleave(even, odd, v0, v1, std::make_index_sequence<L>());
        std::memcpy(row + 2 * i, &v0, sizeof v0);
        std::memcpy(row + 2 * i + L, &v1, sizeof v1);
      }
    }
  }
}

TYQ_VECTOR_CLONES void gatherSlabNarrow(const BandSource (&bands)[8], int j1, int32_t* slab) {
  gatherSlabOf<U8>(bands, j1, slab);
}
TYQ_WIDE_VECTORS void gatherSlabWide(const BandSource (&bands)[8], int j1, int32_t* slab) {
  gatherSlabOf<U16>(bands, j1, slab);
}

}  // namespace

void inverseFinestLevel(const BandSource (&bands)[8], int32_t* tmp, PlaneSink& sink) {
  const bool wide = wideVectors();
  for (int j1 = 0; j1 < kHalf; ++j1) {
    int32_t* slab = tmp + static_cast<size_t>(j1) * kSlab;
    if (wide)
      gatherSlabWide(bands, j1, slab);
    else
      gatherSlabNarrow(bands, j1, slab);
    liftAxis(slab, kSlabRows * kEdge, 1, kEdge, 2, true);
  }
  alignas(64) int32_t plane[kPlane];
  for (int k2 = 0; k2 < kEdge; ++k2) {
    for (int j1 = 0; j1 < kHalf; ++j1) {
      const int32_t* rows = tmp + static_cast<size_t>(j1) * kSlab + k2 * kSlabRows * kEdge;
      std::memcpy(plane + j1 * kSlabRows * kEdge, rows, kSlabRows * kEdge * sizeof(int32_t));
    }
    liftAxis(plane, kEdge, kEdge, 1, 1, true);
    liftAxis(plane, kEdge, kEdge, 1, 0, true);
    sink.take(k2, plane);
  }
}

}  // namespace Qra::Ostrel::Tyq::Private::Block::Lift
