#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace Qra::Ostrel::Tyq::Private::Access {

// Which bricks (or tiles) of each level were written since their parent was
// last rebuilt. One byte stands for the eight children of one brick of the
// next level up, so a parent is complete when its byte reads 0xFF; children
// that do not exist on an odd survey edge are kept set alongside their
// siblings to make that test work there too. Every operation takes the
// object's own lock, so writer threads may mark while the level-of-detail
// driver reads and clears.
class DirtyBits4 {
 public:
  // Grids for `levels` levels, halving the level-0 counts (rounding up).
  void Reset(int levels, int32_t count0, int32_t count1, int32_t count2);
  void Clear();
  int Levels() const;

  // Sets the brick's bit; returns whether it was set before.
  bool Mark(int level, int32_t i, int32_t j, int32_t k);
  // The byte that holds brick (i, j, k): the dirty children of its parent.
  uint8_t Get(int level, int32_t i, int32_t j, int32_t k) const;
  // Returns that byte and zeroes it.
  uint8_t TestAndClear(int level, int32_t i, int32_t j, int32_t k);
  // Sets again the bits of `byte`, as TestAndClear returned it, when the
  // parent it stood for could not be rebuilt.
  void Restore(int level, int32_t i, int32_t j, int32_t k, uint8_t byte);
  void ClearLevel(int level);
  bool AnyDirty() const;
  bool AnyDirty(int level) const;

 private:
  struct Grid {
    int32_t count[3];
    int32_t half[3];
    int32_t oddEdge[3];
    std::vector<uint8_t> bytes;  // bytes[0] is the spare for out-of-grid indices
  };

  using Lock = std::lock_guard<std::mutex>;

  bool AnyDirtyLocked(int level) const;
  size_t ByteIndex(const Grid& grid, int32_t i, int32_t j, int32_t k) const;
  const Grid* GridOf(int level) const;

  mutable std::mutex lock_;
  std::vector<Grid> grids_;
};

// The marks a store keeps for the level-of-detail driver: bricks of every
// level, and flag tiles (k always 0).
struct DirtyMarks {
  DirtyBits4 bricks;
  DirtyBits4 tiles;
};

}  // namespace Qra::Ostrel::Tyq::Private::Access
