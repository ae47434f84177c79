#pragma once

// Where the 24 subbands of a transformed brick lie, and how many bit planes
// each keeps for a quality level.
#include <array>
#include <cstdint>

namespace Qra::Ostrel::Tyq::Private::Block {

constexpr int kEdge = 64;
constexpr int kSamples = kEdge * kEdge * kEdge;
constexpr int kSubbands = 24;
constexpr int kQualityLevels = 31;

struct Subband {
  int32_t offset;  // first coefficient; the band is n0 x n1 x n2, axis 0 fastest
  int32_t n0, n1, n2;
  int32_t stateOffset;  // first state byte of the band's bordered state array
  constexpr int32_t size() const { return n0 * n1 * n2; }
  constexpr int32_t statePlane() const { return (n0 + 2) * (n1 + 2); }
};

// Each band's state array has a one-byte border on axes 0 and 1, so that
// neighbour lookups never leave it.
constexpr std::array<Subband, kSubbands> makeSubbands() {
  std::array<Subband, kSubbands> t{};
  int32_t st = 0;
  for (int s = 0; s < kSubbands; ++s) {
    Subband b{};
    if (s < 8)
      b = {1024 * s, 8, 8, 16, 0};
    else if (s < 14)
      b = {8192 + 4096 * (s - 8), 16, 16, 16, 0};
    else if (s < 18)
      b = {32768 + 8192 * (s - 14), 16, 16, 32, 0};
    else
      b = {65536 + 32768 * (s - 18), 32, 32, 32, 0};
    b.stateOffset = st;
    st += b.statePlane() * b.n2;
    t[s] = b;
  }
  return t;
}
inline constexpr std::array<Subband, kSubbands> kBands = makeSubbands();
inline constexpr int32_t kStateBytes =
    kBands[kSubbands - 1].stateOffset +
    kBands[kSubbands - 1].statePlane() * kBands[kSubbands - 1].n2;

using PlaneArray = std::array<uint8_t, kSubbands>;

// Bit length of a magnitude (0 for 0).
inline int bitLength(uint32_t v) {
  return v == 0 ? 0 : 32 - __builtin_clz(v);
}

// Plane counts for quality level q (0..31) from the per-subband most
// significant planes.
PlaneArray planesForQuality(const PlaneArray& msb, int q);
// First-stage plane counts of two-stage coding.
PlaneArray firstStagePlanes(const PlaneArray& msb, const PlaneArray& planes);

}  // namespace Qra::Ostrel::Tyq::Private::Block
