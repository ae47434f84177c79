#pragma once

// Bit streams filled from bit 0 of each byte upward, moved 64 bits at a time.
#include <algorithm>
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
  // The low n bits of v (n = 1..32, no higher bits set), bit 0 first.
  void putBits(uint32_t v, int n) {
    acc_ |= uint64_t{v} << n_;
    const int total = n_ + n;
    if (total < 64) {
      n_ = total;
      return;
    }
    const int used = 64 - n_;
    spill();
    acc_ = uint64_t{v} >> used;
    n_ = total - 64;
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
    if (pos_ + 8 <= capacity_)
      Le::putU64(start_ + pos_, acc_);
    else
      overflow_ = true;
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
  // Consumes the zero bits already at hand before the next 1, at most n
  // (n <= 32); returns how many.
  int skipZeros(int n) {
    const int z = acc_ == 0 ? std::min(n, n_) : std::min({n, n_, __builtin_ctzll(acc_)});
    acc_ >>= z;
    n_ -= z;
    return z;
  }
  // The next n bits (n = 1..32), the first in bit 0: as n calls of get().
  uint32_t getBits(int n) {
    const uint64_t mask = (uint64_t{1} << n) - 1;
    if (n_ >= n) {
      const uint64_t v = acc_ & mask;
      acc_ >>= n;
      n_ -= n;
      return static_cast<uint32_t>(v);
    }
    const int have = n_;
    uint64_t v = acc_;
    refill();
    const int rest = n - have;
    v |= acc_ << have;
    acc_ >>= rest;
    n_ -= rest;
    return static_cast<uint32_t>(v & mask);
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
