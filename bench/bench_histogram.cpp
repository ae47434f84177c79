// Adding one 64^3 brick to a 256-bin histogram builder, the work the write
// path does for every brick it stores at full resolution, against a plain
// double sum and a memcpy over the same brick. Figures in M samples/s.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "ratio_reporter.h"
#include "stats/brick_histogram.h"

namespace {

using Qra::Ostrel::Tyq::Private::AddBrickSamples;
using Qra::Ostrel::Tyq::Private::BrickSamples;
using Qra::Ostrel::Tyq::Private::HistogramBuilder;

constexpr int kN = 64;
constexpr int64_t kSamples = int64_t{kN} * kN * kN;
const int kSize[3] = {kN, kN, kN};
const int kStrides[3] = {kN * kN, kN, 1};
const int kFlagStrides[2] = {kN, 1};

// Deterministic values spread over the whole range, so that bins vary.
template <typename T>
std::vector<T> Brick(double lo, double hi) {
  std::vector<T> data(kSamples);
  uint32_t x = 12345;
  for (T& v : data) {
    x = x * 1664525u + 1013904223u;
    v = static_cast<T>(lo + (hi - lo) * (x >> 8) / double(1 << 24));
  }
  return data;
}

// Every seventh trace dead.
std::vector<unsigned char> Flags() {
  std::vector<unsigned char> flags(kN * kN);
  for (std::size_t t = 0; t < flags.size(); ++t) flags[t] = t % 7 != 3;
  return flags;
}

void Report(benchmark::State& state, int64_t samplesPerIteration) {
  state.counters["Msamples/s"] =
      benchmark::Counter(static_cast<double>(samplesPerIteration) * state.iterations() / 1e6,
                         benchmark::Counter::kIsRate);
}

void BM_Sum(benchmark::State& state) {
  const std::vector<float> data = Brick<float>(-1000, 1000);
  for (auto _ : state) {
    double sum = 0;
    for (const float v : data) sum += v;
    benchmark::DoNotOptimize(sum);
  }
  Report(state, kSamples);
}

void BM_Memcpy(benchmark::State& state) {
  const std::vector<float> data = Brick<float>(-1000, 1000);
  std::vector<float> copy(kSamples);
  for (auto _ : state) {
    std::memcpy(copy.data(), data.data(), kSamples * sizeof(float));
    benchmark::ClobberMemory();
  }
  Report(state, kSamples);
}

// The builder's range already covers the data, as for every brick after the
// first few of a float file and always for integer files.
template <typename T>
void BM_Add(benchmark::State& state, double lo, double hi, bool flags) {
  const std::vector<T> data = Brick<T>(lo, hi);
  const std::vector<unsigned char> flagPlane = Flags();
  const BrickSamples<T> brick{data.data(), kSize, kStrides, flags ? flagPlane.data() : nullptr,
                              kFlagStrides};
  HistogramBuilder builder(256, lo, hi, false);
  for (auto _ : state) {
    if (!AddBrickSamples(builder, brick, true)) state.SkipWithError("add failed");
  }
  benchmark::DoNotOptimize(builder.getstats().getcnt());
  Report(state, builder.getstats().getcnt() / std::max<int64_t>(1, state.iterations()));
}

// A growing range that each brick must widen: two passes over the samples.
void BM_AddWiden(benchmark::State& state) {
  const std::vector<float> data = Brick<float>(-1000, 1000);
  const BrickSamples<float> brick{data.data(), kSize, kStrides, nullptr, nullptr};
  for (auto _ : state) {
    HistogramBuilder builder(256, -1.0, 1.0, false);
    AddBrickSamples(builder, brick, true);
    benchmark::DoNotOptimize(builder.getstats().getcnt());
  }
  Report(state, kSamples);
}

void BM_Float(benchmark::State& state) {
  BM_Add<float>(state, -1000.0, 1000.0, false);
}
void BM_FloatFlags(benchmark::State& state) {
  BM_Add<float>(state, -1000.0, 1000.0, true);
}
void BM_Int16(benchmark::State& state) {
  BM_Add<short>(state, -32768.0, 32767.0, false);
}

BENCHMARK(BM_Sum)->Name("float/sum")->MinTime(0.3);
BENCHMARK(BM_Memcpy)->Name("float/memcpy")->MinTime(0.3);
BENCHMARK(BM_Float)->Name("float/histogram")->MinTime(0.3);
BENCHMARK(BM_FloatFlags)->Name("float/histogram_flags")->MinTime(0.3);
BENCHMARK(BM_AddWiden)->Name("float/histogram_widen")->MinTime(0.3);
BENCHMARK(BM_Int16)->Name("int16/histogram")->MinTime(0.3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  tyq_bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printRatio("float histogram", "float/histogram", "float/sum");
  reporter.printRatio("float histogram, flags", "float/histogram_flags", "float/sum");
  reporter.printRatio("float histogram, widen", "float/histogram_widen", "float/sum");
  reporter.printRatio("int16 histogram", "int16/histogram", "float/sum");
  reporter.printRatio("float histogram vs memcpy", "float/histogram", "float/memcpy");
  benchmark::Shutdown();
  return 0;
}
