#include "compressed/huffman.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "compressed/byte_packing.h"
#include "core/endian.h"

namespace Qra::Ostrel::Tyq::Private::Compression {
namespace {

constexpr int kLeaves = 256;
constexpr int kNodes = 2 * kLeaves - 1;

uint32_t reverseBits(uint32_t code, int length) {
  uint32_t r = 0;
  for (int i = 0; i < length; ++i) r |= ((code >> i) & 1u) << (length - 1 - i);
  return r;
}

}  // namespace

void countBytes(const uint8_t* in, size_t n, uint64_t counts[256]) {
  // Four tables so that runs of one value do not serialise on one counter.
  uint32_t part[4][256] = {};
  size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    ++part[0][in[i]];
    ++part[1][in[i + 1]];
    ++part[2][in[i + 2]];
    ++part[3][in[i + 3]];
  }
  for (; i < n; ++i) ++part[0][in[i]];
  for (int v = 0; v < 256; ++v) {
    counts[v] = uint64_t{part[0][v]} + part[1][v] + part[2][v] + part[3][v];
  }
}

// Merges the two lightest nodes until one is left, taking among equal
// weights the node with the larger id (merged nodes take ids 256, 257, ...).
// The lengths, and so the coded bytes, depend on that order. Merged weights
// never decrease, so the merged nodes wait in creation order beside the
// sorted leaves, and the lightest node is the first leaf or the newest of
// the lightest run of equal merged weights. Once a run is taken from it is
// complete: every node made afterwards outweighs the two it was made of.
void huffmanLengths(const uint64_t counts[256], uint8_t lengths[256]) {
  // Weight above, 255 - id below: ascending keys are the leaves' taking order.
  // Counts are byte counts of one array (below 2^31), so the key cannot overflow.
  uint64_t leaves[kLeaves];
  for (int v = 0; v < kLeaves; ++v)
    leaves[v] = (counts[v] + 1) << 8 | static_cast<uint64_t>(255 - v);
  std::sort(leaves, leaves + kLeaves);
  uint64_t merged[kLeaves - 1];
  int parent[kNodes];
  int leaf = 0, created = 0;
  int head = 0;                 // first merged node of no run taken from yet
  int runLow = 0, runTop = -1;  // the run taken from: [runLow, runTop] are left
  auto take = [&]() -> std::pair<uint64_t, int> {
    const bool started = runTop >= runLow;
    int newest = started ? runTop : -1;
    if (!started && head < created) {
      newest = head;
      while (newest + 1 < created && merged[newest + 1] == merged[head]) ++newest;
    }
    if (newest >= 0 && (leaf == kLeaves || merged[newest] <= leaves[leaf] >> 8)) {
      if (!started) {
        runLow = head;
        runTop = newest;
        head = newest + 1;
      }
      const int id = runTop--;
      return {merged[id], kLeaves + id};
    }
    const uint64_t key = leaves[leaf++];
    return {key >> 8, 255 - static_cast<int>(key & 255)};
  };
  for (int next = kLeaves; next < kNodes; ++next) {
    const auto a = take();
    const auto b = take();
    parent[a.second] = parent[b.second] = next;
    merged[created++] = a.first + b.first;
  }
  // Parents are created after their children, so one pass from the root
  // down gives every depth.
  uint8_t depth[kNodes];
  depth[kNodes - 1] = 0;
  for (int id = kNodes - 2; id >= 0; --id) depth[id] = static_cast<uint8_t>(depth[parent[id]] + 1);
  std::memcpy(lengths, depth, kLeaves);
}

void buildCanonical(const uint8_t lengths[256], int minLength, int maxLength, CanonicalCode& c) {
  std::fill(c.first, c.first + 256, 0u);
  std::fill(c.count, c.count + 256, 0u);
  for (int v = 0; v < 256; ++v) ++c.count[lengths[v]];
  for (int len = maxLength; len > minLength; --len) {
    c.first[len - 1] = (c.first[len] + c.count[len]) / 2;
  }
  uint32_t next[256];
  std::copy(c.first, c.first + 256, next);
  for (int v = 0; v < 256; ++v) c.code[v] = next[lengths[v]]++;
}

HuffmanPlan planHuffman(const uint64_t counts[256]) {
  HuffmanPlan plan;
  huffmanLengths(counts, plan.lengths);
  const auto [lo, hi] = std::minmax_element(plan.lengths, plan.lengths + 256);
  plan.minLength = *lo;
  plan.maxLength = *hi;
  plan.tableWidth = bitWidth(static_cast<uint32_t>(plan.maxLength - plan.minLength));
  int64_t codeBits = 0;
  for (int v = 0; v < 256; ++v) codeBits += static_cast<int64_t>(counts[v]) * plan.lengths[v];
  plan.bits = 16 + 256 * int64_t{plan.tableWidth} + codeBits;
  return plan;
}

void writeHuffman(const uint8_t* in, size_t n, const HuffmanPlan& plan, uint8_t* out) {
  out[0] = static_cast<uint8_t>(plan.maxLength);
  out[1] = static_cast<uint8_t>(plan.minLength);
  uint8_t relative[256];
  for (int v = 0; v < 256; ++v)
    relative[v] = static_cast<uint8_t>(plan.lengths[v] - plan.minLength);
  packByteValues(relative, 256, 0, plan.tableWidth, out + 2);

  CanonicalCode canon;
  buildCanonical(plan.lengths, plan.minLength, plan.maxLength, canon);
  const int64_t headBits = 16 + 256 * int64_t{plan.tableWidth};
  uint8_t* codeOut = out + headBits / 8;
  if (plan.maxLength <= 32) {
    writeCodesRegister(in, n, plan.lengths, canon.code, codeOut);
  } else {
    writeCodesBitwise(in, n, plan.lengths, canon.code, plan.bits - headBits, codeOut);
  }
}

void writeCodesRegister(const uint8_t* in, size_t n, const uint8_t lengths[256],
                        const uint32_t codes[256], uint8_t* out) {
  // The first bit of a code lands in the lowest free bit, so the register
  // takes each code bit-reversed.
  uint32_t reversed[256];
  for (int v = 0; v < 256; ++v) reversed[v] = reverseBits(codes[v], lengths[v]);
  uint64_t acc = 0;
  int bits = 0;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t v = in[i];
    acc |= uint64_t{reversed[v]} << bits;
    bits += lengths[v];
    if (bits >= 32) {
      Le::putU32(out, static_cast<uint32_t>(acc));
      out += 4;
      acc >>= 32;
      bits -= 32;
    }
  }
  for (; bits > 0; bits -= 8, acc >>= 8) *out++ = static_cast<uint8_t>(acc);
}

void writeCodesBitwise(const uint8_t* in, size_t n, const uint8_t lengths[256],
                       const uint32_t codes[256], int64_t codeBits, uint8_t* out) {
  std::memset(out, 0, static_cast<size_t>((codeBits + 7) / 8));
  uint64_t pos = 0;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t v = in[i];
    for (int k = lengths[v] - 1; k >= 0; --k, ++pos) {
      // Canonical code values stay below 512; higher bits are leading zeros.
      if (k < 32 && ((codes[v] >> k) & 1u)) out[pos >> 3] |= static_cast<uint8_t>(1u << (pos & 7));
    }
  }
}

}  // namespace Qra::Ostrel::Tyq::Private::Compression
