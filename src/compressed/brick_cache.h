#pragma once

// Decoded bricks kept for repeated reads; a brick not read since the clock
// hand last passed it goes first (second chance, close to least recently
// used without a write per hit).
// Shared by every thread of one reader; decoding runs outside its lock, so
// two threads may decode the same brick at once and the second insert wins.
//
// Brick buffers are recycled: a brick evicted or no longer lent goes back to
// a free list that the next decode takes from, so a warm reader neither
// allocates nor faults in fresh pages. A request touching more bricks than
// half the cache holds is not admitted: its bricks are lent out and
// recycled but not kept, so one large read neither flushes the bricks that
// slice reads keep coming back to nor depends on them.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>
#include <vector>

namespace Qra::Ostrel::Tyq::Private::Compressed {

class BrickCache {
 public:
  using Brick = std::shared_ptr<const float>;
  using Buffer = std::shared_ptr<float>;

  BrickCache(int64_t capacityBytes, int64_t brickSamples);

  // The size the host asked for: `megabytes` when not negative, else the
  // environment setting "OSTREL_TYQ_BRICK_CACHE_MB", else a sixteenth of
  // the machine's memory and at least 256 MiB.
  static int64_t ChosenCapacity(int32_t megabytes);

  bool Enabled() const { return capacity_ > 0; }
  // Whether a request touching `bricks` bricks keeps those it decodes.
  bool Admits(int64_t bricks) const;
  Brick Find(int64_t key);
  // A buffer for one brick, recycled when one is free; null when memory
  // runs out.
  Buffer Acquire();
  void Insert(int64_t key, Brick brick);
  void Clear();
  // Brick buffers allocated so far (not recycled).
  int64_t BuffersMade() const;

 private:
  class Recycler;
  struct Slot {
    explicit Slot(Brick b) : brick(std::move(b)) {}
    Brick brick;
    std::atomic<bool> referenced{false};  // read since the hand last passed
  };

  const int64_t capacity_;
  const int64_t brickBytes_;
  std::shared_ptr<Recycler> recycler_;
  std::unordered_map<int64_t, Slot> slots_;
  std::vector<int64_t> ring_;  // keys in the order the hand visits them
  size_t hand_ = 0;
  std::shared_mutex lock_;
};

}  // namespace Qra::Ostrel::Tyq::Private::Compressed
