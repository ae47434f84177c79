#include "compressed/brick_cache.h"

#include <algorithm>

#include "tyq/environment.h"

namespace Qra::Ostrel::Tyq::Private::Compressed {

int64_t BrickCache::ChosenCapacity(int32_t megabytes) {
  if (megabytes < 0) megabytes = Environment::getNumericEnv("OSTREL_TYQ_BRICK_CACHE_MB", 256);
  return int64_t{std::max(megabytes, 0)} << 20;
}

BrickCache::Brick BrickCache::Find(int64_t key) {
  std::lock_guard<std::mutex> hold(lock_);
  const auto it = slots_.find(key);
  if (it == slots_.end()) return nullptr;
  order_.splice(order_.begin(), order_, it->second.place);
  return it->second.brick;
}

void BrickCache::Insert(int64_t key, Brick brick) {
  const int64_t bytes = static_cast<int64_t>(brick->size() * sizeof(float));
  if (bytes > capacity_) return;
  std::lock_guard<std::mutex> hold(lock_);
  const auto it = slots_.find(key);
  if (it != slots_.end()) {
    used_ -= static_cast<int64_t>(it->second.brick->size() * sizeof(float));
    order_.erase(it->second.place);
    slots_.erase(it);
  }
  while (used_ + bytes > capacity_ && !order_.empty()) {
    const auto last = slots_.find(order_.back());
    used_ -= static_cast<int64_t>(last->second.brick->size() * sizeof(float));
    slots_.erase(last);
    order_.pop_back();
  }
  order_.push_front(key);
  slots_.emplace(key, Slot{std::move(brick), order_.begin()});
  used_ += bytes;
}

void BrickCache::Clear() {
  std::lock_guard<std::mutex> hold(lock_);
  slots_.clear();
  order_.clear();
  used_ = 0;
}

}  // namespace Qra::Ostrel::Tyq::Private::Compressed
