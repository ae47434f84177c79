// The compressed-size scan: the per-SQNR table, a survey without a whole
// brick, a compressed input, and the estimate of a copy against the copy.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "support/temp_dir.h"
#include "tools/scan_draw.h"
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

// The bytes a copy-size scan estimates at `sqnr` dB, from its table.
double estimatedBytes(const std::string& name, int bricks, int sqnr) {
  TyqCompressScan scan(name, bricks, nullptr, nullptr, Tyq::TyqScanMode::CopyEstimate);
  EXPECT_TRUE(scan.open(2));
  for (int item = 0; item < scan.size(); ++item) scan.scan(item, item % 2);
  EXPECT_TRUE(scan.close()) << scan.message();
  FA::DataInfo data;
  FA::AutoRef<FA::Reader> reader;
  EXPECT_EQ(FA::Tyq::CreateTyqReader(reader, name, FA::TyqOptions(), nullptr), 0);
  EXPECT_TRUE(reader->GetDataInfo(data, nullptr));
  const double floats = 4.0 * data.size[0] * data.size[1] * data.size[2];
  return static_cast<double>(scan.partsPerMillion(sqnr)) * 1e-6 * floats;
}

double copiedBytes(const std::string& name, const std::string& output, int sqnr) {
  std::filesystem::remove(output);
  EXPECT_TRUE(
      Tyq::TyqCompressCopy::run(name, output, static_cast<float>(sqnr), false, nullptr, nullptr));
  return static_cast<double>(std::filesystem::file_size(output));
}

// Every brick of every level coded: the estimate is the copy, but for the
// interpolation between targets and the packing of the file's tables.
TEST(CompressScan, ACopyEstimateOfEveryBrickIsTheCopy) {
  TempDir dir;
  const std::string name = dir.file("in.vbs");
  const int size[3] = {100, 90, 70};  // every brick cut by an edge
  ASSERT_TRUE(writeVolume(name, size, seismic));
  for (int sqnr : {20, 30, 40}) {
    const double real = copiedBytes(name, dir.file("out.vcs"), sqnr);
    EXPECT_NEAR(estimatedBytes(name, 1000, sqnr), real, 0.03 * real) << sqnr;
  }
}

// A survey thinner than a brick has no whole brick, but a copy of it still
// has a size.
TEST(CompressScan, ACopyEstimateCoversASurveyThinnerThanABrick) {
  TempDir dir;
  const std::string name = dir.file("thin.vbs");
  const int size[3] = {100, 100, 40};
  ASSERT_TRUE(writeVolume(name, size, seismic));
  const double real = copiedBytes(name, dir.file("out.vcs"), 30);
  EXPECT_NEAR(estimatedBytes(name, 1000, 30), real, 0.03 * real);
}

// Few bricks drawn where slivers two samples thick make up most of the
// bricks: a sliver costs more per sample than a whole brick but far less
// in all, so weighing drawn bricks by their samples alone, or by their
// count alone, misses the copy by far.
TEST(CompressScan, ACopyEstimateWeighsEdgeSliversApartFromWholeBricks) {
  TempDir dir;
  const std::string name = dir.file("in.vbs");
  const int size[3] = {194, 130, 130};  // 4 x 3 x 3 bricks, the last of each 2 thick
  ASSERT_TRUE(writeVolume(name, size, seismic));
  const double real = copiedBytes(name, dir.file("out.vcs"), 30);
  for (unsigned seed : {1u, 2u, 3u}) {
    std::srand(seed);
    EXPECT_NEAR(estimatedBytes(name, 16, 30), real, 0.15 * real) << seed;
  }
}

TEST(CompressScan, ACopyEstimateDrawsEveryShapeOfBrickWithinTheSurvey) {
  TempDir dir;
  const std::string name = dir.file("in.vbs");
  const int size[3] = {300, 200, 130};  // 5 x 4 x 3 bricks, each axis cut; 4 levels
  ASSERT_TRUE(writeVolume(name, size, seismic));
  Tyq::TyqCompressIO::Reader reader;
  ASSERT_TRUE(reader.open(name, FA::StorageOrderEnum::TraditionalTyq(), nullptr));
  namespace Tools = Tyq::Private::Tools;
  const Tools::ScanDraw some = Tools::DrawCopyBricks(reader, 10);
  std::vector<int64_t> bricks(4), samples(4), drawn(4);
  for (const Tools::ScanStratum& s : some.strata) {
    bricks[static_cast<size_t>(s.level)] += s.bricks;
    samples[static_cast<size_t>(s.level)] += s.samples();
    drawn[static_cast<size_t>(s.level)] += s.drawn;
  }
  EXPECT_EQ(bricks, (std::vector<int64_t>{60, 12, 2, 1}));
  EXPECT_EQ(samples[1], int64_t{150} * 100 * 65);
  // Levels 0 and 1 are cut along every axis; level 2 (75 x 50 x 33) holds
  // a whole brick along inline only; level 3 is one cut brick.
  EXPECT_EQ(some.strata.size(), 8u + 8u + 2u + 1u);
  EXPECT_GE(drawn[0], 1);
  EXPECT_GE(drawn[1], 1);
  ASSERT_EQ(some.items.size(), 10u);
  ASSERT_EQ(some.stratum.size(), 10u);
  for (size_t n = 0; n < some.items.size(); ++n) {
    const auto& item = some.items[n];
    const Tools::ScanStratum& s = some.strata[some.stratum[n]];
    EXPECT_EQ(item.level, s.level);
    EXPECT_EQ(item.samples(), s.brickSamples);
    for (int a = 0; a < 3; ++a) {
      EXPECT_EQ(item.start[a] % 64, 0);
      EXPECT_EQ(item.size[a], std::min(64, reader.size(a, item.level) - item.start[a]));
    }
  }
  const Tools::ScanDraw all = Tools::DrawCopyBricks(reader, 1000);
  EXPECT_EQ(all.items.size(), 75u);
  for (const Tools::ScanStratum& s : all.strata) EXPECT_EQ(s.drawn, s.bricks);
  EXPECT_EQ(all.floatBytes, int64_t{4} * 300 * 200 * 130);
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
