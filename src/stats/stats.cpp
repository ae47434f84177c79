#include "tyq/stats.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

#include "stats/binning.h"

namespace Qra::Ostrel::Tyq::Private {

namespace {

// Factor and offset of the map taking x0 to y0 and x1 to y1; false when
// there is no such finite map (x0 == x1, or anything not finite).
bool MapBetween(double x0, double x1, double y0, double y1, double* factor, double* offset) {
  const double f = (y1 - y0) / (x1 - x0);
  const double o = y0 - f * x0;
  if (!std::isfinite(f) || !std::isfinite(o)) return false;
  *factor = f;
  *offset = o;
  return true;
}

// Spacing of bin centres; 0 for a single bin.
double BinStep(int size, double lo, double hi) {
  return size > 1 ? (hi - lo) / (size - 1) : 0.0;
}

}  // namespace

// --- StatisticData ---------------------------------------------------------

StatisticData::StatisticData(long long cnt, long long inf, double sum, double ssq, double min,
                             double max)
    : cnt_(cnt), inf_(inf), sum_(sum), ssq_(ssq), min_(min), max_(max) {}

StatisticData::StatisticData(const long long* bins, int size, double min, double max, bool exact) {
  if (!bins || size < 1) return;
  const double step = BinStep(size, min, max);
  int first = -1;
  int last = -1;
  for (int b = 0; b < size; ++b) {
    const long long n = bins[b];
    if (n == 0) continue;
    const double v = min + b * step;
    cnt_ += n;
    sum_ += static_cast<double>(n) * v;
    ssq_ += static_cast<double>(n) * v * v;
    if (first < 0) first = b;
    last = b;
  }
  if (first < 0) return;
  const double half = exact ? 0.0 : step / 2;
  min_ = min + first * step - half;
  max_ = min + last * step + half;
}

void StatisticData::add(double v) {
  if (!std::isfinite(v)) {
    ++inf_;
    return;
  }
  if (cnt_ == 0) {
    min_ = max_ = v;
  } else {
    min_ = std::min(min_, v);
    max_ = std::max(max_, v);
  }
  ++cnt_;
  sum_ += v;
  ssq_ += v * v;
}

void StatisticData::Scale(double x0, double x1, double y0, double y1) {
  double f = 0;
  double o = 0;
  if (!MapBetween(x0, x1, y0, y1, &f, &o)) return;
  const double n = static_cast<double>(cnt_);
  const double sumOld = sum_;
  sum_ = f * sumOld + o * n;
  ssq_ = 2 * o * f * sumOld + o * o * n + f * f * ssq_;
  min_ = f * min_ + o;
  max_ = f * max_ + o;
  if (f < 0) std::swap(min_, max_);
}

void StatisticData::TrimRange(const long long* bins, int size, double lo, double hi) {
  if (cnt_ <= 0 || !bins || size < 2) return;
  int first = 0;
  while (first < size && bins[first] == 0) ++first;
  if (first == size) return;
  int last = size - 1;
  while (bins[last] == 0) --last;
  const double w = BinStep(size, lo, hi);
  const double lower = lo + first * w - w / 2;
  const double upper = lo + last * w + w / 2;
  if (min_ < lower) min_ = lower;
  if (max_ > upper) max_ = upper;
}

StatisticData& StatisticData::operator*=(long long n) {
  cnt_ *= n;
  inf_ *= n;
  sum_ *= static_cast<double>(n);
  ssq_ *= static_cast<double>(n);
  return *this;
}

void StatisticData::MergeRange(const StatisticData& other) {
  if (cnt_ == 0) {
    min_ = other.min_;
    max_ = other.max_;
  } else {
    min_ = std::min(min_, other.min_);
    max_ = std::max(max_, other.max_);
  }
}

StatisticData& StatisticData::operator+=(const StatisticData& other) {
  if (other.cnt_ > 0) {
    MergeRange(other);
    cnt_ += other.cnt_;
    sum_ += other.sum_;
    ssq_ += other.ssq_;
  }
  inf_ += other.inf_;
  return *this;
}

StatisticData& StatisticData::operator-=(const StatisticData& other) {
  if (other.cnt_ > 0) {
    MergeRange(other);
    cnt_ -= other.cnt_;
    sum_ -= other.sum_;
    ssq_ -= other.ssq_;
  }
  inf_ -= other.inf_;
  return *this;
}

// --- HistogramData ---------------------------------------------------------

HistogramData::HistogramData(int size) : bins_(std::max(size, 2), 0) {}

HistogramData::HistogramData(int size, double min, double max, bool fixed)
    : fixed_(fixed), min_(min), max_(max), bins_(std::max(size, 2), 0) {}

HistogramData::HistogramData(const long long* bins, int size, double min, double max)
    : fixed_(true), min_(min), max_(max), bins_(std::max(size, 2), 0) {
  if (bins) std::copy(bins, bins + std::max(size, 0), bins_.begin());
}

long long HistogramData::getcount() const {
  long long total = 0;
  for (const long long n : bins_) total += n;
  return total;
}

long long HistogramData::get(double v) const {
  if (!std::isfinite(v)) return 0;
  double offset = 0;
  double factor = 0;
  CalculateConversionFactors(&offset, &factor);
  const int b = Binning::BinOf(v, factor, offset, GetSize());
  return b < 0 ? 0 : bins_[b];
}

void HistogramData::clear() {
  std::fill(bins_.begin(), bins_.end(), 0);
}

void HistogramData::CalculateConversionFactors(double* offset, double* factor) const {
  // Written as a negation so that a NaN end counts as an empty range.
  if (!(max_ > min_)) {
    *factor = 0.0;
    *offset = -1.0;
    return;
  }
  *factor = (GetSize() - 1) / (max_ - min_);
  *offset = -min_ * *factor;
}

void HistogramData::getLinearTransform(double* offset, double* factor, double x0, double x1,
                                       double y0, double y1) {
  if (x0 < x1 && y0 < y1) {
    *factor = (y1 - y0) / (x1 - x0);
    *offset = y0 - *factor * x0;
  } else {
    *factor = 1.0;
    *offset = 0.0;
  }
}

void HistogramData::combineTransform(double* offset, double* factor, double offset1, double factor1,
                                     double offset2, double factor2) {
  *offset = offset1 * factor2 + offset2;
  *factor = factor1 * factor2;
}

bool HistogramData::WidenRangeIsNeeded(long long count, double lo, double hi) const {
  return !fixed_ && count != 0 && (max_ <= min_ || lo < min_ || hi > max_);
}

void HistogramData::WidenRange(double lo, double hi) {
  // Doubling could never reach an infinite end.
  if (fixed_ || !(lo <= hi) || !std::isfinite(lo) || !std::isfinite(hi)) return;
  if (min_ >= max_) {
    SetRange(lo, hi, kSmallestWidth);
    return;
  }
  while (lo < min_ || hi > max_) {
    const double before = max_ - min_;
    DoubleRange();
    if (!(max_ - min_ > before)) break;  // overflowed, or the range was not finite
  }
}

void HistogramData::SetRange(double lo, double hi, double minWidth) {
  clear();
  min_ = lo;
  max_ = hi;
  const double width = hi - lo;
  if (minWidth > 0 && width >= 0 && width < minWidth) {
    const double centre = lo + width / 2;
    min_ = centre - minWidth / 2;
    max_ = centre + minWidth / 2;
  }
}

void HistogramData::DoubleRange() {
  const double centre = (min_ + max_) / 2;
  const double width = max_ - min_;
  const double newMin = centre - width;
  const double newMax = centre + width;
  if (!std::isfinite(newMin) || !std::isfinite(newMax)) return;
  // Old bin b lands in the new bin holding its centre, which is
  // (2b + size + 1) / 4 rounded down: pairs merge toward the centre and no
  // count is lost, whatever the size.
  const int64_t size = GetSize();
  std::vector<long long> merged(bins_.size(), 0);
  for (int64_t b = 0; b < size; ++b) merged[(2 * b + size + 1) / 4] += bins_[b];
  bins_.swap(merged);
  min_ = newMin;
  max_ = newMax;
}

void HistogramData::Scale(double x0, double x1, double y0, double y1) {
  double f = 0;
  double o = 0;
  if (!MapBetween(x0, x1, y0, y1, &f, &o)) return;
  min_ = f * min_ + o;
  max_ = f * max_ + o;
  if (f < 0) {
    std::swap(min_, max_);
    std::reverse(bins_.begin(), bins_.end());
  }
}

void HistogramData::AddOne(double v, long long count) {
  if (!std::isfinite(v)) return;
  double offset = 0;
  double factor = 0;
  CalculateConversionFactors(&offset, &factor);
  const int b = Binning::BinOf(v, factor, offset, GetSize());
  if (b >= 0) bins_[b] += count;
}

void HistogramData::AddBins(const long long* bins, int n, double lo, double hi, bool add) {
  if (!bins || n < 1) return;
  const double step = BinStep(n, lo, hi);
  for (int b = 0; b < n; ++b) {
    if (bins[b] != 0) AddOne(lo + b * step, add ? bins[b] : -bins[b]);
  }
}

HistogramData& HistogramData::operator+=(const HistogramData& other) {
  const std::vector<long long> source = other.bins_;  // other may be *this
  AddBins(source.data(), other.GetSize(), other.min_, other.max_, true);
  return *this;
}

HistogramData& HistogramData::operator-=(const HistogramData& other) {
  const std::vector<long long> source = other.bins_;
  AddBins(source.data(), other.GetSize(), other.min_, other.max_, false);
  return *this;
}

HistogramData& HistogramData::operator*=(long long n) {
  for (long long& b : bins_) b *= n;
  return *this;
}

bool HistogramData::Compare(const HistogramData& a, const HistogramData& b) {
  const long long countA = a.getcount();
  const long long countB = b.getcount();
  if (countA == 0 || countB == 0) return countA == countB;
  const double step = BinStep(a.GetSize(), a.min_, a.max_);
  for (int k = 0; k < a.GetSize(); ++k) {
    if (a.bins_[k] != b.get(a.min_ + k * step)) return false;
  }
  return true;
}

bool HistogramData::operator==(const HistogramData& other) const {
  return Compare(*this, other) && Compare(other, *this);
}

// --- HistogramBuilder ------------------------------------------------------

HistogramBuilder::HistogramBuilder(const long long* bins, int size, double min, double max,
                                   long long cnt, double sum, double ssq, double smin, double smax)
    : stats_(cnt, 0, sum, ssq, smin, smax), histo_(bins, size, min, max) {}

StatisticData HistogramBuilder::gethiststats() const {
  return StatisticData(histo_.GetBins(), histo_.GetSize(), histo_.getmin(), histo_.getmax(), false);
}

void HistogramBuilder::Scale(double x0, double x1, double y0, double y1) {
  stats_.Scale(x0, x1, y0, y1);
  histo_.Scale(x0, x1, y0, y1);
}

void HistogramBuilder::Combine(const HistogramBuilder& other, bool add) {
  const HistogramData source = other.histo_;  // other may be *this
  const StatisticData stats = other.stats_;
  // A histogram without counts brings no range: widening for it would only
  // coarsen the bins.
  if (histo_.WidenRangeIsNeeded(source.getcount(), source.min_, source.max_)) {
    histo_.WidenRange(source.min_, source.max_);
  }
  histo_.AddBins(source.GetBins(), source.GetSize(), source.min_, source.max_, add);
  if (add) {
    stats_ += stats;
  } else {
    stats_ -= stats;
  }
  stats_.TrimRange(histo_.GetBins(), histo_.GetSize(), histo_.min_, histo_.max_);
}

HistogramBuilder& HistogramBuilder::operator+=(const HistogramBuilder& other) {
  Combine(other, true);
  return *this;
}

HistogramBuilder& HistogramBuilder::operator-=(const HistogramBuilder& other) {
  Combine(other, false);
  return *this;
}

HistogramBuilder& HistogramBuilder::operator*=(long long n) {
  stats_ *= n;
  histo_ *= n;
  return *this;
}

void HistogramBuilder::clear() {
  stats_ = StatisticData();
  histo_.clear();
}

}  // namespace Qra::Ostrel::Tyq::Private
