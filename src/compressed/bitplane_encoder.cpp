#include <algorithm>

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
  // A stream taken out into a local for a pass, and put back after it.
  BitWriter take(int stream) const { return w[stream]; }
  void give(int stream, const BitWriter& local) const { w[stream] = local; }
  static uint32_t ioBits(BitWriter& local, uint32_t value, int n) {
    local.putBits(value, n);
    return value;
  }
  static uint32_t ioBit(BitWriter& local, uint32_t value) {
    local.put(value);
    return value;
  }
  // `value` (0 unless `take`) when `take` is 1; nothing when it is 0.
  static uint32_t ioBitIf(BitWriter& local, uint32_t value, uint32_t take) {
    local.putIf(value, take);
    return value;
  }
  // Zeros for the next columns up to the first set bit of `hits` (at most n).
  static int zeroRun(BitWriter& local, int n, uint32_t hits) {
    const int z = hits == 0 ? n : std::min(n, __builtin_ctz(hits));
    if (z > 0) local.putBits(0, z);
    return z;
  }
};

}  // namespace

void encodeBands(BitWriter* streams, uint32_t* coef, uint8_t* states, const PlanePlan& plan) {
  clearStates(states);
  WriteBits bits{streams};
  codeBands(bits, coef, states, plan.msb, plan.planes, plan.first, kSubbands, plan.secondStage);
}

}  // namespace Qra::Ostrel::Tyq::Private::Block
