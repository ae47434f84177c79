#pragma once

// Bit streams filled from bit 0 of each byte upward, moved 64 bits at a time.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/endian.h"

namespace Qra::Ostrel::Tyq::Private::Block {

// Writes into [start, start + capacity). Bits beyond the capacity are
// counted but not stored, and mark the writer as overflowed.
class BitWriter {
 public:
  void reset(uint8_t* start, size_t capacity) {
    start_ = start;
    capacity_ = capacity;
    pos_ = 0;
    acc_ = 0;
    n_ = 0;
    overflow_ = false;
  }
  void put(uint32_t bit) {
    acc_ |= uint64_t{bit} << n_;
    if (++n_ == 64) spill();
  }
  void putZeros8() {
    if (n_ + 8 < 64) {
      n_ += 8;
    } else {
      for (int i = 0; i < 8; ++i) put(0);
    }
  }
  // Bits written so far.
  uint64_t bits() const { return pos_ * 8 + static_cast<uint64_t>(n_); }
  // Stores the pending bits; a stream of b bits occupies b / 8 + 1 bytes
  // (the last one partly or wholly zero). Returns that length.
  size_t finish() {
    const size_t tail = static_cast<size_t>(n_ / 8 + 1);
    if (!overflow_ && pos_ + tail <= capacity_) {
      for (size_t i = 0; i < tail; ++i) start_[pos_ + i] = static_cast<uint8_t>(acc_ >> (8 * i));
    } else {
      overflow_ = true;
    }
    const size_t length = pos_ + tail;
    pos_ += static_cast<size_t>(n_ / 8);
    n_ %= 8;
    acc_ = 0;
    return length;
  }
  bool overflowed() const { return overflow_; }
  const uint8_t* start() const { return start_; }

 private:
  void spill() {
    if (pos_ + 8 <= capacity_) Le::putU64(start_ + pos_, acc_);
    else overflow_ = true;
    pos_ += 8;
    acc_ = 0;
    n_ = 0;
  }

  uint8_t* start_ = nullptr;
  size_t capacity_ = 0;
  size_t pos_ = 0;
  uint64_t acc_ = 0;
  int n_ = 0;
  bool overflow_ = false;
};

// Reads [data, data + size); past the end every bit is 0.
class BitReader {
 public:
  void reset(const uint8_t* data, size_t size) {
    p_ = data;
    end_ = data + size;
    acc_ = 0;
    n_ = 0;
  }
  // Consumes the next 8 bits when they are all 0 and already at hand;
  // otherwise consumes nothing and returns false.
  bool skipZeros8() {
    if (n_ < 8 || (acc_ & 0xFF) != 0) return false;
    acc_ >>= 8;
    n_ -= 8;
    return true;
  }
  uint32_t get() {
    if (n_ == 0) refill();
    const uint32_t b = static_cast<uint32_t>(acc_ & 1);
    acc_ >>= 1;
    --n_;
    return b;
  }

 private:
  void refill() {
    const size_t left = static_cast<size_t>(end_ - p_);
    if (left >= 8) {
      acc_ = Le::getU64(p_);
      p_ += 8;
    } else {
      acc_ = 0;
      for (size_t i = 0; i < left; ++i) acc_ |= uint64_t{p_[i]} << (8 * i);
      p_ = end_;
    }
    n_ = 64;
  }

  const uint8_t* p_ = nullptr;
  const uint8_t* end_ = nullptr;
  uint64_t acc_ = 0;
  int n_ = 0;
};

}  // namespace Qra::Ostrel::Tyq::Private::Block
