#include "tools/scan_draw.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <utility>

#include "compressed/alpha_tile.h"

namespace Qra::Ostrel::Tyq::Private::Tools {

namespace {

constexpr int kBrick = 64;
constexpr int kMaxLevels = 32;
constexpr int64_t kAllTargetsEvery = 4;

struct LevelGrid {
  int size[3] = {0, 0, 0};
  int64_t bricks[3] = {0, 0, 0};

  int64_t count() const { return bricks[0] * bricks[1] * bricks[2]; }
  int64_t samples() const { return int64_t{size[0]} * size[1] * size[2]; }
};

LevelGrid gridOf(const TyqCompressIO::IReader& input, int level) {
  LevelGrid g;
  for (int a = 0; a < 3; ++a) {
    g.size[a] = std::max(input.size(a, level), 0);
    g.bricks[a] = (int64_t{g.size[a]} + kBrick - 1) / kBrick;
  }
  return g;
}

// The strata of a level: along each axis the whole bricks, and the last
// one when the survey's edge cuts it.
void addStrata(const LevelGrid& g, int level, std::vector<ScanStratum>& strata) {
  int cut[3];
  for (int a = 0; a < 3; ++a) cut[a] = g.size[a] - static_cast<int>(g.bricks[a] - 1) * kBrick;
  for (int shape = 0; shape < 8; ++shape) {
    ScanStratum s;
    s.level = level;
    s.bricks = 1;
    s.brickSamples = 1;
    for (int a = 0; a < 3; ++a) {
      const bool edge = (shape >> a) & 1;
      const int64_t whole = g.bricks[a] - (cut[a] < kBrick ? 1 : 0);
      s.first[a] = edge ? whole : 0;
      s.count[a] = edge ? (cut[a] < kBrick ? 1 : 0) : whole;
      s.bricks *= s.count[a];
      s.brickSamples *= edge ? cut[a] : kBrick;
    }
    if (s.bricks > 0) strata.push_back(s);
  }
}

WorkItem brickAt(const LevelGrid& g, const ScanStratum& s, int64_t index) {
  WorkItem item;
  item.level = s.level;
  const int64_t at[3] = {index % s.count[0], index / s.count[0] % s.count[1],
                         index / (s.count[0] * s.count[1])};
  for (int a = 0; a < 3; ++a) {
    item.start[a] = static_cast<int32_t>((s.first[a] + at[a]) * kBrick);
    item.size[a] = std::min(kBrick, g.size[a] - item.start[a]);
  }
  return item;
}

// Bricks to draw from each stratum: in proportion to the mean of its
// share of the samples and its share of the bricks (a brick costs its
// samples and a part that does not shrink with them; slivers at the edge
// are many where a survey is small), the largest remainders rounded up so
// that the budget is spent, at most all. The largest stratum of levels 0
// and 1 gets one at least (the copy codes the two to different targets);
// a stratum that gets none is estimated from the others of its level, or
// from the level above.
void share(std::vector<ScanStratum>& strata, int budget) {
  int64_t bricks = 0, samples = 0;
  for (const ScanStratum& s : strata) {
    bricks += s.bricks;
    samples += s.samples();
  }
  const auto weight = [&](const ScanStratum& s) {
    return 0.5 * (static_cast<double>(s.samples()) / static_cast<double>(samples) +
                  static_cast<double>(s.bricks) / static_cast<double>(bricks));
  };
  if (bricks <= budget) {
    for (ScanStratum& s : strata) s.drawn = s.bricks;
    return;
  }
  std::vector<std::pair<double, size_t>> remainders;
  std::vector<size_t> largest(2, strata.size());
  int64_t left = budget;
  for (size_t n = 0; n < strata.size(); ++n) {
    ScanStratum& s = strata[n];
    const double part = static_cast<double>(budget) * weight(s);
    s.drawn = std::min(static_cast<int64_t>(part), s.bricks);
    left -= s.drawn;
    if (s.drawn < s.bricks) remainders.emplace_back(part - std::floor(part), n);
    if (s.level < 2) {
      size_t& top = largest[static_cast<size_t>(s.level)];
      if (top == strata.size() || weight(strata[top]) < weight(s)) top = n;
    }
  }
  for (size_t top : largest) {
    if (top < strata.size() && strata[top].drawn == 0) {
      strata[top].drawn = 1;
      --left;
    }
  }
  std::stable_sort(remainders.begin(), remainders.end(),
                   [](const auto& a, const auto& b) { return a.first > b.first; });
  for (const auto& [fraction, n] : remainders) {
    if (left <= 0) break;
    if (strata[n].drawn >= strata[n].bricks) continue;
    ++strata[n].drawn;
    --left;
  }
}

// The record of a column's flag tile whose traces inside the survey
// (n0 x n1 of them) are all live: the copy marks those beyond it dead, and
// a tile that mixes both costs far more than a uniform one.
int64_t tileBytes(int n0, int n1) {
  constexpr int64_t kTileHead = 9;
  std::vector<uint8_t> flags(kBrick * kBrick, 0);
  for (int j = 0; j < n1; ++j) std::fill_n(flags.begin() + j * kBrick, n0, uint8_t{1});
  Compressed::AlphaTile tile;
  if (!tile.Fill(flags.data(), kBrick * kBrick)) return kTileHead + kBrick * kBrick;
  return kTileHead + tile.GetByteCount();
}

// Flag tiles of a level: whole columns, and those cut by the survey's edge
// along either axis or both.
int64_t tilesOf(const LevelGrid& g) {
  const int cut0 = g.size[0] - static_cast<int>(g.bricks[0] - 1) * kBrick;
  const int cut1 = g.size[1] - static_cast<int>(g.bricks[1] - 1) * kBrick;
  const int64_t whole0 = g.bricks[0] - (cut0 < kBrick ? 1 : 0);
  const int64_t whole1 = g.bricks[1] - (cut1 < kBrick ? 1 : 0);
  int64_t bytes = whole0 * whole1 * tileBytes(kBrick, kBrick);
  if (cut0 < kBrick) bytes += whole1 * tileBytes(cut0, kBrick);
  if (cut1 < kBrick) bytes += whole0 * tileBytes(kBrick, cut1);
  if (cut0 < kBrick && cut1 < kBrick) bytes += tileBytes(cut0, cut1);
  return bytes;
}

// The compressed file's bytes besides bricks: fixed header, offsets and
// information block, the histogram record at a typical packed size (its
// largest is 24 + 1032),
// both lookup tables at 8 bytes an entry (they pack to less) and the flag
// tiles of every level.
int64_t overheadOf(const std::vector<LevelGrid>& grids) {
  constexpr int64_t kFixed = 8 + 40 + 130, kHistogram = 24 + 512, kTableHead = 5;
  int64_t bytes = kFixed + kHistogram + 2 * kTableHead;
  for (const LevelGrid& g : grids)
    bytes += 8 * (g.count() + g.bricks[0] * g.bricks[1]) + tilesOf(g);
  return bytes;
}

}  // namespace

int CopyLevels(const TyqCompressIO::IReader& input) {
  int64_t largest = 1;
  for (int a = 0; a < 3; ++a) {
    largest = std::max(largest, (int64_t{input.size(a, 0)} + kBrick - 1) / kBrick);
  }
  int kept = 1;
  while (kept < kMaxLevels && (int64_t{1} << (kept - 1)) < largest) ++kept;
  return std::clamp(std::min(input.levels(), kept), 1, kMaxLevels);
}

ScanDraw DrawCopyBricks(const TyqCompressIO::IReader& input, int budget) {
  ScanDraw draw;
  std::vector<LevelGrid> grids;
  for (int level = 0; level < CopyLevels(input); ++level) {
    const LevelGrid g = gridOf(input, level);
    if (g.count() == 0) break;
    grids.push_back(g);
    addStrata(g, level, draw.strata);
  }
  if (!grids.empty()) draw.floatBytes = 4 * grids.front().samples();
  draw.overhead = overheadOf(grids);
  share(draw.strata, std::max(budget, 1));
  std::mt19937_64 engine(static_cast<uint64_t>(std::rand()));
  for (size_t n = 0; n < draw.strata.size(); ++n) {
    const ScanStratum& s = draw.strata[n];
    for (int64_t run = 0; run < s.drawn; ++run) {
      // Run `run` covers bricks [run * bricks / drawn, (run + 1) * bricks / drawn).
      const int64_t first = run * s.bricks / s.drawn, end = (run + 1) * s.bricks / s.drawn;
      std::uniform_int_distribution<int64_t> pick(first, std::max(first, end - 1));
      draw.items.push_back(brickAt(grids[static_cast<size_t>(s.level)], s, pick(engine)));
      draw.stratum.push_back(n);
      draw.allTargets.push_back(run % kAllTargetsEvery == 0);
    }
  }
  return draw;
}

}  // namespace Qra::Ostrel::Tyq::Private::Tools
