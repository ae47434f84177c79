// The compressed file object: life cycle, write-once records, versions,
// and damaged files giving exact codes.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "compressed/file.h"
#include "compressed/store.h"
#include "compressed/volume_util.h"
#include "core/endian.h"
#include "support/temp_dir.h"

namespace Qra::Ostrel::Tyq::Private::Compressed {
namespace {

using Err = FileAccess::Error;
namespace FA = FileAccess;
using tyq_test::TempDir;

CompressedBlock3d constantBlock(double value) {
  CompressedBlock3d block;
  block.SetAllConst(value);
  return block;
}

CompressedBlock3d codedBlock() {
  std::vector<float> samples(64 * 64 * 64);
  for (size_t n = 0; n < samples.size(); ++n) samples[n] = static_cast<float>(n % 97) - 40.0f;
  CompressedBlock3d block;
  Compressor3d codec;
  codec.PrepareCompress(&block, CompDataFloat, samples.data(), nullptr, 30.0f, true, false);
  EXPECT_TRUE(codec.Execute());
  EXPECT_TRUE(block.PackData());
  return block;
}

// A finalized file of 65 x 64 x 64 samples: a coded brick at (0,0,0), a
// constant 5 at (1,0,0), a tile of column 0, statistics and histogram.
void makeFile(const std::string& name, int version) {
  File file(FA::FileFactory::UsageCreate, nullptr);
  Status status;
  ASSERT_TRUE(file.Create(name, tyq_test::volumeInfo(65, 64, 64), 30.0f, version, true, &status))
      << status.message();
  ASSERT_TRUE(file.SetBrick(0, 0, 0, 0, codedBlock(), &status)) << status.message();
  ASSERT_TRUE(file.SetBrick(1, 0, 0, 0, constantBlock(5.0), &status));
  AlphaTile tile;
  std::vector<uint8_t> flags(kTileBytes, 1);
  flags[3] = 0;
  ASSERT_TRUE(tile.Fill(flags.data(), kTileBytes));
  ASSERT_TRUE(file.SetGridFlagsTile(0, 0, 0, tile, &status));
  int64_t bins[kHistBins] = {};
  bins[10] = 100;
  ASSERT_TRUE(file.SetDataStats(100, 1, 2, -1, 7, &status));
  ASSERT_TRUE(file.SetDataHist(100, -8, 8, bins, &status));
  ASSERT_TRUE(file.Finalize(false, &status)) << status.message();
}

TEST(CompressedFile, ConstantBricksKeepTheirValueFromVersion16) {
  TempDir dir;
  for (int version : {15, 16}) {
    const std::string name = dir.file("v" + std::to_string(version) + ".vcs");
    makeFile(name, version);
    File file(FA::FileFactory::UsageRead, nullptr);
    Status status;
    ASSERT_TRUE(file.Open(name, 0, &status)) << status.message();
    EXPECT_EQ(file.GetFileInfo(nullptr)->numberOfLods, version == 16 ? 2 : 1);
    CompressedBlock3d block;
    ASSERT_TRUE(file.GetBrick(1, 0, 0, 0, block, &status));
    EXPECT_TRUE(block.IsAllConst());
    EXPECT_EQ(block.GetGain(), version == 16 ? 5.0 : 0.0);
    ASSERT_TRUE(file.GetBrick(0, 0, 0, 0, block, &status));
    EXPECT_FALSE(block.IsAllConst());
    EXPECT_FALSE(file.GetBrick(0, 0, 0, 1, block, &status));
    EXPECT_EQ(status.tyqError(), version == 16 ? Err::BrickNotFound : Err::InternalError);
    // Statistics and histogram come back through the 16-bit and float fields.
    EXPECT_FLOAT_EQ(file.GetDataInfo(nullptr)->statMax, 7.0f);
    EXPECT_EQ(file.GetDataHist(nullptr)->bins[10], 100);
    EXPECT_FLOAT_EQ(file.GetFileInfo(nullptr)->sqnr, 30.0f);
  }
}

TEST(CompressedFile, RecordsAreWrittenOnceAndNotAfterFinalize) {
  TempDir dir;
  const std::string name = dir.file("once.vcs");
  File file(FA::FileFactory::UsageCreate, nullptr);
  Status status;
  ASSERT_TRUE(file.Create(name, tyq_test::volumeInfo(1, 1, 1), 20.0f, 0, true, &status));
  EXPECT_EQ(file.GetFileInfo(nullptr)->numberOfLods, 1);
  ASSERT_TRUE(file.SetBrick(0, 0, 0, 0, constantBlock(1), &status));
  EXPECT_FALSE(file.SetBrick(0, 0, 0, 0, constantBlock(2), &status));
  EXPECT_EQ(status.tyqError(), Err::BrickExists);
  AlphaTile tile;
  const std::vector<uint8_t> flags(kTileBytes, 1);
  ASSERT_TRUE(tile.Fill(flags.data(), kTileBytes));
  ASSERT_TRUE(file.SetGridFlagsTile(0, 0, 0, tile, &status));
  EXPECT_FALSE(file.SetGridFlagsTile(0, 0, 0, tile, &status));
  EXPECT_EQ(status.tyqError(), Err::BrickExists);
  EXPECT_FALSE(file.SetBrick(1, 0, 0, 0, constantBlock(2), &status));
  EXPECT_EQ(status.tyqError(), Err::InternalError);
  ASSERT_TRUE(file.Finalize(true, &status));
  EXPECT_EQ(file.GetDataInfo(nullptr)->updateCounter, 1);
  EXPECT_FALSE(file.SetBrick(0, 0, 0, 0, constantBlock(2), &status));
  EXPECT_EQ(status.tyqError(), Err::ReadOnly);
  EXPECT_FALSE(file.Finalize(false, &status));
  EXPECT_EQ(status.tyqError(), Err::ReadOnly);
}

TEST(CompressedFile, FileWithoutHistogramOpensEmpty) {
  TempDir dir;
  const std::string name = dir.file("nohist.vcs");
  {
    File file(FA::FileFactory::UsageCreate, nullptr);
    Status status;
    ASSERT_TRUE(file.Create(name, tyq_test::volumeInfo(10, 10, 10), 20.0f, 0, true, &status));
    ASSERT_TRUE(file.Finalize(false, &status));
  }
  File file(FA::FileFactory::UsageRead, nullptr);
  Status status;
  ASSERT_TRUE(file.Open(name, 0, &status)) << status.message();
  EXPECT_EQ(file.GetDataHist(nullptr)->count, 0);
  EXPECT_EQ(file.GetFileInfo(nullptr)->valueMax, 0.0f);
}

// Bricks written through the store in every version (two-stage coding in
// 8 to 12, exchanged table halves before 16) read back near the target.
TEST(CompressedFile, EveryVersionWritesAndReads) {
  TempDir dir;
  const int start[3] = {0, 0, 0}, size[3] = {64, 64, 64};
  std::vector<float> box = tyq_test::volumeBox(start, size);
  // volumeBox is vertical fastest; bricks travel inline fastest.
  std::vector<float> brick(box.size());
  for (int i = 0; i < 64; ++i) {
    for (int j = 0; j < 64; ++j) {
      for (int k = 0; k < 64; ++k) brick[i + 64 * j + 4096 * k] = box[(i * 64 + j) * 64 + k];
    }
  }
  for (int version = kOldestVersion; version <= kNewestVersion; ++version) {
    SCOPED_TRACE(version);
    const std::string name = dir.file("v" + std::to_string(version) + ".vcs");
    {
      auto file = std::make_unique<File>(FA::FileFactory::UsageCreate, nullptr);
      Status status;
      ASSERT_TRUE(
          file->Create(name, tyq_test::volumeInfo(64, 64, 64), 30.0f, version, true, &status));
      EXPECT_EQ(file->IsTwoStage(), version >= 8 && version <= 12);
      Store store(std::move(file), name, 0);
      ASSERT_TRUE(store.SetBrick(0, 0, 0, 0, brick.data(), &status)) << status.message();
      ASSERT_TRUE(store.Finalize(false, &status)) << status.message();
    }
    auto file = std::make_unique<File>(FA::FileFactory::UsageRead, nullptr);
    Status status;
    ASSERT_TRUE(file->Open(name, version, &status)) << status.message();
    Store store(std::move(file), name, 0);
    std::vector<float> back(brick.size());
    ASSERT_TRUE(store.GetBrick(0, 0, 0, 0, back.data(), &status)) << status.message();
    EXPECT_GT(tyq_test::sqnrOf(brick, back), 28.0);
  }
}

std::string readAll(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeAll(const std::string& name, const std::string& bytes) {
  std::ofstream(name, std::ios::binary | std::ios::trunc) << bytes;
}

int openCode(const std::string& name, int version = 0) {
  File file(FA::FileFactory::UsageRead, nullptr);
  Status status;
  file.Open(name, version, &status);
  return status.tyqError();
}

int brickCode(const std::string& name, int32_t i) {
  File file(FA::FileFactory::UsageRead, nullptr);
  Status status;
  if (!file.Open(name, 0, &status)) return -1;
  CompressedBlock3d block;
  file.GetBrick(i, 0, 0, 0, block, &status);
  return status.tyqError();
}

int tileCode(const std::string& name) {
  File file(FA::FileFactory::UsageRead, nullptr);
  Status status;
  if (!file.Open(name, 0, &status)) return -1;
  AlphaTile tile;
  file.GetGridFlagsTile(0, 0, 0, tile, &status);
  return status.tyqError();
}

TEST(CompressedFile, DamagedRecordsGiveExactCodes) {
  TempDir dir;
  const std::string good = dir.file("good.vcs"), bad = dir.file("bad.vcs");
  makeFile(good, 16);
  const std::string bytes = readAll(good);
  const Offsets o = decodeOffsets(reinterpret_cast<const uint8_t*>(bytes.data()) + kOffsetsPos);
  File probe(FA::FileFactory::UsageRead, nullptr);
  ASSERT_TRUE(probe.Open(good, 0, nullptr));
  long long brick = 0, tile = 0;
  ASSERT_TRUE(probe.GetDataBrickPos(&brick, 0, 0, 0, 0, 1, 1, 1, nullptr));
  ASSERT_TRUE(probe.GetGridFlagsTilePos(&tile, 0, 0, 0, 1, 1, nullptr));
  EXPECT_EQ(openCode(good), 0);
  EXPECT_EQ(openCode(good, 15), Err::VersionUnsupported);
  struct Case {
    const char* what;
    int64_t at;
    uint8_t value;
    int code;
    int (*check)(const std::string&);
  };
  const auto open = [](const std::string& n) { return openCode(n); };
  const auto brick0 = [](const std::string& n) { return brickCode(n, 0); };
  const auto tile0 = [](const std::string& n) { return tileCode(n); };
  const Case cases[] = {
      {"magic", 0, 'X', Err::UnknownFileType, open},
      {"version too old", 4, 5, Err::VersionTooOld, open},
      {"version too new", 4, 17, Err::VersionTooNew, open},
      {"information position", kOffsetsPos + 3, 0x7f, Err::ReadFailed, open},
      {"histogram payload size", o.hist + 1, 0x40, Err::InternalError, open},
      {"histogram position", kOffsetsPos + 32 + 2, 0x40, Err::ReadFailed, open},
      {"brick table bit count", o.brickTable + 4, 0x40, Err::ReadFailed, open},
      {"brick table mode", o.brickTable, 1, Err::InternalError, open},
      {"brick payload size", brick + 3, 0x40, Err::InternalError, brick0},
      {"brick payload beyond the end", brick + 2, 0x10, Err::ReadFailed, brick0},
      {"tile byte count", tile, 0x55, Err::InternalError, tile0},
      {"tile bit count", tile + 8, 0x7f, Err::InternalError, tile0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string damaged = bytes;
    damaged[static_cast<size_t>(c.at)] = static_cast<char>(c.value);
    writeAll(bad, damaged);
    EXPECT_EQ(c.check(bad), c.code);
  }
  std::string noTable = bytes;
  noTable.replace(kOffsetsPos + 24, 8, 8, '\0');
  writeAll(bad, noTable);
  EXPECT_EQ(openCode(bad), Err::InternalError);
  std::string huge = bytes;
  for (int a = 0; a < 3; ++a) huge.replace(kInfoPos + 4 * a, 4, "\xff\xff\xff\x7f");
  writeAll(bad, huge);
  EXPECT_EQ(openCode(bad), Err::OutOfMemory);
  huge.replace(kInfoPos + 8, 4, 4, '\0');  // no bricks, but as many tiles
  writeAll(bad, huge);
  EXPECT_EQ(openCode(bad), Err::OutOfMemory);
  writeAll(bad, std::string("VBS\0", 4) + bytes.substr(4));
  EXPECT_EQ(openCode(bad), Err::UnknownFileType);
  writeAll(bad, bytes.substr(0, static_cast<size_t>(o.brickTable) + 3));
  EXPECT_EQ(openCode(bad), Err::ReadFailed);
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private::Compressed
