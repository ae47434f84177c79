#include "stats/file_histogram.h"

#include <gtest/gtest.h>

#include <vector>

#include "stats/brick_histogram.h"

namespace {

using Qra::Ostrel::Tyq::FileAccess::DataInfo;
using Qra::Ostrel::Tyq::FileAccess::DataTypeEnum;
using Qra::Ostrel::Tyq::FileAccess::FileInfo;
using Qra::Ostrel::Tyq::FileAccess::Histogram;
using Qra::Ostrel::Tyq::Private::AddBrickSamples;
using Qra::Ostrel::Tyq::Private::BrickSamples;
using Qra::Ostrel::Tyq::Private::FileStatistics;
using Qra::Ostrel::Tyq::Private::HistogramBuilder;
using Qra::Ostrel::Tyq::Private::MakeFileStatistics;
using Qra::Ostrel::Tyq::Private::MakeInMemoryHistogram;
using Qra::Ostrel::Tyq::Private::SummaryLines;

FileInfo Info(DataTypeEnum::value_type type, float lo, float hi) {
  FileInfo info;
  info.SetCodingUncompressed(type, lo, hi);
  return info;
}

// What a reopened file reads back from what a flush stored.
DataInfo Stored(const FileStatistics& s) {
  DataInfo data;
  data.SetStatistics(s.stats.getcnt(), s.stats.getsum(), s.stats.getssq(),
                     static_cast<float>(s.stats.getmin()), static_cast<float>(s.stats.getmax()));
  return data;
}

template <typename T>
void AddRun(HistogramBuilder& b, const std::vector<T>& samples) {
  const int size[3] = {1, 1, static_cast<int>(samples.size())};
  const int strides[3] = {size[2], size[2], 1};
  ASSERT_TRUE(
      AddBrickSamples(b, BrickSamples<T>{samples.data(), size, strides, nullptr, nullptr}, true));
}

TEST(FileHistogramTest, EightBitFilesCountOneCodePerBin) {
  HistogramBuilder b =
      MakeInMemoryHistogram(Info(DataTypeEnum::Int8, -1, 1), DataInfo(), Histogram());
  EXPECT_TRUE(b.gethisto().isfixed());
  EXPECT_EQ(b.gethisto().GetSize(), 256);
  EXPECT_EQ(b.gethisto().getmin(), -128.0);
  EXPECT_EQ(b.gethisto().getmax(), 127.0);
  std::vector<signed char> codes;
  for (int c = -128; c <= 127; ++c) codes.insert(codes.end(), 2, static_cast<signed char>(c));
  AddRun(b, codes);
  for (int bin = 0; bin < 256; ++bin) EXPECT_EQ(b.gethisto().GetBins()[bin], 2) << bin;

  const HistogramBuilder u =
      MakeInMemoryHistogram(Info(DataTypeEnum::UInt32, 0, 1), DataInfo(), Histogram());
  EXPECT_EQ(u.gethisto().getmax(), 4294967295.0);
}

TEST(FileHistogramTest, FlushMapsCodesToValuesAndReopenMapsThemBack) {
  const FileInfo info = Info(DataTypeEnum::Int16, -10, 30);
  HistogramBuilder codes = MakeInMemoryHistogram(info, DataInfo(), Histogram());
  AddRun(codes, std::vector<short>{-32768, -32768, 0, 1000, 32767});

  const FileStatistics flushed = MakeFileStatistics(info, codes);
  const double a = 40.0 / 65535;  // value = a * code + b
  const double b = -10.0 + a * 32768;
  EXPECT_EQ(flushed.stats.getcnt(), 5);
  EXPECT_DOUBLE_EQ(flushed.stats.getmin(), -10.0);
  EXPECT_DOUBLE_EQ(flushed.stats.getmax(), 30.0);
  EXPECT_DOUBLE_EQ(flushed.stats.getsum(), a * (-65536 + 1000 + 32767) + 5 * b);
  EXPECT_EQ(flushed.histogram.count, 5);
  EXPECT_EQ(flushed.histogram.min, -10.0f);
  EXPECT_EQ(flushed.histogram.max, 30.0f);
  EXPECT_EQ(flushed.histogram.bins[0], 2);
  EXPECT_EQ(flushed.histogram.bins[255], 1);

  const HistogramBuilder reopened = MakeInMemoryHistogram(info, Stored(flushed), flushed.histogram);
  EXPECT_TRUE(reopened.gethisto() == codes.gethisto());
  EXPECT_EQ(reopened.getstats().getcnt(), 5);
  EXPECT_NEAR(reopened.getstats().getsum(), codes.getstats().getsum(), 1e-6 * 65536);
  EXPECT_NEAR(reopened.getstats().getmax(), 32767.0, 0.01);
}

TEST(FileHistogramTest, FloatFilesGrowFromTheStoredOrTheCodingRange) {
  const FileInfo info = Info(DataTypeEnum::Float32, -2, 2);
  const HistogramBuilder fresh = MakeInMemoryHistogram(info, DataInfo(), Histogram());
  EXPECT_FALSE(fresh.gethisto().isfixed());
  EXPECT_EQ(fresh.gethisto().getmin(), -2.0);
  EXPECT_EQ(fresh.gethisto().getmax(), 2.0);

  HistogramBuilder written(256);
  AddRun(written, std::vector<float>{5.0f, 6.0f, 7.5f});
  const FileStatistics flushed = MakeFileStatistics(info, written);
  const HistogramBuilder reopened = MakeInMemoryHistogram(info, Stored(flushed), flushed.histogram);
  EXPECT_FALSE(reopened.gethisto().isfixed());
  EXPECT_EQ(reopened.gethisto().getmin(), 5.0);
  EXPECT_EQ(reopened.gethisto().getmax(), 7.5);
  EXPECT_TRUE(reopened.gethisto() == written.gethisto());
  EXPECT_EQ(reopened.getstats().getsum(), 18.5);

  DataInfo noStats;  // a histogram without statistics is not trusted
  const HistogramBuilder half = MakeInMemoryHistogram(info, noStats, flushed.histogram);
  EXPECT_EQ(half.gethisto().getmin(), -2.0);
  EXPECT_EQ(half.gethisto().getcount(), 0);
}

TEST(FileHistogramTest, ZeroWidthCodingRangeLeavesStoredFiguresOut) {
  const FileInfo info = Info(DataTypeEnum::UInt8, 3, 3);
  Histogram stored(4, 3, 3);
  stored.bins[0] = 4;
  DataInfo data;
  data.SetStatistics(4, 12, 36, 3, 3);
  const HistogramBuilder b = MakeInMemoryHistogram(info, data, stored);
  EXPECT_EQ(b.getstats().getcnt(), 0);
  EXPECT_EQ(b.gethisto().getcount(), 0);
}

TEST(FileHistogramTest, SummaryLines) {
  HistogramBuilder b(5, 0.0, 4.0, true);
  AddRun(b, std::vector<float>{1.0f, 3.0f});
  EXPECT_EQ(
      SummaryLines(b),
      "      hist:         0.5 to         3.5 avg           2 std           1 cnt        2\n"
      "      stat:           1 to           3 avg           2 std           1 cnt        2\n");
  EXPECT_EQ(
      SummaryLines(HistogramBuilder(256)),
      "      hist:           0 to           0 avg           0 std           0 cnt        0\n"
      "      stat:           0 to           0 avg           0 std           0 cnt        0\n");
}

}  // namespace
