#pragma once

// Decoded bricks kept for repeated reads, least recently used first out.
// Shared by every thread of one reader; decoding runs outside its lock, so
// two threads may decode the same brick at once and the second insert wins.
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace Qra::Ostrel::Tyq::Private::Compressed {

class BrickCache {
 public:
  using Brick = std::shared_ptr<const std::vector<float>>;

  explicit BrickCache(int64_t capacityBytes) : capacity_(capacityBytes) {}

  // The size the host asked for: `megabytes` when not negative, else the
  // environment setting "OSTREL_TYQ_BRICK_CACHE_MB", else 256 MiB.
  static int64_t ChosenCapacity(int32_t megabytes);

  bool Enabled() const { return capacity_ > 0; }
  Brick Find(int64_t key);
  void Insert(int64_t key, Brick brick);
  void Clear();

 private:
  using Order = std::list<int64_t>;
  struct Slot {
    Brick brick;
    Order::iterator place;
  };

  const int64_t capacity_;
  int64_t used_ = 0;
  Order order_;  // most recent first
  std::unordered_map<int64_t, Slot> slots_;
  std::mutex lock_;
};

}  // namespace Qra::Ostrel::Tyq::Private::Compressed
