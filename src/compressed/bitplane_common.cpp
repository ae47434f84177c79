#include <cstring>

#include "compressed/bitplane_passes.h"

namespace Qra::Ostrel::Tyq::Private::Block {

void clearStates(uint8_t* states) {
  std::memset(states, kBorder, kStateBytes);
  for (const Subband& b : kBands) {
    uint8_t* inner = states + b.stateOffset + b.n0 + 3;
    for (int i2 = 0; i2 < b.n2; ++i2)
      for (int i1 = 0; i1 < b.n1; ++i1)
        std::memset(inner + i2 * b.statePlane() + i1 * (b.n0 + 2), 0, b.n0);
  }
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
