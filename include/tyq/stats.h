#pragma once

// Running statistics and histograms of stored samples. A writable file keeps
// one HistogramBuilder for everything written at full resolution; overwriting
// a brick subtracts its old samples and adds the new ones, so the figures stay
// exact without a second pass over the data.
//
// Bin convention: bin b of a histogram with `size` bins over [min, max] has
// its centre at min + b * (max - min) / (size - 1). A value v falls into bin
// round(v * factor + offset), factor = (size - 1) / (max - min),
// offset = -min * factor, rounding half away from zero; bins outside
// [0, size) are dropped, and so is every value when max <= min. Non-finite
// values never enter a histogram.
#include <cstdint>
#include <vector>

#include "tyq/export.h"

namespace Qra::Ostrel::Tyq::Private {

// Count, non-finite count, sum, sum of squares, minimum and maximum of a set
// of samples. Minimum and maximum mean something only when the count is not 0.
class TYQ_EXPORT StatisticData {
 public:
  StatisticData() = default;
  StatisticData(long long cnt, long long inf, double sum, double ssq, double min, double max);
  // The statistics of a histogram: every count at its bin's centre. Unless
  // `exact`, minimum and maximum reach half a bin beyond the outermost
  // occupied bins, since the samples could lie anywhere in them.
  StatisticData(const long long* bins, int size, double min, double max, bool exact);

  long long getcnt() const { return cnt_; }
  long long getinf() const { return inf_; }
  double getsum() const { return sum_; }
  double getssq() const { return ssq_; }
  double getmin() const { return min_; }
  double getmax() const { return max_; }

  void add(double v);
  // Applies the linear map taking x0 to y0 and x1 to y1. A map that reverses
  // the axis swaps minimum and maximum; x0 == x1 defines no map and changes
  // nothing.
  void Scale(double x0, double x1, double y0, double y1);
  // Narrows minimum and maximum to the occupied bins of a histogram over
  // [lo, hi], plus half a bin; never widens them. Nothing when empty.
  void TrimRange(const long long* bins, int size, double lo, double hi);

  StatisticData& operator*=(long long n);
  // Counts and sums add or subtract; minimum and maximum only ever grow, so
  // subtracting cannot tell what the remaining samples span (see TrimRange).
  StatisticData& operator+=(const StatisticData& other);
  StatisticData& operator-=(const StatisticData& other);

 private:
  void MergeRange(const StatisticData& other);

  long long cnt_ = 0;
  long long inf_ = 0;
  double sum_ = 0.0;
  double ssq_ = 0.0;
  double min_ = 0.0;
  double max_ = 0.0;
};

// A histogram whose range is either fixed or grows by doubling about its
// centre when values outside it arrive.
class TYQ_EXPORT HistogramData {
 public:
  // Every constructor raises a size below 2 to 2.
  explicit HistogramData(int size);  // growing, range [0, 0], zero bins
  HistogramData(int size, double min, double max, bool fixed);
  HistogramData(const long long* bins, int size, double min, double max);  // fixed, bins copied

  int GetSize() const { return static_cast<int>(bins_.size()); }
  const long long* GetBins() const { return bins_.data(); }
  double getmin() const { return min_; }
  double getmax() const { return max_; }
  bool isfixed() const { return fixed_; }
  void setfixed(bool fixed) { fixed_ = fixed; }
  static double getsmallestbinwidth() { return kSmallestWidth; }

  long long getcount() const;
  // Count of the bin `v` falls into; 0 for a non-finite v or a dropped bin.
  long long get(double v) const;
  void clear();  // zeroes the bins; range and fixed flag stay

  void CalculateConversionFactors(double* offset, double* factor) const;
  // The map taking [x0, x1] to [y0, y1]; the identity unless x0 < x1 and
  // y0 < y1.
  static void getLinearTransform(double* offset, double* factor, double x0, double x1, double y0,
                                 double y1);
  // The map applying (offset1, factor1) first and then (offset2, factor2).
  static void combineTransform(double* offset, double* factor, double offset1, double factor1,
                               double offset2, double factor2);

  bool WidenRangeIsNeeded(long long count, double lo, double hi) const;
  // Makes the range cover [lo, hi]: an empty range is set to it (at least
  // the smallest width wide), a non-empty one doubles until it fits. Nothing
  // when fixed, when lo > hi, or when either end is not finite.
  void WidenRange(double lo, double hi);
  // Applies the map taking x0 to y0 and x1 to y1 to the range. A reversing
  // map also reverses the bins, so every count stays at its mapped centre.
  void Scale(double x0, double x1, double y0, double y1);
  // Adds to one bin without a range check: 0 <= bin < GetSize() is the
  // caller's promise.
  void AddToBinNumberUNSAFE(int bin, int count) { bins_[bin] += count; }

  // Each bin of the other goes, by its centre, into this histogram's bin;
  // the range is not widened, so counts falling outside are dropped.
  HistogramData& operator+=(const HistogramData& other);
  HistogramData& operator-=(const HistogramData& other);
  HistogramData& operator*=(long long n);
  // Equal when each histogram's bins match the other's counts at their
  // centres; two histograms without counts are equal, one without counts
  // equals no histogram with counts.
  bool operator==(const HistogramData& other) const;
  bool operator!=(const HistogramData& other) const { return !(*this == other); }

 private:
  friend class HistogramBuilder;
  friend struct BrickSamplesAccess;
  static constexpr double kSmallestWidth = 0.125;

  void AddOne(double v, long long count);
  void AddBins(const long long* bins, int n, double lo, double hi, bool add);
  void SetRange(double lo, double hi, double minWidth);
  void DoubleRange();
  static bool Compare(const HistogramData& a, const HistogramData& b);

  bool fixed_ = false;
  double min_ = 0.0;
  double max_ = 0.0;
  std::vector<long long> bins_;
};

// Statistics and histogram of the same samples.
class TYQ_EXPORT HistogramBuilder {
 public:
  explicit HistogramBuilder(int size) : histo_(size) {}
  HistogramBuilder(int size, double min, double max, bool fixed) : histo_(size, min, max, fixed) {}
  // Statistics (cnt, 0, sum, ssq, smin, smax) and a fixed histogram.
  HistogramBuilder(const long long* bins, int size, double min, double max, long long cnt,
                   double sum, double ssq, double smin, double smax);

  const StatisticData& getstats() const { return stats_; }
  const HistogramData& gethisto() const { return histo_; }
  StatisticData gethiststats() const;  // from the bins, not exact

  // Maps statistics and histogram range (see StatisticData::Scale).
  void Scale(double x0, double x1, double y0, double y1);

  // The range first grows (unless fixed) to take the other's, then bins and
  // statistics are added or subtracted, and finally minimum and maximum are
  // trimmed to the occupied bins.
  HistogramBuilder& operator+=(const HistogramBuilder& other);
  HistogramBuilder& operator-=(const HistogramBuilder& other);
  HistogramBuilder& operator*=(long long n);
  // Compares the histograms only.
  bool operator==(const HistogramBuilder& other) const { return histo_ == other.histo_; }
  bool operator!=(const HistogramBuilder& other) const { return !(*this == other); }

 private:
  // The brick routines bin into local counts and settle here once per brick.
  friend struct BrickSamplesAccess;

  void Combine(const HistogramBuilder& other, bool add);
  void clear();

  StatisticData stats_;
  HistogramData histo_;
};

// Statistics of samples as they arrive, one at a time.
using StatisticBuilder = StatisticData;

}  // namespace Qra::Ostrel::Tyq::Private
