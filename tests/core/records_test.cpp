#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tyq/autoref.h"
#include "tyq/records.h"

namespace Qra::Ostrel::Tyq::FileAccess {
namespace {

TEST(FileInfo, SetBrickedCountsBricksAndLevels) {
  FileInfo info;
  info.SetBricked(100, 100, 100, 64, 64, 64, 0, StorageOrderEnum::TraceOptimized());
  EXPECT_EQ(info.brickCount[0], 2);
  EXPECT_EQ(info.brickCount[2], 2);
  EXPECT_EQ(info.numberOfLods, 2);

  info.SetBricked(1000, 1000, 100, 64, 64, 64, 0, StorageOrderEnum::TraceOptimized());
  EXPECT_EQ(info.brickCount[0], 16);
  EXPECT_EQ(info.brickCount[2], 2);
  EXPECT_EQ(info.numberOfLods, 5);

  const int32_t levelsFor[] = {1, 1, 2, 3, 3, 4, 4, 4, 4, 5};
  for (int32_t n = 1; n <= 9; ++n) {
    info.SetBricked(n * 64, 1, 1, 64, 64, 64, 0, StorageOrderEnum::TraceOptimized());
    EXPECT_EQ(info.numberOfLods, levelsFor[n]) << n << " bricks";
  }
  info.SetBricked(10, 10, 10, 0, -1, 64, 7, StorageOrderEnum::TraceOptimized());
  EXPECT_EQ(info.brickCount[0], 0);
  EXPECT_EQ(info.brickCount[1], 0);
  EXPECT_EQ(info.numberOfLods, 7);
  EXPECT_FALSE(info.IsBricked());
  info.SetBricked(10, 10, 10, 2, 1, 1, 0, StorageOrderEnum::TraceOptimized());
  EXPECT_TRUE(info.IsBricked());
  info.SetUnbricked(StorageOrderEnum::TraditionalTyq());
  EXPECT_FALSE(info.IsBricked());
  EXPECT_EQ(info.numberOfLods, 1);
}

TEST(FileInfo, BricksPerLevelAndRanges) {
  FileInfo info;
  info.SetBricked(5 * 64, 64, 64, 64, 64, 64, 0, StorageOrderEnum::TraceOptimized());
  EXPECT_EQ(info.GetNumberOfBricks(0, 2), 2);
  EXPECT_EQ(info.GetNumberOfBricks(0, 3), 1);
  EXPECT_EQ(info.GetNumberOfBricks(0, 40), 1);
  EXPECT_EQ(info.GetTotalNumberOfBricks(1), 3);

  int32_t first = -1, count = -1;
  info.GetBrickRange(first, count, 0, 70, 10, 0);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(count, 1);
  info.GetBrickRange(first, count, 0, 60, 10, 0);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(count, 2);
  info.GetBrickRange(first, count, 0, 0, -1, 1);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(count, 3);

  int32_t f0, f1, c0, c1;
  info.GetHorzTileRange(f0, f1, c0, c1, 130, 0, 1, 64, 0);
  EXPECT_EQ(f0, 2);
  EXPECT_EQ(c0, 1);
  EXPECT_EQ(f1, 0);
  EXPECT_EQ(c1, 1);
}

TEST(FileInfo, BrickBytesAndEquality) {
  FileInfo a;
  a.SetBricked(100, 100, 100, 64, 64, 64, 0, StorageOrderEnum::TraceOptimized());
  a.SetCodingUncompressed(DataTypeEnum::Int16, -1.0f, 1.0f);
  EXPECT_EQ(a.GetNumberOfBytesPerBrick(), 524288);
  EXPECT_EQ(a.GetNumberOfSamplesPerHorzTile(), 4096);

  FileInfo b = a;
  EXPECT_EQ(a, b);
  b.valueMax = 2.0f;
  EXPECT_NE(a, b);  // the range counts for integer samples
  a.SetCodingUncompressed(DataTypeEnum::Float32, 0.0f, 1.0f);
  b.SetCodingUncompressed(DataTypeEnum::Float32, 5.0f, 9.0f);
  EXPECT_EQ(a, b);  // ...but not for float samples
  b.compressionFactor = 3.0f;
  EXPECT_EQ(a, b);  // nor the compression settings of an uncompressed file
  a.SetCodingCompressed(2.0f, 30.0f);
  b.SetCodingCompressed(2.0f, 31.0f);
  EXPECT_NE(a, b);
}

TEST(DataTypeEnum, NamesAndSizes) {
  EXPECT_STREQ(DataTypeEnum::Name(DataTypeEnum::Int16), "16-bit signed integer");
  EXPECT_STREQ(DataTypeEnum::Name(DataTypeEnum::Get(8)), "<unknown>");
  EXPECT_EQ(DataTypeEnum::Size(DataTypeEnum::Get(8)), 0);
  EXPECT_EQ(DataTypeEnum::Size(DataTypeEnum::IbmFloat32), 4);
}

DataInfo sampleInfo() {
  DataInfo info;
  info.SetExtent(100.5f, 0.25f, 401, 10.0f, 2.0f, 3, 0.0f, 4.0f, 1, true);
  info.SetStatistics(10, 5.0, 7.0, -1.0f, 1.0f);
  info.corners[1][0] = 1000.0;
  return info;
}

TEST(DataInfo, ExtentAndAnnotation) {
  const DataInfo info = sampleInfo();
  EXPECT_FLOAT_EQ(info.GetLastAnnot(0), 200.5f);
  EXPECT_EQ(info.GetLastAnnot(2), info.GetFirstAnnot(2));  // one sample
  EXPECT_EQ(info.regionSize[0], 401);
  EXPECT_FLOAT_EQ(info.annotBox[3], 401 * 0.25f);
  EXPECT_EQ(info.GetTotalNumberOfSamples(), 401 * 3);
  EXPECT_EQ(info.GetCrossSectionNumberOfSamples(0), 3);     // crossline x vertical
  EXPECT_EQ(info.GetCrossSectionNumberOfSamples(2), 1203);  // inline x crossline
}

TEST(DataInfo, EqualityRules) {
  const DataInfo a = sampleInfo();
  DataInfo b = a;
  EXPECT_EQ(a, b);
  b.corners[3][1] = 1e-300;
  EXPECT_NE(a, b);

  // Statistics compare as numbers: NaN never equals, even itself.
  DataInfo n = a;
  n.statSum = std::numeric_limits<double>::quiet_NaN();
  DataInfo m = n;
  EXPECT_NE(n, m);
  // Annotation compares bit for bit: -0 differs from +0, identical NaN equals.
  DataInfo z = a;
  z.annotStart[2] = -0.0f;
  EXPECT_NE(a, z);
  DataInfo q = a;
  q.annotInc[1] = std::numeric_limits<float>::quiet_NaN();
  DataInfo r = q;
  EXPECT_EQ(q, r);
  // Unit factors compare as numbers.
  DataInfo u = a;
  u.SetVertDomain(VertDimEnum::Time, std::nan(""), "ms");
  DataInfo v = u;
  EXPECT_NE(u, v);

  DataInfo reset = a;
  reset.Reset();
  EXPECT_EQ(reset, DataInfo());
}

TEST(DataInfo, SetIdWithNullStoresZeros) {
  DataInfo info;
  uint8_t id[16];
  for (int i = 0; i < 16; ++i) id[i] = static_cast<uint8_t>(i + 1);
  info.SetId(id, id, id, 3);
  info.SetId(id, nullptr, id, 4);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(info.dataId[i], 0);
  EXPECT_EQ(info.previousDataId[15], 16);
  EXPECT_EQ(info.updateCounter, 4);
}

struct Counted {
  int refs = 0;
  bool* destroyed;
  void AddRef() { ++refs; }
  void Release() {
    if (--refs == 0) {
      *destroyed = true;
      delete this;
    }
  }
};

TEST(AutoRef, LastReferenceDestroys) {
  bool destroyed = false;
  {
    AutoRef<Counted> a(new Counted{0, &destroyed});
    AutoRef<Counted> b = a;
    EXPECT_EQ(a->refs, 2);
    b = b;  // self-assignment must not drop the object
    EXPECT_EQ(a->refs, 2);
    AutoRef<Counted> c;
    c.swap(b);
    EXPECT_FALSE(b);
    a = AutoRef<Counted>();
    EXPECT_FALSE(destroyed);
  }
  EXPECT_TRUE(destroyed);
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::FileAccess
