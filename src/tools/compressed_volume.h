#pragma once

// Writing a float volume held in memory as a compressed file. A compressed
// file builds no levels of detail itself: every level is computed here with
// the decimation kernels and written explicitly, brick column by brick
// column, from one or more threads.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tyq/records.h"
#include "tyq/status.h"

namespace Qra::Ostrel::Tyq::Private::Tools {

// Samples the caller owns, vertical index fastest, then crossline, then
// inline. They must outlive every call that is given the view.
struct FloatVolumeView {
  int size[3] = {0, 0, 0};
  const float* samples = nullptr;

  size_t Count() const { return static_cast<size_t>(size[0]) * size[1] * size[2]; }
};

// Samples in the same order, owned.
struct FloatVolume {
  int size[3] = {0, 0, 0};
  std::vector<float> samples;

  size_t Count() const { return static_cast<size_t>(size[0]) * size[1] * size[2]; }
  FloatVolumeView View() const { return {{size[0], size[1], size[2]}, samples.data()}; }
};

// The histogram of level 0 that weights the decimation of levels 2 and up,
// so that rare amplitudes survive. Empty bins weight every value alike; an
// infinite range clamps nothing.
struct DecimationHistogram {
  std::vector<long long> bins;
  double min = -INFINITY;
  double max = INFINITY;
};

// 256 bins over [lo, hi]; an unusable range gives the empty histogram.
DecimationHistogram HistogramOf(const FloatVolumeView& v, double lo, double hi);

// The level above `below`: LowPass for level 1, WeightedAverage above, as
// the uncompressed format builds its pyramid by default. Parent bricks are
// built on up to `threads` threads of the library's pool; the result does
// not depend on their number.
FloatVolume Decimate(const FloatVolumeView& below, int level,
                     const DecimationHistogram& histogram = {}, int threads = 1);

// Told how many of the brick columns of every level are written. Called
// only from the thread that called WriteCompressedVolume, about ten times a
// second and once more when every column is written.
using ColumnProgress = std::function<void(int64_t done, int64_t total)>;

struct CompressedVolumeOptions {
  float sqnr = 30.0f;  // target in dB, > 0
  int threads = 1;     // threads that compress, at least one is used
  double histogramMin = 0.0;
  double histogramMax = 0.0;
  ColumnProgress progress;  // may be empty
  // Live flags of level 0, one byte per trace (inline slowest, non-zero
  // live), that the caller keeps for the call; null: every trace is live
  // and no flags are stored.
  const unsigned char* live = nullptr;
};

// The flags of the level above: a trace is live when any of the (up to)
// four traces it stands for is, as the uncompressed format's level-of-detail
// builder decides.
std::vector<unsigned char> CoarserFlags(const std::vector<unsigned char>& finer,
                                        const int finerSize[2]);

// Creates `name`, writes `level0` and every level above it, and finalizes
// the file. Given live flags, every level's flags go in before its samples,
// so that the statistics count live traces only. On failure the file may be left partly written:
// the caller removes it.
bool WriteCompressedVolume(const std::string& name, const FileAccess::DataInfo& info,
                           const FloatVolumeView& level0, const CompressedVolumeOptions& options,
                           Status* status);

}  // namespace Qra::Ostrel::Tyq::Private::Tools
