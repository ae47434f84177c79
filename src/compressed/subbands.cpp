#include "compressed/subbands.h"

#include <algorithm>

namespace Qra::Ostrel::Tyq::Private::Block {

namespace {

constexpr int kTopPlane[16] = {4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 35};
// Planes dropped per subband relative to the strongest one, for even and odd
// levels; the finer bands give up more.
constexpr int kWeightEven[kSubbands] = {0, 1, 1, 1, 1, 1, 1, 2, 1, 1, 2, 2,
                                        2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 3};
constexpr int kWeightOdd[kSubbands] = {0, 0, 0, 1, 0, 1, 1, 1, 1, 1, 1, 1,
                                       1, 2, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2};

}  // namespace

PlaneArray planesForQuality(const PlaneArray& msb, int q) {
  q = std::clamp(q, 0, kQualityLevels);
  const int top = kTopPlane[q / 2];
  const int* w = (q % 2 == 0) ? kWeightEven : kWeightOdd;
  int best = 0;
  for (int s = 1; s < kSubbands; ++s) {
    if (msb[s] > msb[best]) best = s;
  }
  const int offset = msb[best] + w[best] - top;
  PlaneArray planes{};
  for (int s = 0; s < kSubbands; ++s) {
    planes[s] = static_cast<uint8_t>(std::clamp(msb[s] - w[s] - offset, 0, int{msb[s]}));
  }
  return planes;
}

PlaneArray firstStagePlanes(const PlaneArray& msb, const PlaneArray& planes) {
  PlaneArray p1{};
  for (int s = 0; s < kSubbands; ++s) {
    const int cap = std::max(0, msb[s] - kWeightEven[s] - msb[0] + 10);
    p1[s] = static_cast<uint8_t>(std::min(int{planes[s]}, cap));
  }
  return p1;
}

}  // namespace Qra::Ostrel::Tyq::Private::Block
