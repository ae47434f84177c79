#pragma once

#include <cstdint>

#include "tools/quality_curve.h"
#include "tyq/compress_tools.h"
#include "tyq/compressor3d.h"

namespace Qra::Ostrel::Tyq::Private::Tools {

// SQNR targets at which a brick is coded for a copy-size estimate; sizes
// at the targets between are interpolated. The copy's quality loop makes a
// brick's size a staircase over the target, so no finer grid is exact
// anyway, and coding costs grow with the quality: every drawn brick is
// coded at the common targets (the qualities asked for most), some at all.
constexpr int kScanTargets[] = {0, 10, 20, 30, 40, 70, 99};
constexpr int kTargets = static_cast<int>(sizeof kScanTargets / sizeof kScanTargets[0]);
constexpr int kFirstCommon = 2, kEndCommon = 5;  // 20, 30 and 40 dB

// A coder of one thread for copy-size estimates.
class CopyCurveCoder {
 public:
  CopyCurveCoder();
  // The bytes of the brick's record (12 for a constant brick) in a copy to
  // each of kScanTargets (`all`) or to each common one (the others are
  // left as they are). `samples` holds the item's box packed (inline
  // fastest), as a reader opened in the traditional order fills it;
  // samples inside the dead band count as 0. `brick` is 64^3 floats of
  // working space.
  bool code(const TyqCompressIO::WorkItem& item, const float* samples, float deadLow,
            float deadHigh, float* brick, bool all, int64_t* bytes);

 private:
  // The brick gathered as the copy's writer gathers it: zeros beyond the
  // valid size, flags of the traces with a sample other than 0.
  void gather(const TyqCompressIO::WorkItem& item, const float* samples, float deadLow,
              float deadHigh, float* brick);
  // Whether the copy would store the gathered brick as one value.
  bool constant(const float* brick) const;
  bool codeAt(float target, int level, float* brick, int64_t& bytes);

  Compressor3d coder_;
  CompressedBlock3d block_;
  uint8_t live_[64 * 64];
  bool mixed_ = false;  // some trace of the column is dead
  int valid_[3] = {0, 0, 0};
};

// The bytes at `sqnr` from those at kScanTargets: log-linear in between.
double Interpolate(const double* atTargets, int sqnr);

}  // namespace Qra::Ostrel::Tyq::Private::Tools
