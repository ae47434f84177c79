// The SQNR estimate's error sums against a plain version of the same
// arithmetic, to the last bit: the quality walk's decisions depend on it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "compressed/samples.h"
#include "compressed/subbands.h"

namespace B = Qra::Ostrel::Tyq::Private::Block;

namespace {

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

// sumSignal's order: each row summed from its start, rows added in storage
// order (as means in partial bricks).
B::ErrorSums plainSignal(const std::vector<double>& ref, const int (&valid)[3], bool full) {
  B::ErrorSums sums;
  for (int i2 = 0; i2 < valid[2]; ++i2)
    for (int i1 = 0; i1 < valid[1]; ++i1) {
      double row = 0;
      for (int i0 = 0; i0 < valid[0]; ++i0) row += std::fabs(ref[i0 + 64 * i1 + 4096 * i2]);
      sums.signal += full ? row : row / valid[0];
      sums.rows += full ? valid[0] : 1;
    }
  return sums;
}

TEST(BlockEstimate, ErrorSumsKeepTheirOrderToTheLastBit) {
  // The input close to the reconstruction, as it is near the target, so
  // that the rounding of every product shows in the sums.
  std::mt19937 rng(3);
  std::uniform_int_distribution<int32_t> codes(-131071, 131071);
  std::vector<int32_t> rec(B::kSamples);
  for (auto& c : rec) c = codes(rng);
  const double gain = 1.0 / 131071.0 * 3.7;
  std::normal_distribution<double> noise(0.0, 1e-3);
  std::vector<double> ref(B::kSamples);
  for (int i = 0; i < B::kSamples; ++i) ref[i] = rec[i] * gain * (1.0 + noise(rng));
  B::TraceLayout full;
  EXPECT_EQ(B::sumError(ref.data(), rec.data(), gain, full, true),
            plainError(ref, rec, gain, full.valid, true));
  EXPECT_EQ(B::sumSignal(ref.data(), full, true).signal, plainSignal(ref, full.valid, true).signal);
  for (const auto& valid :
       {std::vector<int>{61, 37, 50}, std::vector<int>{3, 64, 9}, std::vector<int>{64, 7, 64}}) {
    B::TraceLayout partial;
    for (int a = 0; a < 3; ++a) partial.valid[a] = valid[a];
    EXPECT_EQ(B::sumError(ref.data(), rec.data(), gain, partial, false),
              plainError(ref, rec, gain, partial.valid, false))
        << valid[0] << " x " << valid[1] << " x " << valid[2];
    const B::ErrorSums got = B::sumSignal(ref.data(), partial, false);
    const B::ErrorSums want = plainSignal(ref, partial.valid, false);
    EXPECT_EQ(got.signal, want.signal);
    EXPECT_EQ(got.rows, want.rows);
  }
}

}  // namespace

namespace {

TEST(BlockEstimate, ComparisonSeesMarkersAsZeroAndEverythingElseExactly) {
  std::vector<float> s(B::kSamples, 1.5f);
  const float special[] = {std::numeric_limits<float>::quiet_NaN(),
                           std::numeric_limits<float>::infinity(),
                           -std::numeric_limits<float>::infinity(),
                           std::numeric_limits<float>::max(),
                           -std::numeric_limits<float>::max(),
                           std::numeric_limits<float>::denorm_min(),
                           -0.0f,
                           -3.25e-20f};
  for (int k = 0; k < 8; ++k) s[1000 + k] = special[k];
  std::vector<double> ref(B::kSamples);
  B::comparableSamples(s.data(), ref.data());
  for (int k = 0; k < 4; ++k) EXPECT_EQ(ref[1000 + k], 0.0) << k;
  EXPECT_EQ(ref[1004], -double{std::numeric_limits<float>::max()});
  EXPECT_EQ(ref[1005], double{std::numeric_limits<float>::denorm_min()});
  EXPECT_TRUE(std::signbit(ref[1006]));
  EXPECT_EQ(ref[1007], double{-3.25e-20f});
  EXPECT_EQ(ref[0], 1.5);
  EXPECT_EQ(ref[B::kSamples - 1], 1.5);
}

}  // namespace
