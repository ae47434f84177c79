#include "compressed/bitplane.h"
#include "compressed/bitplane_passes.h"

namespace Qra::Ostrel::Tyq::Private::Block {

namespace {

struct WriteBits {
  static constexpr bool kDecode = false;
  BitWriter* w;
  uint32_t bit(int stream, uint32_t value) {
    w[stream].put(value);
    return value;
  }
  bool zeroRuns8(int stream, uint32_t anyBit) {
    if (anyBit) return false;
    w[stream].putZeros8();
    return true;
  }
};

}  // namespace

void encodeBands(BitWriter* streams, uint32_t* coef, uint8_t* states, const PlanePlan& plan) {
  clearStates(states);
  WriteBits bits{streams};
  codeBands(bits, coef, states, plan.msb, plan.planes, plan.first, kSubbands, plan.secondStage);
}

}  // namespace Qra::Ostrel::Tyq::Private::Block
