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
  // put(bit) when `take` is 1; nothing when it is 0 (bit must be 0 then).
  void putIf(uint32_t bit, uint32_t take) {
    acc_ |= uint64_t{bit} << n_;
    n_ += static_cast<int>(take);
    if (n_ == 64) spill();
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

// Reads [data, data + size); past the end every bit is 0. The bits at hand
// sit below a marker bit in one word, so that the word alone tells how many
// are left: a read costs a shift and no count to keep.
class BitReader {
 public:
  void reset(const uint8_t* data, size_t size) {
    p_ = data;
    end_ = data + size;
    acc_ = 1;
  }
  // Consumes the zero bits already at hand before the next 1, at most n
  // (n <= 32); returns how many.
  int skipZeros(int n) {
    const int z = std::min(n, __builtin_ctzll(acc_));
    acc_ >>= z;
    return z;
  }
  // The next n bits (n = 1..32), the first in bit 0: as n calls of get().
  uint32_t getBits(int n) {
    const uint64_t mask = (uint64_t{1} << n) - 1;
    if ((acc_ >> n) != 0) {
      const uint64_t v = acc_ & mask;
      acc_ >>= n;
      return static_cast<uint32_t>(v);
    }
    const int have = 63 - __builtin_clzll(acc_);
    const uint64_t v = acc_ ^ (uint64_t{1} << have);
    refill();
    const uint64_t all = v | acc_ << have;
    acc_ >>= n - have;
    return static_cast<uint32_t>(all & mask);
  }
  uint32_t get() {
    if (acc_ == 1) refill();
    const uint32_t b = static_cast<uint32_t>(acc_ & 1);
    acc_ >>= 1;
    return b;
  }
  // get() when `take` is 1; 0 when it is 0, with nothing consumed (filling
  // an empty word early changes nothing that is read).
  uint32_t getIf(uint32_t take) {
    if (acc_ == 1) refill();
    const uint32_t b = static_cast<uint32_t>(acc_) & take;
    acc_ >>= take;
    return b;
  }

 private:
  static constexpr int kRefillBits = 56;

  // Takes the next 7 bytes (zeros past the end) below a new marker.
  void refill() {
    const size_t left = static_cast<size_t>(end_ - p_);
    uint64_t v = 0;
    if (left >= 8) {
      v = Le::getU64(p_) & ((uint64_t{1} << kRefillBits) - 1);
      p_ += kRefillBits / 8;
    } else {
      const size_t n = std::min<size_t>(left, kRefillBits / 8);
      for (size_t i = 0; i < n; ++i) v |= uint64_t{p_[i]} << (8 * i);
      p_ += n;
    }
    acc_ = v | uint64_t{1} << kRefillBits;
  }

  const uint8_t* p_ = nullptr;
  const uint8_t* end_ = nullptr;
  uint64_t acc_ = 1;
};

}  // namespace Qra::Ostrel::Tyq::Private::Block
