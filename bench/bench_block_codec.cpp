// Block codec throughput on seismic-like float bricks: compression at a few
// SQNR targets, decompression at each resolution, against a memcpy of the
// same brick. MB/s count the float samples of the brick (1 MiB).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "../tests/support/seismic_brick.h"
#include "compressed/wavelet.h"
#include "ratio_reporter.h"
#include "tyq/compressor3d.h"

namespace P = Qra::Ostrel::Tyq::Private;

namespace {

constexpr int kSamples = 64 * 64 * 64;
constexpr int kBricks = 4;
constexpr int64_t kBrickBytes = kSamples * sizeof(float);

const std::vector<std::vector<float>>& bricks() {
  static const std::vector<std::vector<float>> b = [] {
    std::vector<std::vector<float>> v;
    for (int i = 0; i < kBricks; ++i) v.push_back(tyq_test::seismicBrick(100 + i));
    return v;
  }();
  return b;
}

void Memcpy(benchmark::State& state) {
  std::vector<float> out(kSamples);
  int i = 0;
  for (auto _ : state) {
    std::memcpy(out.data(), bricks()[i++ % kBricks].data(), kBrickBytes);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * kBrickBytes);
}
BENCHMARK(Memcpy)->Name("memcpy/1MiB");

void Encode(benchmark::State& state) {
  const float target = static_cast<float>(state.range(0));
  P::Compressor3d c;
  P::CompressedBlock3d block;
  std::vector<float> work(kSamples);
  int64_t stored = 0;
  int i = 0;
  for (auto _ : state) {
    state.PauseTiming();
    work = bricks()[i++ % kBricks];
    state.ResumeTiming();
    c.PrepareCompress(&block, P::CompDataFloat, work.data(), nullptr, target, true, false);
    if (!c.Execute()) state.SkipWithError("compression failed");
    stored += block.SimulateWriteRead();
  }
  state.SetBytesProcessed(state.iterations() * kBrickBytes);
  state.counters["ratio"] = static_cast<double>(state.iterations() * kBrickBytes) / stored;
}
BENCHMARK(Encode)->Name("encode/sqnr")->Arg(20)->Arg(30)->Arg(40)->Unit(benchmark::kMillisecond);

void Decode(benchmark::State& state) {
  const auto level = static_cast<P::DECOMPLEVEL>(state.range(0));
  P::Compressor3d c;
  std::vector<P::CompressedBlock3d> coded(kBricks);
  for (int i = 0; i < kBricks; ++i) {
    std::vector<float> work = bricks()[i];
    c.PrepareCompress(&coded[i], P::CompDataFloat, work.data(), nullptr, 30.0f, true, false);
    c.Execute();
    coded[i].SimulateWriteRead();
  }
  std::vector<float> out(kSamples);
  int i = 0;
  for (auto _ : state) {
    c.PrepareDecompress(&coded[i++ % kBricks], P::CompDataFloat, out.data(), nullptr,
                        P::DecompSubbandsAll, level, false);
    if (!c.Execute()) state.SkipWithError("decompression failed");
    benchmark::DoNotOptimize(out.data());
  }
  // Counted against the full brick whatever the resolution.
  state.SetBytesProcessed(state.iterations() * kBrickBytes);
}
BENCHMARK(Decode)
    ->Name("decode/sqnr30/level")
    ->Arg(2)
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond);

// The wavelet alone: the SQNR control runs one inverse per estimate.
void Transform(benchmark::State& state) {
  const bool inverse = state.range(0) != 0;
  std::vector<int32_t> coef(kSamples), tmp(kSamples);
  for (int i = 0; i < kSamples; ++i) coef[i] = static_cast<int32_t>(bricks()[0][i] * 100);
  for (auto _ : state) {
    if (inverse)
      P::Block::inverseTransform(coef.data(), tmp.data(), P::Block::Resolution::Full);
    else
      P::Block::forwardTransform(coef.data(), tmp.data());
    benchmark::DoNotOptimize(coef.data());
  }
  state.SetBytesProcessed(state.iterations() * kBrickBytes);
}
BENCHMARK(Transform)->Name("transform/inverse")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  tyq_bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printRatio("encode sqnr 30", "encode/sqnr/30", "memcpy/1MiB");
  reporter.printRatio("decode full", "decode/sqnr30/level/2", "memcpy/1MiB");
  reporter.printRatio("decode half", "decode/sqnr30/level/1", "memcpy/1MiB");
  reporter.printRatio("decode quarter", "decode/sqnr30/level/0", "memcpy/1MiB");
  return 0;
}
