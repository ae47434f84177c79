#include "stats/brick_histogram.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <vector>

namespace {

using Qra::Ostrel::Tyq::Private::AddBrickSamples;
using Qra::Ostrel::Tyq::Private::BrickSamples;
using Qra::Ostrel::Tyq::Private::HistogramBuilder;
using Qra::Ostrel::Tyq::Private::HistogramData;
using Qra::Ostrel::Tyq::Private::IsConstantBrick;
using Qra::Ostrel::Tyq::Private::StatisticData;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

std::vector<long long> Bins(const HistogramBuilder& b) {
  const HistogramData& h = b.gethisto();
  return std::vector<long long>(h.GetBins(), h.GetBins() + h.GetSize());
}

// A dense brick of n0 x n1 x n2 samples, k fastest.
template <typename T>
struct Dense {
  std::vector<T> data;
  int size[3];
  int strides[3];
  Dense(int n0, int n1, int n2, T fill = T())
      : data(std::size_t(n0) * n1 * n2, fill), size{n0, n1, n2}, strides{n1 * n2, n2, 1} {}
  BrickSamples<T> Samples() const { return {data.data(), size, strides, nullptr, nullptr}; }
};

template <typename T>
void Add(HistogramBuilder& b, const Dense<T>& brick, bool add = true) {
  ASSERT_TRUE(AddBrickSamples(b, brick.Samples(), add));
}

// Bins of `values` over the builder's range, each placed by hand.
std::vector<long long> ReferenceBins(const std::vector<float>& values, const HistogramData& h) {
  double offset = 0;
  double factor = 0;
  h.CalculateConversionFactors(&offset, &factor);
  std::vector<long long> bins(h.GetSize(), 0);
  for (const float v : values) {
    if (!std::isfinite(v)) continue;
    const double x = v * factor + offset;
    if (x > -0.5 && x < h.GetSize() - 0.5) ++bins[std::lround(x)];
  }
  return bins;
}

void ExpectSameStats(const StatisticData& a, const StatisticData& b) {
  EXPECT_EQ(a.getcnt(), b.getcnt());
  EXPECT_EQ(a.getinf(), b.getinf());
  EXPECT_DOUBLE_EQ(a.getsum(), b.getsum());
  EXPECT_DOUBLE_EQ(a.getssq(), b.getssq());
  EXPECT_EQ(a.getmin(), b.getmin());
  EXPECT_EQ(a.getmax(), b.getmax());
}

TEST(BrickHistogramTest, GrowingRangeCoversTheFirstBrickThenDoublesToFit) {
  HistogramBuilder b(256);
  Dense<float> ramp(4, 4, 8);
  for (std::size_t n = 0; n < ramp.data.size(); ++n) ramp.data[n] = 1.0f + n / 127.0f;
  Add(b, ramp);
  EXPECT_EQ(b.gethisto().getmin(), 1.0);
  EXPECT_EQ(b.gethisto().getmax(), 2.0);
  EXPECT_EQ(Bins(b), ReferenceBins(ramp.data, b.gethisto()));

  Dense<float> spike(2, 2, 2, 1.5f);
  spike.data[5] = 10.0f;
  Add(b, spike);
  EXPECT_DOUBLE_EQ(b.gethisto().getmin(), -14.5);  // four doublings about 1.5
  EXPECT_DOUBLE_EQ(b.gethisto().getmax(), 17.5);
  // Merged old bins and freshly binned samples agree with binning all at once.
  std::vector<float> all = ramp.data;
  all.insert(all.end(), spike.data.begin(), spike.data.end());
  EXPECT_EQ(Bins(b), ReferenceBins(all, b.gethisto()));
  EXPECT_EQ(b.getstats().getcnt(), 136);
  EXPECT_EQ(b.getstats().getmin(), 1.0);
  EXPECT_EQ(b.getstats().getmax(), 10.0);
}

TEST(BrickHistogramTest, SamplesFollowTheBinConventionAtTheEdges) {
  HistogramBuilder b(5, 0.0, 4.0, true);  // one unit per bin
  Dense<float> edges(1, 1, 9);
  edges.data = {-0.75f, -0.5f, -0.49f, 0.5f, 1.5f, 4.49f, 4.5f, 1e30f, -1e30f};
  Add(b, edges);
  EXPECT_EQ(Bins(b), (std::vector<long long>{1, 1, 1, 0, 1}));
  EXPECT_EQ(b.getstats().getcnt(), 9);  // dropped from the bins, not from the statistics
}

TEST(BrickHistogramTest, OverwritingWithIdenticalContentChangesNothing) {
  HistogramBuilder b(256, -1.0, 1.0, false);
  Dense<float> first(3, 5, 7);
  Dense<float> second(3, 5, 7);
  for (std::size_t n = 0; n < first.data.size(); ++n) {
    first.data[n] = static_cast<float>(n % 13) / 8;  // eighths: every sum is exact
    second.data[n] = -static_cast<float>(n % 29) / 4;
  }
  Add(b, first);
  Add(b, second);
  const HistogramBuilder before = b;
  Add(b, second, false);
  Add(b, second);
  EXPECT_EQ(Bins(b), Bins(before));
  ExpectSameStats(b.getstats(), before.getstats());
}

TEST(BrickHistogramTest, SubtractingTrimsToOccupiedBinsAndNeverWidens) {
  HistogramBuilder b(256);
  Dense<float> low(2, 2, 16);
  for (std::size_t n = 0; n < low.data.size(); ++n) low.data[n] = n / 63.0f;  // [0, 1]
  Dense<float> high(1, 1, 4, 100.0f);
  Add(b, low);
  Add(b, high);
  const double lo = b.gethisto().getmin();
  const double hi = b.gethisto().getmax();
  const double halfBin = (hi - lo) / 255 / 2;

  Add(b, high, false);
  EXPECT_EQ(b.getstats().getcnt(), 64);
  EXPECT_EQ(b.getstats().getmin(), 0.0);
  EXPECT_GE(b.getstats().getmax(), 1.0);
  EXPECT_LE(b.getstats().getmax(), 1.0 + 2 * halfBin);

  Dense<float> never(1, 1, 1, -5000.0f);  // outside the range, never added
  Add(b, never, false);
  EXPECT_EQ(b.gethisto().getmin(), lo);
  EXPECT_EQ(b.gethisto().getmax(), hi);
  EXPECT_EQ(b.gethisto().getcount(), 64);
}

TEST(BrickHistogramTest, NonFiniteSamplesAreCountedApartAndNeverBinned) {
  Dense<float> brick(64, 64, 64);
  std::vector<float> finite;
  StatisticData expected;
  for (std::size_t n = 0; n < brick.data.size(); ++n) {
    brick.data[n] = static_cast<float>(n % 1000) - 500.0f;
  }
  // In different 512-sample chunks, and one chunk holding both infinities.
  brick.data[3] = kNaN;
  brick.data[70000] = kInf;
  brick.data[70001] = -kInf;
  brick.data[brick.data.size() - 1] = kNaN;
  for (const float v : brick.data) expected.add(v);

  HistogramBuilder growing(256);
  StatisticData local;
  ASSERT_TRUE(AddBrickSamples(growing, brick.Samples(), true, &local));
  ExpectSameStats(local, expected);
  ExpectSameStats(growing.getstats(), expected);
  EXPECT_EQ(growing.gethisto().getcount(), expected.getcnt());
  EXPECT_EQ(Bins(growing), ReferenceBins(brick.data, growing.gethisto()));

  HistogramBuilder untouched(256, 3.0, 4.0, false);
  Add(untouched, Dense<float>(2, 2, 2, kNaN));
  EXPECT_EQ(untouched.gethisto().getmin(), 3.0);  // nothing finite: no widening
  EXPECT_EQ(untouched.getstats().getinf(), 8);
}

// Traces (i, j) whose flag is 0 hold values that would show if they leaked.
struct FlaggedBrick {
  static constexpr int n0 = 3, n1 = 4, n2 = 70;
  static bool Live(int i, int j) { return (i + 2 * j) % 3 != 0; }
  static float Value(int i, int j, int k) {
    return Live(i, j) ? static_cast<float>(i * 100 + j * 10 + k % 9) : 1e30f;
  }
};

TEST(BrickHistogramTest, FlagsSkipDeadTracesInEveryStorageOrder) {
  using F = FlaggedBrick;
  HistogramBuilder expected(256, 0.0, 400.0, true);
  for (int i = 0; i < F::n0; ++i) {
    for (int j = 0; j < F::n1; ++j) {
      if (!F::Live(i, j)) continue;
      Dense<float> trace(1, 1, F::n2);
      for (int k = 0; k < F::n2; ++k) trace.data[k] = F::Value(i, j, k);
      Add(expected, trace);
    }
  }
  ASSERT_GT(expected.getstats().getcnt(), 0);
  // k fastest with flags (nj, 1), then i fastest with flags (1, ni).
  const int layouts[2][5] = {{F::n1 * F::n2, F::n2, 1, F::n1, 1},
                             {1, F::n0, F::n0 * F::n1, 1, F::n0}};
  for (const auto& l : layouts) {
    std::vector<float> data(F::n0 * F::n1 * F::n2);
    std::vector<unsigned char> flags(F::n0 * F::n1);
    for (int i = 0; i < F::n0; ++i) {
      for (int j = 0; j < F::n1; ++j) {
        flags[i * l[3] + j * l[4]] = F::Live(i, j) ? 7 : 0;
        for (int k = 0; k < F::n2; ++k) data[i * l[0] + j * l[1] + k * l[2]] = F::Value(i, j, k);
      }
    }
    const int size[3] = {F::n0, F::n1, F::n2};
    HistogramBuilder b(256, 0.0, 400.0, true);
    ASSERT_TRUE(
        AddBrickSamples(b, BrickSamples<float>{data.data(), size, l, flags.data(), l + 3}, true));
    EXPECT_EQ(Bins(b), Bins(expected));
    ExpectSameStats(b.getstats(), expected.getstats());
  }
}

TEST(BrickHistogramTest, OnlyTheValidPartOfTheBufferCounts) {
  Dense<short> buffer(8, 8, 8, short{30000});
  Dense<short> valid(3, 5, 7);
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 5; ++j) {
      for (int k = 0; k < 7; ++k) {
        const auto v = static_cast<short>(i * 35 + j * 7 + k - 50);
        buffer.data[i * 64 + j * 8 + k] = v;
        valid.data[i * 35 + j * 7 + k] = v;
      }
    }
  }
  HistogramBuilder a(256, -32768.0, 32767.0, true);
  HistogramBuilder b(256, -32768.0, 32767.0, true);
  ASSERT_TRUE(AddBrickSamples(
      a, BrickSamples<short>{buffer.data.data(), valid.size, buffer.strides, nullptr, nullptr},
      true));
  Add(b, valid);
  EXPECT_EQ(Bins(a), Bins(b));
  ExpectSameStats(a.getstats(), b.getstats());
  EXPECT_EQ(a.getstats().getmax(), 54.0);
}

template <typename T>
class EverySampleTypeTest : public ::testing::Test {};
using SampleTypes =
    ::testing::Types<signed char, unsigned char, short, unsigned short, int, unsigned int, float>;
TYPED_TEST_SUITE(EverySampleTypeTest, SampleTypes);

TYPED_TEST(EverySampleTypeTest, SameValuesGiveTheSameHistogram) {
  Dense<TypeParam> brick(5, 6, 37);  // a run that is no multiple of 4
  Dense<float> reference(5, 6, 37);
  for (std::size_t n = 0; n < brick.data.size(); ++n) {
    brick.data[n] = static_cast<TypeParam>(n * 7 % 101);
    reference.data[n] = static_cast<float>(n * 7 % 101);
  }
  HistogramBuilder a(256, 0.0, 255.0, true);
  HistogramBuilder b(256, 0.0, 255.0, true);
  Add(a, brick);
  Add(b, reference);
  EXPECT_EQ(Bins(a), Bins(b));
  ExpectSameStats(a.getstats(), b.getstats());
}

TEST(BrickHistogramTest, TypeDispatchAndStatisticsAlone) {
  Dense<unsigned int> brick(2, 3, 4, 4000000000u);
  brick.data[0] = 0;
  HistogramBuilder b(256, 0.0, 4294967295.0, true);
  StatisticData counted;
  ASSERT_TRUE(AddBrickSamples(5, &b, brick.data.data(), brick.size, brick.strides, nullptr, nullptr,
                              true, &counted));
  EXPECT_EQ(b.getstats().getcnt(), 24);
  EXPECT_EQ(b.getstats().getmax(), 4000000000.0);
  EXPECT_EQ(b.gethisto().get(4000000000.0), 23);

  StatisticData alone;
  ASSERT_TRUE(AddBrickSamples(5, nullptr, brick.data.data(), brick.size, brick.strides, nullptr,
                              nullptr, true, &alone));
  ExpectSameStats(alone, counted);
  EXPECT_FALSE(AddBrickSamples(7, &b, brick.data.data(), brick.size, brick.strides, nullptr,
                               nullptr, true, &alone));
  const unsigned char live[6] = {1, 1, 1, 1, 1, 1};
  EXPECT_FALSE(AddBrickSamples(5, &b, brick.data.data(), brick.size, brick.strides, live, nullptr,
                               true, &alone));
  EXPECT_EQ(b.getstats().getcnt(), 24);
}

StatisticData StatsOf(std::initializer_list<float> values) {
  StatisticData s;
  for (const float v : values) s.add(v);
  return s;
}

TEST(BrickHistogramTest, ConstantTest) {
  const float one = 1.0f;
  const float tenUlps = std::bit_cast<float>(std::bit_cast<int32_t>(one) + 10);
  EXPECT_TRUE(IsConstantBrick(6, StatsOf({one, one})));
  EXPECT_TRUE(IsConstantBrick(6, StatsOf({one, tenUlps})));
  EXPECT_FALSE(IsConstantBrick(6, StatsOf({one, std::nextafter(tenUlps, 2.0f)})));
  EXPECT_TRUE(IsConstantBrick(6, StatsOf({0.0f, -0.0f})));
  EXPECT_FALSE(IsConstantBrick(6, StatsOf({-1e-45f, 1e-45f})));  // close, but of two signs
  EXPECT_FALSE(IsConstantBrick(6, StatsOf({one, kNaN})));
  EXPECT_FALSE(IsConstantBrick(6, StatisticData()));  // no sample, no value
  EXPECT_TRUE(IsConstantBrick(2, StatsOf({-7.0f, -7.0f})));
  EXPECT_FALSE(IsConstantBrick(2, StatsOf({-7.0f, -6.0f})));
}

}  // namespace
