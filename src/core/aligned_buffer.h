#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

namespace Qra::Ostrel::Tyq::Private {

// A heap block aligned for cache-bypassing transfers; empty when the
// allocation failed, so callers can report OutOfMemory instead of throwing.
class AlignedBuffer {
 public:
  static constexpr size_t kAlignment = 4096;

  AlignedBuffer() = default;
  explicit AlignedBuffer(size_t size) { Resize(size); }
  ~AlignedBuffer() { std::free(data_); }
  AlignedBuffer(const AlignedBuffer&) = delete;
  AlignedBuffer& operator=(const AlignedBuffer&) = delete;
  AlignedBuffer(AlignedBuffer&& other) noexcept : data_(other.data_), size_(other.size_) {
    other.data_ = nullptr;
    other.size_ = 0;
  }

  // Keeps the block when it is already large enough; contents are not kept.
  bool Resize(size_t size) {
    if (size <= size_ && data_) return true;
    std::free(data_);
    size_ = 0;
    const size_t rounded = (size + kAlignment - 1) / kAlignment * kAlignment;
    data_ = rounded ? std::aligned_alloc(kAlignment, rounded) : nullptr;
    if (data_) size_ = rounded;
    return data_ != nullptr;
  }

  void* data() const { return data_; }
  unsigned char* bytes() const { return static_cast<unsigned char*>(data_); }
  size_t size() const { return size_; }

 private:
  void* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace Qra::Ostrel::Tyq::Private
