#include "segy_grid.h"

#include <algorithm>
#include <cstdlib>
#include <numeric>

#include "tyq/geometry.h"

namespace tyq_tool {

namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;

// The distinct numbers of `values` in ascending order. A survey's numbers
// repeat once per trace of a line and span a short range, which a table of
// the numbers present sorts in one pass; scattered numbers are sorted.
std::vector<int32_t> distinctSorted(const std::vector<int32_t>& values) {
  const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
  const int64_t span = int64_t{*hi} - *lo + 1;
  std::vector<int32_t> out;
  if (span > 4 * static_cast<int64_t>(values.size()) + 65536) {
    out = values;
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
  }
  std::vector<bool> present(static_cast<size_t>(span), false);
  for (const int32_t v : values) present[static_cast<size_t>(int64_t{v} - *lo)] = true;
  for (int64_t n = 0; n < span; ++n) {
    if (present[static_cast<size_t>(n)]) out.push_back(static_cast<int32_t>(*lo + n));
  }
  return out;
}

// First number, step (the greatest common divisor of the gaps) and count of
// the axis through every number in `values` (not empty).
bool inferAxis(const std::vector<int32_t>& all, int& start, int& step, int& count) {
  const std::vector<int32_t> values = distinctSorted(all);
  int64_t gcd = 0;
  for (size_t n = 1; n < values.size(); ++n) {
    gcd = std::gcd(gcd, int64_t{values[n]} - values[n - 1]);
  }
  start = values.front();
  step = gcd > 0 && gcd <= INT32_MAX ? static_cast<int>(gcd) : 1;
  const int64_t n = (int64_t{values.back()} - values.front()) / step + 1;
  count = n <= INT32_MAX ? static_cast<int>(n) : 0;
  return count > 0;
}

struct Tie {
  int64_t i = 0, j = 0;
  double x = 0, y = 0;
};

int64_t cross(const Tie& a, const Tie& b, const Tie& c) {
  return (b.i - a.i) * (c.j - a.j) - (b.j - a.j) * (c.i - a.i);
}

// World position of grid point (i, j) on the line through a and b, for a
// survey of one line (or one trace).
void alongLine(const Tie& a, const Tie& b, int64_t i, int64_t j, double out[2]) {
  const double di = static_cast<double>(b.i - a.i), dj = static_cast<double>(b.j - a.j);
  const double length2 = di * di + dj * dj;
  const double s = length2 > 0 ? ((i - a.i) * di + (j - a.j) * dj) / length2 : 0.0;
  out[0] = a.x + s * (b.x - a.x);
  out[1] = a.y + s * (b.y - a.y);
}

// The grid's own corners (0, 0), (last, 0) and (0, last) as ties; false
// when one of them is dead or the grid is a single line.
bool cornerTies(const std::vector<TraceKey>& keys, const SegyGrid& g, Tie t[3]) {
  const int64_t at[3][2] = {{0, 0}, {g.inlines - 1, 0}, {0, g.crosslines - 1}};
  if (g.inlines < 2 || g.crosslines < 2) return false;
  for (int c = 0; c < 3; ++c) {
    const int32_t trace = g.traceAt[static_cast<size_t>(at[c][0] * g.crosslines + at[c][1])];
    if (trace < 0) return false;
    t[c] = {at[c][0], at[c][1], keys[trace].x, keys[trace].y};
  }
  return true;
}

// Three live traces spanning the grid: the widest triangle a greedy search
// finds.
void chooseTies(const std::vector<Tie>& live, Tie t[3]) {
  t[0] = t[1] = t[2] = live.front();
  int64_t best = -1;
  for (const Tie& p : live) {
    const int64_t d = std::abs(p.i - t[0].i) + std::abs(p.j - t[0].j);
    if (d > best) best = d, t[1] = p;
  }
  best = 0;
  for (const Tie& p : live) {
    const int64_t area = std::abs(cross(t[0], t[1], p));
    if (area > best) best = area, t[2] = p;
  }
}

void findCorners(const std::vector<TraceKey>& keys, SegyGrid& g) {
  Tie t[3];
  if (!cornerTies(keys, g, t)) {
    std::vector<Tie> live;
    for (int64_t i = 0; i < g.inlines; ++i) {
      for (int64_t j = 0; j < g.crosslines; ++j) {
        const int32_t trace = g.traceAt[i * g.crosslines + j];
        if (trace >= 0) live.push_back({i, j, keys[trace].x, keys[trace].y});
      }
    }
    chooseTies(live, t);
  }
  const int64_t last[4][2] = {
      {0, 0}, {g.inlines - 1, 0}, {0, g.crosslines - 1}, {g.inlines - 1, g.crosslines - 1}};
  if (cross(t[0], t[1], t[2]) == 0) {
    for (int k = 0; k < 4; ++k) alongLine(t[0], t[1], last[k][0], last[k][1], g.corners[k]);
    return;
  }
  const auto il = [&](const Tie& p) {
    return static_cast<float>(g.inlineStart + p.i * g.inlineStep);
  };
  const auto xl = [&](const Tie& p) {
    return static_cast<float>(g.crosslineStart + p.j * g.crosslineStep);
  };
  const FA::OrderedCornerPoints corners(
      static_cast<float>(g.inlineStart), static_cast<float>(g.inlineStep),
      static_cast<uint64_t>(g.inlines), static_cast<float>(g.crosslineStart),
      static_cast<float>(g.crosslineStep), static_cast<uint64_t>(g.crosslines), il(t[0]), xl(t[0]),
      t[0].x, t[0].y, il(t[1]), xl(t[1]), t[1].x, t[1].y, il(t[2]), xl(t[2]), t[2].x, t[2].y);
  corners.GetCoords(g.corners);
}

}  // namespace

bool inferGrid(const std::vector<TraceKey>& keys, SegyGrid& g, std::string& error) {
  std::vector<int32_t> il(keys.size()), xl(keys.size());
  for (size_t t = 0; t < keys.size(); ++t) {
    il[t] = keys[t].inlineNo;
    xl[t] = keys[t].crosslineNo;
  }
  if (!inferAxis(il, g.inlineStart, g.inlineStep, g.inlines) ||
      !inferAxis(xl, g.crosslineStart, g.crosslineStep, g.crosslines)) {
    error = "the inline and crossline numbers span too many lines";
    return false;
  }
  // A few scattered numbers would otherwise ask for an enormous, empty grid.
  const int64_t positions = int64_t{g.inlines} * g.crosslines;
  if (positions > 16 * static_cast<int64_t>(keys.size()) + 65536) {
    error = "the inline and crossline numbers do not form a grid: " + std::to_string(g.inlines) +
            " x " + std::to_string(g.crosslines) + " positions for " + std::to_string(keys.size()) +
            " traces";
    return false;
  }
  g.traceAt.assign(static_cast<size_t>(positions), -1);
  for (size_t t = 0; t < keys.size(); ++t) {
    const int64_t i = (int64_t{il[t]} - g.inlineStart) / g.inlineStep;
    const int64_t j = (int64_t{xl[t]} - g.crosslineStart) / g.crosslineStep;
    int32_t& slot = g.traceAt[static_cast<size_t>(i * g.crosslines + j)];
    if (slot >= 0) {
      error = "traces " + std::to_string(slot) + " and " + std::to_string(t) +
              " both lie at inline " + std::to_string(il[t]) + ", crossline " +
              std::to_string(xl[t]) + " (pre-stack gathers or several offsets are not a cube)";
      return false;
    }
    slot = static_cast<int32_t>(t);
  }
  g.dead = positions - static_cast<int64_t>(keys.size());
  findCorners(keys, g);
  return true;
}

}  // namespace tyq_tool
