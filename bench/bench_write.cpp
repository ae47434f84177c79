// Writing a 512 x 512 x 256 float volume brick by brick into the page cache
// through the accessor, then building the whole level-of-detail pyramid and
// flushing. Reported per phase, with a ratio of the whole against plain
// pwrite of the same level-0 bytes measured in the same run.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bricked/accessor.h"
#include "ratio_reporter.h"
#include "stats/brick_histogram.h"
#include "tyq/tyq.h"

namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
using Qra::Ostrel::Tyq::Private::HistogramBuilder;

constexpr int kBrick = 64;
constexpr int kCount[3] = {8, 8, 4};
constexpr size_t kBrickSamples = size_t{kBrick} * kBrick * kBrick;
constexpr int64_t kLevel0Bytes = int64_t{kCount[0]} * kCount[1] * kCount[2] * kBrickSamples * 4;

std::string g_dir;

// Bricks with some structure, so that none is constant and the histogram
// range has to grow a few times.
std::vector<float> makeBrick(int n) {
  std::vector<float> brick(kBrickSamples);
  for (size_t s = 0; s < kBrickSamples; ++s) {
    brick[s] = static_cast<float>((s * 2654435761u + static_cast<size_t>(n) * 97) % 10007) * 0.01f *
               static_cast<float>(1 + n % 5);
  }
  return brick;
}

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void BM_Pipeline(benchmark::State& state) {
  const std::vector<float> bricks[2] = {makeBrick(1), makeBrick(2)};
  double level0 = 0, pyramid = 0, flush = 0;
  for (auto _ : state) {
    const std::string name = g_dir + "/write.vbs";
    FA::DataInfo info;
    info.SetExtent(0, 1, kCount[0] * kBrick, 0, 1, kCount[1] * kBrick, 0, 4, kCount[2] * kBrick,
                   false);
    FA::TyqOptions options;
    options.noAutoFlush = true;  // the pyramid is built once, at the end
    FA::AutoRef<FA::Writer> writer;
    auto start = std::chrono::steady_clock::now();
    if (FA::Tyq::CreateTyqWriter(writer, name, info, FA::DataTypeEnum::Float32, options, nullptr, 0,
                                 0) != 0) {
      state.SkipWithError("create failed");
      return;
    }
    int n = 0;
    for (int i = 0; i < kCount[0]; ++i) {
      for (int j = 0; j < kCount[1]; ++j) {
        for (int k = 0; k < kCount[2]; ++k, ++n) {
          const float* one[1] = {bricks[n % 2].data()};
          writer->WriteDataBrick(0, i, j, k, 1, 1, 1, one, nullptr);
        }
      }
    }
    level0 += seconds(start);
    start = std::chrono::steady_clock::now();
    writer->Flush(false, true, nullptr);
    pyramid += seconds(start);
    start = std::chrono::steady_clock::now();
    writer->Finalize(false, false, nullptr);
    flush += seconds(start);
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["level0_s"] = level0 / runs;
  state.counters["pyramid_s"] = pyramid / runs;
  state.counters["flush_s"] = flush / runs;
  state.counters["pyramid_vs_level0"] = pyramid / level0;
  state.SetBytesProcessed(state.iterations() * kLevel0Bytes);
}

// The histogram share of the level-0 write: the same bricks added to a
// growing histogram, nothing else.
void BM_Histogram(benchmark::State& state) {
  const std::vector<float> bricks[2] = {makeBrick(1), makeBrick(2)};
  const int size[3] = {kBrick, kBrick, kBrick}, strides[3] = {kBrick * kBrick, kBrick, 1};
  for (auto _ : state) {
    HistogramBuilder builder(256);
    for (int n = 0; n < kCount[0] * kCount[1] * kCount[2]; ++n) {
      Qra::Ostrel::Tyq::Private::AddBrickSamples(6, &builder, bricks[n % 2].data(), size, strides,
                                                 nullptr, nullptr, true, nullptr);
    }
    benchmark::DoNotOptimize(builder);
  }
  state.SetBytesProcessed(state.iterations() * kLevel0Bytes);
}

void BM_Pwrite(benchmark::State& state) {
  const std::vector<float> brick = makeBrick(1);
  for (auto _ : state) {
    const std::string name = g_dir + "/plain.bin";
    const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    for (int64_t at = 0; at < kLevel0Bytes; at += static_cast<int64_t>(brick.size() * 4)) {
      if (::pwrite(fd, brick.data(), brick.size() * 4, at) < 0) state.SkipWithError("pwrite");
    }
    ::close(fd);
  }
  state.SetBytesProcessed(state.iterations() * kLevel0Bytes);
}

BENCHMARK(BM_Pwrite)->Name("pwrite")->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pipeline)
    ->Name("pipeline")
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Histogram)
    ->Name("histogram")
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  g_dir = tyq_bench::MakeTempDir();
  if (g_dir.empty()) return 1;
  tyq_bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printRatio("whole write (level 0 + pyramid + flush)", "pipeline", "pwrite");
  reporter.printRatio("histogram alone", "histogram", "pwrite");
  std::error_code ignored;
  std::filesystem::remove_all(g_dir, ignored);
  benchmark::Shutdown();
  return 0;
}
