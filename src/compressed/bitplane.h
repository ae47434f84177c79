#pragma once

// Entry points of the bit-plane coder over the 24 subbands of a brick.
#include <cstdint>

#include "compressed/bit_io.h"
#include "compressed/subbands.h"

namespace Qra::Ostrel::Tyq::Private::Block {

// Per-band plane counts of one coding run.
struct PlanePlan {
  PlaneArray msb{};
  PlaneArray planes{};
  PlaneArray first{};  // planes of the first stage (= planes without two stages)
  bool secondStage = false;
};

// Writes the kept planes of the sign-magnitude coefficients into the 19 raw
// streams. `states` (kStateBytes) is cleared first.
void encodeBands(BitWriter* streams, uint32_t* coef, uint8_t* states, const PlanePlan& plan);
// Rebuilds sign-magnitude coefficients of the first `bandCount` subbands
// from the raw streams; `coef` must be zero on entry.
void decodeBands(BitReader* streams, uint32_t* coef, uint8_t* states, const PlanePlan& plan,
                 int bandCount);

}  // namespace Qra::Ostrel::Tyq::Private::Block
