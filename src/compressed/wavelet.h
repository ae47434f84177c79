#pragma once

// The integer 9/7 lifting wavelet of a brick: three levels on axes 0 and 1,
// two on axis 2, leaving the 24 subbands where subbands.h says. Integer
// arithmetic wraps instead of overflowing, so the inverse undoes the
// forward transform exactly for any input.
#include <cstdint>

namespace Qra::Ostrel::Tyq::Private::Block {

// Resolution at which the inverse transform stops.
enum class Resolution { Quarter = 0, Half = 1, Full = 2 };

// `coef` holds 64^3 values; `tmp` is scratch of the same size.
void forwardTransform(int32_t* coef, int32_t* tmp);
void inverseTransform(int32_t* coef, int32_t* tmp, Resolution stopAt);
// Receives the full inverse a 64 x 64 plane at a time, axis 2 ascending, so
// that what follows the transform runs on a plane still in the first-level
// cache; the plane may be changed in place.
class PlaneSink {
 public:
  virtual void take(int i2, int32_t* plane) = 0;

 protected:
  ~PlaneSink() = default;
};
// The full inverse, handed to `sink`, when the six finest subbands (the last
// 6 x 32^3 values) are read from `finest`, in sign-magnitude, keeping of
// subband k only the magnitude bits in keep[k]; `coef` holds the coarser
// subbands as usual, which the coarser levels overwrite. Saves a conversion
// pass over the finest subbands; `finest` may be their own place in `coef`.
void inverseTransformKeptFinest(int32_t* coef, const int32_t* finest, const uint32_t* keep,
                                int32_t* tmp, PlaneSink& sink);

// One-dimensional steps on a compact n0 x n1 x n2 region (axis 0 fastest),
// exposed for tests.
void liftAxis(int32_t* region, int n0, int n1, int n2, int axis, bool inverse);

}  // namespace Qra::Ostrel::Tyq::Private::Block
