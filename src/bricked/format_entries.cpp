#include <algorithm>
#include <cstring>

#include "bricked/format.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {

namespace {

constexpr uint64_t kConstantFlag = 0x8000000000000000ULL;
constexpr int64_t kAbsent = 0;
constexpr int64_t kConstant = 1;  // also the stored all-zero entry

// Below the flag byte there is room for seven bytes of sample.
int sampleBytes(int sampleSize) {
  return std::clamp(sampleSize, 0, 7);
}

// The sample's bytes as the file holds them (little-endian), low byte first.
uint64_t sampleBits(const void* sample, int sampleSize) {
  const auto* p = static_cast<const uint8_t*>(sample);
  uint64_t bits = 0;
  for (int b = sampleBytes(sampleSize) - 1; b >= 0; --b) bits = (bits << 8) | p[b];
  return bits;
}

void putSample(uint64_t bits, void* out, int sampleSize) {
  if (!out) return;
  auto* p = static_cast<uint8_t*>(out);
  for (int b = 0; b < sampleBytes(sampleSize); ++b) p[b] = static_cast<uint8_t>(bits >> (8 * b));
}

}  // namespace

void swapEntryWords(int64_t* entries, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const uint64_t u = static_cast<uint64_t>(entries[i]);
    entries[i] = static_cast<int64_t>((u << 32) | (u >> 32));
  }
}

int64_t encodeBrickEntryV23(int64_t position, const void* constant, int sampleSize) {
  if (!constant) return position;
  return static_cast<int64_t>(kConstantFlag | sampleBits(constant, sampleSize));
}

int64_t decodeBrickEntryV23(int64_t entry, void* constantOut, int sampleSize) {
  if (entry == kAbsent) return kAbsent;
  if (entry == kConstant || entry < 0) {
    putSample(entry < 0 ? static_cast<uint64_t>(entry) : 0, constantOut, sampleSize);
    return kConstant;
  }
  return entry;
}

int64_t encodeTileEntryV23(int64_t position, const uint8_t* constant) {
  if (!constant) return position;
  return static_cast<int64_t>(kConstantFlag | *constant);
}

int64_t decodeTileEntryV23(int64_t entry, uint8_t* constantOut) {
  return decodeBrickEntryV23(entry, constantOut, 1);
}

int64_t encodeEntryV1(int64_t position, bool zeroConstant) {
  return zeroConstant ? kConstant : position;
}

int64_t decodeBrickEntryV1(int64_t entry, void* constantOut, int sampleSize) {
  if (entry == kConstant) {
    putSample(0, constantOut, sampleSize);
    return kConstant;
  }
  return entry;
}

int64_t decodeTileEntryV1(int64_t entry, uint8_t* constantOut) {
  return decodeBrickEntryV1(entry, constantOut, 1);
}

}  // namespace Qra::Ostrel::Tyq::Private::Bricked
