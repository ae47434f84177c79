#include <algorithm>
#include <cstring>

#include "compressed/byte_packing.h"
#include "compressed/huffman.h"
#include "core/endian.h"
#include "tyq/byte_coder.h"

namespace Qra::Ostrel::Tyq::Private::Compression {
namespace {

// One input array with the capacity its coded form must fit in.
struct Input {
  const uint8_t* data;
  int64_t size;
  int64_t capacity;  // bytes
};

bool fits(const Input& in, int64_t bits) {
  return (bits + 7) / 8 <= in.capacity;
}

uint8_t copyInput(const Input& in, int32_t& bits, uint8_t* out) {
  if (in.size > 0) std::memcpy(out, in.data, static_cast<size_t>(in.size));
  // A 32-bit bit count cannot describe more than 256 MiB; such arrays are
  // far beyond anything this coder is given.
  bits = static_cast<int32_t>(std::min<int64_t>(in.size * 8, INT32_MAX));
  return kModeCopy;
}

// Modes 1, 2 and 3: nothing but the length (and the value).
bool codeFill(const Input& in, uint8_t mode, uint8_t* out, int64_t& bits) {
  const uint8_t value = mode == kModeAllZero  ? 0
                        : mode == kModeAll255 ? 255
                        : in.size > 0         ? in.data[0]
                                              : 0;
  for (int64_t i = 0; i < in.size; ++i) {
    if (in.data[i] != value) return false;
  }
  bits = mode == kModeAllEqual ? 40 : 32;
  if (!fits(in, bits)) return false;
  Le::putI32(out, static_cast<int32_t>(in.size));
  if (mode == kModeAllEqual) out[4] = value;
  return true;
}

bool codeWordsEqual(const Input& in, uint8_t* out, int64_t& bits) {
  if (in.size < 4 || in.size % 4 != 0) return false;
  const WordRange r = wordRange(in.data, static_cast<size_t>(in.size / 4));
  bits = 64;
  if (r.min != r.max || !fits(in, bits)) return false;
  Le::putI32(out, static_cast<int32_t>(in.size));
  Le::putU32(out + 4, r.min);
  return true;
}

bool codeBytesPacked(const Input& in, ByteRange r, uint8_t* out, int64_t& bits) {
  if (in.size < 1) return false;
  const int width = bitWidth(static_cast<uint32_t>(r.max - r.min));
  bits = 16 + in.size * width;
  if (!fits(in, bits)) return false;
  out[0] = r.max;
  out[1] = r.min;
  packByteValues(in.data, static_cast<size_t>(in.size), r.min, width, out + 2);
  return true;
}

bool codeWordsPacked(const Input& in, WordRange r, uint8_t* out, int64_t& bits) {
  const int width = bitWidth(r.max - r.min);
  bits = 64 + (in.size / 4) * width;
  if (!fits(in, bits)) return false;
  Le::putU32(out, r.max);
  Le::putU32(out + 4, r.min);
  packWordValues(in.data, static_cast<size_t>(in.size / 4), r.min, width, out + 8);
  return true;
}

bool codeHuffman(const Input& in, const HuffmanPlan& plan, uint8_t* out, int64_t& bits) {
  bits = plan.bits;
  if (!fits(in, bits)) return false;
  writeHuffman(in.data, static_cast<size_t>(in.size), plan, out);
  return true;
}

bool wordsApply(const Input& in) {
  return in.size >= 4 && in.size % 4 == 0;
}

// A requested form; false when it does not apply to the data or does not fit.
bool codeForced(const Input& in, uint8_t mode, uint8_t* out, int64_t& bits) {
  switch (mode) {
    case kModeAllZero:
    case kModeAll255:
    case kModeAllEqual:
      return codeFill(in, mode, out, bits);
    case kModeAllWordsEqual:
      return codeWordsEqual(in, out, bits);
    case kModeBytesPacked:
      return in.size >= 1 &&
             codeBytesPacked(in, byteRange(in.data, static_cast<size_t>(in.size)), out, bits);
    case kModeWordsPacked:
      return wordsApply(in) &&
             codeWordsPacked(in, wordRange(in.data, static_cast<size_t>(in.size / 4)), out, bits);
    case kModeHuffman: {
      uint64_t counts[256];
      countBytes(in.data, static_cast<size_t>(in.size), counts);
      return codeHuffman(in, planHuffman(counts), out, bits);
    }
    case kModeEmpty:
      bits = 0;
      return in.size == 0;
    default:
      return false;
  }
}

ByteRange rangeFromCounts(const uint64_t counts[256]) {
  int lo = 0;
  int hi = 255;
  while (counts[lo] == 0) ++lo;
  while (counts[hi] == 0) --hi;
  return {static_cast<uint8_t>(lo), static_cast<uint8_t>(hi)};
}

// The automatic choice for arrays of four bytes or more. Constant arrays
// take a length-only form when it is shorter; the rest goes to whichever
// estimate is smallest, the lower mode winning ties.
bool codeAutomatic(const Input& in, uint8_t* out, int64_t& bits, uint8_t& mode) {
  uint64_t counts[256];
  countBytes(in.data, static_cast<size_t>(in.size), counts);
  const int64_t n = in.size;
  const uint8_t first = in.data[0];
  if (counts[first] == static_cast<uint64_t>(n)) {
    mode = first == 0 ? kModeAllZero : first == 255 ? kModeAll255 : kModeAllEqual;
    if (n * 8 <= (mode == kModeAllEqual ? 40 : 32)) return false;
    return codeFill(in, mode, out, bits);
  }
  WordRange words{0, 0};
  if (wordsApply(in)) {
    words = wordRange(in.data, static_cast<size_t>(n / 4));
    if (words.min == words.max && n * 8 >= 65) {
      mode = kModeAllWordsEqual;
      return codeWordsEqual(in, out, bits);
    }
  }
  const HuffmanPlan plan = planHuffman(counts);
  const ByteRange bytes = rangeFromCounts(counts);
  const int64_t estimate[4] = {
      n * 8, plan.bits, 16 + n * bitWidth(static_cast<uint32_t>(bytes.max - bytes.min)),
      wordsApply(in) ? 32 + (n / 4) * bitWidth(words.max - words.min) : n * 8 + 80};
  const uint8_t modes[4] = {kModeCopy, kModeHuffman, kModeBytesPacked, kModeWordsPacked};
  const int best = static_cast<int>(std::min_element(estimate, estimate + 4) - estimate);
  mode = modes[best];
  switch (mode) {
    case kModeHuffman:
      return codeHuffman(in, plan, out, bits);
    case kModeBytesPacked:
      return codeBytesPacked(in, bytes, out, bits);
    case kModeWordsPacked:
      return codeWordsPacked(in, words, out, bits);
    default:
      return false;
  }
}

}  // namespace

uint8_t compressData(int32_t size, const uint8_t* in, int32_t& bits, uint8_t* out,
                     uint8_t requestedMode, bool bitsHoldCapacity) {
  Input input{in, std::max(size, 0), 0};
  // Without a stated capacity the output is only known to hold the input,
  // so any other form must save at least a byte.
  input.capacity = bitsHoldCapacity ? std::max(bits, 0) / 8 : input.size - 1;
  int64_t coded = 0;
  uint8_t mode = requestedMode;
  bool done = false;
  if (requestedMode != kModeCopy) {
    done = codeForced(input, requestedMode, out, coded);
  } else if (input.size >= 4) {
    done = codeAutomatic(input, out, coded, mode);
  }
  if (!done || coded > INT32_MAX) return copyInput(input, bits, out);
  bits = static_cast<int32_t>(coded);
  return mode;
}

uint8_t compressData(int32_t size, const uint8_t* in, int32_t& bits, uint8_t* out,
                     uint8_t requestedMode) {
  return compressData(size, in, bits, out, requestedMode, false);
}

}  // namespace Qra::Ostrel::Tyq::Private::Compression
