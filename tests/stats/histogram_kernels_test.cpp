// Every instruction-set variant of the histogram kernel gives the bits of the
// baseline: bins, counts, sums, sums of squares and extremes.
#include "stats/histogram_kernels.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "stats/brick_histogram.h"

namespace {

namespace HK = Qra::Ostrel::Tyq::Private::HistogramKernels;
using Qra::Ostrel::Tyq::Private::AddBrickSamples;
using Qra::Ostrel::Tyq::Private::BrickSamples;
using Qra::Ostrel::Tyq::Private::HistogramBuilder;
using Qra::Ostrel::Tyq::Private::StatisticData;

// Restores the best level whatever a test does.
struct LevelGuard {
  ~LevelGuard() { HK::UseLevel(HK::Supported()); }
};

// Everything a pass leaves, as bits, so that -0.0 and 0.0 or two NaNs of
// different payloads cannot hide behind operator==.
struct Outcome {
  std::vector<long long> bins;
  std::vector<uint64_t> figures;
  bool operator==(const Outcome&) const = default;
};

void Put(std::vector<uint64_t>& out, const StatisticData& s) {
  out.push_back(static_cast<uint64_t>(s.getcnt()));
  out.push_back(static_cast<uint64_t>(s.getinf()));
  for (const double d : {s.getsum(), s.getssq(), s.getmin(), s.getmax()}) {
    out.push_back(std::bit_cast<uint64_t>(d));
  }
}

// Adds the brick to a growing and to a fixed builder, takes the statistics
// alone, then subtracts it again.
template <typename T>
Outcome Pass(const BrickSamples<T>& brick, double lo, double hi) {
  Outcome out;
  HistogramBuilder growing(256);
  HistogramBuilder fixed(256, lo, hi, true);
  StatisticData local, alone;
  EXPECT_TRUE(AddBrickSamples(growing, brick, true, &local));
  EXPECT_TRUE(AddBrickSamples(fixed, brick, true));
  EXPECT_TRUE(Qra::Ostrel::Tyq::Private::BrickStatistics(brick, &alone));
  for (const HistogramBuilder* b : {&growing, &fixed}) {
    const auto& h = b->gethisto();
    out.bins.insert(out.bins.end(), h.GetBins(), h.GetBins() + h.GetSize());
    out.figures.push_back(std::bit_cast<uint64_t>(h.getmin()));
    out.figures.push_back(std::bit_cast<uint64_t>(h.getmax()));
    Put(out.figures, b->getstats());
  }
  EXPECT_TRUE(AddBrickSamples(fixed, brick, false));
  Put(out.figures, fixed.getstats());
  Put(out.figures, local);
  Put(out.figures, alone);
  return out;
}

// Random samples over the whole code range, with the range ends themselves
// and (for float) NaN, infinities, signed zeros and values that land on
// half-bin boundaries of the fixed range.
template <typename T>
std::vector<T> Samples(size_t n, uint32_t seed, double lo, double hi) {
  std::mt19937 rng(seed);
  std::vector<T> v(n);
  std::uniform_real_distribution<double> any(lo, hi);
  for (size_t s = 0; s < n; ++s) {
    const uint32_t pick = rng() % 16;
    if constexpr (std::is_floating_point_v<T>) {
      constexpr T kSpecial[] = {std::numeric_limits<T>::quiet_NaN(),
                                std::numeric_limits<T>::infinity(),
                                -std::numeric_limits<T>::infinity(), -0.0f, 0.0f};
      const double step = (hi - lo) / 255;
      if (pick == 0) v[s] = kSpecial[rng() % 5];
      if (pick == 1) v[s] = static_cast<T>(lo + (rng() % 256 + 0.5) * step);
      if (pick > 1) v[s] = static_cast<T>(any(rng));
    } else {
      if (pick == 0) v[s] = std::numeric_limits<T>::lowest();
      if (pick == 1) v[s] = std::numeric_limits<T>::max();
      if (pick > 1) v[s] = static_cast<T>(any(rng));
    }
  }
  return v;
}

template <typename T>
void ExpectEveryLevelGivesTheBaselineBits() {
  LevelGuard guard;
  const double lo =
      std::is_floating_point_v<T> ? -1000.0 : double(std::numeric_limits<T>::lowest());
  const double hi = std::is_floating_point_v<T> ? 1000.0 : double(std::numeric_limits<T>::max());
  // Dense bricks whose lengths leave every kind of remainder, and a flagged
  // brick with odd traces that the kernel sees as short runs.
  const int shapes[][3] = {{64, 64, 64}, {3, 7, 37}, {1, 1, 1031}, {2, 2, 3}};
  uint32_t seed = 1;
  for (const auto& n : shapes) {
    for (const bool flagged : {false, true}) {
      const std::vector<T> data = Samples<T>(size_t(n[0]) * n[1] * n[2], seed++, lo, hi);
      std::vector<unsigned char> flags(static_cast<size_t>(n[0]) * n[1]);
      for (size_t t = 0; t < flags.size(); ++t) flags[t] = t % 5 != 2;
      const int strides[3] = {n[1] * n[2], n[2], 1}, flagStrides[2] = {n[1], 1};
      const BrickSamples<T> brick{data.data(), n, strides, flagged ? flags.data() : nullptr,
                                  flagStrides};
      HK::UseLevel(HK::Level::Baseline);
      const Outcome baseline = Pass(brick, lo, hi);
      for (const HK::Level level : {HK::Level::Avx2, HK::Level::Avx512}) {
        if (level > HK::Supported()) continue;
        HK::UseLevel(level);
        EXPECT_EQ(Pass(brick, lo, hi), baseline)
            << "level " << int(level) << " shape " << n[0] << "x" << n[1] << "x" << n[2]
            << (flagged ? " flagged" : "") << " sample of " << sizeof(T) << " bytes"
            << (std::is_signed_v<T> ? ", signed" : "");
      }
    }
  }
}

TEST(KernelLevelsTest, EveryLevelGivesTheBaselineBitsForEverySampleType) {
  ExpectEveryLevelGivesTheBaselineBits<signed char>();
  ExpectEveryLevelGivesTheBaselineBits<unsigned char>();
  ExpectEveryLevelGivesTheBaselineBits<short>();
  ExpectEveryLevelGivesTheBaselineBits<unsigned short>();
  ExpectEveryLevelGivesTheBaselineBits<int>();
  ExpectEveryLevelGivesTheBaselineBits<unsigned int>();
  ExpectEveryLevelGivesTheBaselineBits<float>();
}

TEST(KernelLevelsTest, LevelsNeverExceedTheProcessor) {
  LevelGuard guard;
  HK::UseLevel(HK::Level::Avx512);
  EXPECT_LE(HK::Active(), HK::Supported());
  HK::UseLevel(HK::Level::Baseline);
  EXPECT_EQ(HK::Active(), HK::Level::Baseline);
}

}  // namespace
