#pragma once

// Real seismic surveys for the codec benchmarks: a SEG-Y loader, a large
// seamless cube made from a small survey, and cutting into bricks.
#include <cstddef>
#include <string>
#include <vector>

namespace tyq_bench {

// Samples of a regular volume; axes inline (i), crossline (j), sample (k),
// sample fastest in memory.
struct Volume {
  int ni = 0;
  int nj = 0;
  int nk = 0;
  std::vector<float> samples;

  size_t index(int i, int j, int k) const {
    return (static_cast<size_t>(i) * nj + j) * static_cast<size_t>(nk) + k;
  }
  float at(int i, int j, int k) const { return samples[index(i, j, k)]; }
};

// Directory of the survey files: $TYQ_SEGY_DIR, else ../shared/data/segy
// beside the source tree.
std::string surveyDir();

// The survey the benchmarks use by default (76 x 181 x 268 samples).
std::string defaultSurveyPath();

// Loads a post-stack 3-D SEG-Y file (inline number at byte 189, crossline
// at 193, one offset, either sorting). Returns false with a readable reason
// in `error` when the file is missing or not such a survey.
bool loadSurvey(const std::string& path, Volume& out, std::string& error);

// A volume of the given size made from `src` by mirroring it along every
// axis, so that it has no seams and no constant padding.
Volume mirrorTile(const Volume& src, int ni, int nj, int nk);

// The 512 x 512 x 256 benchmark cube from the default survey; false (with
// `error`) when the survey cannot be loaded, so that a benchmark can skip.
bool loadBenchmarkCube(Volume& cube, std::string& error);

}  // namespace tyq_bench
