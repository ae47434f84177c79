#include "compressed/byte_packing.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "core/endian.h"

namespace Qra::Ostrel::Tyq::Private::Compression {
namespace {

// Lanes of the min/max searches and of adding back the minimum: wide enough
// for the compiler to turn each inner loop into a few vector instructions.
constexpr size_t kByteLanes = 32;
constexpr size_t kWordLanes = 16;

uint64_t lowMask(int width) {
  return width >= 64 ? ~uint64_t{0} : (uint64_t{1} << width) - 1;
}

// Appends `count` values of `width` (1..32) bits, the first value's top bit
// at the top of the first byte.
template <typename Load>
void packMsb(size_t count, int width, uint8_t* out, Load load) {
  const uint64_t mask = lowMask(width);
  uint64_t acc = 0;
  int bits = 0;
  for (size_t i = 0; i < count; ++i) {
    acc = (acc << width) | (load(i) & mask);
    bits += width;
    while (bits >= 8) {
      bits -= 8;
      *out++ = static_cast<uint8_t>(acc >> bits);
    }
  }
  if (bits > 0) *out = static_cast<uint8_t>(acc << (8 - bits));
}

// Reads exactly packedBytes(count, width) bytes.
template <typename Store>
void unpackMsb(const uint8_t* in, size_t count, int width, Store store) {
  const uint64_t mask = lowMask(width);
  uint64_t acc = 0;
  int bits = 0;
  for (size_t i = 0; i < count; ++i) {
    while (bits < width) {
      acc = (acc << 8) | *in++;
      bits += 8;
    }
    bits -= width;
    store(i, static_cast<uint32_t>((acc >> bits) & mask));
  }
}

void addByteMin(uint8_t* data, size_t n, uint8_t min) {
  size_t i = 0;
  for (; i + kByteLanes <= n; i += kByteLanes) {
    for (size_t j = 0; j < kByteLanes; ++j) data[i + j] = static_cast<uint8_t>(data[i + j] + min);
  }
  for (; i < n; ++i) data[i] = static_cast<uint8_t>(data[i] + min);
}

void addWordMin(uint8_t* data, size_t words, uint32_t min) {
  size_t i = 0;
  uint32_t lane[kWordLanes];
  for (; i + kWordLanes <= words; i += kWordLanes) {
    uint8_t* p = data + 4 * i;
    for (size_t j = 0; j < kWordLanes; ++j) lane[j] = Le::getU32(p + 4 * j) + min;
    for (size_t j = 0; j < kWordLanes; ++j) Le::putU32(p + 4 * j, lane[j]);
  }
  for (; i < words; ++i) Le::putU32(data + 4 * i, Le::getU32(data + 4 * i) + min);
}

}  // namespace

int bitWidth(uint32_t range) {
  return static_cast<int>(std::bit_width(range));
}

ByteRange byteRange(const uint8_t* in, size_t n) {
  uint8_t lo[kByteLanes];
  uint8_t hi[kByteLanes];
  std::fill(lo, lo + kByteLanes, in[0]);
  std::fill(hi, hi + kByteLanes, in[0]);
  size_t i = 0;
  for (; i + kByteLanes <= n; i += kByteLanes) {
    for (size_t j = 0; j < kByteLanes; ++j) {
      const uint8_t v = in[i + j];
      lo[j] = v < lo[j] ? v : lo[j];
      hi[j] = v > hi[j] ? v : hi[j];
    }
  }
  for (; i < n; ++i) {
    lo[0] = std::min(lo[0], in[i]);
    hi[0] = std::max(hi[0], in[i]);
  }
  return {*std::min_element(lo, lo + kByteLanes), *std::max_element(hi, hi + kByteLanes)};
}

WordRange wordRange(const uint8_t* in, size_t words) {
  uint32_t lo[kWordLanes];
  uint32_t hi[kWordLanes];
  std::fill(lo, lo + kWordLanes, Le::getU32(in));
  std::fill(hi, hi + kWordLanes, Le::getU32(in));
  size_t i = 0;
  for (; i + kWordLanes <= words; i += kWordLanes) {
    const uint8_t* p = in + 4 * i;
    for (size_t j = 0; j < kWordLanes; ++j) {
      const uint32_t v = Le::getU32(p + 4 * j);
      lo[j] = std::min(lo[j], v);
      hi[j] = std::max(hi[j], v);
    }
  }
  for (; i < words; ++i) {
    lo[0] = std::min(lo[0], Le::getU32(in + 4 * i));
    hi[0] = std::max(hi[0], Le::getU32(in + 4 * i));
  }
  return {*std::min_element(lo, lo + kWordLanes), *std::max_element(hi, hi + kWordLanes)};
}

void packByteValues(const uint8_t* in, size_t n, uint8_t min, int width, uint8_t* out) {
  if (width == 0) return;
  packMsb(n, width, out, [&](size_t i) { return uint64_t{static_cast<uint8_t>(in[i] - min)}; });
}

void packWordValues(const uint8_t* in, size_t words, uint32_t min, int width, uint8_t* out) {
  if (width == 0) return;
  packMsb(words, width, out, [&](size_t i) { return uint64_t{Le::getU32(in + 4 * i) - min}; });
}

void unpackByteValues(const uint8_t* in, size_t n, uint8_t min, int width, uint8_t* out) {
  if (n == 0) return;  // an empty output may come without a buffer
  if (width == 0) {
    std::memset(out, min, n);
    return;
  }
  if (width == 8) {
    std::memcpy(out, in, n);
  } else {
    unpackMsb(in, n, width, [&](size_t i, uint32_t v) { out[i] = static_cast<uint8_t>(v); });
  }
  if (min != 0) addByteMin(out, n, min);
}

void unpackWordValues(const uint8_t* in, size_t words, uint32_t min, int width, uint8_t* out) {
  if (width == 0) {
    for (size_t i = 0; i < words; ++i) Le::putU32(out + 4 * i, min);
    return;
  }
  unpackMsb(in, words, width, [&](size_t i, uint32_t v) { Le::putU32(out + 4 * i, v); });
  if (min != 0) addWordMin(out, words, min);
}

}  // namespace Qra::Ostrel::Tyq::Private::Compression
