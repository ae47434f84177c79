// Bit writer and reader against a plain list of bits: single bits, words of
// any width and zero runs read back across refills and past the end.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "compressed/bit_io.h"

namespace B = Qra::Ostrel::Tyq::Private::Block;

namespace {

// Writes random bits (sparse, so that zero runs occur) as single bits and
// as words of random widths; returns the bits in order.
std::vector<uint8_t> writeRandom(B::BitWriter& w, std::mt19937& rng, int words) {
  std::vector<uint8_t> bits;
  for (int i = 0; i < words; ++i) {
    const int n = static_cast<int>(rng() % 32) + 1;
    uint32_t v = 0;
    for (int k = 0; k < n; ++k) v |= static_cast<uint32_t>(rng() % 5 == 0) << k;
    if (n == 1) {
      w.put(v);
    } else {
      w.putBits(v, n);
    }
    for (int k = 0; k < n; ++k) bits.push_back(static_cast<uint8_t>((v >> k) & 1));
  }
  return bits;
}

TEST(BitIo, ReadsBackWhatWasWrittenThenZeros) {
  std::mt19937 rng(7);
  for (int round = 0; round < 50; ++round) {
    std::vector<uint8_t> buffer(4096);
    B::BitWriter w;
    w.reset(buffer.data(), buffer.size());
    std::vector<uint8_t> bits = writeRandom(w, rng, static_cast<int>(rng() % 120));
    const size_t length = w.finish();
    ASSERT_FALSE(w.overflowed());
    ASSERT_EQ(length, bits.size() / 8 + 1);
    bits.resize(bits.size() + 200, 0);  // what the reader gives past the end

    B::BitReader r;
    r.reset(buffer.data(), length);
    size_t at = 0;
    while (at + 32 < bits.size()) {
      const int op = static_cast<int>(rng() % 3);
      const int n = static_cast<int>(rng() % 32) + 1;
      if (op == 0) {
        ASSERT_EQ(r.get(), bits[at]) << at;
        ++at;
      } else if (op == 1) {
        uint32_t expect = 0;
        for (int k = 0; k < n; ++k) expect |= uint32_t{bits[at + k]} << k;
        ASSERT_EQ(r.getBits(n), expect) << at << " " << n;
        at += static_cast<size_t>(n);
      } else {
        const int z = r.skipZeros(n);
        ASSERT_LE(z, n);
        for (int k = 0; k < z; ++k) ASSERT_EQ(bits[at + k], 0) << at + k;
        at += static_cast<size_t>(z);
      }
    }
  }
}

// Conditional bits, skipped about half the time, must keep the stream in
// step across word spills and refills, and give 0 when skipped.
TEST(BitIo, ConditionalBitsTakeOnlyWhenAsked) {
  std::mt19937 rng(11);
  std::vector<uint8_t> buffer(1024);
  B::BitWriter w;
  w.reset(buffer.data(), buffer.size());
  std::vector<uint8_t> takes, bits;
  for (int i = 0; i < 3000; ++i) {
    const uint32_t take = rng() % 2, bit = take & (rng() % 3 == 0);
    if (i % 7 == 0) {
      w.put(1);  // ordinary bits between the conditional ones
      takes.push_back(2);
      bits.push_back(1);
    }
    w.putIf(bit, take);
    takes.push_back(static_cast<uint8_t>(take));
    bits.push_back(static_cast<uint8_t>(bit));
  }
  const size_t length = w.finish();
  ASSERT_FALSE(w.overflowed());
  size_t written = 0;
  for (uint8_t t : takes) written += t != 0;
  EXPECT_EQ(length, written / 8 + 1);

  B::BitReader r;
  r.reset(buffer.data(), length);
  for (size_t i = 0; i < takes.size(); ++i) {
    if (takes[i] == 2)
      ASSERT_EQ(r.get(), 1u) << i;
    else
      ASSERT_EQ(r.getIf(takes[i]), bits[i]) << i;
  }
  EXPECT_EQ(r.getBits(32), 0u);
}

TEST(BitIo, EmptyAndNullStreamsReadZeros) {
  B::BitReader r;
  r.reset(nullptr, 0);
  EXPECT_EQ(r.get(), 0u);
  EXPECT_EQ(r.getBits(32), 0u);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(r.get() | r.getBits(31), 0u);
  const uint8_t one[1] = {0xFF};
  r.reset(one, 1);
  EXPECT_EQ(r.getBits(7), 0x7Fu);
  EXPECT_EQ(r.getBits(3), 1u);  // the last stored bit, then zeros
  EXPECT_EQ(r.skipZeros(5), 5);
}

}  // namespace
