// The finest inverse level as the SQNR estimate and decoding run it (in
// cache-sized pieces, handed out a plane at a time), and the estimate's
// error sums, against plain whole-brick versions of the same arithmetic.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "compressed/samples.h"
#include "compressed/subbands.h"
#include "compressed/wavelet.h"

namespace B = Qra::Ostrel::Tyq::Private::Block;

namespace {

std::vector<int32_t> randomValues(uint32_t seed, int32_t lo, int32_t hi) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int32_t> d(lo, hi);
  std::vector<int32_t> v(B::kSamples);
  for (auto& x : v) x = d(rng);
  return v;
}

// Band of the finest level by the parities of (axis 2, axis 1, axis 0).
constexpr int kFinestBand[2][2][2] = {{{0, 2}, {3, 6}}, {{1, 4}, {5, 7}}};

// The finest inverse level the plain way: the eight bands interleaved into
// the whole brick, then each axis lifted over all of it.
std::vector<int32_t> plainFinestInverse(const std::vector<int32_t>& bands) {
  std::vector<int32_t> full(B::kSamples);
  for (int i2 = 0; i2 < 64; ++i2)
    for (int i1 = 0; i1 < 64; ++i1)
      for (int i0 = 0; i0 < 64; ++i0) {
        const int band = kFinestBand[i2 % 2][i1 % 2][i0 % 2];
        const int at = (i2 / 2) * 1024 + (i1 / 2) * 32 + i0 / 2;
        full[i0 + 64 * i1 + 4096 * i2] = bands[32768 * band + at];
      }
  for (const int axis : {2, 1, 0}) B::liftAxis(full.data(), 64, 64, 64, axis, true);
  return full;
}

struct CollectPlanes final : B::PlaneSink {
  std::vector<int32_t> brick = std::vector<int32_t>(B::kSamples, 0);
  std::vector<int> order;
  void take(int i2, int32_t* plane) override {
    std::memcpy(brick.data() + 4096 * i2, plane, 4096 * sizeof(int32_t));
    order.push_back(i2);
  }
};

TEST(BlockEstimate, PiecewiseFinestInverseEqualsTheWholeBrickOne) {
  // Extreme values as well, so that wrapping arithmetic counts.
  for (const auto& [lo, hi] : {std::pair{-300000, 300000}, std::pair{INT32_MIN, INT32_MAX}}) {
    // -2^31 has no sign-magnitude form.
    const std::vector<int32_t> coef = randomValues(11, std::max(lo, INT32_MIN + 1), hi);
    std::vector<int32_t> tmp(B::kSamples);
    // The coarser levels the usual way: they leave the two lowest finest
    // bands in the first 65536 values.
    std::vector<int32_t> bands = coef;
    B::inverseTransform(bands.data(), tmp.data(), B::Resolution::Half);
    const std::vector<int32_t> want = plainFinestInverse(bands);

    std::vector<int32_t> got = coef;
    B::inverseTransform(got.data(), tmp.data(), B::Resolution::Full);
    EXPECT_EQ(got, want);

    // Handed out plane by plane, axis 2 ascending.
    std::vector<int32_t> work = coef;
    const uint32_t keepAll[6] = {~0u, ~0u, ~0u, ~0u, ~0u, ~0u};
    std::vector<int32_t> signMagnitude(coef.begin() + 65536, coef.end());
    for (auto& v : signMagnitude) {
      const uint32_t u = static_cast<uint32_t>(v);
      const uint32_t mag = (u >> 31) ? 0u - u : u;
      v = static_cast<int32_t>(mag | (u & 0x80000000u));
    }
    CollectPlanes sink;
    B::inverseTransformKeptFinest(work.data(), signMagnitude.data(), keepAll, tmp.data(), sink);
    EXPECT_EQ(sink.brick, want);
    ASSERT_EQ(sink.order.size(), 64u);
    for (int k = 0; k < 64; ++k) EXPECT_EQ(sink.order[k], k);
  }
}

// sumError's order: per row four partial sums over every fourth element,
// the rest added to the first, combined as (s0 + s1) + (s2 + s3); rows
// added in storage order, divided by the row length in partial bricks.
double plainError(const std::vector<double>& ref, const std::vector<int32_t>& rec, double gain,
                  const int (&valid)[3], bool full) {
  double error = 0;
  for (int i2 = 0; i2 < valid[2]; ++i2)
    for (int i1 = 0; i1 < valid[1]; ++i1) {
      const int at = 64 * i1 + 4096 * i2;
      double s[4] = {0, 0, 0, 0};
      int i = 0;
      for (; i + 4 <= valid[0]; i += 4)
        for (int j = 0; j < 4; ++j) {
          const volatile double product = rec[at + i + j] * gain;
          s[j] += std::fabs(ref[at + i + j] - product);
        }
      for (; i < valid[0]; ++i) {
        const volatile double product = rec[at + i] * gain;
        s[0] += std::fabs(ref[at + i] - product);
      }
      const double row = (s[0] + s[1]) + (s[2] + s[3]);
      error += full ? row : row / valid[0];
    }
  return error;
}

TEST(BlockEstimate, ErrorSumsKeepTheirOrderToTheLastBit) {
  // The input close to the reconstruction, as it is near the target, so
  // that the rounding of every product shows in the sums.
  const std::vector<int32_t> rec = randomValues(4, -131071, 131071);
  const double gain = 1.0 / 131071.0 * 3.7;
  std::mt19937 rng(3);
  std::normal_distribution<double> noise(0.0, 1e-3);
  std::vector<double> ref(B::kSamples);
  for (int i = 0; i < B::kSamples; ++i) ref[i] = rec[i] * gain * (1.0 + noise(rng));
  B::TraceLayout full;
  EXPECT_EQ(B::sumError(ref.data(), rec.data(), gain, full, true),
            plainError(ref, rec, gain, full.valid, true));
  for (const auto& valid :
       {std::vector<int>{61, 37, 50}, std::vector<int>{3, 64, 9}, std::vector<int>{64, 7, 64}}) {
    B::TraceLayout partial;
    for (int a = 0; a < 3; ++a) partial.valid[a] = valid[a];
    EXPECT_EQ(B::sumError(ref.data(), rec.data(), gain, partial, false),
              plainError(ref, rec, gain, partial.valid, false))
        << valid[0] << " x " << valid[1] << " x " << valid[2];
  }
}

}  // namespace
