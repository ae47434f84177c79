#include "tyq/byte_coder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <queue>
#include <random>
#include <vector>

#include "compressed/huffman.h"

namespace Qra::Ostrel::Tyq::Private::Compression {
namespace {

using Bytes = std::vector<uint8_t>;

struct Coded {
  uint8_t mode;
  int32_t bits;
  Bytes data;  // exactly ceil(bits / 8) bytes, so reads past them are caught
};

// Codes into a roomy buffer; `capacity` < 0 means the flag is clear.
Coded code(const Bytes& in, uint8_t mode = 0, int32_t capacity = -1) {
  Bytes out(in.size() + 4096, 0xEE);
  int32_t bits = capacity < 0 ? 0 : capacity * 8;
  const uint8_t used = compressData(static_cast<int32_t>(in.size()), in.data(), bits, out.data(),
                                    mode, capacity >= 0);
  out.resize((bits + 7) / 8);
  return {used, bits, out};
}

bool decode(const Coded& c, int32_t capacity, Bytes& out) {
  out.assign(capacity, 0);
  int32_t size = capacity;
  const bool ok = uncompressData(c.bits, c.data.data(), size, out.data(), c.mode);
  out.resize(ok ? size : 0);
  return ok;
}

Bytes decoded(const Coded& c, size_t capacity) {
  Bytes out;
  EXPECT_TRUE(decode(c, static_cast<int32_t>(capacity), out)) << "mode " << int{c.mode};
  return out;
}

Bytes fill(size_t n, uint8_t v) {
  return Bytes(n, v);
}

Bytes words(std::initializer_list<uint32_t> ws) {
  Bytes b;
  for (uint32_t w : ws) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(w >> (8 * i)));
  }
  return b;
}

// Bytes drawn from a geometric-like distribution: a few values dominate.
Bytes skewed(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::geometric_distribution<int> g(0.3);
  Bytes b(n);
  for (auto& v : b) v = static_cast<uint8_t>(std::min(g(rng), 255));
  return b;
}

Bytes uniform(size_t n, unsigned seed, int lo = 0, int hi = 255) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> d(lo, hi);
  Bytes b(n);
  for (auto& v : b) v = static_cast<uint8_t>(d(rng));
  return b;
}

TEST(ByteCoder, ShortAndConstantArraysTakeTheCheaperOfCopyAndLength) {
  struct Case {
    Bytes in;
    uint8_t mode;
    int32_t bits;
  };
  const Case cases[] = {
      {{1, 2, 3}, kModeCopy, 24},
      {fill(3, 0), kModeCopy, 24},
      {fill(4, 0), kModeCopy, 32},
      {fill(5, 0), kModeAllZero, 32},
      {fill(4, 255), kModeCopy, 32},
      {fill(5, 255), kModeAll255, 32},
      {fill(5, 7), kModeCopy, 40},
      {fill(6, 7), kModeAllEqual, 40},
      {words({0x04030201, 0x04030201, 0x04030201}), kModeAllWordsEqual, 64},
      // Two equal words: the word form would be 64 bits, not below 65.
      {words({0x04030201, 0x04030201}), kModeBytesPacked, 32},
  };
  for (const Case& c : cases) {
    const Coded coded = code(c.in);
    EXPECT_EQ(coded.mode, c.mode) << ::testing::PrintToString(c.in);
    EXPECT_EQ(coded.bits, c.bits) << ::testing::PrintToString(c.in);
    EXPECT_EQ(decoded(coded, c.in.size()), c.in);
  }
  EXPECT_EQ(code(fill(5, 0)).data, (Bytes{5, 0, 0, 0}));
  EXPECT_EQ(code(fill(6, 7)).data, (Bytes{6, 0, 0, 0, 7}));
  EXPECT_EQ(code(words({7, 7, 7})).data, (Bytes{12, 0, 0, 0, 7, 0, 0, 0}));
}

TEST(ByteCoder, FourValuesPackIntoTwoBitsMostSignificantFirst) {
  Bytes in = uniform(256, 8, 10, 13);
  std::copy_n(Bytes{10, 13, 12, 11}.begin(), 4, in.begin());
  const Coded c = code(in);
  EXPECT_EQ(c.mode, kModeBytesPacked);
  EXPECT_EQ(c.bits, 528);
  EXPECT_EQ(c.data[0], 13);
  EXPECT_EQ(c.data[1], 10);
  // 10, 13, 12, 11 -> 00 11 10 01
  EXPECT_EQ(c.data[2], 0b00111001);
  EXPECT_EQ(decoded(c, in.size()), in);
}

TEST(ByteCoder, WordEstimateBelowItsSizeFallsBackToCopyWhenItDoesNotFit) {
  const Bytes in = words({0xC8000000, 0xC8000000});
  // The word form wins the estimate but needs 8 bytes, not fewer than 8.
  Coded c = code(in);
  EXPECT_EQ(c.mode, kModeCopy);
  EXPECT_EQ(c.bits, 64);
  c = code(in, 0, 8);
  EXPECT_EQ(c.mode, kModeWordsPacked);
  EXPECT_EQ(c.bits, 64);
  EXPECT_EQ(decoded(c, 8), in);
}

TEST(ByteCoder, ForcedFormsObeyTheCapacityRules) {
  const Bytes abc{97, 98, 99};
  EXPECT_EQ(code(abc, kModeBytesPacked).mode, kModeCopy);
  const Coded packed = code(abc, kModeBytesPacked, 3);
  EXPECT_EQ(packed.mode, kModeBytesPacked);
  EXPECT_EQ(packed.bits, 22);
  EXPECT_EQ(decoded(packed, 3), abc);
  EXPECT_EQ(code(abc, kModeBytesPacked, 2).mode, kModeCopy);

  // A length-only form is no good when it is not shorter than the data.
  EXPECT_EQ(code(fill(4, 0), kModeAllZero).mode, kModeCopy);
  EXPECT_EQ(code(fill(4, 0), kModeAllZero, 4).mode, kModeAllZero);
  // Forms that do not describe the data are never used.
  EXPECT_EQ(code(uniform(64, 1), kModeAllZero, 64).mode, kModeCopy);
  EXPECT_EQ(code(uniform(64, 1), kModeAllWordsEqual, 64).mode, kModeCopy);
  EXPECT_EQ(code(uniform(63, 1), kModeWordsPacked, 64).mode, kModeCopy);
  EXPECT_EQ(code(uniform(64, 1), kModeEmpty, 64).mode, kModeCopy);
  EXPECT_EQ(code(uniform(64, 1), 5, 64).mode, kModeCopy);
  EXPECT_EQ(code({}, kModeEmpty).mode, kModeEmpty);
}

TEST(ByteCoder, EqualCountsAsWordsDecodeToTheWholeCapacity) {
  Bytes counts;
  for (int i = 0; i < 256; ++i) counts.insert(counts.end(), {0x10, 0x27, 0, 0});
  const Coded c = code(counts, kModeWordsPacked);
  EXPECT_EQ(c.mode, kModeWordsPacked);
  EXPECT_EQ(c.bits, 64);
  EXPECT_EQ(decoded(c, 1024), counts);
}

TEST(ByteCoder, EveryFormRoundTrips) {
  const Bytes inputs[] = {uniform(1000, 2),
                          uniform(1001, 3, 100, 107),
                          uniform(4096, 4, 0, 1),
                          skewed(5000, 5),
                          words({1000, 1003, 999, 70000, 1000, 5}),
                          words({0xFFFFFFFF, 0, 0x80000000, 7}),
                          fill(100, 0),
                          fill(100, 255),
                          fill(100, 42),
                          words({9, 9, 9, 9, 9}),
                          Bytes{1}};
  const uint8_t modes[] = {0, 1, 2, 3, 4, 8, 12, 14};
  for (const Bytes& in : inputs) {
    for (uint8_t mode : modes) {
      const Coded c = code(in, mode, static_cast<int32_t>(in.size()) + 4096);
      EXPECT_EQ(decoded(c, in.size()), in) << "mode " << int{mode} << " -> " << int{c.mode};
    }
  }
}

TEST(ByteCoder, SkewedBytesTakeTheHuffmanForm) {
  for (size_t n : {4096u, 100000u}) {
    const Bytes in = skewed(n, static_cast<unsigned>(n));
    const Coded c = code(in);
    EXPECT_EQ(c.mode, kModeHuffman) << n;
    EXPECT_LT(c.bits, static_cast<int32_t>(n * 4)) << n;
    EXPECT_EQ(decoded(c, n), in);
  }
}

TEST(ByteCoder, HuffmanBytesForASmallInput) {
  // Weights 4, 2 and 1 for the rest: lengths 6 (value 0), 7 (value 1),
  // 9 (values 2..9) and 8 (all others).
  const Coded c = code({0, 0, 0, 1}, kModeHuffman, 100);
  ASSERT_EQ(c.mode, kModeHuffman);
  EXPECT_EQ(c.bits, 16 + 256 * 2 + 3 * 6 + 7);
  ASSERT_EQ(c.data.size(), 70u);
  EXPECT_EQ(c.data[0], 9);
  EXPECT_EQ(c.data[1], 6);
  // Lengths above 6 in two bits: 0, 1, 3, 3, then 2 for most values.
  EXPECT_EQ(c.data[2], 0b00011111);
  EXPECT_EQ(c.data[3], 0xFF);
  EXPECT_EQ(c.data[4], 0b11111010);
  for (int i = 5; i < 66; ++i) EXPECT_EQ(c.data[i], 0b10101010) << i;
  // Codes 111111 (value 0) three times, then 1111101 (value 1), filled from
  // the lowest bit of each byte.
  EXPECT_EQ(Bytes(c.data.begin() + 66, c.data.end()), (Bytes{0xFF, 0xFF, 0x7F, 0x01}));
  EXPECT_EQ(decoded(c, 4), (Bytes{0, 0, 0, 1}));
}

// The taking order written out plainly: a priority queue holding the
// lightest node on top and, among equal weights, the larger id.
std::vector<uint8_t> queueLengths(const uint64_t counts[256]) {
  using Node = std::pair<uint64_t, int>;
  auto later = [](const Node& a, const Node& b) {
    return a.first > b.first || (a.first == b.first && a.second < b.second);
  };
  std::priority_queue<Node, std::vector<Node>, decltype(later)> queue(later);
  for (int v = 0; v < 256; ++v) queue.push({counts[v] + 1, v});
  std::vector<int> parent(511);
  for (int next = 256; queue.size() > 1; ++next) {
    const Node a = queue.top();
    queue.pop();
    const Node b = queue.top();
    queue.pop();
    parent[a.second] = parent[b.second] = next;
    queue.push({a.first + b.first, next});
  }
  std::vector<uint8_t> depth(511, 0);
  for (int id = 509; id >= 0; --id) depth[id] = static_cast<uint8_t>(depth[parent[id]] + 1);
  depth.resize(256);
  return depth;
}

// Ties between leaves, between merged nodes and across both decide the
// lengths; small count ranges make them frequent.
TEST(ByteCoder, HuffmanLengthsFollowTheTakingOrder) {
  std::mt19937 rng(7);
  for (int round = 0; round < 3000; ++round) {
    uint64_t counts[256];
    const int kind = round % 4;
    const uint32_t range = kind == 0 ? 2 : kind == 1 ? 8 : kind == 2 ? 1000 : 1u << 20;
    for (auto& c : counts) c = rng() % range;
    if (kind == 3)
      for (int v = 0; v < 256; ++v) counts[v] = v % 5 == 0 ? 0 : counts[v] >> (v % 17);
    uint8_t lengths[256];
    huffmanLengths(counts, lengths);
    ASSERT_EQ(std::vector<uint8_t>(lengths, lengths + 256), queueLengths(counts)) << round;
  }
}

// A tree as lopsided as 256 leaves allow: value v has a code of v + 1
// bits, value 255 one of 255 bits. Counts need tens of megabytes to give
// codes over 32 bits, so the coded form is built from this plan directly.
Coded lopsidedHuffman(const Bytes& in) {
  HuffmanPlan plan;
  for (int v = 0; v < 256; ++v) plan.lengths[v] = static_cast<uint8_t>(v < 255 ? v + 1 : 255);
  plan.minLength = 1;
  plan.maxLength = 255;
  plan.tableWidth = 8;
  plan.bits = 16 + 256 * 8;
  for (uint8_t v : in) plan.bits += plan.lengths[v];
  Bytes out((plan.bits + 7) / 8);
  writeHuffman(in.data(), in.size(), plan, out.data());
  return {kModeHuffman, static_cast<int32_t>(plan.bits), out};
}

Bytes everyValueTwice() {
  Bytes in(512);
  for (int v = 0; v < 256; ++v) in[v] = in[511 - v] = static_cast<uint8_t>(v);
  return in;
}

TEST(ByteCoder, CodesLongerThanTheRegisterRoundTrip) {
  const Bytes in = everyValueTwice();
  const Coded c = lopsidedHuffman(in);
  EXPECT_EQ(decoded(c, in.size()), in);
  // Codes 1, 01, 001 for values 0, 1, 2, from the lowest bit up.
  EXPECT_EQ(c.data[2 + 256] & 0x3F, 0b100101);
}

TEST(ByteCoder, RegisterAndBitwiseWritersAgree) {
  const Bytes in = skewed(10007, 11);
  uint64_t counts[256];
  countBytes(in.data(), in.size(), counts);
  const HuffmanPlan plan = planHuffman(counts);
  ASSERT_LE(plan.maxLength, 32);
  CanonicalCode canon;
  buildCanonical(plan.lengths, plan.minLength, plan.maxLength, canon);
  const int64_t codeBits = plan.bits - 16 - 256 * plan.tableWidth;
  Bytes a((codeBits + 7) / 8), b(a.size());
  writeCodesRegister(in.data(), in.size(), plan.lengths, canon.code, a.data());
  writeCodesBitwise(in.data(), in.size(), plan.lengths, canon.code, codeBits, b.data());
  EXPECT_EQ(a, b);
}

TEST(ByteCoder, ReaderFormAdvancesPastEachSection) {
  const Bytes first = uniform(24, 20, 0, 30);
  const Bytes second = words({5, 900, 77, 5});
  const Bytes third = fill(18, 0);
  Bytes stream;
  std::vector<uint8_t> modes;
  for (const Bytes* in : {&first, &second, &third}) {
    const Coded c = code(*in);
    modes.push_back(c.mode);
    stream.insert(stream.end(), c.data.begin(), c.data.end());
  }
  ASSERT_EQ(modes, (std::vector<uint8_t>{kModeBytesPacked, kModeWordsPacked, kModeAllZero}));
  const uint8_t* pos = stream.data();
  const uint8_t* end = stream.data() + stream.size();
  for (size_t s = 0; s < 3; ++s) {
    const Bytes& want = s == 0 ? first : s == 1 ? second : third;
    Bytes out(want.size());
    ASSERT_TRUE(uncompressData(&pos, end, static_cast<int32_t>(want.size()), out.data(), modes[s]));
    EXPECT_EQ(out, want);
  }
  EXPECT_EQ(pos, end);
}

TEST(ByteCoder, ReaderFormRefusesShortDataWrongSizesAndHuffman) {
  const Bytes in = uniform(24, 21, 0, 30);
  const Coded c = code(in);
  ASSERT_EQ(c.mode, kModeBytesPacked);
  Bytes out(64);
  const uint8_t* pos = c.data.data();
  EXPECT_FALSE(uncompressData(&pos, pos + c.data.size() - 1, 24, out.data(), c.mode));
  EXPECT_FALSE(uncompressData(&pos, pos + 1, 24, out.data(), c.mode));
  EXPECT_FALSE(uncompressData(&pos, pos + c.data.size(), 25, out.data(), c.mode));
  EXPECT_EQ(pos, c.data.data());

  const Coded h = code(skewed(1000, 22));
  ASSERT_EQ(h.mode, kModeHuffman);
  Bytes big(1000);
  pos = h.data.data();
  EXPECT_FALSE(uncompressData(&pos, pos + h.data.size(), 1000, big.data(), kModeHuffman));
  EXPECT_FALSE(uncompressData(&pos, pos + h.data.size(), 1000, big.data(), 20));

  const Coded zero = code(fill(9, 0));
  pos = zero.data.data();
  EXPECT_FALSE(uncompressData(&pos, pos + 4, 8, out.data(), kModeAllZero));
  EXPECT_TRUE(uncompressData(&pos, pos + 4, 9, out.data(), kModeAllZero));
}

TEST(ByteCoder, UndefinedModesFailAndHighModesDecodeToNothing) {
  const Bytes junk = uniform(16, 30);
  for (int mode = 0; mode < 256; ++mode) {
    int32_t size = 16;
    Bytes out(16);
    const bool ok = uncompressData(128, junk.data(), size, out.data(), static_cast<uint8_t>(mode));
    const bool undefined =
        mode == 5 || mode == 6 || mode == 7 || mode == 9 || mode == 10 || mode == 13;
    if (undefined) {
      EXPECT_FALSE(ok) << mode;
    }
    if (mode == kModeEmpty || mode > 14) {
      EXPECT_TRUE(ok) << mode;
      EXPECT_EQ(size, 0) << mode;
    }
  }
}

TEST(ByteCoder, InconsistentBitCountsAndCapacitiesFail) {
  Bytes out;
  Coded c = code(fill(50, 3));
  EXPECT_FALSE(decode(c, 49, out));
  c.bits = 39;  // too short for the head
  EXPECT_FALSE(decode(c, 50, out));

  Coded packed = code(uniform(100, 31, 0, 15));
  ASSERT_EQ(packed.mode, kModeBytesPacked);
  EXPECT_FALSE(decode(packed, 99, out));
  --packed.bits;  // no longer a whole number of values
  EXPECT_FALSE(decode(packed, 100, out));

  Coded h = code(skewed(2000, 32));
  ASSERT_EQ(h.mode, kModeHuffman);
  EXPECT_FALSE(decode(h, 1999, out));
  --h.bits;
  EXPECT_FALSE(decode(h, 2000, out));

  Coded copy = code(uniform(10, 33));
  EXPECT_FALSE(decode(copy, 9, out));
}

TEST(ByteCoder, DamagedHuffmanTablesFailCleanly) {
  const Coded good = code(skewed(3000, 40));
  ASSERT_EQ(good.mode, kModeHuffman);
  Bytes out;
  Coded bad = good;
  bad.data[1] = 0;  // no code is empty
  EXPECT_FALSE(decode(bad, 3000, out));
  bad = good;
  bad.data[1] = static_cast<uint8_t>(bad.data[0] + 1);  // shortest above longest
  EXPECT_FALSE(decode(bad, 3000, out));
  bad = good;
  bad.data[2] ^= 0xFF;  // lengths no longer form a full tree
  EXPECT_FALSE(decode(bad, 3000, out));
  bad = good;
  bad.data[0] = 255;  // claims long codes the table does not have
  EXPECT_FALSE(decode(bad, 3000, out));
}

// Damaged or truncated data of every form must fail or decode within the
// buffers; the sanitizer build catches any stray access.
TEST(ByteCoder, RandomDamageNeverReachesOutsideTheBuffers) {
  std::mt19937 rng(50);
  const Bytes inputs[] = {skewed(700, 51), uniform(333, 52, 40, 60),
                          words({1, 2, 3, 400000, 5, 6, 7, 8}), fill(77, 9)};
  const uint8_t modes[] = {0, 4, 8, 12, 3};
  std::vector<std::pair<Bytes, Coded>> cases;
  for (const Bytes& in : inputs) {
    for (uint8_t mode : modes) cases.emplace_back(in, code(in, mode, 4096));
  }
  cases.emplace_back(everyValueTwice(), lopsidedHuffman(everyValueTwice()));
  for (const auto& [in, good] : cases) {
    for (int trial = 0; trial < 200; ++trial) {
      Coded bad = good;
      if (!bad.data.empty()) {
        bad.data[rng() % bad.data.size()] ^= static_cast<uint8_t>(1 + rng() % 255);
      }
      if (trial % 3 == 0 && bad.bits > 0) {
        bad.bits -= static_cast<int32_t>(rng() % bad.bits);
        bad.data.resize((bad.bits + 7) / 8);
      }
      Bytes out;
      decode(bad, static_cast<int32_t>(rng() % (in.size() + 2)), out);
      const uint8_t* pos = bad.data.data();
      Bytes exact(in.size());
      uncompressData(&pos, pos + bad.data.size(), static_cast<int32_t>(in.size()), exact.data(),
                     bad.mode);
    }
  }
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private::Compression
