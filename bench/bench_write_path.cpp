// The write path of a 512 x 512 x 256 float cube against the disk's own
// speed: pwrite + fsync of the same bytes, measured in the same run. Written
// as one box and made durable (fsync) each time:
// - level 0 with statistics and histogram (no pyramid);
// - with the whole pyramid, built as bricks complete (the default).
// Also the histogram kernel alone, at the best instruction set this
// processor runs and at the baseline, against a memcpy of the same bytes,
// and the two decimations the pyramid uses, wide and scalar.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "lod/lod_wide.h"
#include "ratio_reporter.h"
#include "stats/brick_histogram.h"
#include "stats/histogram_kernels.h"
#include "tyq/lod.h"
#include "tyq/tyq.h"

namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
namespace HK = Qra::Ostrel::Tyq::Private::HistogramKernels;
using Qra::Ostrel::Tyq::Private::HistogramBuilder;

constexpr int kSize[3] = {512, 512, 256};
constexpr size_t kSamples = size_t{kSize[0]} * kSize[1] * kSize[2];
constexpr int64_t kBytes = static_cast<int64_t>(kSamples * sizeof(float));
constexpr size_t kPiece = size_t{16} << 20;  // bytes per pwrite of the baseline

std::string g_dir;

// Band-limited noise along k, so that bricks are neither constant nor
// trivially compressible and the histogram range settles early.
const std::vector<float>& Cube() {
  static const std::vector<float> cube = [] {
    std::vector<float> v(kSamples);
    std::mt19937 rng(7);
    std::normal_distribution<float> noise(0.0f, 1000.0f);
    float last = 0;
    for (float& x : v) x = last = 0.7f * last + noise(rng);
    return v;
  }();
  return cube;
}

void Durable(const std::string& name, benchmark::State& state) {
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || ::fsync(fd) != 0) state.SkipWithError("fsync failed");
  if (fd >= 0) ::close(fd);
}

void BM_PwriteFsync(benchmark::State& state) {
  const auto* bytes = reinterpret_cast<const char*>(Cube().data());
  const std::string name = g_dir + "/plain.bin";
  for (auto _ : state) {
    const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    for (int64_t at = 0; at < kBytes; at += static_cast<int64_t>(kPiece)) {
      if (::pwrite(fd, bytes + at, kPiece, at) != static_cast<ssize_t>(kPiece)) {
        state.SkipWithError("pwrite failed");
      }
    }
    if (::fsync(fd) != 0) state.SkipWithError("fsync failed");
    ::close(fd);
  }
  std::filesystem::remove(name);
  state.SetBytesProcessed(state.iterations() * kBytes);
}

void BM_Write(benchmark::State& state, bool pyramid) {
  const std::vector<float>& cube = Cube();
  const std::string name = g_dir + "/cube.vbs";
  for (auto _ : state) {
    FA::DataInfo info;
    info.SetExtent(0, 1, kSize[0], 0, 1, kSize[1], 0, 4, kSize[2], false);
    FA::TyqOptions options;
    options.noAutoFlush = !pyramid;
    FA::AutoRef<FA::Writer> writer;
    if (FA::Tyq::CreateTyqWriter(writer, name, info, FA::DataTypeEnum::Float32, options, nullptr, 0,
                                 0) != 0 ||
        !writer->WriteData(0, 0, 0, 0, kSize[0], kSize[1], kSize[2], cube.data(), nullptr) ||
        !writer->Finalize(false, pyramid, nullptr)) {
      state.SkipWithError("write failed");
      return;
    }
    writer = FA::AutoRef<FA::Writer>();
    Durable(name, state);
  }
  std::filesystem::remove(name);
  state.SetBytesProcessed(state.iterations() * kBytes);
}

// The statistics and histogram of the cube brick by brick, as the writer
// computes them, at the given instruction-set level.
void BM_Histogram(benchmark::State& state, HK::Level level) {
  if (level > HK::Supported()) {
    state.SkipWithError("not supported by this processor");
    return;
  }
  HK::UseLevel(level);
  const std::vector<float>& cube = Cube();
  const int brick[3] = {64, 64, 64}, strides[3] = {64 * 64, 64, 1};
  const size_t brickSamples = size_t{64} * 64 * 64;
  for (auto _ : state) {
    HistogramBuilder builder(256);
    for (size_t at = 0; at < kSamples; at += brickSamples) {
      Qra::Ostrel::Tyq::Private::AddBrickSamples(6, &builder, cube.data() + at, brick, strides,
                                                 nullptr, nullptr, true, nullptr);
    }
    benchmark::DoNotOptimize(builder);
  }
  HK::UseLevel(HK::Supported());
  state.SetBytesProcessed(state.iterations() * kBytes);
}

// One 64^3 parent brick from eight children cut from the cube, as level 1
// (low-pass) and the levels above (weighted average) are built.
void BM_Decimate(benchmark::State& state, Qra::Ostrel::Tyq::Private::vvArrayBasic::LodAlgorithm alg,
                 bool wide) {
  namespace Lod = Qra::Ostrel::Tyq::Private::Lod;
  if (wide && !Lod::Wide::Enabled()) {
    state.SkipWithError("no wide decimation on this processor");
    return;
  }
  Lod::Wide::Use(wide);
  const size_t brickSamples = size_t{64} * 64 * 64;
  const float* children[8];
  for (int c = 0; c < 8; ++c) children[c] = Cube().data() + c * brickSamples;
  std::vector<float> parent(brickSamples);
  std::vector<long long> bins(256, 1000);
  const int brick[3] = {64, 64, 64}, strides[3] = {64 * 64, 64, 1};
  for (auto _ : state) {
    Qra::Ostrel::Tyq::Private::vvArrayBasic::createLevelOfDetail<float>(
        parent.data(), brick, strides, children, alg, bins.data(), 256, -3000.0, 3000.0);
    benchmark::DoNotOptimize(parent.data());
  }
  Lod::Wide::Use(true);
  state.SetBytesProcessed(state.iterations() * int64_t{8} * 4 * int64_t(brickSamples));
}

void BM_Memcpy(benchmark::State& state) {
  const std::vector<float>& cube = Cube();
  std::vector<float> copy(kSamples);
  for (auto _ : state) {
    std::memcpy(copy.data(), cube.data(), static_cast<size_t>(kBytes));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}

BENCHMARK(BM_PwriteFsync)
    ->Name("pwrite_fsync")
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Write, level0, false)
    ->Name("write_level0_stats")
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Write, pyramid, true)
    ->Name("write_pyramid")
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy)->Name("memcpy")->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decimate, lowpass_wide, Qra::Ostrel::Tyq::Private::vvArrayBasic::LowPass, true)
    ->Name("lowpass_wide")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decimate, lowpass_scalar, Qra::Ostrel::Tyq::Private::vvArrayBasic::LowPass,
                  false)
    ->Name("lowpass_scalar")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decimate, weighted_wide,
                  Qra::Ostrel::Tyq::Private::vvArrayBasic::WeightedAverage, true)
    ->Name("weighted_wide")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decimate, weighted_scalar,
                  Qra::Ostrel::Tyq::Private::vvArrayBasic::WeightedAverage, false)
    ->Name("weighted_scalar")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Histogram, best, HK::Supported())
    ->Name("histogram_best")
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Histogram, avx2, HK::Level::Avx2)
    ->Name("histogram_avx2")
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Histogram, baseline, HK::Level::Baseline)
    ->Name("histogram_baseline")
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  g_dir = tyq_bench::MakeTempDir();
  if (g_dir.empty()) return 1;
  Cube();
  tyq_bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  // Written as baseline / ours, so that above 1 is faster than the baseline.
  std::printf(
      "(ratios below are ours / baseline time; the goals are speeds: level 0 >= 0.8 x,\n"
      " pyramid >= 0.65 x pwrite+fsync, i.e. time ratios <= 1.25 and <= 1.54)\n");
  reporter.printRatio("level 0 + statistics", "write_level0_stats", "pwrite_fsync");
  reporter.printRatio("with the whole pyramid", "write_pyramid", "pwrite_fsync");
  reporter.printRatio("histogram, best level", "histogram_best", "histogram_baseline");
  reporter.printRatio("histogram, AVX2", "histogram_avx2", "histogram_baseline");
  reporter.printRatio("histogram vs memcpy", "histogram_best", "memcpy");
  reporter.printRatio("low-pass, wide", "lowpass_wide", "lowpass_scalar");
  reporter.printRatio("weighted average, wide", "weighted_wide", "weighted_scalar");
  std::error_code ignored;
  std::filesystem::remove_all(g_dir, ignored);
  benchmark::Shutdown();
  return 0;
}
