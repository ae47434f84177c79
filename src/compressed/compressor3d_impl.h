#pragma once

// Internal state of Compressor3d, shared by the files that implement its
// compression and decompression.
#include <cstdint>
#include <type_traits>
#include <vector>

#include "compressed/bitplane.h"
#include "compressed/samples.h"
#include "compressed/stream_area.h"
#include "compressed/subbands.h"
#include "compressed/wavelet.h"
#include "tyq/compressor3d.h"

namespace Qra::Ostrel::Tyq::Private {

// Internal: kept out of the exported symbols of the shared library.
struct __attribute__((visibility("hidden"))) Compressor3d::Impl {
  // Set up by Prepare*.
  bool compress = true;
  COMPDATATYPE type = CompDataFloat;
  void* samples = nullptr;
  CompressedBlock3d* target = nullptr;
  const CompressedBlock3d* source = nullptr;
  Block::TraceLayout layout;
  DECOMPQUALITY decompQuality = DecompSubbandsAll;
  DECOMPLEVEL decompLevel = DecompFull;
  bool twoStage = false;
  bool sqnrControl = false;
  float sqnrTarget = 18.0f;
  int quality = 5;
  bool zombieGuard = false;
  double valueMin = 0, valueMax = 0, outMin = 0, outMax = 0;
  bool symmetric = false;

  // Working memory, allocated once.
  bool usable = false;
  std::vector<int32_t> coef;
  std::vector<int32_t> tmp;
  // The SQNR estimate's reconstruction and comparable input, on first use.
  std::vector<int32_t> check;
  std::vector<double> reference;
  // The coefficients before the transform, dead traces zeroed: what a check
  // that keeps every plane reconstructs.
  std::vector<int32_t> untransformed;
  std::vector<uint8_t> states;
  Block::StreamArea area;
  Block::BitWriter writers[Block::kRawStreams];
  Block::BitReader readers[Block::kRawStreams];

  // Compression.
  Block::PlaneArray msb{};
  Block::PlaneArray planes{};
  double gain = 1.0;
  Block::ErrorSums signal;  // |input| sums of the current brick

  Impl();
  // Compression when `to` is given, decompression of `from` otherwise.
  void prepare(CompressedBlock3d* to, const CompressedBlock3d* from, COMPDATATYPE sampleType,
               void* buffer, const uint8_t* traceFlags, bool useTwoStages);
  bool compressBrick();
  bool decompressBrick();
  bool loadStreams(const CompressedBlock3d& block);

  // SQNR estimate of the current plane counts, and the control loop that
  // settles the quality level.
  bool prepareEstimates();
  double estimateSqnr();
  bool keepsEverything() const;
  double settleQuality();
  bool codeStreams();
};

// Calls fn with the caller's sample buffer typed by `type`.
template <typename Fn>
decltype(auto) withSamples(COMPDATATYPE type, void* p, Fn&& fn) {
  switch (type) {
    case CompDataInt8:
      return fn(static_cast<int8_t*>(p));
    case CompDataInt16:
      return fn(static_cast<int16_t*>(p));
    case CompDataInt32:
      return fn(static_cast<int32_t*>(p));
    default:
      return fn(static_cast<float*>(p));
  }
}

namespace Block {

// Two's complement to sign-magnitude (magnitudes saturate at 2^31 - 1) and
// back, over `count` values.
void toSignMagnitude(int32_t* coef, int count);
void fromSignMagnitude(int32_t* coef, int count);
// The same from `in` to `out` keeping only the magnitude bits in `keep`.
void fromSignMagnitude(const int32_t* in, int32_t* out, int count, uint32_t keep);

}  // namespace Block

}  // namespace Qra::Ostrel::Tyq::Private
