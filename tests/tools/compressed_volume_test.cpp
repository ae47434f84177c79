// A whole float volume written as a compressed file with its pyramid.
#include "tools/compressed_volume.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <utility>
#include <vector>

#include "compressed/volume_util.h"
#include "support/temp_dir.h"

namespace Qra::Ostrel::Tyq::Private::Tools {
namespace {

using tyq_test::traceReader;
using tyq_test::volumeBox;
using tyq_test::volumeInfo;

FloatVolume SurveyVolume(int n0, int n1, int n2) {
  FloatVolume v;
  v.size[0] = n0;
  v.size[1] = n1;
  v.size[2] = n2;
  const int start[3] = {0, 0, 0};
  v.samples = volumeBox(start, v.size);
  return v;
}

std::vector<float> ReadLevel(FileAccess::Reader& reader, int level, const int size[3]) {
  std::vector<float> out(static_cast<size_t>(size[0]) * size[1] * size[2]);
  Status status;
  EXPECT_TRUE(reader.ReadData(level, 0, 0, 0, size[0], size[1], size[2], out.data(), &status))
      << status.message();
  return out;
}

TEST(CompressedVolume, DecimationHalvesEveryAxis) {
  FloatVolume level0;
  level0.size[0] = 65;
  level0.size[1] = 3;
  level0.size[2] = 130;
  level0.samples.assign(level0.Count(), 2.0f);
  const FloatVolume level1 = Decimate(level0.View(), 1);
  EXPECT_EQ(level1.size[0], 33);
  EXPECT_EQ(level1.size[1], 2);
  EXPECT_EQ(level1.size[2], 65);
  EXPECT_NEAR(level1.samples[10], 2.0f, 1e-4f);
  // Above level 1 the weighted average, which once clamped every sample to 0
  // when no histogram range was given.
  const FloatVolume level2 = Decimate(level1.View(), 2);
  EXPECT_EQ(level2.samples[3], 2.0f);
  const FloatVolume weighted = Decimate(level1.View(), 2, HistogramOf(level1.View(), 0, 4));
  EXPECT_EQ(weighted.samples[3], 2.0f);
}

// Uneven edges on every axis, so partial columns occur on every level.
TEST(CompressedVolume, EveryLevelIsWrittenFromThreadsWithProgress) {
  tyq_test::TempDir dir;
  const FloatVolume level0 = SurveyVolume(130, 70, 66);
  std::vector<std::pair<int64_t, int64_t>> calls;
  CompressedVolumeOptions options;
  options.sqnr = 35;
  options.threads = 3;
  options.histogramMin = -1000;
  options.histogramMax = 1000;
  options.progress = [&](int64_t done, int64_t total) { calls.emplace_back(done, total); };
  Status status;
  ASSERT_TRUE(WriteCompressedVolume(dir.file("v.vcs"), volumeInfo(130, 70, 66), level0.View(),
                                    options, &status))
      << status.message();
  // 3 x 2 columns at level 0, then 2 x 1 and 1 x 1 (levels of 65x35x33 and 33x18x17).
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back(), std::make_pair(int64_t{9}, int64_t{9}));
  for (size_t n = 1; n < calls.size(); ++n) EXPECT_LE(calls[n - 1].first, calls[n].first);

  auto reader = traceReader(dir.file("v.vcs"));
  ASSERT_TRUE(reader);
  FileAccess::FileInfo info;
  ASSERT_TRUE(reader->GetFileInfo(info, &status));
  ASSERT_EQ(info.numberOfLods, 3);
  EXPECT_GT(tyq_test::sqnrOf(level0.samples, ReadLevel(*reader, 0, level0.size)), 33.0);
  FloatVolume expected = Decimate(level0.View(), 1);
  EXPECT_GT(tyq_test::sqnrOf(expected.samples, ReadLevel(*reader, 1, expected.size)), 30.0);
  expected = Decimate(expected.View(), 2, HistogramOf(level0.View(), -1000, 1000));
  EXPECT_GT(tyq_test::sqnrOf(expected.samples, ReadLevel(*reader, 2, expected.size)), 30.0);
}

TEST(CompressedVolume, DecimationOnPoolThreadsEqualsOneThread) {
  const FloatVolume level0 = SurveyVolume(130, 70, 66);
  const DecimationHistogram histogram = HistogramOf(level0.View(), -1000, 1000);
  for (int level : {1, 2}) {
    const FloatVolume one = Decimate(level0.View(), level, histogram, 1);
    const FloatVolume three = Decimate(level0.View(), level, histogram, 3);
    EXPECT_TRUE(one.samples == three.samples) << level;
  }
}

TEST(CompressedVolume, RefusesWhatCannotBeWrittenAndReportsFailures) {
  tyq_test::TempDir dir;
  const FloatVolume level0 = SurveyVolume(20, 10, 30);
  CompressedVolumeOptions options;
  bool finished = false;
  options.progress = [&](int64_t done, int64_t total) { finished = done == total; };
  Status status;
  options.sqnr = 0;
  EXPECT_FALSE(WriteCompressedVolume(dir.file("a.vcs"), volumeInfo(20, 10, 30), level0.View(),
                                     options, &status));
  EXPECT_EQ(status.tyqError(), FileAccess::Error::InvalidArgument);
  options.sqnr = 30;
  EXPECT_FALSE(WriteCompressedVolume(dir.file("a.vcs"), volumeInfo(20, 10, 31), level0.View(),
                                     options, &status));
  EXPECT_EQ(status.tyqError(), FileAccess::Error::InvalidArgument);
  EXPECT_FALSE(std::filesystem::exists(dir.file("a.vcs")));
  EXPECT_FALSE(WriteCompressedVolume(dir.file("no/such/dir.vcs"), volumeInfo(20, 10, 30),
                                     level0.View(), options, &status));
  EXPECT_FALSE(status.ok());
  EXPECT_FALSE(finished);
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private::Tools
