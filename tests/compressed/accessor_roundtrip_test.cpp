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
