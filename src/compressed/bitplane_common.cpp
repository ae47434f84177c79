#include <cstring>
#include <vector>

#include "compressed/bitplane_passes.h"

namespace Qra::Ostrel::Tyq::Private::Block {

namespace {

std::vector<uint8_t> clearedStates() {
  std::vector<uint8_t> states(kStateBytes, kBorder);
  for (const Subband& b : kBands) {
    uint8_t* inner = states.data() + b.stateOffset + b.n0 + 3;
    for (int i2 = 0; i2 < b.n2; ++i2)
      for (int i1 = 0; i1 < b.n1; ++i1)
        std::memset(inner + i2 * b.statePlane() + i1 * (b.n0 + 2), 0, b.n0);
  }
  return states;
}

}  // namespace

// Copied from one image made once: thousands of short row clears per
// brick cost more than the copy.
void clearStates(uint8_t* states) {
  static const std::vector<uint8_t> cleared = clearedStates();
  std::memcpy(states, cleared.data(), kStateBytes);
}

BorderOrder makeBorderOrder(int n0, int n1) {
  BorderOrder o;
  auto at = [](int i0, int i1) { return static_cast<uint16_t>(i0 + 256 * i1); };
  int n = 0;
  for (int i0 = 0; i0 < n0; ++i0) o.refine[n++] = at(i0, 0);
  for (int i1 = 1; i1 < n1 - 1; ++i1) {
    o.refine[n++] = at(0, i1);
    o.refine[n++] = at(n0 - 1, i1);
  }
  for (int i0 = 0; i0 < n0; ++i0) o.refine[n++] = at(i0, n1 - 1);
  o.count = n;
  n = 0;
  for (int i0 = 0; i0 < n0; ++i0) o.groups[n++] = at(i0, 0);
  o.groups[n++] = at(0, 1);
  o.groups[n++] = at(n0 - 1, 1);
  o.groups[n++] = at(0, 2);
  o.groups[n++] = at(n0 - 1, 2);
  for (int i1 = 3; i1 <= n1 - 2; ++i1) o.groups[n++] = at(0, i1);
  for (int i1 = 3; i1 <= n1 - 2; ++i1) o.groups[n++] = at(n0 - 1, i1);
  for (int i0 = 0; i0 < n0; ++i0) o.groups[n++] = at(i0, n1 - 1);
  return o;
}

}  // namespace Qra::Ostrel::Tyq::Private::Block
