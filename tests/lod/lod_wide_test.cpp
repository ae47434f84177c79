// The AVX-512 loops against the scalar code on the same random children:
// every output bit for bit, with NaN, infinities, values beyond the
// histogram and float ranges, and rows whose length is not a multiple of
// the vector width.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "lod/lod_test_util.h"
#include "lod/lod_wide.h"

namespace Qra::Ostrel::Tyq::Private::LodTest {
namespace {

// Mostly ordinary amplitudes, with a sprinkling of the values that take
// other paths: NaN (one with a payload), infinities, the float extremes,
// zeros of both signs and denormals.
float randomSample(std::mt19937& rng) {
  static const float kSpecial[] = {std::numeric_limits<float>::quiet_NaN(),
                                   std::bit_cast<float>(0x7fc01234u),
                                   std::numeric_limits<float>::infinity(),
                                   -std::numeric_limits<float>::infinity(),
                                   std::numeric_limits<float>::max(),
                                   -std::numeric_limits<float>::max(),
                                   0.0f,
                                   -0.0f,
                                   std::numeric_limits<float>::denorm_min(),
                                   -100.0f,
                                   100.0f};
  const int n = static_cast<int>(sizeof kSpecial / sizeof kSpecial[0]);
  if (std::uniform_int_distribution<int>(0, 99)(rng) < 3) {
    return kSpecial[std::uniform_int_distribution<int>(0, n - 1)(rng)];
  }
  return std::normal_distribution<float>(0.0f, 60.0f)(rng);
}

// Random children of the given size; a fraction `constant` of the k runs
// is one repeated value, so that whole cubes hold a single finite value or
// none.
Level<float> randomLevel(int n0, int n1, int n2, unsigned seed) {
  Level<float> level(n0, n1, n2);
  std::mt19937 rng(seed);
  level.fill([&](int, int, int, int) { return randomSample(rng); });
  for (int c = 0; c < 8; ++c) {
    const float v = randomSample(rng);
    for (int k = 0; k < n2; ++k) level.at(c, 0, 0, k) = v;
  }
  return level;
}

Hist randomHist(int bins, double min, double max, unsigned seed) {
  std::mt19937 rng(seed);
  Hist hist{std::vector<long long>(bins), min, max};
  for (long long& b : hist.bins) b = std::uniform_int_distribution<int>(0, 3)(rng) * 1000;
  return hist;
}

std::vector<uint32_t> bits(const std::vector<float>& v) {
  std::vector<uint32_t> out(v.size());
  for (size_t n = 0; n < v.size(); ++n) out[n] = std::bit_cast<uint32_t>(v[n]);
  return out;
}

class LodWide : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Lod::Wide::Enabled()) GTEST_SKIP() << "no AVX-512 on this processor or in this build";
  }
  void TearDown() override { Lod::Wide::Use(true); }

  // The outputs of both variants on one set of children.
  static void expectSame(Level<float> level, Alg alg, const Hist& hist = {}) {
    Lod::Wide::Use(false);
    level.run(alg, hist);
    const std::vector<uint32_t> scalar = bits(level.out);
    Lod::Wide::Use(true);
    level.run(alg, hist);
    EXPECT_EQ(bits(level.out), scalar);
  }
};

TEST_F(LodWide, WeightedAverageMatchesTheScalarCode) {
  // Tabled (256 bins) and computed (1000 bins) weights, a narrow range that
  // clamps most means, no histogram at all and an unusable range.
  const Hist hists[] = {randomHist(256, -150, 150, 1), randomHist(1000, -300, 300, 2),
                        randomHist(256, -5, 5, 3), Hist{}, randomHist(256, 7, 7, 4)};
  const int sizes[][3] = {{4, 4, 64}, {2, 6, 38}, {6, 2, 18}, {2, 2, 2}};
  unsigned seed = 10;
  for (const Hist& hist : hists) {
    for (const auto& s : sizes) {
      SCOPED_TRACE(testing::Message() << hist.bins.size() << " bins, k " << s[2]);
      expectSame(randomLevel(s[0], s[1], s[2], ++seed), Alg::WeightedAverage, hist);
    }
  }
}

TEST_F(LodWide, LowPassMatchesTheScalarCode) {
  const int sizes[][3] = {{4, 4, 64}, {2, 2, 38}, {2, 4, 6}, {2, 2, 130}};
  unsigned seed = 40;
  for (const auto& s : sizes) {
    SCOPED_TRACE(testing::Message() << "k " << s[2]);
    expectSame(randomLevel(s[0], s[1], s[2], ++seed), Alg::LowPass);
  }
}

// The filter in double, before narrowing to float hides most last-bit
// differences (a fused multiply-add, say), against the plain expression.
TEST_F(LodWide, FilterTraceIsTheUnfusedExpression) {
  const double taps[5] = {0.46728086247062456, 0.13215387136350137, -0.11012372306899207,
                          -0.07241458842975841, 0.08310357766462453};
  std::mt19937 rng(5);
  for (const int outputs : {8, 29, 64}) {
    std::vector<double> trace(2 * outputs + 8);
    for (double& v : trace) v = std::normal_distribution<double>(0.0, 1e3)(rng);
    trace[11] = std::numeric_limits<double>::infinity();
    std::vector<double> wide(outputs, -1.0);
    const int done = Lod::Wide::FilterTrace(trace.data() + 4, outputs, taps, wide.data());
    EXPECT_EQ(done, outputs / 8 * 8);
    for (int m = 0; m < done; ++m) {
      const double* p = trace.data() + 4 + 2 * m;
      const double expected = taps[0] * (p[0] + p[1]) + taps[1] * (p[-1] + p[2]) +
                              taps[2] * (p[-2] + p[3]) + taps[3] * (p[-3] + p[4]) +
                              taps[4] * (p[-4] + p[5]);
      EXPECT_EQ(std::bit_cast<uint64_t>(wide[m]), std::bit_cast<uint64_t>(expected)) << m;
    }
  }
}

// Children read with a k stride other than 1 take the scalar path; the
// result must not depend on the switch either.
TEST_F(LodWide, StridedChildrenGiveTheSameResult) {
  Level<float> level(4, 4, 16, 1, 4, 16);
  std::mt19937 rng(77);
  level.fill([&](int, int, int, int) { return randomSample(rng); });
  expectSame(level, Alg::WeightedAverage, randomHist(256, -150, 150, 5));
  expectSame(level, Alg::LowPass);
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private::LodTest
