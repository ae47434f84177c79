// The peer codec alone on the benchmark cube: bits per sample and speed at
// a few achieved SQNRs, with memcpy of the cube as the in-process baseline.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "survey_cube.h"
#include "zfp_peer.h"

namespace {

double memcpySeconds(const std::vector<float>& samples) {
  std::vector<float> copy(samples.size());
  double best = 1e30;
  for (int pass = 0; pass < 3; ++pass) {
    const auto start = std::chrono::steady_clock::now();
    std::memcpy(copy.data(), samples.data(), samples.size() * sizeof(float));
    best = std::min(
        best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

}  // namespace

int main() {
  tyq_bench::Volume cube;
  std::string error;
  if (!tyq_bench::loadBenchmarkCube(cube, error)) {
    std::printf("bench_zfp_peer skipped: %s\n", error.c_str());
    return 0;
  }
  const size_t samples = cube.samples.size();
  const double mb = samples * sizeof(float) / 1e6;
  const double copy = memcpySeconds(cube.samples);
  std::printf("cube %d x %d x %d float32 (%.0f MB); memcpy %.0f MB/s\n", cube.ni, cube.nj, cube.nk,
              mb, mb / copy);
  for (const double target : {20.0, 30.0, 40.0}) {
    const tyq_bench::ZfpSearch search = tyq_bench::zfpSearchSqnr(cube, target);
    const tyq_bench::ZfpRun& run = search.nearest;
    if (run.bytes == 0) {
      std::printf("zfp target %.0f dB: compression failed\n", target);
      continue;
    }
    std::printf(
        "zfp target %.0f dB: achieved %.2f dB, tolerance 2^%d, %.3f bits/sample, "
        "compress %.1f MB/s, decompress %.1f MB/s; %.3f bits/sample at %.0f dB interpolated\n",
        target, run.sqnr, std::ilogb(run.tolerance), run.bitsPerSample(samples),
        mb / run.compressSeconds, mb / run.decompressSeconds,
        search.bitsPerSampleAt(target, samples), target);
    std::printf("ratio zfp-compress/%-2.0fdB   zfp / memcpy time = %.1f\n", target,
                run.compressSeconds / copy);
    std::printf("ratio zfp-decompress/%-2.0fdB zfp / memcpy time = %.1f\n", target,
                run.decompressSeconds / copy);
  }
  return 0;
}
