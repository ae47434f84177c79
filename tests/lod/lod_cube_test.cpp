// The per-cube decimation rules, on one 2 x 2 x 2 cube per child.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "lod/lod_test_util.h"

namespace Qra::Ostrel::Tyq::Private::LodTest {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

template <typename T>
class LodEveryType : public ::testing::Test {};
using SampleTypes = ::testing::Types<char, signed char, unsigned char, short, unsigned short, int,
                                     unsigned int, float>;
TYPED_TEST_SUITE(LodEveryType, SampleTypes);

// Constant children at the extremes of the type: sums, medians and filters
// must neither overflow nor drift. The pair (a, b) shares one constant so
// that LowPass, which joins the two children along k, sees it too.
TYPED_TEST(LodEveryType, ConstantChildrenStayConstantExceptTheZeroFillers) {
  using T = TypeParam;
  using L = std::numeric_limits<T>;
  const T values[4] = {L::lowest(), L::max(), T(1), T(100)};
  std::array<Cube<T>, 8> cubes;
  for (int c = 0; c < 8; ++c) cubes[c].fill(values[c / 2]);
  // Integer codes are weighed over their code range whatever range is passed.
  Hist hist;
  hist.bins.assign(256, 0);
  for (int b = 0; b < 256; ++b) hist.bins[b] = 1 + b % 7;
  if (std::is_floating_point_v<T>) {
    hist.min = L::lowest();
    hist.max = L::max();
  }
  for (int alg = -1; alg <= 16; ++alg) {
    SCOPED_TRACE(alg);
    const bool zeroFill = alg < 0 || (alg >= 9 && alg <= 11) || alg > 14;
    const auto out = decimateEight(static_cast<Alg>(alg), cubes, hist);
    for (int c = 0; c < 8; ++c) EXPECT_EQ(out[c], zeroFill ? T(0) : values[c / 2]) << "child " << c;
  }
}

TEST(LodNames, TraceNames) {
  EXPECT_STREQ(vvArrayBasic::lodAlgorithmName(Alg::LowPass), "LowPass");
  EXPECT_STREQ(vvArrayBasic::lodAlgorithmName(Alg::AverageNon0), "AverageNon0");
  EXPECT_STREQ(vvArrayBasic::lodAlgorithmName(static_cast<Alg>(15)), "Unknown");
  EXPECT_STREQ(vvArrayBasic::lodAlgorithmName(static_cast<Alg>(-1)), "Unknown");
}

float onFloats(Alg alg, const Cube<float>& cube) {
  return decimateOne(alg, cube);
}
const Cube<float> kAllNaN = {kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN};

TEST(LodFloat, AveragesAndMedianSkipNonFiniteValues) {
  EXPECT_EQ(onFloats(Alg::Average, {1, kNaN, 3, kNaN, kNaN, kNaN, kNaN, kNaN}), 2.0f);
  EXPECT_EQ(onFloats(Alg::Average, {1, kInf, 3, -kInf, 5, 7, 9, 11}), 6.0f);
  EXPECT_TRUE(std::isnan(onFloats(Alg::Average, kAllNaN)));
  EXPECT_EQ(onFloats(Alg::AverageNon0, {0, 0, 2, 4, kNaN, 0, kInf, 0}), 3.0f);
  EXPECT_EQ(onFloats(Alg::AverageNon0, {kNaN, kNaN, -0.0f, kNaN, kNaN, kNaN, kNaN, kNaN}), 0.0f);
  EXPECT_EQ(onFloats(Alg::AverageNon0, {kInf, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN}), kInf);
  EXPECT_EQ(onFloats(Alg::Median, {4, kNaN, 2, kNaN, 1, kNaN, 3, kNaN}), 2.5f);
  EXPECT_EQ(onFloats(Alg::Median, {5, kNaN, 1, kInf, 3, kNaN, -kInf, kNaN}), 3.0f);
  EXPECT_EQ(onFloats(Alg::Median, {8, 1, 7, 2, 6, 3, 5, 4}), 4.5f);
  EXPECT_TRUE(std::isnan(onFloats(Alg::Median, kAllNaN)));
}

TEST(LodFloat, OrderDependentRulesFollowTheCanonicalOrder) {
  // A NaN accumulator is replaced by the next value; a NaN last wins.
  EXPECT_EQ(onFloats(Alg::Minimum, {kNaN, 3, 1, 2, 5, 6, 7, 8}), 1.0f);
  EXPECT_EQ(onFloats(Alg::Maximum, {kNaN, 3, 1, 2, 5, 6, 7, 4}), 7.0f);
  EXPECT_TRUE(std::isnan(onFloats(Alg::Minimum, {1, 2, 3, 4, 5, 6, 7, kNaN})));
  // The second in order is the k neighbour of the corner.
  EXPECT_EQ(onFloats(Alg::DecimateSkipNaN, {kNaN, 2, 3, 4, 5, 6, 7, 8}), 2.0f);
  EXPECT_EQ(onFloats(Alg::DecimateSkipNaN, {kInf, kNaN, kNaN, kNaN, 5, 6, 7, 8}), 5.0f);
  EXPECT_TRUE(std::isnan(onFloats(Alg::Decimate, {kNaN, 2, 3, 4, 5, 6, 7, 8})));
  // Non-finite values lose to finite ones, zeros (when skipped) to the rest.
  EXPECT_EQ(onFloats(Alg::MostFrequent, {kNaN, kNaN, kNaN, 1, 2, 3, kInf, kInf}), 1.0f);
  EXPECT_EQ(onFloats(Alg::MostFrequentNon0, {0, 0, 0, 0, 3, 2, 2, kNaN}), 2.0f);
  EXPECT_EQ(onFloats(Alg::MostFrequentNon0, {kNaN, kNaN, kNaN, 0, kNaN, 0, kNaN, kNaN}), 0.0f);
  EXPECT_TRUE(std::isnan(onFloats(Alg::MostFrequent, kAllNaN)));
}

TEST(LodInteger, ArithmeticTruncatesTowardZeroWithoutOverflow) {
  using S = signed char;
  EXPECT_EQ(decimateOne<S>(Alg::Average, {-1, -1, -1, -1, -1, -1, -1, 0}), 0);
  EXPECT_EQ(decimateOne<S>(Alg::Average, {-128, -128, -128, -128, -128, -128, -128, 127}), -96);
  EXPECT_EQ(decimateOne<S>(Alg::AverageNon0, {0, 0, 0, 0, 0, 0, -3, -4}), -3);
  EXPECT_EQ(decimateOne<unsigned char>(Alg::AverageNon0, {0, 0, 255, 0, 0, 0, 254, 0}), 254);
  EXPECT_EQ(decimateOne<unsigned char>(Alg::Median, {2, 0, 2, 1, 0, 2, 0, 2}), 1);
  EXPECT_EQ(decimateOne<S>(Alg::Median, {-2, 0, -2, -1, 0, -2, 0, -2}), -1);
  // Exact for 32-bit codes, which single precision would round.
  EXPECT_EQ(decimateOne<int>(Alg::Median, {16777217, 16777218, 16777217, 16777218, 16777218,
                                           16777217, 16777218, 16777217}),
            16777217);
  const unsigned int big = 4294967295u;
  EXPECT_EQ(decimateOne<unsigned int>(Alg::Average, {big, big, big, big, big, big, big, big - 8}),
            big - 1);
}

TEST(LodInteger, MostFrequentBreaksTiesByOrder) {
  EXPECT_EQ(decimateOne<short>(Alg::MostFrequent, {5, 7, 7, 5, 1, 2, 3, 4}), 5);
  EXPECT_EQ(decimateOne<short>(Alg::MostFrequent, {1, 2, 3, 7, 7, 5, 5, 5}), 5);
  EXPECT_EQ(decimateOne<short>(Alg::MostFrequentNon0, {0, 0, 0, 0, 0, 0, 9, 8}), 9);
}

TEST(LodArguments, InvalidArgumentsLeaveTheOutputUntouched) {
  Level<float> level(2, 2, 2);
  level.out.assign(level.out.size(), 42.0f);
  const float* src[8];
  for (int c = 0; c < 8; ++c) src[c] = level.children[c].data();
  const auto run = [&](const int* size, const float** children) {
    vvArrayBasic::createLevelOfDetail<float>(level.out.data(), size, level.strides, children,
                                             Alg::Average, nullptr, 0, 0, 0);
  };
  const int odd[3] = {2, 3, 2};
  const int zero[3] = {2, 0, 2};
  run(odd, src);
  run(zero, src);
  run(level.size, nullptr);
  src[5] = nullptr;
  run(level.size, src);
  for (float v : level.out) EXPECT_EQ(v, 42.0f);
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private::LodTest
