#pragma once

// Deterministic 64^3 bricks that look like seismic data: a few dipping,
// gently curved reflectors convolved with a band-limited wavelet along
// axis 2, plus weak noise. Used by the block codec tests, its benchmark and
// the seeds of its fuzz target; no data files needed.
#include <cmath>
#include <cstdint>
#include <vector>

namespace tyq_test {

inline float hashNoise(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352dU;
  x ^= x >> 15;
  x *= 0x846ca68bU;
  x ^= x >> 16;
  return static_cast<float>(x & 0xFFFF) / 32768.0f - 1.0f;
}

// Samples indexed i0 + 64 * i1 + 4096 * i2; peak amplitude about `scale`.
inline std::vector<float> seismicBrick(uint32_t seed, float scale = 1000.0f) {
  constexpr int kLayers = 7;
  constexpr double kPi = 3.14159265358979323846;
  std::vector<float> v(64 * 64 * 64);
  double depth[kLayers], dip0[kLayers], dip1[kLayers], amp[kLayers];
  for (int l = 0; l < kLayers; ++l) {
    depth[l] = 4 + 9 * l + 4 * hashNoise(seed * 97 + l);
    dip0[l] = 0.15 * hashNoise(seed * 31 + l + 100);
    dip1[l] = 0.15 * hashNoise(seed * 17 + l + 200);
    amp[l] = hashNoise(seed * 13 + l + 300);
  }
  const double f = 0.09;  // cycles per sample
  for (int i1 = 0; i1 < 64; ++i1) {
    for (int i0 = 0; i0 < 64; ++i0) {
      for (int i2 = 0; i2 < 64; ++i2) {
        double s = 0;
        for (int l = 0; l < kLayers; ++l) {
          const double z = depth[l] + dip0[l] * i0 + dip1[l] * i1 + 1.5 * std::sin(0.08 * i0 + l);
          const double a = kPi * f * (i2 - z);
          s += amp[l] * (1 - 2 * a * a) * std::exp(-a * a);
        }
        s += 0.02 * hashNoise(seed + static_cast<uint32_t>(i0 + 64 * i1 + 4096 * i2) * 2654435761u);
        v[i0 + 64 * i1 + 4096 * i2] = static_cast<float>(s * scale);
      }
    }
  }
  return v;
}

}  // namespace tyq_test
