#pragma once

// The inner loop of brick statistics and binning, compiled for the baseline
// instruction set and for AVX2 and AVX-512, and picked once per process by
// what the processor offers. Every variant gives the same bits: four partial
// sums, squares and extremes per lane in the same order (lane l takes the
// samples at positions l, l + 4, l + 8, ...), multiplications and additions
// never fused, and bin numbers as Binning::BinPlusOne gives them.
#include <cstdint>
#include <limits>

namespace Qra::Ostrel::Tyq::Private::HistogramKernels {

constexpr double kPosInf = std::numeric_limits<double>::infinity();

// Four independent partial sums and extremes, so that additions overlap.
struct Lanes {
  double sum[4] = {0, 0, 0, 0};
  double ssq[4] = {0, 0, 0, 0};
  double lo[4] = {kPosInf, kPosInf, kPosInf, kPosInf};
  double hi[4] = {-kPosInf, -kPosInf, -kPosInf, -kPosInf};
};

// The binning constants of one histogram range.
struct BinMap {
  double factor = 0.0;
  double offset = -1.0;
  double size = 2.0;
};

// Samples p[0, m), m a multiple of 4: with kStats into `lanes`, with kBins
// their bin numbers plus one (Binning::BinPlusOne) into idx[0, m).
template <typename T, bool kStats, bool kBins>
using ManyFn = void (*)(const T* p, int m, int* idx, Lanes& lanes, const BinMap& map);

enum class Level { Baseline = 0, Avx2 = 1, Avx512 = 2 };

// The best level this processor (and this build) runs.
Level Supported();
// The level in use: Supported() unless lowered by UseLevel.
Level Active();
// Lowers (or restores) the level in use, never above Supported(); for tests
// and benchmarks that compare the variants. Not for use while other threads
// bin samples.
void UseLevel(Level level);

template <typename T, bool kStats, bool kBins>
ManyFn<T, kStats, kBins> Many();

}  // namespace Qra::Ostrel::Tyq::Private::HistogramKernels
