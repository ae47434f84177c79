#include "compressed/bitplane.h"
#include "compressed/bitplane_passes.h"

namespace Qra::Ostrel::Tyq::Private::Block {

namespace {

struct ReadBits {
  static constexpr bool kDecode = true;
  BitReader* r;
  uint32_t bit(int stream, uint32_t) { return r[stream].get(); }
  // Takes the zero bits at hand (at most n); the caller reads on bit by bit.
  static int zeroRun(BitReader& local, int n, uint32_t) { return local.skipZeros(n); }
  // A stream taken out into a local for a pass, and put back after it.
  BitReader take(int stream) const { return r[stream]; }
  void give(int stream, const BitReader& local) const { r[stream] = local; }
  static uint32_t ioBits(BitReader& local, uint32_t, int n) { return local.getBits(n); }
  static uint32_t ioBit(BitReader& local, uint32_t) { return local.get(); }
  // The next bit when `take` is 1; 0, with nothing consumed, when it is 0.
  static uint32_t ioBitIf(BitReader& local, uint32_t, uint32_t take) { return local.getIf(take); }
};

}  // namespace

void decodeBands(BitReader* streams, uint32_t* coef, uint8_t* states, const PlanePlan& plan,
                 int bandCount) {
  clearStates(states);
  ReadBits bits{streams};
  codeBands(bits, coef, states, plan.msb, plan.planes, plan.first, bandCount, plan.secondStage);
}

}  // namespace Qra::Ostrel::Tyq::Private::Block
