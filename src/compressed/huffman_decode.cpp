#include <algorithm>
#include <cstring>

#include "compressed/byte_packing.h"
#include "compressed/huffman.h"
#include "core/endian.h"

namespace Qra::Ostrel::Tyq::Private::Compression {
namespace {

// Codes up to this length decode with one table look-up; longer ones walk
// the canonical code bit by bit.
constexpr int kTableBits = 11;

// Code bits in stream order, the next bit at the bottom of the register.
// Past the end it yields zeros; the caller counts what it consumed.
class LsbBits {
 public:
  LsbBits(const uint8_t* p, size_t bytes) : p_(p), end_(p + bytes) {}

  void refill() {
    if (end_ - p_ >= 8) {
      acc_ |= Le::getU64(p_) << bits_;
      p_ += (63 - bits_) >> 3;
      bits_ |= 56;
      return;
    }
    while (bits_ <= 56) {
      acc_ |= uint64_t{p_ < end_ ? *p_++ : uint8_t{0}} << bits_;
      bits_ += 8;
    }
  }
  int available() const { return bits_; }
  uint32_t peek(int n) const { return static_cast<uint32_t>(acc_ & ((uint64_t{1} << n) - 1)); }
  void drop(int n) {
    acc_ >>= n;
    bits_ -= n;
  }
  uint32_t bit() {
    if (bits_ == 0) refill();
    const uint32_t b = static_cast<uint32_t>(acc_ & 1u);
    drop(1);
    return b;
  }

 private:
  const uint8_t* p_;
  const uint8_t* end_;
  uint64_t acc_ = 0;
  int bits_ = 0;
};

// Every value has a length, so the lengths must describe a full binary
// tree; anything else is damage. Open slots never exceed the leaves still
// to place, which keeps the count small for any length up to 255.
bool isFullCode(const uint8_t lengths[256], int maxLength) {
  uint32_t count[256] = {};
  for (int v = 0; v < 256; ++v) ++count[lengths[v]];
  if (count[0] != 0) return false;
  int64_t open = 1;
  int64_t placed = 0;
  for (int len = 1; len <= maxLength; ++len) {
    open = 2 * open - count[len];
    placed += count[len];
    if (open < 0 || open > 256 - placed) return false;
  }
  return open == 0;
}

class Decoder {
 public:
  Decoder(const uint8_t lengths[256], int minLength, int maxLength)
      : minLength_(minLength), maxLength_(maxLength), fastBits_(std::min(maxLength, kTableBits)) {
    buildCanonical(lengths, minLength, maxLength, canon_);
    uint32_t start[257] = {};
    for (int len = 1; len <= 256; ++len) start[len] = start[len - 1] + canon_.count[len - 1];
    std::copy(start, start + 256, offset_);
    for (int v = 0; v < 256; ++v) sorted_[start[lengths[v]]++] = static_cast<uint8_t>(v);
    buildTable(lengths);
  }

  bool run(const uint8_t* in, int64_t codeBits, uint8_t* out, int32_t capacity, int32_t& produced) {
    LsbBits bits(in, static_cast<size_t>((codeBits + 7) / 8));
    int64_t consumed = 0;
    int32_t n = 0;
    while (consumed < codeBits) {
      bits.refill();
      // One refill serves several short codes.
      uint16_t entry = 0;
      while (bits.available() >= fastBits_ && consumed < codeBits &&
             (entry = table_[bits.peek(fastBits_)]) != 0) {
        if (n == capacity) return false;
        bits.drop(entry & 15);
        consumed += entry & 15;
        out[n++] = static_cast<uint8_t>(entry >> 4);
      }
      if (entry == 0 && consumed < codeBits) {
        if (n == capacity || !decodeLong(bits, consumed, out[n++])) return false;
      }
    }
    if (consumed != codeBits) return false;
    produced = n;
    return true;
  }

 private:
  void buildTable(const uint8_t lengths[256]) {
    std::memset(table_, 0, sizeof table_);
    const uint32_t size = 1u << fastBits_;
    for (int v = 0; v < 256; ++v) {
      const int len = lengths[v];
      if (len > fastBits_) continue;
      uint32_t reversed = 0;
      for (int i = 0; i < len; ++i) reversed |= ((canon_.code[v] >> i) & 1u) << (len - 1 - i);
      for (uint32_t idx = reversed; idx < size; idx += 1u << len) {
        table_[idx] = static_cast<uint16_t>((v << 4) | len);
      }
    }
  }

  // The canonical walk: extend the code while it is below the first code of
  // its length. first[] never exceeds 256, so the code stays small.
  bool decodeLong(LsbBits& bits, int64_t& consumed, uint8_t& value) {
    uint32_t d = 0;
    int len = minLength_;
    for (int i = 0; i < len; ++i) d = (d << 1) | bits.bit();
    while (d < canon_.first[len] && len < maxLength_) {
      d = (d << 1) | bits.bit();
      ++len;
    }
    consumed += len;
    const uint32_t index = d - canon_.first[len];
    if (d < canon_.first[len] || index >= canon_.count[len]) return false;
    value = sorted_[offset_[len] + index];
    return true;
  }

  CanonicalCode canon_;
  int minLength_;
  int maxLength_;
  int fastBits_;
  uint32_t offset_[256];
  uint8_t sorted_[256];
  uint16_t table_[1u << kTableBits];
};

}  // namespace

bool readHuffman(const uint8_t* in, int64_t bits, uint8_t* out, int32_t capacity,
                 int32_t& produced) {
  produced = 0;
  if (bits < 16) return false;
  const int maxLength = in[0];
  const int minLength = in[1];
  if (minLength < 1 || minLength > maxLength) return false;
  const int width = bitWidth(static_cast<uint32_t>(maxLength - minLength));
  const int64_t headBits = 16 + 256 * int64_t{width};
  if (bits < headBits) return false;
  uint8_t lengths[256];
  unpackByteValues(in + 2, 256, 0, width, lengths);
  for (int v = 0; v < 256; ++v) {
    const int len = lengths[v] + minLength;
    if (len > maxLength) return false;
    lengths[v] = static_cast<uint8_t>(len);
  }
  if (!isFullCode(lengths, maxLength)) return false;
  Decoder decoder(lengths, minLength, maxLength);
  return decoder.run(in + headBits / 8, bits - headBits, out, capacity, produced);
}

}  // namespace Qra::Ostrel::Tyq::Private::Compression
