#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "tyq/compressor3d.h"

namespace Qra::Ostrel::Tyq::Private::Tools {

constexpr int kCodedLevels = 32;  // quality levels 0..31; 31 codes as 30
constexpr int kSqnrSteps = 100;   // SQNR 0..99 dB

// What one brick costs at every quality level: bytes in a file (coded
// header, streams and the 12 bytes of its table entry) and the SQNR the
// coder measured.
struct QualityCurve {
  int64_t bytes[kCodedLevels] = {};
  float sqnr[kCodedLevels] = {};
};

// A coder of one thread: codes a 64^3 float brick (axis 0 fastest, every
// trace live) at each quality level without SQNR control.
class BrickCurveCoder {
 public:
  BrickCurveCoder();
  // False when the coder could not code the brick.
  bool code(float* samples, QualityCurve& curve);

 private:
  Compressor3d coder_;
  CompressedBlock3d block_;
  uint8_t live_[64 * 64];
};

// For each s in 0..99, adds the bytes of the lowest level (searching up
// from the one found for s - 1, stopping at 31) that reaches s dB.
void AddCurve(const QualityCurve& curve, std::atomic<int64_t>* sums);

// The table as text: one "%2d %6lld" line per SQNR, as long as an area
// of 10000 bytes keeps 100 bytes spare.
std::string ReportText(const int64_t* perMillion);

}  // namespace Qra::Ostrel::Tyq::Private::Tools
