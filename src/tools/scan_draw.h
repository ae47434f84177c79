#pragma once

#include <cstdint>
#include <vector>

#include "tyq/compress_tools.h"

namespace Qra::Ostrel::Tyq::Private::Tools {

using TyqCompressIO::WorkItem;

// Bricks of one level and one shape: whole, or cut by the survey's edge
// along the same axes. Bricks of one shape code alike; a sliver at the
// edge costs far more per sample than a whole brick, so shapes are drawn
// and weighed apart.
struct ScanStratum {
  int level = 0;
  int64_t first[3] = {0, 0, 0};  // brick indices of the box of such bricks
  int64_t count[3] = {0, 0, 0};
  int64_t bricks = 0;        // in the copy
  int64_t brickSamples = 0;  // inside the survey, per brick
  int64_t drawn = 0;

  int64_t samples() const { return bricks * brickSamples; }
};

// The bricks a copy-size estimate codes, and what each stands for.
struct ScanDraw {
  std::vector<WorkItem> items;
  std::vector<size_t> stratum;      // per item
  std::vector<bool> allTargets;     // per item: coded at every target
  std::vector<ScanStratum> strata;  // level by level
  // Bytes of the file besides its bricks: headers, tables, flag tiles.
  int64_t overhead = 0;
  // The survey's own samples as 32-bit floats.
  int64_t floatBytes = 0;
};

// Levels a compressed copy of `input` writes: those the input holds, as
// far as the compressed file keeps levels for its brick counts.
int CopyLevels(const TyqCompressIO::IReader& input);

// About `budget` bricks of the levels a compressed copy writes (every
// brick when they hold no more), shared among the strata in proportion to
// their samples. A stratum is cut into as many runs of neighbouring
// bricks (inline fastest, vertical slowest, so that a run lies within a
// few depths) as bricks are drawn from it, and one brick is drawn at
// random from each run; the std::rand sequence seeds the draw. The first
// of every four runs is coded at all targets.
ScanDraw DrawCopyBricks(const TyqCompressIO::IReader& input, int budget);

}  // namespace Qra::Ostrel::Tyq::Private::Tools
