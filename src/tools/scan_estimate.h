#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "tools/scan_copy_coder.h"
#include "tools/scan_draw.h"

namespace Qra::Ostrel::Tyq::Private::Tools {

// The sums of a copy-size estimate, per stratum and SQNR target: over
// every drawn brick at the common targets, and over the bricks coded at
// all targets. Bricks may be added from several threads at once.
class CopySizeSums {
 public:
  // Zeroed sums for `strata` strata; false when memory runs out.
  bool reset(size_t strata);
  void add(size_t stratum, bool all, const int64_t* bytes);
  // For each SQNR 0..99 the estimated file in parts per million of the
  // survey's float samples: every stratum's bricks at its mean drawn brick
  // (a stratum without drawn bricks at the bytes per sample of the drawn
  // ones of its level, or of the level above), the file's own bytes on
  // top. All zeros for a survey without samples.
  void table(const ScanDraw& draw, int64_t* perMillion) const;

 private:
  std::atomic<int64_t>* sums(size_t stratum, bool all) const;
  // Bytes of the stratum's drawn bricks at every target.
  void drawnBytes(size_t stratum, double* bytes) const;

  std::unique_ptr<std::atomic<int64_t>[]> sums_;
  size_t strata_ = 0;
};

}  // namespace Qra::Ostrel::Tyq::Private::Tools
