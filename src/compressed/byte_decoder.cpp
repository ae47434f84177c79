#include <algorithm>
#include <cstring>

#include "compressed/byte_packing.h"
#include "compressed/huffman.h"
#include "core/endian.h"
#include "tyq/byte_coder.h"

namespace Qra::Ostrel::Tyq::Private::Compression {
namespace {

// The coded bytes hold ceil(bits / 8) bytes and nothing more, so every read
// below is preceded by a check of `bits`.
struct Coded {
  const uint8_t* data;
  int64_t bits;
};

bool decodeCopy(Coded in, uint8_t* out, int32_t capacity, int32_t& produced) {
  const int64_t bytes = (in.bits + 7) / 8;
  if (bytes > capacity) return false;
  if (bytes > 0) std::memcpy(out, in.data, static_cast<size_t>(bytes));
  produced = static_cast<int32_t>(bytes);
  return true;
}

// Modes 1, 2, 3 and 14: a length, then the repeated value.
bool decodeFill(Coded in, uint8_t mode, uint8_t* out, int32_t capacity, int32_t& produced) {
  const int64_t headBits = mode == kModeAllWordsEqual ? 64 : mode == kModeAllEqual ? 40 : 32;
  if (in.bits < headBits) return false;
  const int32_t n = Le::getI32(in.data);
  if (n < 0 || n > capacity) return false;
  if (mode == kModeAllWordsEqual) {
    if (n % 4 != 0) return false;
    const uint32_t word = Le::getU32(in.data + 4);
    for (int32_t i = 0; i < n; i += 4) Le::putU32(out + i, word);
  } else {
    const uint8_t value = mode == kModeAllZero ? 0 : mode == kModeAll255 ? 255 : in.data[4];
    if (n > 0) std::memset(out, value, static_cast<size_t>(n));
  }
  produced = n;
  return true;
}

// Number of packed values after a head of `headBits`, or -1 when the bit
// count does not fit the width.
int64_t packedCount(Coded in, int64_t headBits, int width) {
  const int64_t body = in.bits - headBits;
  if (body % width != 0 || body / width <= 0) return -1;
  return body / width;
}

bool decodeBytesPacked(Coded in, uint8_t* out, int32_t capacity, int32_t& produced) {
  if (in.bits < 16) return false;
  const uint8_t max = in.data[0];
  const uint8_t min = in.data[1];
  if (max < min) return false;
  const int width = bitWidth(static_cast<uint32_t>(max - min));
  // A constant array stores no count: it is as long as the caller expects.
  const int64_t count = width == 0 ? capacity : packedCount(in, 16, width);
  if (count < 0 || count > capacity) return false;
  unpackByteValues(in.data + 2, static_cast<size_t>(count), min, width, out);
  produced = static_cast<int32_t>(count);
  return true;
}

bool decodeWordsPacked(Coded in, uint8_t* out, int32_t capacity, int32_t& produced) {
  if (in.bits < 64) return false;
  const uint32_t max = Le::getU32(in.data);
  const uint32_t min = Le::getU32(in.data + 4);
  if (max < min) return false;
  const int width = bitWidth(max - min);
  const int64_t count = width == 0 ? capacity / 4 : packedCount(in, 64, width);
  if (count < 0 || count * 4 > capacity) return false;
  unpackWordValues(in.data + 8, static_cast<size_t>(count), min, width, out);
  produced = static_cast<int32_t>(count * 4);
  return true;
}

bool decode(Coded in, uint8_t mode, uint8_t* out, int32_t capacity, int32_t& produced) {
  switch (mode) {
    case kModeCopy:
      return decodeCopy(in, out, capacity, produced);
    case kModeAllZero:
    case kModeAll255:
    case kModeAllEqual:
    case kModeAllWordsEqual:
      return decodeFill(in, mode, out, capacity, produced);
    case kModeHuffman:
      return readHuffman(in.data, in.bits, out, capacity, produced);
    case kModeBytesPacked:
      return decodeBytesPacked(in, out, capacity, produced);
    case kModeWordsPacked:
      return decodeWordsPacked(in, out, capacity, produced);
    case 5:
    case 6:
    case 7:
    case 9:
    case 10:
    case 13:
      return false;
    default:  // empty, and the modes above 14
      return true;
  }
}

// Coded length of a form whose head tells it, or -1.
int64_t codedBitsFromHead(const uint8_t* p, int64_t available, int32_t size, uint8_t mode) {
  switch (mode) {
    case kModeCopy:
      return int64_t{size} * 8;
    case kModeAllZero:
    case kModeAll255:
      return 32;
    case kModeAllEqual:
      return 40;
    case kModeAllWordsEqual:
      return 64;
    case kModeEmpty:
      return 0;
    case kModeBytesPacked: {
      if (available < 2 || p[0] < p[1]) return -1;
      return 16 + int64_t{size} * bitWidth(static_cast<uint32_t>(p[0] - p[1]));
    }
    case kModeWordsPacked: {
      if (available < 8 || Le::getU32(p) < Le::getU32(p + 4)) return -1;
      return 64 + int64_t{size / 4} * bitWidth(Le::getU32(p) - Le::getU32(p + 4));
    }
    default:
      return -1;
  }
}

}  // namespace

bool uncompressData(int32_t bits, const uint8_t* in, int32_t& outSize, uint8_t* out, uint8_t mode) {
  const int32_t capacity = std::max(outSize, 0);
  outSize = 0;
  if (bits < 0) return false;
  int32_t produced = 0;
  if (!decode({in, bits}, mode, out, capacity, produced)) return false;
  outSize = produced;
  return true;
}

bool uncompressData(const uint8_t** pos, const uint8_t* end, int32_t size, uint8_t* out,
                    uint8_t mode) {
  if (pos == nullptr || *pos == nullptr || end < *pos || size < 0) return false;
  const int64_t available = end - *pos;
  const int64_t bits = codedBitsFromHead(*pos, available, size, mode);
  if (bits < 0 || bits > INT32_MAX || (bits + 7) / 8 > available) return false;
  int32_t produced = size;
  if (!uncompressData(static_cast<int32_t>(bits), *pos, produced, out, mode) || produced != size) {
    return false;
  }
  *pos += (bits + 7) / 8;
  return true;
}

}  // namespace Qra::Ostrel::Tyq::Private::Compression
