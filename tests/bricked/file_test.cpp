#include "bricked/file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "core/endian.h"
#include "support/memory_file.h"
#include "tyq/environment.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {
namespace {

namespace FA = FileAccess;
using E = FA::Error;
using tyq_test::Bytes;
using tyq_test::MemoryFile;

FA::DataInfo survey(int32_t n0, int32_t n1, int32_t n2) {
  FA::DataInfo info;
  info.SetExtent(1000, 1, n0, 2000, 2, n1, 0, 4, n2, false);
  return info;
}

// A volume file kept in memory; `file` is recreated over the same bytes to
// imitate closing and reopening.
struct Volume {
  std::shared_ptr<Bytes> bytes = std::make_shared<Bytes>();
  std::unique_ptr<MemoryFile> adt;
  std::unique_ptr<File> file;

  File& fresh() {
    file.reset();
    adt = std::make_unique<MemoryFile>(bytes);
    file = std::make_unique<File>("vol.vbs", FA::FileFactory::UsageCreate, adt.get());
    return *file;
  }
  bool create(const FA::DataInfo& info, FA::DataTypeEnum::value_type type, int version,
              Status* status) {
    return fresh().Create("vol.vbs", info, type, FA::TyqOptions(), status, -1.0f, 1.0f, version);
  }
  bool open(bool readOnly, Status* status, int version = 0) {
    return fresh().Open("vol.vbs", readOnly, FA::TyqOptions(), status, version);
  }
  int64_t i64At(int64_t pos) const { return Le::getI64(bytes->data() + pos); }
};

// A brick the levels of detail cannot halve, or one the version cannot
// describe, would give levels stored unfilled or bricks read back at the
// wrong size: refused before the file is touched.
TEST(BrickedFile, BrickSizesNoPyramidOrVersionCanHoldAreRefused) {
  struct Case {
    int brick[3];
    int n;
    int version;
    bool ok;
  };
  const Case cases[] = {
      {{15, 16, 16}, 100, 3, false},  // several levels, odd along i
      {{16, 16, 7}, 100, 2, false},   // odd along k
      {{15, 15, 15}, 15, 3, true},    // one brick, one level: nothing to halve
      {{16, 16, 16}, 100, 1, false},  // version 1 stores no brick size: 64 only
      {{64, 64, 64}, 100, 1, true},  {{2, 4, 6}, 20, 3, true},
  };
  for (const Case& c : cases) {
    for (int a = 0; a < 3; ++a) {
      const char* names[3] = {"OSTREL_TYQ_BRICK_SIZE_0", "OSTREL_TYQ_BRICK_SIZE_1",
                              "OSTREL_TYQ_BRICK_SIZE_2"};
      Environment::putNumericEnv(names[a], c.brick[a]);
    }
    Environment::putNumericEnv("OSTREL_TYQ_BRICK_SIZE", 64);
    Volume v;
    Status status;
    const bool created =
        v.create(survey(c.n, c.n, c.n), FA::DataTypeEnum::Float32, c.version, &status);
    for (const char* name : {"OSTREL_TYQ_BRICK_SIZE", "OSTREL_TYQ_BRICK_SIZE_0",
                             "OSTREL_TYQ_BRICK_SIZE_1", "OSTREL_TYQ_BRICK_SIZE_2"}) {
      Environment::putStringEnv(name, "");
    }
    EXPECT_EQ(created, c.ok) << c.brick[0] << "x" << c.brick[1] << "x" << c.brick[2];
    if (!c.ok) {
      EXPECT_EQ(status.tyqError(), E::InvalidArgument);
      EXPECT_TRUE(v.bytes->empty());  // the file was never made
    }
  }
}

TEST(BrickedFile, NewVersion3FileHasTheDocumentedLayout) {
  Volume v;
  Status status;
  ASSERT_TRUE(v.create(survey(100, 100, 100), FA::DataTypeEnum::Int8, 0, &status))
      << status.message();
  const FA::FileInfo* info = v.file->GetFileInfo(nullptr);
  EXPECT_EQ(info->formatName, "Uncompressed TYQ");
  EXPECT_EQ(info->formatVersion, 3);
  EXPECT_EQ(info->numberOfLods, 2);
  EXPECT_EQ(v.file->GetTileTable().position, 2415);
  EXPECT_EQ(v.file->GetTileTable().count, 5);
  EXPECT_EQ(v.file->GetBrickTable().position, 2455);
  EXPECT_EQ(v.file->GetBrickTable().count, 9);
  ASSERT_EQ(v.bytes->size(), 2455u + 9 * 8);
  EXPECT_EQ(std::memcmp(v.bytes->data(), "VBS\0\3\0\0\0", 8), 0);
  EXPECT_EQ(Le::getU32(v.bytes->data() + 9 + 333), 5u);  // five empty strings
  // The histogram's place stays unwritten until a histogram is set.
  for (int64_t p = 351; p < 2415; ++p) ASSERT_EQ((*v.bytes)[p], 0) << p;
}

TEST(BrickedFile, BricksRoundTripAndGrowTheRegion) {
  Volume v;
  Status status;
  ASSERT_TRUE(v.create(survey(200, 100, 64), FA::DataTypeEnum::Int16, 0, &status));
  std::vector<int16_t> brick(64 * 64 * 64);
  for (size_t n = 0; n < brick.size(); ++n) brick[n] = static_cast<int16_t>(n * 7 - 3000);
  ASSERT_TRUE(v.file->SetBrick(1, 0, 0, 0, brick.data(), &status)) << status.message();
  const FA::DataInfo* data = v.file->GetDataInfo(nullptr);
  EXPECT_EQ(data->regionBegin[0], 0);
  EXPECT_EQ(data->regionSize[0], 128);
  EXPECT_EQ(data->regionSize[1], 64);
  EXPECT_EQ(data->regionSize[2], 64);

  long long pos[2] = {-1, -1};
  ASSERT_TRUE(v.file->GetDataBrickPos(pos, 0, 0, 0, 0, 2, 1, 1, nullptr));
  EXPECT_EQ(pos[0], 0);
  EXPECT_GT(pos[1], 1);
  EXPECT_EQ(pos[1] % (64 * 64 * 64 * 2), 0);  // bricks sit on brick-size boundaries
  ASSERT_TRUE(v.file->Flush(false, &status));

  ASSERT_TRUE(v.open(true, &status)) << status.message();
  std::vector<int16_t> back(brick.size(), 0);
  ASSERT_TRUE(v.file->GetBrick(1, 0, 0, 0, back.data(), &status));
  EXPECT_EQ(back, brick);
  EXPECT_FALSE(v.file->GetBrick(0, 0, 0, 0, back.data(), &status));
  EXPECT_EQ(status.tyqError(), E::BrickNotFound);
  EXPECT_FALSE(v.file->GetBrick(4, 0, 0, 0, back.data(), &status));
  EXPECT_EQ(status.tyqError(), E::InvalidArgument);
  EXPECT_FALSE(v.file->SetBrick(1, 0, 0, 0, brick.data(), &status));
  EXPECT_EQ(status.tyqError(), E::ReadOnly);

  // Skips read only the middle of a brick and leave the rest of the buffer alone.
  std::vector<int16_t> part(brick.size(), 77);
  const int64_t total = static_cast<int64_t>(brick.size());
  ASSERT_TRUE(v.file->GetBrick(1, 0, 0, 0, part.data(), 10, total - 20, &status));
  EXPECT_EQ(part[9], 77);
  EXPECT_EQ(part[10], brick[10]);
  EXPECT_EQ(part[19], brick[19]);
  EXPECT_EQ(part[20], 77);
  EXPECT_TRUE(v.file->GetBrick(1, 0, 0, 0, part.data(), total, 0, &status));
  EXPECT_FALSE(v.file->GetBrick(1, 0, 0, 0, part.data(), total, 1, &status));
  EXPECT_EQ(status.tyqError(), E::InvalidArgument);
}

TEST(BrickedFile, ConstantEntriesUseTheVersionsCodings) {
  Volume v;
  Status status;
  ASSERT_TRUE(v.create(survey(64, 64, 128), FA::DataTypeEnum::Int16, 3, &status));
  const int16_t minusTwo = -2;
  ASSERT_TRUE(v.file->SetBrickAllConst(0, 0, 1, 0, &minusTwo, &status));
  ASSERT_TRUE(v.file->SetGridFlagsTileAllConst(0, 0, 0, 1, &status));
  ASSERT_TRUE(v.file->Flush(false, &status));
  const LookupTable& bricks = v.file->GetBrickTable();
  const int64_t level0 = bricks.position + 8 * bricks.levelStart[0];
  EXPECT_EQ(static_cast<uint64_t>(v.i64At(level0 + 8)), 0x800000000000FFFEull);
  const LookupTable& tiles = v.file->GetTileTable();
  EXPECT_EQ(static_cast<uint64_t>(v.i64At(tiles.position + 8 * tiles.levelStart[0])),
            0x8000000000000001ull);

  std::vector<int16_t> back(64 * 64 * 64);
  ASSERT_TRUE(v.file->GetBrick(0, 0, 1, 0, back.data(), &status));
  EXPECT_EQ(back.front(), -2);
  EXPECT_EQ(back.back(), -2);

  Volume f;
  ASSERT_TRUE(f.create(survey(64, 64, 64), FA::DataTypeEnum::Float32, 3, &status));
  ASSERT_TRUE(f.file->SetBrickAllZero(0, 0, 0, 0, &status));
  ASSERT_TRUE(f.file->Flush(false, &status));
  const LookupTable& fb = f.file->GetBrickTable();
  EXPECT_EQ(static_cast<uint64_t>(f.i64At(fb.position + 8 * fb.levelStart[0])),
            0x8000000000000000ull);
}

TEST(BrickedFile, ConstantOverStoredDataRewritesInPlace) {
  Volume v;
  Status status;
  ASSERT_TRUE(v.create(survey(64, 64, 64), FA::DataTypeEnum::UInt8, 3, &status));
  std::vector<uint8_t> brick(64 * 64 * 64, 3);
  ASSERT_TRUE(v.file->SetBrick(0, 0, 0, 0, brick.data(), &status));
  long long before = 0, after = 0;
  v.file->GetDataBrickPos(&before, 0, 0, 0, 0, 1, 1, 1, nullptr);
  const uint8_t nine = 9;
  ASSERT_TRUE(v.file->SetBrickAllConst(0, 0, 0, 0, &nine, &status));
  v.file->GetDataBrickPos(&after, 0, 0, 0, 0, 1, 1, 1, nullptr);
  EXPECT_EQ(before, after);
  EXPECT_EQ((*v.bytes)[static_cast<size_t>(after) + 1000], 9);
}

TEST(BrickedFile, Version1KeepsOnlyZeroAsAnEntryAndStoresHighWordFirst) {
  Volume v;
  Status status;
  ASSERT_TRUE(v.create(survey(64, 64, 128), FA::DataTypeEnum::Int8, 1, &status))
      << status.message();
  const int8_t five = 5, zero = 0;
  ASSERT_TRUE(v.file->SetBrickAllConst(0, 0, 0, 0, &five, &status));
  ASSERT_TRUE(v.file->SetBrickAllConst(0, 0, 1, 0, &zero, &status));
  ASSERT_TRUE(v.file->Flush(false, &status));
  const LookupTable& table = v.file->GetBrickTable();
  const int64_t at = table.position + 8 * table.levelStart[0];
  const int64_t stored = Le::getI64HighFirst(v.bytes->data() + at);
  EXPECT_GT(stored, 1);  // five cannot be an entry: a full brick was written
  EXPECT_EQ((*v.bytes)[static_cast<size_t>(stored) + 4095], 5);
  const uint8_t zeroEntry[8] = {0, 0, 0, 0, 1, 0, 0, 0};
  EXPECT_EQ(std::memcmp(v.bytes->data() + at + 8, zeroEntry, 8), 0);

  ASSERT_TRUE(v.open(true, &status)) << status.message();
  std::vector<int8_t> back(64 * 64 * 64, 1);
  ASSERT_TRUE(v.file->GetBrick(0, 0, 1, 0, back.data(), &status));
  EXPECT_EQ(back[123], 0);
}

// Writes bricks of every kind, a tile and a histogram, reopens, compares.
void roundTrip(int version) {
  SCOPED_TRACE(version);
  Volume v;
  Status status;
  FA::DataInfo info = survey(130, 70, 64);
  info.SetSourceInfo("src", "a survey", FA::DataTypeEnum::Float32);
  info.SetVertDomain(FA::VertDimEnum::Time, 0.001, "ms");
  ASSERT_TRUE(v.create(info, FA::DataTypeEnum::Float32, version, &status)) << status.message();
  std::vector<float> brick(64 * 64 * 64);
  for (size_t n = 0; n < brick.size(); ++n) brick[n] = static_cast<float>(n % 1000) * 0.5f;
  const float seven = 7.0f;
  std::vector<uint8_t> tile(64 * 64);
  for (size_t n = 0; n < tile.size(); ++n) tile[n] = static_cast<uint8_t>(n % 3);
  ASSERT_TRUE(v.file->SetBrick(2, 1, 0, 0, brick.data(), &status)) << status.message();
  ASSERT_TRUE(v.file->SetBrickAllConst(0, 1, 0, 0, &seven, &status));
  ASSERT_TRUE(v.file->SetBrickAllZero(0, 0, 0, 1, &status));
  ASSERT_TRUE(v.file->SetGridFlagsTile(1, 0, 0, tile.data(), &status));
  int64_t bins[256] = {};
  bins[3] = 5;
  bins[200] = 9;
  ASSERT_TRUE(v.file->SetDataHist(14, -1.0, 1.0, bins, &status));
  ASSERT_TRUE(v.file->Flush(true, &status)) << status.message();
  const FA::DataInfo written = *v.file->GetDataInfo(nullptr);
  const FA::Histogram writtenHist = *v.file->GetDataHist(nullptr);

  ASSERT_TRUE(v.open(false, &status)) << status.message();
  EXPECT_EQ(*v.file->GetDataInfo(nullptr), written);
  EXPECT_EQ(*v.file->GetDataHist(nullptr), writtenHist);
  std::vector<float> back(brick.size());
  ASSERT_TRUE(v.file->GetBrick(2, 1, 0, 0, back.data(), &status));
  EXPECT_EQ(back, brick);
  ASSERT_TRUE(v.file->GetBrick(0, 1, 0, 0, back.data(), &status));
  EXPECT_EQ(back[4242], 7.0f);
  ASSERT_TRUE(v.file->GetBrick(0, 0, 0, 1, back.data(), &status));
  EXPECT_EQ(back[17], 0.0f);
  std::vector<uint8_t> tileBack(tile.size());
  ASSERT_TRUE(v.file->GetGridFlagsTile(1, 0, 0, tileBack.data(), &status));
  EXPECT_EQ(tileBack, tile);
  EXPECT_FALSE(v.file->GetGridFlagsTile(0, 0, 0, tileBack.data(), &status));
  EXPECT_EQ(status.tyqError(), E::BrickNotFound);
  // Updating a reopened file appends and keeps what was there.
  ASSERT_TRUE(v.file->SetBrick(1, 1, 0, 0, brick.data(), &status));
  ASSERT_TRUE(v.file->Flush(false, &status));
  ASSERT_TRUE(v.open(true, &status));
  ASSERT_TRUE(v.file->GetBrick(1, 1, 0, 0, back.data(), &status));
  EXPECT_EQ(back, brick);
  ASSERT_TRUE(v.file->GetBrick(2, 1, 0, 0, back.data(), &status));
  EXPECT_EQ(back, brick);
}

TEST(BrickedFile, EveryVersionRoundTrips) {
  roundTrip(1);
  roundTrip(2);
  roundTrip(3);
}

TEST(BrickedFile, SequentialModeRefusesRewrites) {
  Environment::putNumericEnv("OSTREL_TYQ_SEQUENTIAL", 1);
  Volume v;
  Status status;
  const bool created = v.create(survey(64, 64, 64), FA::DataTypeEnum::UInt8, 0, &status);
  ::unsetenv("OSTREL_TYQ_SEQUENTIAL");
  ASSERT_TRUE(created);
  EXPECT_TRUE(v.file->IsSequential());
  std::vector<uint8_t> brick(64 * 64 * 64, 1);
  ASSERT_TRUE(v.file->SetBrick(0, 0, 0, 0, brick.data(), &status));
  EXPECT_FALSE(v.file->SetBrick(0, 0, 0, 0, brick.data(), &status));
  EXPECT_EQ(status.tyqError(), E::InvalidArgument);
  EXPECT_EQ(status.context(), "");
}

TEST(BrickedFile, DirtyMarksFollowWrittenBricks) {
  Volume v;
  Status status;
  ASSERT_TRUE(v.create(survey(192, 64, 64), FA::DataTypeEnum::UInt8, 0, &status));
  ASSERT_TRUE(v.file->SetBrickAllZero(2, 0, 0, 0, &status));
  // Brick 2 is alone on the odd edge; its missing siblings count as marked.
  EXPECT_EQ(v.file->GetDirtyBricks().Get(0, 2, 0, 0), 0xFF);
  EXPECT_EQ(v.file->GetDirtyBricks().Get(0, 0, 0, 0), 0);
  EXPECT_EQ(v.file->GetDirtyMarks()->bricks.TestAndClear(0, 2, 0, 0), 0xFF);
  EXPECT_FALSE(v.file->GetDirtyBricks().AnyDirty());
  ASSERT_TRUE(v.file->Finalize(false, &status));
  EXPECT_EQ(v.file->GetDirtyBricks().Levels(), 0);
  EXPECT_FALSE(v.file->SetBrickAllZero(0, 0, 0, 0, &status));
  EXPECT_EQ(status.tyqError(), E::ReadOnly);
}

TEST(BrickedFile, UnitNamesThatWouldMoveTheHistogramAreRefused) {
  Volume v;
  Status status;
  FA::DataInfo info = survey(64, 64, 64);
  info.SetVertDomain(FA::VertDimEnum::Time, 0.001, "ms");
  ASSERT_TRUE(v.create(info, FA::DataTypeEnum::UInt8, 0, &status));
  FA::DataInfo next = *v.file->GetDataInfo(nullptr);
  next.vertUnit.name = "us";
  next.corners[3][0] = 5.0;
  EXPECT_TRUE(v.file->SetDataInfo(next, &status));
  next.vertUnit.name = "msec";
  EXPECT_FALSE(v.file->SetDataInfo(next, &status));
  EXPECT_EQ(status.tyqError(), E::InvalidArgument);
  EXPECT_EQ(v.file->GetDataInfo(nullptr)->vertUnit.name, "us");
}

TEST(BrickedFile, CreateRefusesWhatNoFileCanDescribe) {
  Volume v;
  Status status;
  EXPECT_FALSE(v.create(survey(0, 10, 10), FA::DataTypeEnum::UInt8, 0, &status));
  EXPECT_EQ(status.tyqError(), E::InvalidArgument);
  EXPECT_FALSE(v.create(survey(10, 10, 10), FA::DataTypeEnum::UInt8, 4, &status));
  EXPECT_EQ(status.tyqError(), E::VersionTooNew);
  EXPECT_FALSE(v.create(survey(10, 10, 10), FA::DataTypeEnum::UInt8, -1, &status));
  EXPECT_EQ(status.tyqError(), E::VersionTooOld);
  EXPECT_FALSE(v.file->IsOpen());
}

// Records the file modes a file was opened with.
class ModeRecordingFile : public MemoryFile {
 public:
  using MemoryFile::MemoryFile;
  bool OpenExistingFile(const std::string& name, Status* status, bool readOnly, bool ignored,
                        bool buffered, bool synchronous) override {
    lastBuffered = buffered;
    lastSynchronous = synchronous;
    return MemoryFile::OpenExistingFile(name, status, readOnly, ignored, buffered, synchronous);
  }
  bool lastBuffered = true;
  bool lastSynchronous = true;
};

TEST(BrickedFile, NameMarkersChooseFileModes) {
  Volume v;
  ASSERT_TRUE(v.create(survey(64, 64, 64), FA::DataTypeEnum::UInt8, 0, nullptr));
  v.file.reset();
  Environment::putNumericEnv("OSTREL_TYQ_BUFFERED", 1);
  Environment::putNumericEnv("OSTREL_TYQ_SYNCHRONOUS", 0);
  const struct {
    const char* name;
    bool buffered, synchronous;
  } cases[] = {{"a.tyqu.vbs", false, true},
               {"a.tyqa", false, false},
               {"a.tyqb.tyqu", true, true},
               {"plain.vbs", true, false}};
  for (const auto& c : cases) {
    ModeRecordingFile adt(v.bytes);
    File file(c.name, FA::FileFactory::UsageRead, &adt);
    ASSERT_TRUE(file.Open(c.name, true, FA::TyqOptions(), nullptr));
    EXPECT_EQ(adt.lastBuffered, c.buffered) << c.name;
    EXPECT_EQ(adt.lastSynchronous, c.synchronous) << c.name;
  }
  ::unsetenv("OSTREL_TYQ_BUFFERED");
  ::unsetenv("OSTREL_TYQ_SYNCHRONOUS");
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private::Bricked
