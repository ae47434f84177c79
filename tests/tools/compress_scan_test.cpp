// The compressed-size scan: the per-SQNR table, a survey without a whole
// brick, and a compressed input.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "support/temp_dir.h"
#include "tools/tool_util.h"

namespace {

using namespace tyq_test;
using Tyq::TyqCompressScan;

// The table of a report text, one size per SQNR.
std::vector<long long> parseReport(const std::string& text) {
  std::istringstream in(text);
  std::vector<long long> sizes;
  int sqnr = 0;
  long long size = 0;
  while (in >> sqnr >> size) {
    EXPECT_EQ(sqnr, static_cast<int>(sizes.size()));
    sizes.push_back(size);
  }
  return sizes;
}

std::string reportOf(const Recorder& r) {
  for (const Call& c : r.calls) {
    if (c.state == Tyq::TyqCompressReport) return c.text;
  }
  return "";
}

TEST(CompressScan, ASurveyWithoutAWholeBrickReportsZeros) {
  TempDir dir;
  const std::string name = dir.file("thin.vbs");
  const int size[3] = {100, 100, 40};
  ASSERT_TRUE(writeVolume(name, size, seismic));
  Recorder calls;
  TyqCompressScan scan(name, 50, Recorder::callback, &calls);
  ASSERT_TRUE(scan.open(1));
  EXPECT_EQ(scan.size(), 0);
  EXPECT_TRUE(scan.close());
  const std::vector<long long> sizes = parseReport(reportOf(calls));
  EXPECT_EQ(sizes, std::vector<long long>(100, 0));
  EXPECT_EQ(calls.last().state, Tyq::TyqCompressFinished);
  EXPECT_EQ(calls.last().b, 0);
  EXPECT_EQ(calls.count(Tyq::TyqCompressReport), 1);
}

TEST(CompressScan, SizesGrowWithQualityAndMatchTheReport) {
  TempDir dir;
  const std::string name = dir.file("in.vbs");
  const int size[3] = {130, 128, 70};  // 2 x 2 x 1 whole bricks
  ASSERT_TRUE(writeVolume(name, size, seismic));
  Recorder calls;
  TyqCompressScan scan(name, 100, Recorder::callback, &calls);
  ASSERT_TRUE(scan.open(1));
  ASSERT_EQ(scan.size(), 4);
  for (int item = 0; item < scan.size(); ++item) ASSERT_TRUE(scan.scan(item, 0));
  ASSERT_TRUE(scan.close()) << scan.message();
  const std::vector<long long> sizes = parseReport(reportOf(calls));
  ASSERT_EQ(sizes.size(), 100u);
  for (int s = 0; s < 100; ++s) {
    EXPECT_EQ(sizes[s], scan.partsPerMillion(s)) << s;
    if (s > 0) {
      EXPECT_GE(sizes[s], sizes[s - 1]) << s;
    }
  }
  EXPECT_GT(sizes[0], 0);
  EXPECT_LT(sizes[30], 1000000 / 3);  // a smooth volume compresses well at 30 dB
  EXPECT_LT(sizes[30], sizes[60]);
  const Call& done = calls.last();
  EXPECT_EQ(done.state, Tyq::TyqCompressFinished);
  EXPECT_EQ(done.a, fileInfoOf(name).fileSize);
  // Progress from the items reports no ratio, the one from close 1.0.
  EXPECT_EQ(calls.calls[calls.calls.size() - 3].ratio, 1.0f);
  EXPECT_EQ(calls.calls[1].ratio, 0.0f);
}

TEST(CompressScan, ACompressedInputIsScannedAsFloat) {
  TempDir dir;
  const std::string name = dir.file("in.vbs"), packed = dir.file("in.vcs");
  const int size[3] = {64, 64, 64};
  ASSERT_TRUE(writeVolume(name, size, seismic));
  ASSERT_TRUE(Tyq::TyqCompressCopy::run(name, packed, 35, false, nullptr, nullptr));
  Recorder calls;
  ASSERT_TRUE(TyqCompressScan::run(packed, 10, Recorder::callback, &calls));
  const std::vector<long long> sizes = parseReport(reportOf(calls));
  ASSERT_EQ(sizes.size(), 100u);
  EXPECT_GT(sizes[20], 0);
}

TEST(CompressScan, AMissingInputFailsAtOpen) {
  Recorder calls;
  TyqCompressScan scan("/nonexistent/in.vbs", 10, Recorder::callback, &calls);
  EXPECT_FALSE(scan.open(1));
  EXPECT_FALSE(scan.message().empty());
  EXPECT_EQ(calls.last().state, Tyq::TyqCompressFailed);
  EXPECT_FALSE(scan.scan(0, 0));
  EXPECT_FALSE(scan.close());
  EXPECT_EQ(calls.count(Tyq::TyqCompressFailed), 1);
}

}  // namespace
