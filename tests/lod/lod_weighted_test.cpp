// Inverse-frequency weighting against the file's histogram.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "lod/lod_test_util.h"

namespace Qra::Ostrel::Tyq::Private::LodTest {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// 11 bins with centres 0..10: value 0 is nine times as common as value 10.
Hist commonZeroRareTen() {
  Hist hist;
  hist.bins.assign(11, 0);
  hist.bins[0] = 90;
  hist.bins[10] = 10;
  hist.min = 0;
  hist.max = 10;
  return hist;
}

TEST(LodWeighted, RareValuesWeighMore) {
  // Total 100: w(0) = 100 / 90, w(10) = 100 / 10; 100 / (700 / 90 + 10).
  const Hist hist = commonZeroRareTen();
  EXPECT_FLOAT_EQ(decimateOne<float>(Alg::WeightedAverage, {0, 0, 0, 0, 0, 0, 0, 10}, hist),
                  5.625f);
  // Empty bins and values outside the histogram count as seen once.
  EXPECT_FLOAT_EQ(decimateOne<float>(Alg::WeightedAverage, {5, 5, 5, 5, 5, 5, 5, 10}, hist),
                  (35 * 100.0f + 10 * 10.0f) / (7 * 100 + 10));
  EXPECT_FLOAT_EQ(decimateOne<float>(Alg::WeightedAverage, {0, 0, 0, 0, 0, 0, 17, 2}, hist),
                  (17 * 100.0f + 2 * 100.0f) / (6 * 100.0f / 90 + 200));
}

TEST(LodWeighted, WithoutCountsItIsTheClampedMeanOfTheFiniteValues) {
  Hist hist;
  hist.bins.assign(256, 0);
  hist.min = 0;
  hist.max = 10;
  const Cube<float> cube = {1, 2, kNaN, 3, kNaN, 6, kNaN, 8};
  EXPECT_FLOAT_EQ(decimateOne(Alg::WeightedAverage, cube, hist), 4.0f);
  hist.max = 3.5;
  EXPECT_FLOAT_EQ(decimateOne(Alg::WeightedAverage, cube, hist), 3.5f);
  EXPECT_FLOAT_EQ(decimateOne(Alg::WeightedAverage, cube, Hist{{}, 0, 10}), 4.0f);
  // An empty range clamps everything to its single value.
  EXPECT_EQ(decimateOne(Alg::WeightedAverage, cube, Hist{hist.bins, 0, 0}), 0.0f);
  // Nothing finite: the corner.
  EXPECT_TRUE(std::isnan(decimateOne<float>(
      Alg::WeightedAverage, {kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN}, hist)));
}

TEST(LodWeighted, IntegerCodesUseTheirCodeRange) {
  // 256 bins over [-128, 127]: code c falls into bin c + 128. The passed
  // range would clamp to [0, 1] if it were used.
  Hist hist;
  hist.bins.assign(256, 0);
  hist.bins[128] = 90;
  hist.bins[138] = 10;
  hist.bins[118] = 10;
  hist.min = 0;
  hist.max = 1;
  using S = signed char;
  EXPECT_EQ(decimateOne<S>(Alg::WeightedAverage, {0, 0, 0, 0, 0, 0, 0, 10}, hist), 5);  // 5.625
  EXPECT_EQ(decimateOne<S>(Alg::WeightedAverage, {0, 0, 0, 0, 0, 0, 0, -10}, hist), -5);
  EXPECT_EQ(decimateOne<S>(Alg::WeightedAverage, {127, 127, 127, 127, 127, 127, 127, -128}, hist),
            95);  // empty bins weigh alike: (7 * 127 - 128) / 8 = 95.125
}

// Rounding in the weighted sums must not cost a code: a constant cube keeps
// its value under every histogram.
TEST(LodWeighted, ConstantIntegerCubesKeepEveryCode) {
  for (long long count : {1, 3, 7, 1000, 262143}) {
    Hist hist;
    hist.bins.assign(256, count);
    hist.bins[7] = 1;
    for (int c = -128; c <= 127; ++c) {
      const auto v = static_cast<signed char>(c);
      EXPECT_EQ(decimateOne<signed char>(Alg::WeightedAverage, {v, v, v, v, v, v, v, v}, hist), v)
          << "code " << c << " count " << count;
    }
  }
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private::LodTest
