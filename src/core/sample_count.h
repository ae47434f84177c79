#pragma once

// Sample counts read from files: histogram bins and statistics counts. Every
// format believes them only within one bound, so that a count a reader sees
// can have later writes added to it without overflowing.
#include <cstddef>
#include <cstdint>

namespace Qra::Ostrel::Tyq::Private {

// No file holds this many samples.
constexpr int64_t kMaxSampleCount = int64_t{1} << 62;

constexpr bool plausibleCount(int64_t n) {
  return n >= 0 && n <= kMaxSampleCount;
}

// The sum of `n` counts, or -1 when a count or the sum is not plausible: a
// damaged file is refused rather than shown a total it does not hold.
inline int64_t checkedCountSum(const int64_t* counts, size_t n) {
  int64_t sum = 0;
  for (size_t b = 0; b < n; ++b) {
    if (!plausibleCount(counts[b]) || counts[b] > kMaxSampleCount - sum) return -1;
    sum += counts[b];
  }
  return sum;
}

}  // namespace Qra::Ostrel::Tyq::Private
