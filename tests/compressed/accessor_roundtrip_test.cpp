// Compressed volumes written and read through the entry functions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "compressed/volume_util.h"
#include "support/temp_dir.h"

namespace {

using namespace tyq_test;
using Err = FA::Error;

TEST(CompressedAccessor, WholeVolumeRoundTripsWithinTheTargetQuality) {
  TempDir dir;
  const std::string name = dir.file("volume.vcs");
  const int size[3] = {100, 70, 130}, start[3] = {0, 0, 0};
  const std::vector<float> samples = volumeBox(start, size);
  {
    auto writer = compressedWriter(name, volumeInfo(size[0], size[1], size[2]), 30.0f);
    ASSERT_TRUE(writer);
    Status status;
    ASSERT_TRUE(writer->WriteData(0, 0, 0, 0, size[0], size[1], size[2], samples.data(), &status))
        << status.message();
    ASSERT_TRUE(writer->Finalize(false, false, &status)) << status.message();
  }
  Status status;
  auto reader = traceReader(name);
  ASSERT_TRUE(reader) << status.message();
  FA::FileInfo fileInfo;
  ASSERT_TRUE(reader->GetFileInfo(fileInfo, &status));
  EXPECT_EQ(fileInfo.formatName, "Compressed TYQ");
  EXPECT_EQ(fileInfo.formatVersion, 16);
  EXPECT_FLOAT_EQ(fileInfo.sqnr, 30.0f);
  EXPECT_GT(fileInfo.compressionFactor, 1.0f);
  EXPECT_EQ(fileInfo.numberOfLods, 3);  // 2 x 2 x 3 bricks
  std::vector<float> back(samples.size());
  ASSERT_TRUE(reader->ReadData(0, 0, 0, 0, size[0], size[1], size[2], back.data(), &status))
      << status.message();
  const double achieved = sqnrOf(samples, back);
  EXPECT_GT(achieved, 28.0);
  EXPECT_LT(achieved, 45.0);
  // Every brick on its own lands near the target too.
  for (int bi = 0; bi < 2; ++bi) {
    for (int bk = 0; bk < 3; ++bk) {
      const int at[3] = {bi * 64, 0, bk * 64};
      const int n[3] = {std::min(64, size[0] - at[0]), 64, std::min(64, size[2] - at[2])};
      std::vector<float> brick(static_cast<size_t>(n[0]) * n[1] * n[2]);
      ASSERT_TRUE(
          reader->ReadData(0, at[0], at[1], at[2], n[0], n[1], n[2], brick.data(), &status));
      const double q = sqnrOf(volumeBox(at, n), brick);
      EXPECT_GT(q, 27.0) << bi << "," << bk;
      EXPECT_LT(q, 50.0) << bi << "," << bk;
    }
  }
  FA::DataInfo dataInfo;
  ASSERT_TRUE(reader->GetDataInfo(dataInfo, &status));
  EXPECT_EQ(dataInfo.size[0], size[0]);
  EXPECT_FLOAT_EQ(dataInfo.annotStart[0], 100.0f);
  EXPECT_FLOAT_EQ(dataInfo.annotInc[2], 4.0f);
  EXPECT_EQ(dataInfo.vertUnit.name, "ms");
  EXPECT_FLOAT_EQ(dataInfo.statMax, *std::max_element(samples.begin(), samples.end()));
  FA::Histogram hist;
  ASSERT_TRUE(reader->GetDataHist(hist, &status));
  EXPECT_EQ(hist.count, static_cast<int64_t>(samples.size()));
}

}  // namespace
