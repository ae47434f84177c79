// Records of the compressed format to bytes and back.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "compressed/format.h"
#include "compressed/version_handler.h"
#include "core/endian.h"

namespace Qra::Ostrel::Tyq::Private::Compressed {
namespace {

namespace FA = FileAccess;

const uint8_t* bytesOf(const std::string& s) {
  return reinterpret_cast<const uint8_t*>(s.data());
}

TEST(CompressedFormat, OffsetsStoreTheHighHalfFirst) {
  Offsets o;
  o.alphaTable = 0x0000000500000007LL;
  o.hist = 123;
  const std::string bytes = encodeOffsets(o);
  ASSERT_EQ(bytes.size(), kOffsetsSize);
  EXPECT_EQ(Le::getU32(bytesOf(bytes)), 0u);
  EXPECT_EQ(Le::getU32(bytesOf(bytes) + 4), 48u);
  EXPECT_EQ(Le::getU32(bytesOf(bytes) + 16), 5u);
  EXPECT_EQ(Le::getU32(bytesOf(bytes) + 20), 7u);
  const Offsets back = decodeOffsets(bytesOf(bytes));
  EXPECT_EQ(back.alphaTable, o.alphaTable);
  EXPECT_EQ(back.hist, 123);
  EXPECT_EQ(back.info, 48);
}

TEST(CompressedFormat, LevelGeometryOfSmallAndOddSurveys) {
  const int32_t one[3] = {1, 1, 1};
  EXPECT_EQ(pyramidLevels(one), 1);
  const int32_t two[3] = {2, 1, 1};  // 65 x 64 x 64 samples
  EXPECT_EQ(pyramidLevels(two), 2);
  const LevelGeometry g = makeGeometry(two, 2);
  EXPECT_EQ(g.start[1], 2);
  EXPECT_EQ(g.total(), 3);
  EXPECT_EQ(g.index(1, 0, 0, 0), 1);
  EXPECT_EQ(g.index(0, 0, 0, 1), 2);
  EXPECT_EQ(g.index(1, 0, 0, 1), -1);
  EXPECT_EQ(g.index(0, 0, 0, 2), -1);
  const int32_t huge[3] = {INT32_MAX / 64, INT32_MAX / 64, INT32_MAX / 64};
  const LevelGeometry big = makeGeometry(huge, pyramidLevels(huge));
  EXPECT_GT(big.total(), kMaxTableEntries);
  EXPECT_GT(big.start[1], 0);
  const int32_t wide[3] = {5, 3, 9};
  EXPECT_EQ(pyramidLevels(wide), 5);
  EXPECT_EQ(makeGeometry(wide, 5).count[1][0], 3);
}

FA::DataInfo sampleInfo() {
  FA::DataInfo d;
  d.SetExtent(1001.7f, 2, 300, 2001, 1, 200, 0.5f, 0.004f, 100, true);
  d.SetVertDomain(FA::VertDimEnum::Time, 1.0, "s");
  d.SetHorzDomain("", FA::HorzDimEnum::Length, 0.3048, "ft");
  d.sourceType = FA::DataTypeEnum::Int16;
  const double corners[4][2] = {{10, 20}, {610, 20}, {10, 220}, {610, 220}};
  std::memcpy(d.corners, corners, sizeof corners);
  return d;
}

TEST(CompressedFormat, InformationBlocksOfEveryVersion) {
  const FA::DataInfo d = sampleInfo();
  for (int32_t v = 6; v <= 16; ++v) {
    SCOPED_TRACE(v);
    const std::string block = encodeInfo(v, FA::FileInfo(), d);
    ASSERT_EQ(block.size(), infoSize(v));
    FA::FileInfo f;
    FA::DataInfo back;
    decodeInfo(v, bytesOf(block), f, back);
    EXPECT_EQ(back.size[0], 300);
    EXPECT_EQ(back.size[2], 100);
    EXPECT_FLOAT_EQ(back.annotStart[0], 1001.0f);  // truncated
    EXPECT_FLOAT_EQ(back.annotInc[0], 2.0f);
    EXPECT_FLOAT_EQ(back.annotStart[2], 500.0f);  // seconds stored as ms
    EXPECT_FLOAT_EQ(back.annotInc[2], 4.0f);
    EXPECT_EQ(back.vertUnit.name, "ms");
    EXPECT_EQ(back.sourceType, FA::DataTypeEnum::Int16);
    EXPECT_EQ(back.regionSize[1], 200);
    EXPECT_EQ(back.sourceName, "<no source name>");
    EXPECT_DOUBLE_EQ(back.corners[3][0], 610.0);
    EXPECT_EQ(back.horzUnit.name, v >= 11 ? "ft" : "m");
    EXPECT_EQ(f.numberOfLods, v == 16 ? 4 : 1);  // 5 x 4 x 2 bricks
    EXPECT_EQ(f.storageOrder, FA::StorageOrderEnum::TraditionalTyq());
    EXPECT_EQ(f.formatVersion, v);
  }
}

TEST(CompressedFormat, TypeCodesAreExchangedInPairs) {
  EXPECT_EQ(storedTypeCode(0), 1);
  EXPECT_EQ(storedTypeCode(3), 2);
  EXPECT_EQ(storedTypeCode(5), 4);
  EXPECT_EQ(storedTypeCode(6), 6);
  EXPECT_EQ(storedTypeCode(7), 7);
  EXPECT_EQ(storedTypeCode(42), 6);
  EXPECT_EQ(typeOfStoredCode(4), 5);
  EXPECT_EQ(typeOfStoredCode(7), 7);
  EXPECT_EQ(typeOfStoredCode(9), 255);
}

TEST(CompressedFormat, PackedDegreeCornersAndOtherUnitCodes) {
  FA::DataInfo d = sampleInfo();
  d.SetHorzDomain("", FA::HorzDimEnum::ArcAngle, 3600.0, "deg");
  d.corners[0][0] = 123015.0;  // 12 degrees 30 minutes 15 seconds
  std::string block = encodeInfo(16, FA::FileInfo(), d);
  EXPECT_EQ(static_cast<uint8_t>(block[129]), 4);
  block[129] = 5;
  FA::FileInfo f;
  FA::DataInfo back;
  decodeInfo(16, bytesOf(block), f, back);
  EXPECT_NEAR(back.corners[0][0], 12.0 + 30.0 / 60 + 15.0 / 3600, 1e-9);
  EXPECT_EQ(back.horzUnit.name, "argdeg");
  EXPECT_DOUBLE_EQ(back.horzUnit.factor, 3600.0);
  // A length unit of its own scales the corners into metres.
  d.SetHorzDomain("", FA::HorzDimEnum::Length, 2.0, "yd2");
  block = encodeInfo(16, FA::FileInfo(), d);
  EXPECT_EQ(static_cast<uint8_t>(block[129]), 1);
  EXPECT_DOUBLE_EQ(Le::getF64(bytesOf(block) + 64 + 8), 1220.0);
}

TEST(CompressedFormat, HistogramPayloadForms) {
  HistRecord h;
  h.sqnr = 30.456f;
  h.compressionFactor = 12.34f;
  h.rangeMax = 5;
  h.rangeMin = -3;
  for (int b = 0; b < kHistBins; ++b) h.bins[b] = b * 1000;
  std::string bytes = encodeHist(h);
  const int32_t narrow = histPayloadSize(bytesOf(bytes));
  EXPECT_LE(narrow, static_cast<int32_t>(kHistNarrowMax));
  EXPECT_EQ(bytes.size(), kHistHeadSize + static_cast<size_t>(narrow));
  HistRecord back;
  ASSERT_TRUE(decodeHist(bytesOf(bytes), bytesOf(bytes) + kHistHeadSize, narrow, false, back));
  EXPECT_EQ(back.bins[255], 255000);
  EXPECT_FLOAT_EQ(back.sqnr, 30.45f);
  EXPECT_FLOAT_EQ(back.compressionFactor, 12.3f);
  EXPECT_FLOAT_EQ(back.rangeMin, -3.0f);
  ASSERT_TRUE(decodeHist(bytesOf(bytes), bytesOf(bytes) + kHistHeadSize, narrow, true, back));
  EXPECT_FLOAT_EQ(back.rangeMin, -5.0f);

  h.bins[7] = int64_t{1} << 31;
  bytes = encodeHist(h);
  ASSERT_EQ(histPayloadSize(bytesOf(bytes)), static_cast<int32_t>(kHistWideSize));
  ASSERT_TRUE(decodeHist(bytesOf(bytes), bytesOf(bytes) + kHistHeadSize,
                         static_cast<int32_t>(kHistWideSize), false, back));
  EXPECT_EQ(back.bins[7], int64_t{1} << 31);
  EXPECT_EQ(back.bins[8], 8000);
}

TEST(CompressedFormat, TableHalvesAreExchangedBeforeVersion16) {
  std::vector<int64_t> entries = {0, 1, 0x0000000100000002LL, 0, 0, 0, 0, 0};
  for (int v : {15, 16}) {
    const FileVersionHandlerBase* h = FileVersionHandlerBase::ForVersion(v);
    std::vector<int64_t> file = entries;
    h->ToFileOrder(file);
    EXPECT_EQ(file[2], v == 16 ? entries[2] : 0x0000000200000001LL);
    const std::string record = encodeTable(file);
    std::vector<int64_t> back(entries.size());
    ASSERT_TRUE(decodeTable(bytesOf(record), bytesOf(record) + kTableHeadSize,
                            record.size() - kTableHeadSize, back));
    h->FromFileOrder(back);
    EXPECT_EQ(back, entries);
  }
  // A record that decodes to the wrong number of entries is refused.
  const std::string record = encodeTable(entries);
  std::vector<int64_t> longer(entries.size() + 1);
  EXPECT_FALSE(decodeTable(bytesOf(record), bytesOf(record) + kTableHeadSize,
                           record.size() - kTableHeadSize, longer));
}

// The bound read from a table's head is what lets a reader refuse a header
// beyond its tables before allocating: it may be loose, but never below
// what the writer's own record of any table decodes to.
TEST(CompressedFormat, TableBoundCoversEveryFormTheWriterPicks) {
  std::mt19937_64 rng(5);
  const size_t n = 3000;
  std::vector<std::vector<int64_t>> tables(6, std::vector<int64_t>(n));
  for (size_t e = 0; e < n; ++e) {
    tables[1][e] = 1;                                         // all constant
    tables[2][e] = e % 3 == 0 ? 0 : int64_t{4096} + 700 * e;  // growing positions
    tables[3][e] = static_cast<int64_t>(rng() >> 2);          // anything
    tables[4][e] = e == n / 2 ? int64_t{1} << 40 : 0;         // one far brick
    tables[5][e] = 0x0000000700000007LL;                      // equal words
  }
  for (const std::vector<int64_t>& entries : tables) {
    const std::string record = encodeTable(entries);
    const int64_t bound = tableBytesBound(bytesOf(record), bytesOf(record) + kTableHeadSize,
                                          record.size() - kTableHeadSize);
    EXPECT_GE(bound, static_cast<int64_t>(n * 8)) << "mode " << int{bytesOf(record)[0]};
  }
  // A fill carries its count; any other head stays within its bits.
  std::string fill = encodeTable(tables[0]);
  ASSERT_EQ(bytesOf(fill)[0], 1);
  EXPECT_EQ(tableBytesBound(bytesOf(fill), bytesOf(fill) + kTableHeadSize, 4), int64_t{n * 8});
  std::string copy = encodeTable(tables[3]);
  copy[0] = 0;
  EXPECT_LE(
      tableBytesBound(bytesOf(copy), bytesOf(copy) + kTableHeadSize, copy.size() - kTableHeadSize),
      static_cast<int64_t>(copy.size()) * 8);
}

TEST(CompressedFormat, HandlerRulesByVersion) {
  EXPECT_EQ(FileVersionHandlerBase::ForVersion(5), nullptr);
  EXPECT_EQ(FileVersionHandlerBase::ForVersion(17), nullptr);
  for (int v = 6; v <= 16; ++v) {
    const FileVersionHandlerBase* h = FileVersionHandlerBase::ForVersion(v);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->Version(), v);
    EXPECT_EQ(h->IsTwoStage(), v >= 8 && v <= 12);
    EXPECT_EQ(h->KeepsPyramid(), v == 16);
    EXPECT_EQ(h->HonoursConstantValue(), v == 16);
  }
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private::Compressed
