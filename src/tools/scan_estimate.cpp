#include "tools/scan_estimate.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace Qra::Ostrel::Tyq::Private::Tools {

bool CopySizeSums::reset(size_t strata) {
  const size_t cells = strata * 2 * kTargets;
  sums_.reset(new (std::nothrow) std::atomic<int64_t>[std::max<size_t>(cells, 1)]);
  strata_ = sums_ ? strata : 0;
  for (size_t n = 0; sums_ && n < cells; ++n) sums_[n].store(0);
  return sums_ != nullptr;
}

std::atomic<int64_t>* CopySizeSums::sums(size_t stratum, bool all) const {
  return &sums_[(2 * stratum + (all ? 1 : 0)) * kTargets];
}

void CopySizeSums::add(size_t stratum, bool all, const int64_t* bytes) {
  if (stratum >= strata_) return;
  std::atomic<int64_t>* every = sums(stratum, false);
  for (int t = kFirstCommon; t < kEndCommon; ++t) {
    every[t].fetch_add(bytes[t], std::memory_order_relaxed);
  }
  std::atomic<int64_t>* allOf = sums(stratum, true);
  for (int t = 0; all && t < kTargets; ++t) allOf[t].fetch_add(bytes[t], std::memory_order_relaxed);
}

// At the common targets, the sum over every drawn brick; at the others,
// the bricks coded at all targets tell how the size changes from the
// nearest common one.
void CopySizeSums::drawnBytes(size_t stratum, double* bytes) const {
  const std::atomic<int64_t>* every = sums(stratum, false);
  const std::atomic<int64_t>* all = sums(stratum, true);
  for (int t = 0; t < kTargets; ++t) {
    const int near = std::clamp(t, kFirstCommon, kEndCommon - 1);
    const double from = static_cast<double>(all[near].load());
    const double change = t == near || from <= 0 ? 1.0 : static_cast<double>(all[t].load()) / from;
    bytes[t] = static_cast<double>(every[near].load()) * change;
  }
}

void CopySizeSums::table(const ScanDraw& draw, int64_t* perMillion) const {
  std::fill(perMillion, perMillion + kSqnrSteps, 0);
  if (draw.floatBytes <= 0 || draw.items.empty()) return;
  double atTargets[kTargets] = {}, perSample[kTargets] = {};
  const size_t strata = std::min(strata_, draw.strata.size());
  for (size_t first = 0; first < strata;) {
    // The strata of one level: those drawn first, pooling their bytes per
    // sample for the others.
    size_t end = first;
    while (end < strata && draw.strata[end].level == draw.strata[first].level) ++end;
    double pooled[kTargets] = {}, bytes[kTargets];
    double drawnSamples = 0;
    for (size_t n = first; n < end; ++n) {
      const ScanStratum& s = draw.strata[n];
      if (s.drawn <= 0) continue;
      drawnBytes(n, bytes);
      const double scale = static_cast<double>(s.bricks) / static_cast<double>(s.drawn);
      for (int t = 0; t < kTargets; ++t) {
        atTargets[t] += bytes[t] * scale;
        pooled[t] += bytes[t];
      }
      drawnSamples += static_cast<double>(s.drawn * s.brickSamples);
    }
    for (int t = 0; drawnSamples > 0 && t < kTargets; ++t) perSample[t] = pooled[t] / drawnSamples;
    for (size_t n = first; n < end; ++n) {
      const ScanStratum& s = draw.strata[n];
      if (s.drawn > 0) continue;
      for (int t = 0; t < kTargets; ++t) {
        atTargets[t] += perSample[t] * static_cast<double>(s.samples());
      }
    }
    first = end;
  }
  for (int s = 0; s < kSqnrSteps; ++s) {
    const double bytes = static_cast<double>(draw.overhead) + Interpolate(atTargets, s);
    perMillion[s] = std::llround(bytes / static_cast<double>(draw.floatBytes) * 1000000.0);
  }
}

}  // namespace Qra::Ostrel::Tyq::Private::Tools
