#pragma once

// Huffman code over the 256 byte values. Every value gets a code, also the
// absent ones, so the tree is always full and both sides can rebuild the
// same canonical codes from the lengths alone. Codes go most significant
// bit first into bytes filled from their lowest bit up.
#include <cstddef>
#include <cstdint>

namespace Qra::Ostrel::Tyq::Private::Compression {

// Occurrences of each byte value.
void countBytes(const uint8_t* in, size_t n, uint64_t counts[256]);

// Code length of every byte value for the given occurrence counts.
void huffmanLengths(const uint64_t counts[256], uint8_t lengths[256]);

// Canonical codes: longer codes take the numerically smaller values.
// `first[L]` is the code of the first value (in increasing order) of length
// L, `count[L]` the number of values of that length. Needs a full code.
struct CanonicalCode {
  uint32_t first[256];
  uint32_t count[256];
  uint32_t code[256];
};
void buildCanonical(const uint8_t lengths[256], int minLength, int maxLength, CanonicalCode& c);

// Everything the coder decides before writing: lengths and the exact coded
// size in bits (head, length table and code bits).
struct HuffmanPlan {
  uint8_t lengths[256];
  int minLength;
  int maxLength;
  int tableWidth;  // bits per length-table entry
  int64_t bits;
};
HuffmanPlan planHuffman(const uint64_t counts[256]);

// Writes the whole coded form: packedBytes(plan.bits) bytes of `out`.
void writeHuffman(const uint8_t* in, size_t n, const HuffmanPlan& plan, uint8_t* out);

// The two ways of writing code bits; identical output, the register one
// needs codes of at most 32 bits. `out` receives ceil(codeBits / 8) bytes.
void writeCodesRegister(const uint8_t* in, size_t n, const uint8_t lengths[256],
                        const uint32_t codes[256], uint8_t* out);
void writeCodesBitwise(const uint8_t* in, size_t n, const uint8_t lengths[256],
                       const uint32_t codes[256], int64_t codeBits, uint8_t* out);

// Decodes a whole coded form of `bits` bits into at most `capacity` bytes.
// Fails on a malformed length table, on code bits that do not end exactly
// at `bits`, and on output beyond the capacity.
bool readHuffman(const uint8_t* in, int64_t bits, uint8_t* out, int32_t capacity,
                 int32_t& produced);

}  // namespace Qra::Ostrel::Tyq::Private::Compression
