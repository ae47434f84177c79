// The C++ side of bench/python_write_bench.py: the file tyq.create makes from
// an array, made by the writer directly. The array comes from the script as
// raw native float32 (TYQ_PEER_ARRAY, shape TYQ_PEER_SHAPE "n0 n1 n2") and is
// in memory before the clock starts, as the numpy array is. Each repetition
// does what create does: the finite minimum and maximum as coding range, a
// new file under a temporary name, the samples in trace order, the levels of
// detail, statistics and histogram at finalisation, the file made durable and
// renamed into place. Without the variables a small array of its own is
// written, so the program also runs on its own.
#include <benchmark/benchmark.h>

#ifdef __SSE2__
#include <immintrin.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <sstream>
#include <string>

#include <sys/mman.h>

#include "numpy_memory.h"
#include "ratio_reporter.h"
#include "tyq/tyq.h"

namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;

struct FreeSamples {
  void operator()(float* p) const { std::free(p); }
};

struct Peer {
  std::string dir;  // the scratch folder the files go to, removed at the end
  int shape[3] = {64, 64, 32};
  size_t count = 0;
  std::unique_ptr<float, FreeSamples> samples;
};

using tyq_bench::allocateLikeNumpy;

Peer& peer() {
  static Peer p;
  return p;
}

bool loadArray(Peer& p) {
  const char* name = std::getenv("TYQ_PEER_ARRAY");
  const char* shape = std::getenv("TYQ_PEER_SHAPE");
  if (name && shape) {
    std::istringstream(shape) >> p.shape[0] >> p.shape[1] >> p.shape[2];
  }
  const size_t count = size_t(p.shape[0]) * p.shape[1] * p.shape[2];
  p.count = count;
  p.samples.reset(allocateLikeNumpy(count * sizeof(float)));
  if (!p.samples) return false;
  float* samples = p.samples.get();
  if (!name) {
    for (size_t s = 0; s < count; ++s) samples[s] = float(s % 1999) * 0.01f - 9.99f;
    return true;
  }
  std::ifstream in(name, std::ios::binary);
  in.read(reinterpret_cast<char*>(samples), std::streamsize(count * sizeof(float)));
  return in.gcount() == std::streamsize(count * sizeof(float));
}

// As create codes a float array: its finite minimum to maximum, some width
// when that is a single value. One pass in vector lanes where a NaN takes no
// part, as the module's; a second only when an infinity turned up.
void codingRange(const float* samples, size_t count, double& lo, double& hi) {
  constexpr float kInfinity = std::numeric_limits<float>::infinity();
  float low = kInfinity, high = -kInfinity;
  size_t i = 0;
#ifdef __SSE2__
  __m128 min0 = _mm_set1_ps(low), min1 = min0, min2 = min0, min3 = min0;
  __m128 max0 = _mm_set1_ps(high), max1 = max0, max2 = max0, max3 = max0;
  const auto add = [](const float* p, __m128& min, __m128& max) {
    const __m128 x = _mm_loadu_ps(p);
    min = _mm_min_ps(x, min);  // min when either is NaN
    max = _mm_max_ps(x, max);
  };
  for (; i + 16 <= count; i += 16) {
    add(samples + i, min0, max0);
    add(samples + i + 4, min1, max1);
    add(samples + i + 8, min2, max2);
    add(samples + i + 12, min3, max3);
  }
  alignas(16) float lows[16], highs[16];
  const __m128 mins[4] = {min0, min1, min2, min3}, maxs[4] = {max0, max1, max2, max3};
  for (int v = 0; v < 4; ++v)
    _mm_store_ps(lows + 4 * v, mins[v]), _mm_store_ps(highs + 4 * v, maxs[v]);
  for (int l = 0; l < 16; ++l) low = std::min(low, lows[l]), high = std::max(high, highs[l]);
#endif
  for (; i < count; ++i) {
    low = samples[i] < low ? samples[i] : low, high = samples[i] > high ? samples[i] : high;
  }
  if (std::isinf(low) || std::isinf(high)) {
    low = kInfinity, high = -kInfinity;
    for (i = 0; i < count; ++i) {
      if (std::isfinite(samples[i]))
        low = std::min(low, samples[i]), high = std::max(high, samples[i]);
    }
  }
  lo = low <= high ? low : 0.0;
  hi = low <= high ? high : 0.0;
  if (lo == hi) hi = lo + 1;
}

bool create(const std::string& target) {
  const Peer& p = peer();
  double lo = 0, hi = 0;
  codingRange(p.samples.get(), p.count, lo, hi);
  FA::DataInfo info;
  info.SetExtent(0, 1, p.shape[0], 0, 1, p.shape[1], 0, 1, p.shape[2], false);
  FA::TyqOptions options;
  options.noAutoFlush = true;
  const std::string partial = target + ".partial";
  FA::AutoRef<FA::Writer> writer;
  if (FA::Tyq::CreateTyqWriter(writer, partial, info, FA::DataTypeEnum::Float32, options, nullptr,
                               lo, hi) != 0 ||
      !writer->SetAccessStorageOrder(FA::StorageOrderEnum::TraceOptimized(), nullptr) ||
      !writer->WriteData(0, 0, 0, 0, p.shape[0], p.shape[1], p.shape[2], p.samples.get(),
                         nullptr) ||
      !writer->Finalize(false, true, nullptr)) {
    return false;
  }
  writer = FA::AutoRef<FA::Writer>();
  std::error_code failed;
  std::filesystem::rename(partial, target, failed);
  return !failed;
}

void BM_Create(benchmark::State& state) {
  const std::string target = peer().dir + "/peer.vbs";
  // Outside the clock, as the script removes its files: replacing a file
  // would add the old one's release to the time.
  std::error_code ignored;
  std::filesystem::remove(target, ignored);
  for (auto _ : state) {
    if (!create(target)) state.SkipWithError("create failed");
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Peer& p = peer();
  const char* out = std::getenv("TYQ_PEER_OUT");
  p.dir = out ? std::string(out) : tyq_bench::MakeTempDir();
  if (p.dir.empty() || !loadArray(p)) {
    std::fprintf(stderr, "bench_python_write_peer: cannot read the array or make a folder\n");
    return 1;
  }
  benchmark::RegisterBenchmark("create", BM_Create)
      ->Iterations(1)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
  tyq_bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (!out) {
    std::error_code ignored;
    std::filesystem::remove_all(p.dir, ignored);
  }
  benchmark::Shutdown();
  return 0;
}
