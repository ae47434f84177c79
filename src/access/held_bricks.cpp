#include "access/held_bricks.h"

#include <atomic>
#include <cstring>
#include <utility>

namespace Qra::Ostrel::Tyq::Private::Access {

namespace {
std::atomic<size_t>& Limit() {
  static std::atomic<size_t> limit{HeldBricks::kDefaultLimit};
  return limit;
}
}  // namespace

void HeldBricks::SetLimitForNewWriters(size_t limit) {
  Limit().store(limit);
}

size_t HeldBricks::LimitForNewWriters() {
  return Limit().load();
}

void HeldBricks::Reset(size_t brickBytes) {
  std::lock_guard<std::mutex> hold(lock_);
  brickBytes_ = brickBytes;
  limit_ = Limit().load();
  held_.clear();
  spare_.clear();
}

void HeldBricks::Keep(int level, int i, int j, int k, const void* data) {
  Forget(level, i, j, k);  // an older copy never outlives a newer brick
  std::shared_ptr<AlignedBuffer> buffer = Lend();
  if (!buffer) return;  // not kept: read back later
  size_t bytes = 0;
  {
    std::lock_guard<std::mutex> hold(lock_);
    bytes = brickBytes_;
  }
  std::memcpy(buffer->data(), data, bytes);
  Adopt(level, i, j, k, std::move(buffer));
}

std::shared_ptr<AlignedBuffer> HeldBricks::Lend() {
  std::lock_guard<std::mutex> hold(lock_);
  if (brickBytes_ == 0 || held_.size() * brickBytes_ >= limit_) return nullptr;
  if (!spare_.empty()) {
    std::shared_ptr<AlignedBuffer> buffer = std::move(spare_.back());
    spare_.pop_back();
    return buffer;
  }
  auto buffer = std::make_shared<AlignedBuffer>();
  return buffer->Resize(brickBytes_) ? buffer : nullptr;
}

void HeldBricks::Adopt(int level, int i, int j, int k, std::shared_ptr<AlignedBuffer> buffer) {
  std::lock_guard<std::mutex> hold(lock_);
  if (brickBytes_ == 0 || !buffer || buffer->size() < brickBytes_) return;
  const Key key{level, i, j, k};
  auto found = held_.find(key);
  if (found != held_.end()) {
    Recycle(std::move(found->second));
    held_.erase(found);
  }
  if ((held_.size() + 1) * brickBytes_ > limit_) {
    Recycle(std::move(buffer));
    return;
  }
  held_.emplace(key, std::move(buffer));
}

void HeldBricks::Forget(int level, int i, int j, int k) {
  std::lock_guard<std::mutex> hold(lock_);
  auto found = held_.find(Key{level, i, j, k});
  if (found == held_.end()) return;
  Recycle(std::move(found->second));
  held_.erase(found);
}

std::shared_ptr<const AlignedBuffer> HeldBricks::Find(int level, int i, int j, int k) const {
  std::lock_guard<std::mutex> hold(lock_);
  const auto found = held_.find(Key{level, i, j, k});
  return found == held_.end() ? nullptr : found->second;
}

void HeldBricks::Clear() {
  std::lock_guard<std::mutex> hold(lock_);
  held_.clear();
  spare_.clear();
}

size_t HeldBricks::HeldBytes() const {
  std::lock_guard<std::mutex> hold(lock_);
  return held_.size() * brickBytes_;
}

// The caller holds the lock. Spare buffers stay within the limit together
// with the held ones: fresh pages cost more than the copy they serve. A
// buffer still in use by a reader is left to it.
void HeldBricks::Recycle(std::shared_ptr<AlignedBuffer> buffer) {
  if (buffer.use_count() == 1 && (held_.size() + spare_.size()) * brickBytes_ < limit_) {
    spare_.push_back(std::move(buffer));
  }
}

}  // namespace Qra::Ostrel::Tyq::Private::Access
