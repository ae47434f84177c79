// Counts a compressed file states about itself, believed only when they can
// be true: histogram bins whose sum no file can hold, and a header claiming
// a survey far larger than the tables beside it.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>

#include "compressed/file.h"
#include "compressed/volume_util.h"
#include "core/endian.h"
#include "support/headroom.h"
#include "support/temp_dir.h"

namespace Qra::Ostrel::Tyq::Private::Compressed {
namespace {

using Err = FileAccess::Error;
namespace FA = FileAccess;
using tyq_test::TempDir;

constexpr int64_t kBig = int64_t{1} << 62;

// A finalized 65 x 64 x 64 file: two constant bricks, one tile, and the
// histogram `bins` with statistics of the same count.
void makeFile(const std::string& name, const int64_t (&bins)[kHistBins], int64_t count) {
  File file(FA::FileFactory::UsageCreate, nullptr);
  Status status;
  ASSERT_TRUE(file.Create(name, tyq_test::volumeInfo(65, 64, 64), 30.0f, 16, true, &status))
      << status.message();
  for (int i = 0; i < 2; ++i) {
    CompressedBlock3d block;
    block.SetAllConst(i + 2.0);
    ASSERT_TRUE(file.SetBrick(i, 0, 0, 0, block, &status));
  }
  AlphaTile tile;
  std::vector<uint8_t> flags(kTileBytes, 1);
  flags[5] = 0;
  ASSERT_TRUE(tile.Fill(flags.data(), kTileBytes));
  ASSERT_TRUE(file.SetGridFlagsTile(0, 0, 0, tile, &status));
  ASSERT_TRUE(file.SetDataStats(count, 1, 2, -1, 7, &status));
  ASSERT_TRUE(file.SetDataHist(count, -8, 8, bins, &status));
  ASSERT_TRUE(file.Finalize(false, &status)) << status.message();
}

// The uncompressed format refuses the same cases (file_damage_test.cpp):
// bins that are negative or that add up beyond any file.
TEST(CompressedCounts, HistogramsNoFileCanHoldAreRefused) {
  struct Case {
    int64_t binA, binB;
    bool opens;
  };
  const Case cases[] = {
      {5, 7, true},
      {kBig, 0, true},
      {kBig - 7, 7, true},
      {kBig, 1, false},
      {INT64_MAX, 1, false},
      {INT64_MAX, INT64_MAX, false},
      {kBig / 2 + 1, kBig / 2, false},
      {INT32_MAX + int64_t{1}, -1, false},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.binA) + " + " + std::to_string(c.binB));
    int64_t bins[kHistBins] = {};
    bins[3] = c.binA;
    bins[200] = c.binB;
    const std::string name = dir.file("counts.vcs");
    const int64_t count = c.opens ? c.binA + c.binB : 1;
    makeFile(name, bins, count);
    File file(FA::FileFactory::UsageRead, nullptr);
    Status status;
    EXPECT_EQ(file.Open(name, 0, &status), c.opens) << status.message();
    if (!c.opens) {
      EXPECT_EQ(status.tyqError(), Err::ReadFailed);
      continue;
    }
    // The statistics record is kept only beside the histogram it agrees with.
    EXPECT_EQ(file.GetDataHist(nullptr)->count, count);
    EXPECT_EQ(file.GetDataInfo(nullptr)->statCount, count);
  }
}

using tyq_test::withinHeadroom;

// A small file whose header claims 2^30 inlines once allocated two tables
// of 32 Mi entries, and a third to decode into, before finding that its
// tables hold a handful.
TEST(CompressedCounts, AHeaderBeyondItsTablesIsRefusedBeforeAllocating) {
  TempDir dir;
  const std::string name = dir.file("small.vcs"), bad = dir.file("claims.vcs");
  int64_t bins[kHistBins] = {};
  bins[9] = 10;
  makeFile(name, bins, 10);
  std::ifstream in(name, std::ios::binary);
  std::string bytes{std::istreambuf_iterator<char>(in), {}};
  const struct {
    int axis;
    int32_t samples;
  } claims[] = {{0, 1 << 30}, {1, 1 << 29}, {0, 64 * 3}, {2, 1 << 20}};
  for (const auto& claim : claims) {
    SCOPED_TRACE(std::to_string(claim.axis) + ": " + std::to_string(claim.samples));
    std::string claimed = bytes;
    Le::putI32(reinterpret_cast<uint8_t*>(claimed.data()) + kInfoPos + 4 * claim.axis,
               claim.samples);
    std::ofstream(bad, std::ios::binary).write(claimed.data(), claimed.size());
    EXPECT_TRUE(withinHeadroom(size_t{64} << 20, [&] {
      File file(FA::FileFactory::UsageRead, nullptr);
      Status status;
      return !file.Open(bad, 0, &status) && status.tyqError() == Err::InternalError;
    }));
  }
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private::Compressed
