#pragma once

// Lossless coder for short byte arrays: the bit streams and header sections
// of coded bricks, lookup tables, histogram counts and flag tiles. It picks
// the cheapest of a few forms; the caller stores the returned mode byte and
// ceil(bits / 8) coded bytes, the coder itself writes neither.
#include <cstdint>

#include "tyq/export.h"

namespace Qra::Ostrel::Tyq::Private::Compression {

// Mode bytes.
enum : uint8_t {
  kModeCopy = 0,
  kModeAllZero = 1,
  kModeAll255 = 2,
  kModeAllEqual = 3,
  kModeHuffman = 4,
  kModeBytesPacked = 8,
  kModeEmpty = 11,
  kModeWordsPacked = 12,
  kModeAllWordsEqual = 14,
};

// Codes `size` bytes of `in` into `out`. `requestedMode` 0 asks for the
// cheapest form, any other value forces it. With `bitsHoldCapacity` the
// coded form must fit in (bits on entry) / 8 bytes; without it any form but
// the copy must be shorter than the input. A form that does not apply to
// the data or does not fit falls back to a plain copy, which needs `size`
// bytes of `out`. On return `bits` holds the coded size in bits; returns
// the mode used. Never fails.
TYQ_EXPORT uint8_t compressData(int32_t size, const uint8_t* in, int32_t& bits, uint8_t* out,
                                uint8_t requestedMode, bool bitsHoldCapacity);
TYQ_EXPORT uint8_t compressData(int32_t size, const uint8_t* in, int32_t& bits, uint8_t* out,
                                uint8_t requestedMode);

// Decodes `bits` coded bits of `in` (ceil(bits / 8) bytes) in form `mode`.
// `outSize` holds the capacity of `out` on entry and the bytes produced on
// return (0 on failure). Packed bytes or words that are all equal carry no
// count and fill the whole capacity. Fails on an undefined mode, a bit
// count the form cannot have, or output beyond the capacity; never reads or
// writes outside the two buffers.
TYQ_EXPORT bool uncompressData(int32_t bits, const uint8_t* in, int32_t& outSize, uint8_t* out,
                               uint8_t mode);

// Decodes data whose coded length is not stored: the length is derived from
// the head at *pos, which must lie before `end` in full. Succeeds only when
// exactly `size` bytes come out, and then advances *pos past the coded
// bytes. Huffman data cannot be read in this form.
TYQ_EXPORT bool uncompressData(const uint8_t** pos, const uint8_t* end, int32_t size, uint8_t* out,
                               uint8_t mode);

}  // namespace Qra::Ostrel::Tyq::Private::Compression
