// Average weighted by the inverse frequency of each value in the file's
// histogram, so that rare values (bright amplitudes) survive decimation
// instead of being drowned by the common ones around them.
#include <algorithm>
#include <cmath>
#include <limits>
#include <type_traits>

#include "lod/lod_kernel.h"
#include "lod/lod_wide.h"

namespace Qra::Ostrel::Tyq::Private::Lod {
namespace {

// Histograms up to this many bins get their weights computed once per brick.
constexpr int kTableBins = 256;

// Bin lookup and weight of a value: T / max(f, 1) with T the histogram total
// (at least 1) and f the count of the value's bin, 0 outside the histogram.
class Weights {
 public:
  Weights(const Histogram& hist, double lo, double hi) {
    bins_ = hist.count > 0 ? hist.bins : nullptr;
    count_ = bins_ ? hist.count : 0;
    double sum = 0;  // in double: no overflow whatever the counts
    for (int b = 0; b < count_; ++b) sum += static_cast<double>(bins_[b]);
    total_ = std::max(sum, 1.0);
    if (std::isfinite(lo) && std::isfinite(hi) && hi > lo && count_ >= 2) {
      factor_ = (count_ - 1) / (hi - lo);
      offset_ = -factor_ * lo;
    }
    tabled_ = count_ <= kTableBins;
    for (int b = 0; tabled_ && b < count_; ++b) table_[b] = binWeight(b);
  }

  Wide::WeightMap Map() const {
    return {tabled_ ? table_ : nullptr, bins_, count_, total_, factor_, offset_};
  }

  double of(double v) const {
    double x = v * factor_ + offset_;
    x = x <= 0 ? x - 0.5 : x + 0.5;  // then truncation: half away from zero
    // Without bins every value is outside; (-1, 0) would round into bin 0.
    if (count_ == 0 || !(x > -1.0 && x < count_)) return total_;
    const int b = static_cast<int>(x);
    return tabled_ ? table_[b] : binWeight(b);
  }

 private:
  double binWeight(int b) const { return total_ / static_cast<double>(std::max(bins_[b], 1LL)); }

  const long long* bins_ = nullptr;
  int count_ = 0;
  double total_ = 1;
  double factor_ = 0;  // an unusable range puts every value into bin 0
  double offset_ = 0;
  bool tabled_ = false;
  double table_[kTableBins];
};

// Rounding in the weighted sums can leave an exact integer mean a few units
// in the last place below it, and truncation would then drop a whole code
// (a constant cube of -127 would come out as -126). Means that close to an
// integer are taken as that integer before truncating.
template <typename T>
T truncMean(double r) {
  const double nearest = std::round(r);
  const double tolerance =
      64 * std::numeric_limits<double>::epsilon() * std::max(1.0, std::fabs(r));
  return truncToCode<T>(std::fabs(r - nearest) <= tolerance ? nearest : r);
}

template <typename T>
T weightedMean(const T (&v)[8], const Weights& weights, double lo, double hi) {
  double numerator = 0;
  double denominator = 0;
  for (T x : v) {
    if (!isFinite(x)) continue;
    const double w = weights.of(x);
    numerator += x * w;
    denominator += w;
  }
  if (denominator == 0) return v[0];
  double r = numerator / denominator;
  if (r < lo) r = lo;
  if (r > hi) r = hi;
  if constexpr (std::is_floating_point_v<T>) {
    return narrowToFloat(r);
  } else {
    return truncMean<T>(r);
  }
}

}  // namespace

template <typename T>
void weightedAverage(T* dst, const Shape& shape, const T* const* src, const Histogram& hist) {
  // Integer samples are codes; their histogram spans the code range, whatever
  // range the caller passes.
  double lo = hist.min;
  double hi = hist.max;
  if constexpr (!std::is_floating_point_v<T>) {
    lo = codeMin<T>();
    hi = codeMax<T>();
  }
  const Weights weights(hist, lo, hi);
  const auto mean = [&](const T(&v)[8]) { return weightedMean(v, weights, lo, hi); };
  if constexpr (std::is_same_v<T, float>) {
    if (shape.stride[2] == 1 && Wide::Enabled()) {
      const Wide::WeightMap map = weights.Map();
      forEachRow(dst, shape, src, [&](float* out, const float* const* rows, int, int) {
        const int done = Wide::WeightedRow(out, rows, shape.half[2], map, lo, hi);
        const float* const rest[4] = {rows[0] + 2 * done, rows[1] + 2 * done, rows[2] + 2 * done,
                                      rows[3] + 2 * done};
        cubeRow(out + done, rest, 1, shape.half[2] - done,
                [&](const float(&v)[8], int) { return mean(v); });
      });
      return;
    }
  }
  decimateCubes(dst, shape, src, mean);
}

#define TYQ_LOD_WEIGHTED(T) \
  template void weightedAverage<T>(T*, const Shape&, const T* const*, const Histogram&);
TYQ_LOD_INSTANTIATE(TYQ_LOD_WEIGHTED)
#undef TYQ_LOD_WEIGHTED

}  // namespace Qra::Ostrel::Tyq::Private::Lod
