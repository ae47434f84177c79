// The k filter: end mirroring, non-finite fallbacks, integer rounding and
// clamping. Expected values were worked out by hand from the filter taps.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "lod/lod_test_util.h"

namespace Qra::Ostrel::Tyq::Private::LodTest {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Filters one trace of 2 * n2 samples: the lower half goes into child
// (0,0,0), the upper into child (0,0,1), both at i = j = 0. The odd i and j
// samples, which the filter must not read, hold junk.
template <typename T>
std::vector<T> filterTrace(const std::vector<T>& trace) {
  const int n2 = static_cast<int>(trace.size()) / 2;
  Level<T> level(2, 2, n2);
  const T junk = std::numeric_limits<T>::has_quiet_NaN ? std::numeric_limits<T>::quiet_NaN()
                                                       : std::numeric_limits<T>::max();
  for (int c = 0; c < 2; ++c) {
    for (int k = 0; k < n2; ++k) {
      level.at(c, 0, 0, k) = trace[c * n2 + k];
      level.at(c, 0, 1, k) = junk;
      level.at(c, 1, 0, k) = junk;
      level.at(c, 1, 1, k) = junk;
    }
  }
  level.run(Alg::LowPass);
  std::vector<T> out(n2);
  for (int m = 0; m < n2; ++m) out[m] = level.result(0, 0, m);
  return out;
}

std::vector<float> ramp(int n) {
  std::vector<float> t(n);
  for (int i = 0; i < n; ++i) t[i] = static_cast<float>(i);
  return t;
}

TEST(LodLowPass, RampIsKeptInsideAndBentByTheMirroredEnds) {
  const std::vector<float> out = filterTrace(ramp(16));
  // The mirror reflects the ramp into a V at either end, which lifts the
  // first output and lowers the last one.
  EXPECT_FLOAT_EQ(out[0], 0.5541539411894802f);
  EXPECT_FLOAT_EQ(out[7], 14.445846058810517f);
  for (int m = 2; m <= 5; ++m) EXPECT_FLOAT_EQ(out[m], 2 * m + 0.5f) << m;
}

TEST(LodLowPass, TraceShorterThanTheFilterMirrorsRepeatedly) {
  // Four samples: t[-4] is t[4], which mirrors back to t[2].
  const std::vector<float> out = filterTrace(ramp(4));
  EXPECT_FLOAT_EQ(out[0], 0.20036165206124987f);
  EXPECT_FLOAT_EQ(out[1], 2.79963834793875f);
}

TEST(LodLowPass, NonFiniteSamplesFallBackToThePairAndThenToOneOfIt) {
  for (float bad : {kNaN, kInf}) {
    std::vector<float> trace = ramp(16);
    trace[5] = bad;
    const std::vector<float> out = filterTrace(trace);
    EXPECT_EQ(out[0], 0.5f);  // the pair mean: t[5] is within reach
    EXPECT_EQ(out[1], 2.5f);
    EXPECT_EQ(out[2], 4.0f);  // t[4], t[5] itself spoils the pair
    EXPECT_EQ(out[4], 8.5f);
    EXPECT_FLOAT_EQ(out[5], 10.5f);  // out of reach: filtered as usual
  }
  std::vector<float> trace = ramp(16);
  trace[4] = kNaN;
  trace[5] = kInf;
  EXPECT_TRUE(std::isnan(filterTrace(trace)[2]));
  trace[4] = -kInf;
  EXPECT_EQ(filterTrace(trace)[2], -kInf);
}

TEST(LodLowPass, IntegerResultsRoundHalfAwayAndClampToTheCodeRange) {
  // A spike on a flat background rings below zero on both sides; the values
  // in the comments are the unrounded results.
  const std::vector<unsigned char> spike = {10, 10, 10, 10, 10, 200, 10, 10,
                                            10, 10, 10, 10, 10, 10,  10, 10};
  const std::vector<unsigned char> up = filterTrace(spike);
  const std::vector<unsigned char> upExpected = {26, 0, 99, 35, 0, 10, 10, 10};
  EXPECT_EQ(up, upExpected);  // 25.79, -10.92, 98.78, 35.11, -3.76, 9.9999...

  std::vector<unsigned char> dip(16, 245);
  dip[5] = 55;
  const std::vector<unsigned char> down = filterTrace(dip);
  const std::vector<unsigned char> downExpected = {229, 255, 156, 220, 255, 245, 245, 245};
  EXPECT_EQ(down, downExpected);  // 229.21, 265.92, 156.22, 219.89, 258.76

  std::vector<signed char> low(16, -118);
  low[5] = 72;
  const std::vector<signed char> signedOut = filterTrace(low);
  const std::vector<signed char> signedExpected = {-102, -128, -29, -93, -128, -118, -118, -118};
  EXPECT_EQ(signedOut, signedExpected);  // -102.21, -138.92, -29.22, -92.89, -131.76
}

TEST(LodLowPass, FloatResultsBeyondTheFloatRangeSaturate) {
  const float big = std::numeric_limits<float>::max();
  std::vector<float> trace(16, -big);
  trace[5] = big;
  EXPECT_EQ(filterTrace(trace)[1], -big);  // rings below the most negative float
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private::LodTest
