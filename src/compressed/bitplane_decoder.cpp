#include "compressed/bitplane.h"
#include "compressed/bitplane_passes.h"

namespace Qra::Ostrel::Tyq::Private::Block {

namespace {

struct ReadBits {
  static constexpr bool kDecode = true;
  BitReader* r;
  uint32_t bit(int stream, uint32_t) { return r[stream].get(); }
  bool zeroRuns8(int stream, uint32_t) { return r[stream].skipZeros8(); }
};

}  // namespace

void decodeBands(BitReader* streams, uint32_t* coef, uint8_t* states, const PlanePlan& plan,
                 int bandCount) {
  clearStates(states);
  ReadBits bits{streams};
  codeBands(bits, coef, states, plan.msb, plan.planes, plan.first, bandCount, plan.secondStage);
}

}  // namespace Qra::Ostrel::Tyq::Private::Block
