#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "bricked/format.h"
#include "core/endian.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {
namespace {

namespace E = FileAccess;

std::vector<uint8_t> le(int64_t v) {
  std::vector<uint8_t> b(8);
  Le::putI64(b.data(), v);
  return b;
}
uint64_t u(int64_t v) {
  return static_cast<uint64_t>(v);
}

TEST(FormatHeader, MagicVersionAndV1WordOrder) {
  uint8_t header[kHeaderSize];
  encodeHeader(3, header);
  EXPECT_EQ(std::vector<uint8_t>(header, header + 8),
            (std::vector<uint8_t>{'V', 'B', 'S', 0, 3, 0, 0, 0}));
  int32_t version = -7;
  EXPECT_TRUE(decodeHeader(header, version));
  EXPECT_EQ(version, 3);
  header[2] = 'C';
  EXPECT_FALSE(decodeHeader(header, version));

  uint8_t offsets[kV1OffsetsSize];
  encodeV1Offsets({40, 0x0000000100000002, 1258, 186}, offsets);
  EXPECT_EQ(std::vector<uint8_t>(offsets + 8, offsets + 16),
            (std::vector<uint8_t>{1, 0, 0, 0, 2, 0, 0, 0}));
  const V1Offsets back = decodeV1Offsets(offsets);
  EXPECT_EQ(back.tiles, 0x0000000100000002);
  EXPECT_EQ(back.hist, 186);

  // Table entries held in memory, written as they are after the swap.
  int64_t entries[2] = {0x0000000100000002, 1};
  swapEntryWords(entries, 2);
  EXPECT_EQ(le(entries[0]), (std::vector<uint8_t>{1, 0, 0, 0, 2, 0, 0, 0}));
  EXPECT_EQ(le(entries[1]), (std::vector<uint8_t>{0, 0, 0, 0, 1, 0, 0, 0}));
  swapEntryWords(entries, 2);
  EXPECT_EQ(entries[0], 0x0000000100000002);
}

TEST(FormatEntries, V23Constants) {
  const int16_t minus2 = -2;
  const float zero = 0.0f;
  const uint32_t word = 0xDEADBEEF;
  const uint8_t one = 1;
  EXPECT_EQ(u(encodeBrickEntryV23(4096, &minus2, 2)), 0x800000000000FFFEULL);
  EXPECT_EQ(u(encodeBrickEntryV23(4096, &zero, 4)), 0x8000000000000000ULL);
  EXPECT_EQ(u(encodeBrickEntryV23(4096, &word, 4)), 0x80000000DEADBEEFULL);
  EXPECT_EQ(encodeBrickEntryV23(4096, nullptr, 4), 4096);
  EXPECT_EQ(u(encodeTileEntryV23(777, &one)), 0x8000000000000001ULL);
  EXPECT_EQ(encodeTileEntryV23(777, nullptr), 777);

  int16_t s16 = 0;
  EXPECT_EQ(decodeBrickEntryV23(static_cast<int64_t>(0x800000000000FFFEULL), &s16, 2), 1);
  EXPECT_EQ(s16, -2);
  // The all-zero float brick is a constant, not a never-written one.
  float f = 1.0f;
  EXPECT_EQ(decodeBrickEntryV23(static_cast<int64_t>(0x8000000000000000ULL), &f, 4), 1);
  EXPECT_EQ(f, 0.0f);
  uint32_t w = 0xAAAAAAAA;
  EXPECT_EQ(decodeBrickEntryV23(0, &w, 4), 0);
  EXPECT_EQ(w, 0xAAAAAAAAu);
  EXPECT_EQ(decodeBrickEntryV23(1, &w, 4), 1);  // all-zero brick of older writers
  EXPECT_EQ(w, 0u);
  EXPECT_EQ(decodeBrickEntryV23(1 << 20, &w, 4), 1 << 20);
  uint8_t buf[3] = {9, 9, 9};  // only the sample's bytes are written
  EXPECT_EQ(decodeBrickEntryV23(static_cast<int64_t>(0x80000000000012FFULL), buf, 2), 1);
  EXPECT_EQ(std::vector<uint8_t>(buf, buf + 3), (std::vector<uint8_t>{0xFF, 0x12, 9}));
  EXPECT_EQ(decodeTileEntryV23(static_cast<int64_t>(0x80000000000000FEULL), buf), 1);
  EXPECT_EQ(buf[0], 0xFE);
}

TEST(FormatEntries, V1KeepsOnlyZeroAsConstant) {
  EXPECT_EQ(encodeEntryV1(4096, true), 1);
  EXPECT_EQ(encodeEntryV1(4096, false), 4096);
  int32_t sample = 77;
  EXPECT_EQ(decodeBrickEntryV1(1, &sample, 4), 1);
  EXPECT_EQ(sample, 0);
  EXPECT_EQ(decodeBrickEntryV1(0, &sample, 4), 0);
  // No constant flag in version 1: the negative entry is no constant.
  EXPECT_LT(decodeBrickEntryV1(static_cast<int64_t>(0x8000000000000005ULL), &sample, 4), 0);
  uint8_t flag = 3;
  EXPECT_EQ(decodeTileEntryV1(1, &flag), 1);
  EXPECT_EQ(flag, 0);
}

E::FileInfo bricked(int32_t size, int32_t brick) {
  E::FileInfo f;
  f.SetBricked(size, size, size, brick, brick, brick, 0, E::StorageOrderEnum::TraceOptimized());
  f.SetCodingUncompressed(E::DataTypeEnum::Int8, -1.0f, 1.0f);
  return f;
}

TEST(FormatTables, LevelsStoredHighestFirst) {
  TableGeometry g;
  ASSERT_TRUE(computeTableGeometry(bricked(100, 64), g));
  ASSERT_EQ(g.levels.size(), 2u);
  EXPECT_EQ(g.tileEntries, 1 + 4);
  EXPECT_EQ(g.brickEntries, 1 + 8);
  EXPECT_EQ(brickEntryIndex(g, 1, 0, 0, 0), 0);
  EXPECT_EQ(brickEntryIndex(g, 0, 1, 0, 1), 1 + 1 + 2 * (0 + 2 * 1));
  EXPECT_EQ(tileEntryIndex(g, 0, 1, 1), 1 + 1 + 2 * 1);
  EXPECT_EQ(brickEntryIndex(g, 0, 2, 0, 0), -1);
  EXPECT_EQ(tileEntryIndex(g, 2, 0, 0), -1);
  // A new version-3 file with empty strings.
  const int64_t hist = kV23InfoPos + int64_t{kV23InfoFixedSize} + stringsLengthV23(E::DataInfo());
  EXPECT_EQ(hist, 351);
  EXPECT_EQ(hist + int64_t{kV23HistSize}, 2415);
  EXPECT_EQ(hist + int64_t{kV23HistSize} + 8 * g.tileEntries, 2455);

  // One-sample bricks over the largest survey: about 2^93 entries.
  EXPECT_FALSE(computeTableGeometry(bricked(INT32_MAX, 1), g));
  EXPECT_TRUE(validBrickGeometry(bricked(10, 64)));
  EXPECT_FALSE(validBrickGeometry(bricked(10, 0)));
  EXPECT_FALSE(validBrickGeometry(bricked(10, 2048)));  // 8 GiB brick
}

TEST(FormatLayout, TracesMoveIntoEightByEightBlocks) {
  EXPECT_EQ(blockedTraceIndex(0, 7, 64), 7);
  EXPECT_EQ(blockedTraceIndex(1, 0, 64), 8);
  EXPECT_EQ(blockedTraceIndex(0, 8, 64), 64);
  EXPECT_EQ(blockedTraceIndex(8, 0, 64), 512);
  EXPECT_EQ(blockedTraceIndex(9, 17, 64), (1 * 8 + 2) * 64 + 1 * 8 + 1);

  const int b0 = 16, b1 = 24;
  const size_t traceBytes = 3;
  std::vector<uint8_t> natural(b0 * b1 * traceBytes);
  for (size_t n = 0; n < natural.size(); ++n) natural[n] = static_cast<uint8_t>(n * 7);
  std::vector<uint8_t> blocked(natural.size(), 0xEE);
  ASSERT_TRUE(toBlockedLayout(natural.data(), blocked.data(), b0, b1, traceBytes));
  // Trace (9, 10): block (1, 1) of three blocks per row, slot 1 * 8 + 2.
  const size_t to = ((1 * 3 + 1) * 64 + 1 * 8 + 2) * traceBytes;
  EXPECT_EQ(0, std::memcmp(&blocked[to], &natural[(9 * b1 + 10) * traceBytes], traceBytes));
  std::vector<uint8_t> back(natural.size(), 0);
  ASSERT_TRUE(fromBlockedLayout(blocked.data(), back.data(), b0, b1, traceBytes));
  EXPECT_EQ(back, natural);

  std::vector<uint8_t> untouched(natural.size(), 0);
  EXPECT_FALSE(toBlockedLayout(natural.data(), untouched.data(), 12, 16, 1));
  EXPECT_FALSE(fromBlockedLayout(natural.data(), untouched.data(), 16, 0, 1));
  EXPECT_EQ(untouched, std::vector<uint8_t>(natural.size(), 0));
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private::Bricked
