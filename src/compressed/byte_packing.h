#pragma once

// Bit packing of bytes and of little-endian 32-bit words above their
// minimum. Packed values go most significant bit first into bytes filled
// from their top bit down, the last byte zero-filled.
#include <cstddef>
#include <cstdint>

namespace Qra::Ostrel::Tyq::Private::Compression {

// Significant bits of `range`: 0 for 0, 1 for 1, 2 for 2..3, 3 for 4..7, ...
int bitWidth(uint32_t range);

struct ByteRange {
  uint8_t min;
  uint8_t max;
};
struct WordRange {
  uint32_t min;
  uint32_t max;
};

// Smallest and largest of `n` >= 1 bytes, or of `words` >= 1 words.
ByteRange byteRange(const uint8_t* in, size_t n);
WordRange wordRange(const uint8_t* in, size_t words);

// Coded bytes of `count` values of `width` bits, the last byte partial.
inline int64_t packedBytes(int64_t count, int width) {
  return (count * width + 7) / 8;
}

// Bytes as (v - min) in `width` bits.
void packByteValues(const uint8_t* in, size_t n, uint8_t min, int width, uint8_t* out);
// Words (little-endian in `in`) as (v - min) in `width` (0..32) bits.
void packWordValues(const uint8_t* in, size_t words, uint32_t min, int width, uint8_t* out);

// Inverse of the two above: `n` bytes or `words` words come out with `min`
// added back (modulo 2^8 or 2^32). `in` holds the packed values in full.
void unpackByteValues(const uint8_t* in, size_t n, uint8_t min, int width, uint8_t* out);
void unpackWordValues(const uint8_t* in, size_t words, uint32_t min, int width, uint8_t* out);

}  // namespace Qra::Ostrel::Tyq::Private::Compression
