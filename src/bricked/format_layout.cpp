#include <cstring>

#include "bricked/format.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {

namespace E = FileAccess;

namespace {

constexpr int64_t kMaxEntries = INT64_MAX / static_cast<int64_t>(kEntrySize);

// total + a * b * c, false when it would pass `limit` (all inputs >= 0).
bool addProduct(int64_t& total, int64_t a, int64_t b, int64_t c, int64_t limit) {
  if (a != 0 && b > limit / a) return false;
  const int64_t ab = a * b;
  if (ab != 0 && c > limit / ab) return false;
  const int64_t abc = ab * c;
  if (abc > limit - total) return false;
  total += abc;
  return true;
}

bool setLevelCounts(const E::FileInfo& fileInfo, TableGeometry::Level& level, int lod) {
  for (int a = 0; a < 3; ++a) {
    level.count[a] = fileInfo.GetNumberOfBricks(a, lod);
    if (level.count[a] < 0) return false;
  }
  return true;
}

}  // namespace

bool computeTableGeometry(const E::FileInfo& fileInfo, TableGeometry& out) {
  if (fileInfo.numberOfLods < 1) return false;
  TableGeometry g;
  g.levels.resize(static_cast<size_t>(fileInfo.numberOfLods));
  for (int lod = fileInfo.numberOfLods - 1; lod >= 0; --lod) {
    TableGeometry::Level& level = g.levels[static_cast<size_t>(lod)];
    if (!setLevelCounts(fileInfo, level, lod)) return false;
    level.brickStart = g.brickEntries;
    level.tileStart = g.tileEntries;
    if (!addProduct(g.brickEntries, level.count[0], level.count[1], level.count[2], kMaxEntries) ||
        !addProduct(g.tileEntries, level.count[0], level.count[1], 1, kMaxEntries)) {
      return false;
    }
  }
  out = std::move(g);
  return true;
}

namespace {

const TableGeometry::Level* levelOf(const TableGeometry& g, int level) {
  if (level < 0 || static_cast<size_t>(level) >= g.levels.size()) return nullptr;
  return &g.levels[static_cast<size_t>(level)];
}

bool inside(int32_t i, int32_t count) {
  return i >= 0 && i < count;
}

}  // namespace

int64_t brickEntryIndex(const TableGeometry& g, int level, int32_t i, int32_t j, int32_t k) {
  const TableGeometry::Level* l = levelOf(g, level);
  if (!l || !inside(i, l->count[0]) || !inside(j, l->count[1]) || !inside(k, l->count[2])) {
    return -1;
  }
  return l->brickStart + i + int64_t{l->count[0]} * (j + int64_t{l->count[1]} * k);
}

int64_t tileEntryIndex(const TableGeometry& g, int level, int32_t i, int32_t j) {
  const TableGeometry::Level* l = levelOf(g, level);
  if (!l || !inside(i, l->count[0]) || !inside(j, l->count[1])) return -1;
  return l->tileStart + i + int64_t{l->count[0]} * j;
}

bool validBrickGeometry(const E::FileInfo& fileInfo) {
  const int32_t sampleSize = E::DataTypeEnum::Size(fileInfo.dataType);
  if (sampleSize <= 0) return false;
  for (int32_t b : fileInfo.brickSize) {
    if (b <= 0) return false;
  }
  int64_t bytes = 0;
  return addProduct(bytes, fileInfo.brickSize[0], fileInfo.brickSize[1],
                    int64_t{fileInfo.brickSize[2]} * sampleSize, INT32_MAX);
}

bool creatableBrickGeometry(const E::FileInfo& fileInfo, int32_t version) {
  if (!validBrickGeometry(fileInfo)) return false;
  const int32_t* b = fileInfo.brickSize;
  if (version == 1 && (b[0] != 64 || b[1] != 64 || b[2] != 64)) return false;
  if (fileInfo.numberOfLods <= 1) return true;
  return b[0] % 2 == 0 && b[1] % 2 == 0 && b[2] % 2 == 0;
}

// ---------------------------------------------------------------------------

int64_t blockedTraceIndex(int i0, int i1, int brick1) {
  return (int64_t{i0 / 8} * (brick1 / 8) + i1 / 8) * 64 + (i0 % 8) * 8 + (i1 % 8);
}

namespace {

bool blockable(int brick0, int brick1) {
  return brick0 > 0 && brick1 > 0 && brick0 % 8 == 0 && brick1 % 8 == 0;
}

template <bool kToBlocked>
bool reorder(const uint8_t* from, uint8_t* to, int brick0, int brick1, size_t traceBytes) {
  if (!blockable(brick0, brick1)) return false;
  for (int i0 = 0; i0 < brick0; ++i0) {
    for (int i1 = 0; i1 < brick1; ++i1) {
      const size_t natural = (static_cast<size_t>(i0) * brick1 + i1) * traceBytes;
      const size_t blocked = static_cast<size_t>(blockedTraceIndex(i0, i1, brick1)) * traceBytes;
      if (kToBlocked) {
        std::memcpy(to + blocked, from + natural, traceBytes);
      } else {
        std::memcpy(to + natural, from + blocked, traceBytes);
      }
    }
  }
  return true;
}

}  // namespace

bool toBlockedLayout(const uint8_t* natural, uint8_t* blocked, int brick0, int brick1,
                     size_t traceBytes) {
  return reorder<true>(natural, blocked, brick0, brick1, traceBytes);
}

bool fromBlockedLayout(const uint8_t* blocked, uint8_t* natural, int brick0, int brick1,
                       size_t traceBytes) {
  return reorder<false>(blocked, natural, brick0, brick1, traceBytes);
}

}  // namespace Qra::Ostrel::Tyq::Private::Bricked
