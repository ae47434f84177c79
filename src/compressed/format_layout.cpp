// The offsets record and the level geometry of the lookup tables.
#include <algorithm>

#include "compressed/format.h"
#include "core/endian.h"

namespace Qra::Ostrel::Tyq::Private::Compressed {

std::string encodeOffsets(const Offsets& o) {
  std::string out;
  Le::Writer w(out);
  for (int64_t v : {o.info, o.statistics, o.alphaTable, o.brickTable, o.hist}) w.i64HighFirst(v);
  return out;
}

Offsets decodeOffsets(const uint8_t bytes[kOffsetsSize]) {
  Le::Reader r(bytes, kOffsetsSize);
  Offsets o;
  o.info = r.i64HighFirst();
  o.statistics = r.i64HighFirst();
  o.alphaTable = r.i64HighFirst();
  o.brickTable = r.i64HighFirst();
  o.hist = r.i64HighFirst();
  return o;
}

int pyramidLevels(const int32_t bricks[3]) {
  const int32_t largest = std::max({bricks[0], bricks[1], bricks[2]});
  int k = 0;
  while (k < kMaxLevels - 1 && (int64_t{1} << k) < largest) ++k;
  return 1 + k;
}

LevelGeometry makeGeometry(const int32_t bricks[3], int levels) {
  LevelGeometry g;
  g.levels = std::clamp(levels, 1, kMaxLevels);
  // Counts from a damaged block may multiply beyond any table; they stop at
  // a bound the callers refuse, and the sums of 32 levels stay in range.
  constexpr int64_t kBound = int64_t{1} << 40;
  for (int l = 0; l < g.levels; ++l) {
    int64_t n = 1;
    for (int a = 0; a < 3; ++a) {
      const int64_t c = (int64_t{std::max(bricks[a], 0)} + (int64_t{1} << l) - 1) >> l;
      g.count[l][a] = static_cast<int32_t>(c);
      n = c != 0 && n > kBound / c ? kBound : n * c;
    }
    g.start[l + 1] = g.start[l] + n;
  }
  return g;
}

int64_t LevelGeometry::index(int32_t i, int32_t j, int32_t k, int level) const {
  if (level < 0 || level >= levels) return -1;
  const int32_t* c = count[level];
  if (i < 0 || j < 0 || k < 0 || i >= c[0] || j >= c[1] || k >= c[2]) return -1;
  return start[level] + (int64_t{k} * c[1] + j) * c[0] + i;
}

}  // namespace Qra::Ostrel::Tyq::Private::Compressed
