#pragma once

// Writing a float volume held in memory as a compressed file: every level
// of the pyramid is computed here with the decimation kernels and written
// explicitly, brick column by brick column, from one or more threads.
#include <cstdint>
#include <string>
#include <vector>

#include "tyq/tyq.h"

namespace tyq_tool {

// Samples with the vertical index fastest, then crossline, then inline.
struct FloatVolume {
  int size[3] = {0, 0, 0};
  std::vector<float> samples;

  size_t count() const { return static_cast<size_t>(size[0]) * size[1] * size[2]; }
};

// The level above `below`: LowPass for level 1, WeightedAverage above, as
// the uncompressed format builds its pyramid by default.
FloatVolume decimate(const FloatVolume& below, int level);

// Creates `name` at `sqnr` dB, writes `level0` and every level above it
// from `threads` threads, showing progress, and finalizes the file. The
// histogram covers [lo, hi].
bool writeCompressedVolume(const std::string& name,
                           const Qra::Ostrel::Tyq::FileAccess::DataInfo& info,
                           const FloatVolume& level0, float sqnr, int threads, double lo, double hi,
                           Qra::Ostrel::Tyq::Private::Status* status);

}  // namespace tyq_tool
