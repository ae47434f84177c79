#include "access/dirty_bits.h"

#include <algorithm>

namespace Qra::Ostrel::Tyq::Private::Access {

namespace {
int32_t halfUp(int32_t c) {
  return c / 2 + c % 2;
}

uint8_t bitOf(int32_t i, int32_t j, int32_t k) {
  return static_cast<uint8_t>(1u << (4 * (i & 1) + 2 * (j & 1) + (k & 1)));
}
}  // namespace

void DirtyBits4::Reset(int levels, int32_t count0, int32_t count1, int32_t count2) {
  Lock hold(lock_);
  grids_.clear();
  int32_t c[3] = {count0, count1, count2};
  for (int level = 0; level < levels; ++level) {
    Grid grid;
    size_t cells = 1;
    for (int a = 0; a < 3; ++a) {
      grid.count[a] = std::max(c[a], 0);
      grid.half[a] = halfUp(grid.count[a]);
      grid.oddEdge[a] = (grid.count[a] % 2 == 1) ? grid.count[a] - 1 : -1;
      cells *= static_cast<size_t>(grid.half[a]);
      c[a] = halfUp(c[a]);
    }
    grid.bytes.assign(1 + cells, 0);
    grids_.push_back(std::move(grid));
  }
}

const DirtyBits4::Grid* DirtyBits4::GridOf(int level) const {
  if (level < 0 || level >= static_cast<int>(grids_.size())) return nullptr;
  return &grids_[static_cast<size_t>(level)];
}

size_t DirtyBits4::ByteIndex(const Grid& grid, int32_t i, int32_t j, int32_t k) const {
  if (i < 0 || j < 0 || k < 0 || i >= grid.count[0] || j >= grid.count[1] || k >= grid.count[2]) {
    return 0;
  }
  return 1 + static_cast<size_t>(k / 2) +
         static_cast<size_t>(grid.half[2]) *
             (static_cast<size_t>(j / 2) + static_cast<size_t>(i / 2) * grid.half[1]);
}

void DirtyBits4::Clear() {
  Lock hold(lock_);
  grids_.clear();
}

int DirtyBits4::Levels() const {
  Lock hold(lock_);
  return static_cast<int>(grids_.size());
}

bool DirtyBits4::Mark(int level, int32_t i, int32_t j, int32_t k) {
  Lock hold(lock_);
  const Grid* grid = GridOf(level);
  if (!grid) return false;
  uint8_t& byte = grids_[static_cast<size_t>(level)].bytes[ByteIndex(*grid, i, j, k)];
  const uint8_t bit = bitOf(i, j, k);
  const bool wasSet = (byte & bit) != 0;
  byte |= bit;
  uint8_t missing = 0;
  if (i == grid->oddEdge[0]) missing |= 0xF0;
  if (j == grid->oddEdge[1]) missing |= 0xCC;
  if (k == grid->oddEdge[2]) missing |= 0xAA;
  if (missing) {
    if (byte & static_cast<uint8_t>(~missing)) {
      byte |= missing;
    } else {
      byte &= static_cast<uint8_t>(~missing);
    }
  }
  return wasSet;
}

uint8_t DirtyBits4::Get(int level, int32_t i, int32_t j, int32_t k) const {
  Lock hold(lock_);
  const Grid* grid = GridOf(level);
  return grid ? grid->bytes[ByteIndex(*grid, i, j, k)] : 0;
}

uint8_t DirtyBits4::TestAndClear(int level, int32_t i, int32_t j, int32_t k) {
  Lock hold(lock_);
  const Grid* grid = GridOf(level);
  if (!grid) return 0;
  uint8_t& byte = grids_[static_cast<size_t>(level)].bytes[ByteIndex(*grid, i, j, k)];
  const uint8_t value = byte;
  byte = 0;
  return value;
}

void DirtyBits4::Restore(int level, int32_t i, int32_t j, int32_t k, uint8_t byte) {
  Lock hold(lock_);
  const Grid* grid = GridOf(level);
  if (grid) grids_[static_cast<size_t>(level)].bytes[ByteIndex(*grid, i, j, k)] |= byte;
}

void DirtyBits4::ClearLevel(int level) {
  Lock hold(lock_);
  if (!GridOf(level)) return;
  auto& bytes = grids_[static_cast<size_t>(level)].bytes;
  std::fill(bytes.begin(), bytes.end(), 0);
}

bool DirtyBits4::AnyDirty(int level) const {
  Lock hold(lock_);
  return AnyDirtyLocked(level);
}

bool DirtyBits4::AnyDirtyLocked(int level) const {
  const Grid* grid = GridOf(level);
  if (!grid) return false;
  // The spare byte collects out-of-grid marks only and never counts.
  return std::any_of(grid->bytes.begin() + 1, grid->bytes.end(), [](uint8_t b) { return b; });
}

bool DirtyBits4::AnyDirty() const {
  Lock hold(lock_);
  for (size_t level = 0; level < grids_.size(); ++level) {
    if (AnyDirtyLocked(static_cast<int>(level))) return true;
  }
  return false;
}

}  // namespace Qra::Ostrel::Tyq::Private::Access
