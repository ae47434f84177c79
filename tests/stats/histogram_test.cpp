#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <limits>
#include <vector>

#include "tyq/stats.h"

namespace {

using Qra::Ostrel::Tyq::Private::HistogramBuilder;
using Qra::Ostrel::Tyq::Private::HistogramData;
using Qra::Ostrel::Tyq::Private::StatisticData;

std::vector<long long> Bins(const HistogramData& h) {
  return std::vector<long long>(h.GetBins(), h.GetBins() + h.GetSize());
}

// Bin b holds b + 1, so a count names the bin it came from.
HistogramData Numbered(int size, double lo, double hi, bool fixed) {
  HistogramData h(size, lo, hi, fixed);
  for (int b = 0; b < size; ++b) h.AddToBinNumberUNSAFE(b, b + 1);
  return h;
}

TEST(HistogramDataTest, BinsRoundHalfAwayFromZeroAndDropOutside) {
  const HistogramData h = Numbered(5, 0.0, 4.0, true);  // one unit per bin
  EXPECT_EQ(h.get(0.0), 1);
  EXPECT_EQ(h.get(0.49), 1);
  EXPECT_EQ(h.get(0.5), 2);
  EXPECT_EQ(h.get(-0.49), 1);
  EXPECT_EQ(h.get(-0.5), 0);  // rounds to -1, outside
  EXPECT_EQ(h.get(4.49), 5);
  EXPECT_EQ(h.get(4.5), 0);
  EXPECT_EQ(h.get(std::nan("")), 0);
  EXPECT_EQ(h.get(std::numeric_limits<double>::infinity()), 0);
  EXPECT_EQ(h.get(1e300), 0);  // far outside must not reach an int conversion

  const HistogramData empty = Numbered(5, 3.0, 3.0, true);
  EXPECT_EQ(empty.get(3.0), 0);  // an empty range takes nothing
  double offset = 0;
  double factor = 0;
  empty.CalculateConversionFactors(&offset, &factor);
  EXPECT_EQ(factor, 0.0);
  EXPECT_EQ(offset, -1.0);
}

TEST(HistogramDataTest, WidenFromEmptyTakesAtLeastTheSmallestWidth) {
  HistogramData h(256);
  h.WidenRange(5.0, 5.0);
  EXPECT_DOUBLE_EQ(h.getmin(), 4.9375);
  EXPECT_DOUBLE_EQ(h.getmax(), 5.0625);
  EXPECT_EQ(HistogramData::getsmallestbinwidth(), 0.125);

  HistogramData wide(256);
  wide.WidenRange(1.0, 2.0);
  EXPECT_EQ(wide.getmin(), 1.0);
  EXPECT_EQ(wide.getmax(), 2.0);
}

TEST(HistogramDataTest, DoublingMergesPairsTowardTheCentre) {
  HistogramData h = Numbered(8, 0.0, 7.0, false);
  h.WidenRange(0.0, 10.0);  // one doubling about 3.5 is enough
  EXPECT_DOUBLE_EQ(h.getmin(), -3.5);
  EXPECT_DOUBLE_EQ(h.getmax(), 10.5);
  EXPECT_EQ(Bins(h), (std::vector<long long>{0, 0, 1 + 2, 3 + 4, 5 + 6, 7 + 8, 0, 0}));

  h.WidenRange(-100.0, 0.0);  // several doublings; every count survives
  EXPECT_LE(h.getmin(), -100.0);
  EXPECT_EQ(h.getcount(), 36);
}

TEST(HistogramDataTest, DoublingKeepsTheOuterBinsOfSizesNotDivisibleByFour) {
  HistogramData h = Numbered(6, 0.0, 5.0, false);
  h.WidenRange(0.0, 7.0);
  EXPECT_DOUBLE_EQ(h.getmin(), -2.5);
  EXPECT_DOUBLE_EQ(h.getmax(), 7.5);
  // Each old bin lands in the new bin that holds its centre.
  EXPECT_EQ(Bins(h), (std::vector<long long>{0, 1, 2 + 3, 4 + 5, 6, 0}));
}

TEST(HistogramDataTest, WidenLeavesFixedReversedAndInfiniteRequestsAlone) {
  HistogramData fixed = Numbered(4, 0.0, 3.0, true);
  fixed.WidenRange(-10.0, 10.0);
  EXPECT_EQ(fixed.getmax(), 3.0);
  EXPECT_FALSE(fixed.WidenRangeIsNeeded(1, -10.0, 10.0));

  HistogramData h = Numbered(4, 0.0, 3.0, false);
  EXPECT_FALSE(h.WidenRangeIsNeeded(0, -10.0, 10.0));  // nothing to place
  EXPECT_TRUE(h.WidenRangeIsNeeded(1, -10.0, 1.0));
  h.WidenRange(2.0, 1.0);
  h.WidenRange(0.0, std::numeric_limits<double>::infinity());  // must return
  h.WidenRange(std::nan(""), 1.0);
  EXPECT_EQ(h.getmin(), 0.0);
  EXPECT_EQ(h.getmax(), 3.0);
}

TEST(HistogramDataTest, ScaleMapsTheRangeAndReversesBinsForAFallingMap) {
  HistogramData h = Numbered(4, 0.0, 3.0, true);
  h.Scale(0.0, 3.0, 10.0, 16.0);
  EXPECT_EQ(h.getmin(), 10.0);
  EXPECT_EQ(h.getmax(), 16.0);
  h.Scale(10.0, 16.0, 1.0, -1.0);
  EXPECT_EQ(h.getmin(), -1.0);
  EXPECT_EQ(h.getmax(), 1.0);
  EXPECT_EQ(Bins(h), (std::vector<long long>{4, 3, 2, 1}));
  h.Scale(2.0, 2.0, 0.0, 1.0);  // no map: unchanged
  EXPECT_EQ(h.getmin(), -1.0);
}

TEST(HistogramDataTest, AddAndSubtractPlaceCountsByCentre) {
  HistogramData coarse(3, 0.0, 4.0, true);                 // centres 0, 2, 4
  const HistogramData fine = Numbered(5, 0.0, 4.0, true);  // centres 0..4
  coarse += fine;
  // Centre 1 rounds up to bin 1 (0.5 away from zero), centre 3 to bin 2.
  EXPECT_EQ(Bins(coarse), (std::vector<long long>{1, 2 + 3, 4 + 5}));
  coarse -= fine;
  EXPECT_EQ(coarse.getcount(), 0);

  HistogramData self = Numbered(3, 0.0, 2.0, true);
  self += self;
  EXPECT_EQ(Bins(self), (std::vector<long long>{2, 4, 6}));
}

TEST(HistogramDataTest, EqualityComparesCountsAtCentres) {
  const HistogramData a = Numbered(4, 0.0, 3.0, true);
  HistogramData b = Numbered(4, 0.0, 3.0, false);
  EXPECT_TRUE(a == b);  // the fixed flag is not content
  b.AddToBinNumberUNSAFE(2, 1);
  EXPECT_TRUE(a != b);
  EXPECT_FALSE(a == Numbered(4, 0.0, 6.0, true));
  EXPECT_TRUE(HistogramData(4, 0, 1, true) == HistogramData(8, -5, 5, false));
  EXPECT_FALSE(HistogramData(4, 0, 3, true) == a);
}

TEST(HistogramDataTest, LinearTransformsAndTheirComposition) {
  double offset = 0;
  double factor = 0;
  HistogramData::getLinearTransform(&offset, &factor, 0, 1, 5, 2);  // falling: identity
  EXPECT_EQ(factor, 1.0);
  EXPECT_EQ(offset, 0.0);
  // Doubling then adding 3 takes 1 to 5; the reverse order would give 8.
  HistogramData::combineTransform(&offset, &factor, 0.0, 2.0, 3.0, 1.0);
  EXPECT_EQ(factor * 1.0 + offset, 5.0);
}

TEST(StatisticDataTest, AddCountsFiniteValuesAndSetsTheRangeFromTheFirst) {
  StatisticData s;
  s.add(std::nan(""));
  s.add(-std::numeric_limits<double>::infinity());
  s.add(3.0);
  s.add(-1.0);
  EXPECT_EQ(s.getcnt(), 2);
  EXPECT_EQ(s.getinf(), 2);
  EXPECT_EQ(s.getsum(), 2.0);
  EXPECT_EQ(s.getssq(), 10.0);
  EXPECT_EQ(s.getmin(), -1.0);
  EXPECT_EQ(s.getmax(), 3.0);
}

TEST(StatisticDataTest, SubtractingNeverNarrowsButTrimmingDoes) {
  StatisticData all(3, 1, 6.0, 14.0, 1.0, 3.0);
  StatisticData top(1, 1, 3.0, 9.0, 3.0, 3.0);
  all -= top;
  EXPECT_EQ(all.getcnt(), 2);
  EXPECT_EQ(all.getinf(), 0);
  EXPECT_EQ(all.getmax(), 3.0);  // still, though no sample is 3 any more

  const long long bins[5] = {0, 1, 1, 0, 0};  // over [0, 4]: values 1 and 2 remain
  all.TrimRange(bins, 5, 0.0, 4.0);
  EXPECT_EQ(all.getmin(), 1.0);  // already inside [0.5, 2.5]
  EXPECT_EQ(all.getmax(), 2.5);

  StatisticData none;
  none += StatisticData(0, 4, 0, 0, -9, 9);  // only non-finite: range untouched
  none += StatisticData(1, 0, 5, 25, 5, 5);
  EXPECT_EQ(none.getmin(), 5.0);
  EXPECT_EQ(none.getinf(), 4);
  none *= 3;
  EXPECT_EQ(none.getcnt(), 3);
  EXPECT_EQ(none.getinf(), 12);
  EXPECT_EQ(none.getssq(), 75.0);
  EXPECT_EQ(none.getmax(), 5.0);
}

TEST(StatisticDataTest, ScaleMapsSumsAndSwapsExtremesForAFallingMap) {
  StatisticData s;
  for (const double v : {1.0, 2.0, 4.0}) s.add(v);
  s.Scale(0.0, 1.0, 10.0, 8.0);  // v -> 10 - 2v
  StatisticData expected;
  for (const double v : {8.0, 6.0, 2.0}) expected.add(v);
  EXPECT_DOUBLE_EQ(s.getsum(), expected.getsum());
  EXPECT_DOUBLE_EQ(s.getssq(), expected.getssq());
  EXPECT_EQ(s.getmin(), 2.0);
  EXPECT_EQ(s.getmax(), 8.0);
  s.Scale(3.0, 3.0, 0.0, 1.0);  // no map: unchanged
  EXPECT_EQ(s.getmax(), 8.0);
}

// A fixed 8-bin builder over [lo, hi] holding `values`, binned by hand.
HistogramBuilder BuilderOf(std::initializer_list<double> values, double lo, double hi) {
  std::vector<long long> bins(8, 0);
  StatisticData s;
  const HistogramData probe(8, lo, hi, true);
  double offset = 0;
  double factor = 0;
  probe.CalculateConversionFactors(&offset, &factor);
  for (const double v : values) {
    s.add(v);
    bins[static_cast<int>(std::lround(v * factor + offset))] += 1;
  }
  return HistogramBuilder(bins.data(), 8, lo, hi, s.getcnt(), s.getsum(), s.getssq(), s.getmin(),
                          s.getmax());
}

TEST(HistogramBuilderTest, AddingADifferentlyRangedBuilderWidensAndRebins) {
  HistogramBuilder a(8, 0.0, 7.0, false);
  a += BuilderOf({1.0, 2.0}, 0.0, 7.0);
  a += BuilderOf({14.0, 0.0, 14.0}, 0.0, 14.0);  // centres 0, 2, ..., 14
  // Two doublings about 3.5: [-3.5, 10.5], then [-10.5, 17.5].
  EXPECT_DOUBLE_EQ(a.gethisto().getmin(), -10.5);
  EXPECT_DOUBLE_EQ(a.gethisto().getmax(), 17.5);
  EXPECT_EQ(a.gethisto().get(1.5), 3);  // 0, 1 and 2 share a bin now
  EXPECT_EQ(a.gethisto().getcount(), 5);
  EXPECT_EQ(a.getstats().getcnt(), 5);
  EXPECT_EQ(a.getstats().getmax(), 14.0);
  EXPECT_EQ(a.gethisto().get(14.0), 2);

  HistogramBuilder fixed(8, 0.0, 7.0, true);
  fixed += BuilderOf({2.0, 14.0}, 0.0, 14.0);
  EXPECT_EQ(fixed.gethisto().getmax(), 7.0);
  EXPECT_EQ(fixed.gethisto().getcount(), 1);  // 14 fell outside and was dropped
  EXPECT_EQ(fixed.getstats().getcnt(), 2);
  EXPECT_EQ(fixed.getstats().getmax(), 2.5);  // trimmed to the occupied bin
}

TEST(HistogramBuilderTest, AnEmptyBuilderChangesNothing) {
  HistogramBuilder a(8, 1000.0, 1007.0, false);
  a += BuilderOf({1003.0}, 1000.0, 1007.0);
  const HistogramBuilder before = a;
  a += HistogramBuilder(8);  // range [0, 0], no counts
  a -= HistogramBuilder(8, -50.0, 50.0, false);
  EXPECT_EQ(a.gethisto().getmin(), 1000.0);
  EXPECT_EQ(a.gethisto().getmax(), 1007.0);
  EXPECT_TRUE(a == before);
  EXPECT_EQ(a.getstats().getcnt(), 1);
}

TEST(HistogramBuilderTest, MultiplyAndHistogramStatistics) {
  HistogramBuilder a = BuilderOf({0.0, 1.0, 1.0}, 0.0, 7.0);
  a *= 2;
  EXPECT_EQ(a.getstats().getcnt(), 6);
  EXPECT_EQ(a.gethisto().getcount(), 6);
  EXPECT_EQ(a.gethiststats().getsum(), 4.0);
  EXPECT_EQ(a.gethiststats().getmin(), -0.5);
}

}  // namespace
