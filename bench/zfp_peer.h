#pragma once

// The peer codec of the block-codec benchmarks: a float volume compressed
// as one 3-D field in fixed-accuracy mode, serially, and decompressed.
#include <cstddef>
#include <vector>

#include "survey_cube.h"

namespace tyq_bench {

// 20 log10(mean |x| / mean |x - y|) over `n` samples, in dB; +infinity when
// the two are equal.
double sqnrDb(const float* x, const float* y, size_t n);

struct ZfpRun {
  double tolerance = 0;  // as requested
  size_t bytes = 0;      // compressed size, 0 when compression failed
  double compressSeconds = 0;
  double decompressSeconds = 0;
  double sqnr = 0;  // achieved, in dB
  double bitsPerSample(size_t samples) const { return 8.0 * bytes / samples; }
};

// One compression and decompression at absolute error `tolerance`.
// `decoded` receives the decompressed volume.
ZfpRun zfpRoundTrip(const Volume& v, double tolerance, std::vector<float>& decoded);

// Searches the tolerance whose achieved SQNR comes closest to `targetDb`:
// bisection until within 0.1 dB or after 30 trials. zfp applies only the
// power of two at or below a tolerance, so the achievable SQNRs lie a few dB
// apart; `finer` and `coarser` are the runs next above and below the target
// (both equal `nearest` on a match within 0.1 dB).
struct ZfpSearch {
  ZfpRun nearest;
  ZfpRun finer;
  ZfpRun coarser;
  // Bits per sample at exactly `targetDb`, interpolated linearly in dB
  // between the two bracketing runs (about 6 dB per bit).
  double bitsPerSampleAt(double targetDb, size_t samples) const;
};
ZfpSearch zfpSearchSqnr(const Volume& v, double targetDb);
inline ZfpRun zfpAtSqnr(const Volume& v, double targetDb) {
  return zfpSearchSqnr(v, targetDb).nearest;
}

}  // namespace tyq_bench
