#include "compressed/brick_cache.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "tyq/environment.h"

namespace Qra::Ostrel::Tyq::Private::Compressed {

namespace {

constexpr int64_t kMinDefault = int64_t{256} << 20;
// Free buffers kept beyond those the cache holds: enough for the bricks in
// flight on every thread of a request, which are lent and then given back.
constexpr size_t kSpareBuffers = 16;

int64_t PhysicalMemory() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page = sysconf(_SC_PAGESIZE);
  return pages > 0 && page > 0 ? int64_t{pages} * page : 0;
}

}  // namespace

// Outlives the cache while any brick it made is still lent out: a brick's
// deleter gives the buffer back here.
class BrickCache::Recycler {
 public:
  explicit Recycler(size_t bytes) : bytes_(bytes) {}
  ~Recycler() {
    for (float* buffer : free_) std::free(buffer);
  }

  float* Take() {
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (!free_.empty()) {
        float* buffer = free_.back();
        free_.pop_back();
        return buffer;
      }
      ++made_;
    }
    return static_cast<float*>(std::aligned_alloc(64, bytes_));
  }

  void Give(float* buffer, size_t keep) {
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (free_.size() < keep) {
        free_.push_back(buffer);
        return;
      }
    }
    std::free(buffer);
  }

  int64_t Made() {
    std::lock_guard<std::mutex> hold(lock_);
    return made_;
  }

 private:
  const size_t bytes_;
  std::mutex lock_;
  std::vector<float*> free_;
  int64_t made_ = 0;
};

BrickCache::BrickCache(int64_t capacityBytes, int64_t brickSamples)
    : capacity_(capacityBytes),
      brickBytes_(brickSamples * static_cast<int64_t>(sizeof(float))),
      recycler_(std::make_shared<Recycler>(static_cast<size_t>(brickBytes_))) {}

int64_t BrickCache::ChosenCapacity(int32_t megabytes) {
  if (megabytes < 0) megabytes = Environment::getNumericEnv("OSTREL_TYQ_BRICK_CACHE_MB", -1);
  if (megabytes >= 0) return int64_t{megabytes} << 20;
  return std::max(kMinDefault, PhysicalMemory() / 16);
}

bool BrickCache::Admits(int64_t bricks) const {
  return Enabled() && bricks <= capacity_ / 2 / brickBytes_;
}

// Hits take the lock shared and only mark their slot, so threads reading
// the same bricks at once do not queue behind each other.
BrickCache::Brick BrickCache::Find(int64_t key) {
  std::shared_lock<std::shared_mutex> hold(lock_);
  const auto it = slots_.find(key);
  if (it == slots_.end()) return nullptr;
  Slot& slot = it->second;
  if (!slot.referenced.load(std::memory_order_relaxed)) {
    slot.referenced.store(true, std::memory_order_relaxed);
  }
  return slot.brick;
}

BrickCache::Buffer BrickCache::Acquire() {
  float* buffer = recycler_->Take();
  if (!buffer) return nullptr;
  // Free buffers beyond what the cache can hold would be memory it never
  // uses; a disabled cache still recycles the bricks of one request.
  const size_t keep = static_cast<size_t>(capacity_ / brickBytes_) + kSpareBuffers;
  return Buffer(buffer, [recycler = recycler_, keep](float* p) { recycler->Give(p, keep); });
}

// Second chance: the hand passes over bricks read since it last came by,
// clearing their mark, and takes the first one that was not.
void BrickCache::Insert(int64_t key, Brick brick) {
  const size_t slots = static_cast<size_t>(capacity_ / brickBytes_);
  if (slots == 0) return;
  Brick evicted;  // released outside the lock
  std::unique_lock<std::shared_mutex> hold(lock_);
  const auto it = slots_.find(key);
  if (it != slots_.end()) {
    evicted = std::exchange(it->second.brick, std::move(brick));
    return;
  }
  if (ring_.size() < slots) {
    ring_.push_back(key);
  } else {
    for (;;) {
      hand_ = (hand_ + 1) % ring_.size();
      const auto victim = slots_.find(ring_[hand_]);
      if (victim->second.referenced.exchange(false, std::memory_order_relaxed)) continue;
      evicted = std::move(victim->second.brick);
      slots_.erase(victim);
      ring_[hand_] = key;
      break;
    }
  }
  slots_.try_emplace(key, std::move(brick));
}

void BrickCache::Clear() {
  std::unordered_map<int64_t, Slot> gone;
  std::unique_lock<std::shared_mutex> hold(lock_);
  gone.swap(slots_);
  ring_.clear();
  hand_ = 0;
}

int64_t BrickCache::BuffersMade() const {
  return recycler_->Made();
}

}  // namespace Qra::Ostrel::Tyq::Private::Compressed
