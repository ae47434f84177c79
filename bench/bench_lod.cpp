// One 64^3 float level-of-detail brick from eight 64^3 children per
// iteration, for the algorithms the driver uses most, against memcpy of the
// output brick measured in the same run. Rates count input samples (eight
// children, 2 Mi samples per brick).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "ratio_reporter.h"
#include "tyq/lod.h"

namespace {

using Qra::Ostrel::Tyq::Private::vvArrayBasic;
using Alg = vvArrayBasic::LodAlgorithm;

constexpr int kN = 64;
constexpr int64_t kBrick = int64_t{kN} * kN * kN;
constexpr int64_t kInputSamples = 8 * kBrick;
constexpr int kBins = 256;

struct Fixture {
  std::vector<std::vector<float>> children;
  std::vector<float> out;
  std::vector<long long> bins;
  double min = 0;
  double max = 0;
};

// Band-limited traces with noise, like a seismic section, and the histogram
// of all eight children.
Fixture& fixture() {
  static Fixture f = [] {
    Fixture g;
    std::mt19937 rng(12345);
    std::normal_distribution<float> noise(0.0f, 0.1f);
    g.children.assign(8, std::vector<float>(kBrick));
    for (int c = 0; c < 8; ++c) {
      for (int64_t s = 0; s < kBrick; ++s) {
        const double k = static_cast<double>(s % kN);
        const double trace = static_cast<double>(s / kN);
        g.children[c][s] = static_cast<float>(std::sin(0.3 * k + 0.01 * trace + c)) + noise(rng);
      }
    }
    g.out.assign(kBrick, 0.0f);
    g.min = -1.5;
    g.max = 1.5;
    g.bins.assign(kBins, 0);
    const double factor = (kBins - 1) / (g.max - g.min);
    for (const auto& child : g.children) {
      for (float v : child) {
        const long b = std::lround((v - g.min) * factor);
        if (b >= 0 && b < kBins) ++g.bins[b];
      }
    }
    return g;
  }();
  return f;
}

void BM_Memcpy(benchmark::State& state) {
  Fixture& f = fixture();
  for (auto _ : state) {
    std::memcpy(f.out.data(), f.children[0].data(), kBrick * sizeof(float));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kInputSamples);
}

// With cached set all eight children are one brick, which stays in L2: the
// kernel's own cost without the fetch of 8 MiB of children from further out.
void BM_Lod(benchmark::State& state, Alg alg, bool cached) {
  Fixture& f = fixture();
  const int size[3] = {kN, kN, kN};
  const int strides[3] = {kN * kN, kN, 1};
  const float* src[8];
  for (int c = 0; c < 8; ++c) src[c] = f.children[cached ? 0 : c].data();
  for (auto _ : state) {
    vvArrayBasic::createLevelOfDetail<float>(f.out.data(), size, strides, src, alg, f.bins.data(),
                                             kBins, f.min, f.max);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kInputSamples);
}

BENCHMARK(BM_Memcpy)->Name("memcpy/output")->MinTime(0.5)->UseRealTime();
BENCHMARK_CAPTURE(BM_Lod, decimate, Alg::Decimate, false)
    ->Name("lod/Decimate")
    ->MinTime(0.5)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Lod, decimateCached, Alg::Decimate, true)
    ->Name("lod/Decimate-cached")
    ->MinTime(0.5)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Lod, average, Alg::Average, false)
    ->Name("lod/Average")
    ->MinTime(0.5)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Lod, median, Alg::Median, false)
    ->Name("lod/Median")
    ->MinTime(0.5)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Lod, lowpass, Alg::LowPass, false)
    ->Name("lod/LowPass")
    ->MinTime(0.5)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Lod, weighted, Alg::WeightedAverage, false)
    ->Name("lod/WeightedAverage")
    ->MinTime(0.5)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Lod, frequent, Alg::MostFrequent, false)
    ->Name("lod/MostFrequent")
    ->MinTime(0.5)
    ->UseRealTime();

// Also keeps the time per brick, to print input rates in M samples/s.
class LodReporter : public tyq_bench::RatioReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.iterations > 0) seconds_[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
    RatioReporter::ReportRuns(runs);
  }

  void printRate(const std::string& name) const {
    const auto it = seconds_.find(name);
    if (it == seconds_.end() || it->second <= 0) return;
    // GetAdjustedRealTime is in the run's time unit, nanoseconds by default.
    std::printf("rate  %-28s %8.0f M input samples/s\n", name.c_str(),
                static_cast<double>(kInputSamples) / it->second * 1e3);
  }

 private:
  std::map<std::string, double> seconds_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  fixture();
  LodReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const char* names[] = {"lod/Decimate", "lod/Decimate-cached", "lod/Average",     "lod/Median",
                         "lod/LowPass",  "lod/WeightedAverage", "lod/MostFrequent"};
  for (const char* name : names) reporter.printRatio(name + 4, name, "memcpy/output");
  for (const char* name : names) reporter.printRate(name);
  benchmark::Shutdown();
  return 0;
}
