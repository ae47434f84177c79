// Coding and decoding speed of the lossless byte coder on the kinds of
// arrays it is given: bit-plane streams of coded bricks, lookup-table and
// histogram words, flag tiles and skewed bytes. memcpy of the same bytes is
// the baseline.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "ratio_reporter.h"
#include "tyq/byte_coder.h"

namespace {

namespace C = Qra::Ostrel::Tyq::Private::Compression;

constexpr size_t kBytes = 64 * 1024;

// A plane of a bit-plane coder: sparse ones early on, so bytes are mostly
// zero with few bits set.
std::vector<uint8_t> planeStream(std::mt19937& rng) {
  std::bernoulli_distribution one(0.04);
  std::vector<uint8_t> b(kBytes);
  for (auto& v : b) {
    for (int bit = 0; bit < 8; ++bit) v = static_cast<uint8_t>(v | (one(rng) << bit));
  }
  return b;
}

// Lookup-table entries: growing file positions of bricks.
std::vector<uint8_t> tableWords(std::mt19937& rng) {
  std::vector<uint8_t> b(kBytes);
  uint32_t pos = 4096;
  for (size_t i = 0; i < kBytes; i += 4) {
    pos += 20000 + rng() % 40000;
    for (int k = 0; k < 4; ++k) b[i + k] = static_cast<uint8_t>(pos >> (8 * k));
  }
  return b;
}

// A flag tile: live traces with a dead band.
std::vector<uint8_t> flagTile(std::mt19937&) {
  std::vector<uint8_t> b(kBytes, 1);
  std::fill(b.begin() + kBytes / 3, b.begin() + kBytes / 2, 0);
  return b;
}

std::vector<uint8_t> skewedBytes(std::mt19937& rng) {
  std::geometric_distribution<int> g(0.25);
  std::vector<uint8_t> b(kBytes);
  for (auto& v : b) v = static_cast<uint8_t>(std::min(g(rng), 255));
  return b;
}

struct Input {
  const char* name;
  std::vector<uint8_t> (*make)(std::mt19937&);
};
const Input kInputs[] = {
    {"planes", planeStream}, {"table", tableWords}, {"flags", flagTile}, {"skewed", skewedBytes}};

std::vector<uint8_t> input(int which) {
  std::mt19937 rng(static_cast<unsigned>(which) + 1);
  return kInputs[which].make(rng);
}

void BM_Memcpy(benchmark::State& state) {
  std::vector<uint8_t> in(kBytes, 7), out(kBytes);
  for (auto _ : state) {
    std::memcpy(out.data(), in.data(), kBytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kBytes));
}

void BM_Encode(benchmark::State& state) {
  const std::vector<uint8_t> in = input(static_cast<int>(state.range(0)));
  std::vector<uint8_t> out(kBytes);
  int32_t bits = 0;
  uint8_t mode = 0;
  for (auto _ : state) {
    mode = C::compressData(static_cast<int32_t>(kBytes), in.data(), bits, out.data(), 0);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kBytes));
  state.counters["mode"] = mode;
  state.counters["bits/byte"] = static_cast<double>(bits) / kBytes;
}

void BM_Decode(benchmark::State& state) {
  const std::vector<uint8_t> in = input(static_cast<int>(state.range(0)));
  std::vector<uint8_t> coded(kBytes), out(kBytes);
  int32_t bits = 0;
  const uint8_t mode =
      C::compressData(static_cast<int32_t>(kBytes), in.data(), bits, coded.data(), 0);
  for (auto _ : state) {
    int32_t size = static_cast<int32_t>(kBytes);
    if (!C::uncompressData(bits, coded.data(), size, out.data(), mode)) {
      state.SkipWithError("decoding failed");
      break;
    }
    benchmark::DoNotOptimize(out.data());
  }
  if (out != in) state.SkipWithError("decoded bytes differ");
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kBytes));
}

BENCHMARK(BM_Memcpy)->Name("memcpy/64KiB");
BENCHMARK(BM_Encode)->Name("encode/planes")->Arg(0);
BENCHMARK(BM_Encode)->Name("encode/table")->Arg(1);
BENCHMARK(BM_Encode)->Name("encode/flags")->Arg(2);
BENCHMARK(BM_Encode)->Name("encode/skewed")->Arg(3);
BENCHMARK(BM_Decode)->Name("decode/planes")->Arg(0);
BENCHMARK(BM_Decode)->Name("decode/table")->Arg(1);
BENCHMARK(BM_Decode)->Name("decode/flags")->Arg(2);
BENCHMARK(BM_Decode)->Name("decode/skewed")->Arg(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  tyq_bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const Input& in : kInputs) {
    for (const char* op : {"encode", "decode"}) {
      const std::string name = std::string(op) + "/" + in.name;
      reporter.printRatio(name.c_str(), name, "memcpy/64KiB");
    }
  }
  benchmark::Shutdown();
  return 0;
}
