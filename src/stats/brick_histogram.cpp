#include "stats/brick_histogram.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <type_traits>
#include <vector>

#include "stats/binning.h"
#include "stats/histogram_kernels.h"
#include "tyq/brick_geometry.h"

namespace Qra::Ostrel::Tyq::Private {

// The brick loops count into local bins and settle into the builder once.
struct BrickSamplesAccess {
  static HistogramData& Histo(HistogramBuilder& b) { return b.histo_; }
  static StatisticData& Stats(HistogramBuilder& b) { return b.stats_; }
  static long long* Bins(HistogramBuilder& b) { return b.histo_.bins_.data(); }
};

namespace {

constexpr int kChunk = 512;  // samples binned between two scatter loops
constexpr int kCopies = 4;   // local bin copies, so repeated bins do not wait on each other
using HistogramKernels::BinMap;
using HistogramKernels::kPosInf;
using HistogramKernels::Lanes;

// Statistics as they run, with the extremes starting out of reach so that
// merging needs no test for "first sample".
struct RunningStats {
  long long cnt = 0;
  long long inf = 0;
  double sum = 0.0;
  double ssq = 0.0;
  double min = kPosInf;
  double max = -kPosInf;

  void AddFinite(double v) {
    ++cnt;
    sum += v;
    ssq += v * v;
    min = std::min(min, v);
    max = std::max(max, v);
  }
  StatisticData Result() const {
    return cnt > 0 ? StatisticData(cnt, inf, sum, ssq, min, max)
                   : StatisticData(0, inf, 0.0, 0.0, 0.0, 0.0);
  }
};

// kCopies arrays of size + 2 counts: bin b of copy c at c * stride + b + 1,
// with the two ends catching what falls below and above the range.
class LocalBins {
 public:
  explicit LocalBins(int size) : size_(size), counts_(std::size_t(kCopies) * (size + 2), 0) {}

  long long* Copy(int c) { return counts_.data() + std::size_t(c) * (size_ + 2); }
  void Reset() { std::fill(counts_.begin(), counts_.end(), 0); }

  void SettleInto(long long* bins, bool add) {
    for (int b = 0; b < size_; ++b) {
      long long n = 0;
      for (int c = 0; c < kCopies; ++c) n += Copy(c)[b + 1];
      bins[b] += add ? n : -n;
    }
  }

 private:
  int size_;
  std::vector<long long> counts_;
};

template <bool kStats, bool kBins>
void OneSample(double v, int* idx, Lanes& lanes, int l, const BinMap& map) {
  if constexpr (kStats) {
    lanes.sum[l] += v;
    lanes.ssq[l] += v * v;
    lanes.lo[l] = std::min(lanes.lo[l], v);
    lanes.hi[l] = std::max(lanes.hi[l], v);
  }
  if constexpr (kBins) *idx = Binning::BinPlusOne(v, map.factor, map.offset, map.size);
}

// The per-sample work for one contiguous run: statistics (kStats) and bin
// numbers (kBins), a chunk at a time: widen to double, compute, then count
// the bin numbers into the local bins.
template <typename T, bool kStats, bool kBins>
class Kernel {
 public:
  Kernel(LocalBins* bins, const HistogramData* histo, RunningStats* stats)
      : bins_(bins), stats_(stats), many_(HistogramKernels::Many<T, kStats, kBins>()) {
    if (histo) {
      histo->CalculateConversionFactors(&map_.offset, &map_.factor);
      map_.size = histo->GetSize();
    }
  }

  void Run(const T* p, int64_t n) {
    while (n > 0) {
      const int m = static_cast<int>(std::min<int64_t>(n, kChunk));
      Chunk(p, m);
      p += m;
      n -= m;
    }
  }

 private:
  void Chunk(const T* p, int m) {
    int idx[kChunk];
    Lanes lanes;
    const int whole = m & ~3;
    many_(p, whole, idx, lanes, map_);
    for (int i = whole; i < m; ++i) {
      OneSample<kStats, kBins>(static_cast<double>(p[i]), idx + i, lanes, 0, map_);
    }
    if constexpr (kStats) MergeChunk(p, m, lanes);
    if constexpr (kBins) Scatter(idx, m);
  }

  // Finite floats cannot overflow a chunk's double sums, so a sum that is
  // not finite means the chunk holds NaN or infinity; only then is it
  // counted again sample by sample. (Bin numbers are right either way.)
  void MergeChunk(const T* p, int m, const Lanes& lanes) {
    const double s = (lanes.sum[0] + lanes.sum[1]) + (lanes.sum[2] + lanes.sum[3]);
    const double q = (lanes.ssq[0] + lanes.ssq[1]) + (lanes.ssq[2] + lanes.ssq[3]);
    if constexpr (std::is_floating_point_v<T>) {
      if (!std::isfinite(s) || !std::isfinite(q)) {
        for (int i = 0; i < m; ++i) {
          if (std::isfinite(p[i])) {
            stats_->AddFinite(p[i]);
          } else {
            ++stats_->inf;
          }
        }
        return;
      }
    }
    const double* lo = lanes.lo;
    const double* hi = lanes.hi;
    stats_->cnt += m;
    stats_->sum += s;
    stats_->ssq += q;
    stats_->min = std::min({stats_->min, lo[0], lo[1], lo[2], lo[3]});
    stats_->max = std::max({stats_->max, hi[0], hi[1], hi[2], hi[3]});
  }

  void Scatter(const int* idx, int m) {
    long long* c0 = bins_->Copy(0);
    long long* c1 = bins_->Copy(1);
    long long* c2 = bins_->Copy(2);
    long long* c3 = bins_->Copy(3);
    int i = 0;
    for (; i + 4 <= m; i += 4) {
      ++c0[idx[i]];
      ++c1[idx[i + 1]];
      ++c2[idx[i + 2]];
      ++c3[idx[i + 3]];
    }
    for (; i < m; ++i) ++c0[idx[i]];
  }

  LocalBins* bins_;
  RunningStats* stats_;
  HistogramKernels::ManyFn<T, kStats, kBins> many_;
  BinMap map_;
};

// Calls run(p, n) for contiguous runs of live samples: the whole valid part
// at once when it is one dense block without flags, else one trace (k run)
// at a time, joining traces that follow each other in memory. Traces are
// found with a BrickSpec one sample deep, so dead ones are skipped by the
// iterator. A trace whose samples are not adjacent is gathered first.
template <typename T, typename Run>
bool ForEachRun(const BrickSamples<T>& brick, Run&& run) {
  const int* n = brick.validSize;
  const int* s = brick.strides;
  if (brick.flags && !brick.flagStrides) return false;
  if (!brick.samples || n[0] <= 0 || n[1] <= 0 || n[2] <= 0) return true;
  if (!brick.flags && s[2] == 1 && s[1] == n[2] && int64_t{s[0]} == int64_t{n[1]} * n[2]) {
    run(brick.samples, int64_t{n[0]} * n[1] * n[2]);
    return true;
  }
  const int traces[3] = {n[0], n[1], 1};
  BrickSpec<const T> layout;
  layout.data = brick.samples;
  layout.size = traces;
  layout.alpha = brick.flags;
  if (!layout.SetSteps(s, brick.flags ? brick.flagStrides : nullptr)) return false;
  const T* start = nullptr;
  int64_t count = 0;
  T gathered[kChunk];
  for (auto it = layout.begin(); it != layout.end(); ++it) {
    const T* trace = &*it;
    if (s[2] != 1) {
      for (int k0 = 0; k0 < n[2]; k0 += kChunk) {
        const int m = std::min(kChunk, n[2] - k0);
        for (int k = 0; k < m; ++k) gathered[k] = trace[std::ptrdiff_t(k0 + k) * s[2]];
        run(gathered, m);
      }
    } else if (start && trace == start + count) {
      count += n[2];
    } else {
      if (start) run(start, count);
      start = trace;
      count = n[2];
    }
  }
  if (start) run(start, count);
  return true;
}

template <typename T, bool kStats, bool kBins>
bool Pass(const BrickSamples<T>& brick, LocalBins* bins, const HistogramData* histo,
          RunningStats* stats) {
  Kernel<T, kStats, kBins> kernel(bins, histo, stats);
  return ForEachRun(brick, [&kernel](const T* p, int64_t n) { kernel.Run(p, n); });
}

}  // namespace

template <typename T>
bool AddBrickSamples(HistogramBuilder& builder, const BrickSamples<T>& brick, bool add,
                     StatisticData* brickStats) {
  HistogramData& histo = BrickSamplesAccess::Histo(builder);
  LocalBins bins(histo.GetSize());
  RunningStats running;
  if (!Pass<T, true, true>(brick, &bins, &histo, &running)) return false;
  const StatisticData local = running.Result();
  if (add && histo.WidenRangeIsNeeded(local.getcnt(), local.getmin(), local.getmax())) {
    histo.WidenRange(local.getmin(), local.getmax());
    bins.Reset();
    Pass<T, false, true>(brick, &bins, &histo, nullptr);
  }
  bins.SettleInto(BrickSamplesAccess::Bins(builder), add);
  StatisticData& stats = BrickSamplesAccess::Stats(builder);
  if (add) {
    stats += local;
  } else {
    stats -= local;
  }
  stats.TrimRange(histo.GetBins(), histo.GetSize(), histo.getmin(), histo.getmax());
  if (brickStats) *brickStats = local;
  return true;
}

template <typename T>
bool BrickStatistics(const BrickSamples<T>& brick, StatisticData* brickStats) {
  RunningStats running;
  if (!Pass<T, true, false>(brick, nullptr, nullptr, &running)) return false;
  if (brickStats) *brickStats = running.Result();
  return true;
}

namespace {

template <typename T>
bool AddTyped(HistogramBuilder* builder, const void* samples, const int validSize[3],
              const int strides[3], const unsigned char* flags, const int flagStrides[2], bool add,
              StatisticData* brickStats) {
  const BrickSamples<T> brick{static_cast<const T*>(samples), validSize, strides, flags,
                              flagStrides};
  return builder ? AddBrickSamples(*builder, brick, add, brickStats)
                 : BrickStatistics(brick, brickStats);
}

// Units in the last place between two floats of one sign.
int64_t UlpDistance(float a, float b) {
  return std::llabs(int64_t{std::bit_cast<int32_t>(a)} - std::bit_cast<int32_t>(b));
}

}  // namespace

bool AddBrickSamples(int sampleType, HistogramBuilder* builder, const void* samples,
                     const int validSize[3], const int strides[3], const unsigned char* flags,
                     const int flagStrides[2], bool add, StatisticData* brickStats) {
  using Fn = bool (*)(HistogramBuilder*, const void*, const int*, const int*, const unsigned char*,
                      const int*, bool, StatisticData*);
  static constexpr Fn kByType[7] = {
      AddTyped<signed char>, AddTyped<unsigned char>, AddTyped<short>, AddTyped<unsigned short>,
      AddTyped<int>,         AddTyped<unsigned int>,  AddTyped<float>,
  };
  if (sampleType < 0 || sampleType >= 7) return false;
  return kByType[sampleType](builder, samples, validSize, strides, flags, flagStrides, add,
                             brickStats);
}

bool IsConstantBrick(int sampleType, const StatisticData& brickStats) {
  if (brickStats.getinf() != 0 || brickStats.getcnt() <= 0) return false;
  const double lo = brickStats.getmin();
  const double hi = brickStats.getmax();
  if (sampleType != 6) return std::fabs(hi - lo) < 0.1;
  const float a = static_cast<float>(lo);
  const float b = static_cast<float>(hi);
  if (a == b) return true;
  if (std::signbit(a) != std::signbit(b)) return false;
  return UlpDistance(a, b) <= 10;
}

template bool AddBrickSamples(HistogramBuilder&, const BrickSamples<signed char>&, bool,
                              StatisticData*);
template bool AddBrickSamples(HistogramBuilder&, const BrickSamples<unsigned char>&, bool,
                              StatisticData*);
template bool AddBrickSamples(HistogramBuilder&, const BrickSamples<short>&, bool, StatisticData*);
template bool AddBrickSamples(HistogramBuilder&, const BrickSamples<unsigned short>&, bool,
                              StatisticData*);
template bool AddBrickSamples(HistogramBuilder&, const BrickSamples<int>&, bool, StatisticData*);
template bool AddBrickSamples(HistogramBuilder&, const BrickSamples<unsigned int>&, bool,
                              StatisticData*);
template bool AddBrickSamples(HistogramBuilder&, const BrickSamples<float>&, bool, StatisticData*);
template bool BrickStatistics(const BrickSamples<signed char>&, StatisticData*);
template bool BrickStatistics(const BrickSamples<unsigned char>&, StatisticData*);
template bool BrickStatistics(const BrickSamples<short>&, StatisticData*);
template bool BrickStatistics(const BrickSamples<unsigned short>&, StatisticData*);
template bool BrickStatistics(const BrickSamples<int>&, StatisticData*);
template bool BrickStatistics(const BrickSamples<unsigned int>&, StatisticData*);
template bool BrickStatistics(const BrickSamples<float>&, StatisticData*);

}  // namespace Qra::Ostrel::Tyq::Private
