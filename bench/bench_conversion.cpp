// Sample conversion and reordering of one 64^3 brick, the work done per brick
// on every read and write, against memcpy of the same output bytes: the
// floor any pass over the brick pays for memory traffic.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "access/conversion.h"
#include "access/strided_copy.h"
#include "core/aligned_buffer.h"
#include "ratio_reporter.h"
#include "tyq/brick_geometry.h"

namespace {

namespace B = Qra::Ostrel::Tyq::Private::Access;
using Qra::Ostrel::Tyq::Private::AlignedBuffer;
using Qra::Ostrel::Tyq::Private::StorageStrides;

constexpr int kEdge = 64;
constexpr int64_t kSamples = int64_t{kEdge} * kEdge * kEdge;
constexpr int kInt8 = 0, kInt16 = 2, kFloat = 6;
constexpr int kSize[7] = {1, 1, 2, 2, 4, 4, 4};
constexpr float kCodingLo = -1, kCodingHi = 1, kAccessLo = -2, kAccessHi = 2;

// Source bricks of every type the benchmarks start from, in aligned memory
// as the accessor's brick buffers are.
struct Fixture {
  AlignedBuffer source[7];
  AlignedBuffer target{kSamples * 4};
  AlignedBuffer caller{size_t{100} * 100 * 100 * 4};

  Fixture() {
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> values(-1.2f, 1.2f);
    std::vector<float> floats(kSamples);
    for (float& v : floats) v = values(rng);
    for (const int type : {kInt8, kInt16, kFloat}) {
      source[type].Resize(kSamples * 4);
      B::ConversionFunction(kFloat, type)(source[type].data(), kCodingLo, kCodingHi, floats.data(),
                                          0, 0, kSamples);
    }
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

void BM_Memcpy(benchmark::State& state) {
  Fixture& f = fixture();
  const size_t bytes = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    std::memcpy(f.target.data(), f.source[kFloat].data(), bytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}

// Stored `from` into caller type `to` (or back, for the write direction),
// between two buffers.
template <int kFrom, int kTo>
void BM_Convert(benchmark::State& state) {
  Fixture& f = fixture();
  const B::ConvFcn convert = B::ConversionFunction(kFrom, kTo);
  for (auto _ : state) {
    convert(f.target.data(), kAccessLo, kAccessHi, f.source[kFrom].data(), kCodingLo, kCodingHi,
            kSamples);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kSamples * kSize[kTo]);
}

// The read path's form: the brick widened in its own buffer. Every pass
// reads the previous pass's output as codes, which costs the same.
template <int kFrom>
void BM_WidenInPlace(benchmark::State& state) {
  Fixture& f = fixture();
  std::memcpy(f.target.data(), f.source[kFrom].data(), kSamples * kSize[kFrom]);
  const B::ConvFcn convert = B::ConversionFunction(kFrom, kFloat);
  for (auto _ : state) {
    convert(f.target.data(), kAccessLo, kAccessHi, nullptr, kCodingLo, kCodingHi, kSamples);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kSamples * 4);
}

// A whole brick (order 0) into a caller buffer: of order 5 and the brick's
// size (a full reordering), or of order 0 and 100^3 samples (rows of 64
// contiguous samples).
template <int kCallerOrder, int kCallerEdge>
void BM_CopyBox(benchmark::State& state) {
  Fixture& f = fixture();
  const int brick[3] = {kEdge, kEdge, kEdge};
  const int callerSize[3] = {kCallerEdge, kCallerEdge, kCallerEdge};
  int64_t brickStrides[3], callerStrides[3];
  StorageStrides(0, brick, brickStrides);
  StorageStrides(kCallerOrder, callerSize, callerStrides);
  const auto* src = static_cast<const float*>(f.source[kFloat].data());
  auto* dst = static_cast<float*>(f.caller.data());
  for (auto _ : state) {
    B::CopyBox(dst, callerStrides, src, brickStrides, brick);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kSamples * 4);
}

constexpr int64_t kFloatBytes = kSamples * 4;

BENCHMARK(BM_Memcpy)->Name("memcpy/1MiB")->Arg(kFloatBytes);
BENCHMARK(BM_Memcpy)->Name("memcpy/512KiB")->Arg(kFloatBytes / 2);
BENCHMARK(BM_Memcpy)->Name("memcpy/256KiB")->Arg(kFloatBytes / 4);
BENCHMARK(BM_Convert<kInt16, kFloat>)->Name("int16>float");
BENCHMARK(BM_WidenInPlace<kInt16>)->Name("int16>float/inplace");
BENCHMARK(BM_Convert<kFloat, kInt16>)->Name("float>int16");
BENCHMARK(BM_Convert<kInt8, kFloat>)->Name("int8>float");
BENCHMARK(BM_WidenInPlace<kInt8>)->Name("int8>float/inplace");
BENCHMARK(BM_Convert<kFloat, kInt8>)->Name("float>int8");
BENCHMARK(BM_Convert<kInt16, kInt16>)->Name("int16>int16/recode");
BENCHMARK(BM_CopyBox<5, kEdge>)->Name("copybox/order5");
BENCHMARK(BM_CopyBox<0, 100>)->Name("copybox/order0-in-100^3");

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  tyq_bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printRatio("int16>float", "int16>float", "memcpy/1MiB");
  reporter.printRatio("int16>float in place", "int16>float/inplace", "memcpy/1MiB");
  reporter.printRatio("float>int16", "float>int16", "memcpy/512KiB");
  reporter.printRatio("int8>float", "int8>float", "memcpy/1MiB");
  reporter.printRatio("int8>float in place", "int8>float/inplace", "memcpy/1MiB");
  reporter.printRatio("float>int8", "float>int8", "memcpy/256KiB");
  reporter.printRatio("int16 recode", "int16>int16/recode", "memcpy/512KiB");
  reporter.printRatio("copybox order 5", "copybox/order5", "memcpy/1MiB");
  reporter.printRatio("copybox rows", "copybox/order0-in-100^3", "memcpy/1MiB");
  benchmark::Shutdown();
  return 0;
}
