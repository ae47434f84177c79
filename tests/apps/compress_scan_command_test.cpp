// tyq compress and tyq scan as a user runs them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "command_runner.h"
#include "compress_command.h"
#include "scan_command.h"
#include "segy_import.h"
#include "support/temp_dir.h"
#include "tools/tool_util.h"

namespace {

using tyq_tool::readWholeFile;

int run(int (*command)(int, char**), std::vector<std::string> args, std::string& out,
        std::string& err) {
  return tyq_tool::runCaptured(command, std::move(args), out, &err);
}

class CompressScanCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    const int size[3] = {130, 70, 64};
    ASSERT_TRUE(tyq_test::writeVolume(input_, size, tyq_test::seismic));
  }

  tyq_test::TempDir dir_;
  std::string input_ = dir_.file("in.vbs");
  std::string out_, err_;
};

TEST_F(CompressScanCommand, CompressPrintsOneSummaryAndRefusesToOverwrite) {
  const std::string packed = dir_.file("out.vcs");
  ASSERT_EQ(
      run(tyq_tool::runCompress, {input_, packed, "--sqnr", "30", "--threads", "2"}, out_, err_), 0)
      << err_;
  EXPECT_NE(out_.find(" -> "), std::string::npos) << out_;
  EXPECT_NE(out_.find("factor"), std::string::npos) << out_;
  EXPECT_NE(out_.find("MB/s"), std::string::npos) << out_;
  EXPECT_EQ(tyq_test::fileInfoOf(packed).sqnr, 30.0f);
  const std::string before = readWholeFile(packed);
  EXPECT_EQ(run(tyq_tool::runCompress, {input_, packed, "--sqnr", "20"}, out_, err_), 1);
  EXPECT_NE(err_.find("exists"), std::string::npos) << err_;
  EXPECT_EQ(readWholeFile(packed), before);
  EXPECT_EQ(run(tyq_tool::runCompress, {input_, input_, "--sqnr", "20"}, out_, err_), 1);
  EXPECT_NE(err_.find("is the input"), std::string::npos) << err_;
  EXPECT_EQ(run(tyq_tool::runCompress, {input_, dir_.file("x.vcs")}, out_, err_), 2);
}

TEST_F(CompressScanCommand, CompressAtZeroWritesAnUncompressedCopy) {
  const std::string copy = dir_.file("copy.vbs");
  ASSERT_EQ(run(tyq_tool::runCompress, {input_, copy, "--sqnr", "0", "--threads", "4"}, out_, err_),
            0)
      << err_;
  EXPECT_NE(out_.find("uncompressed"), std::string::npos) << out_;
  EXPECT_EQ(tyq_test::readLevel(copy, 0), tyq_test::readLevel(input_, 0));
}

TEST_F(CompressScanCommand, ScanGivesATableJsonAndAChart) {
  ASSERT_EQ(run(tyq_tool::runScan, {input_, "--bricks", "2", "--threads", "2"}, out_, err_), 0)
      << err_;
  EXPECT_NE(out_.find("SQNR dB"), std::string::npos) << out_;
  EXPECT_NE(out_.find("estimated MB"), std::string::npos) << out_;
  EXPECT_EQ(out_.find("already compressed"), std::string::npos);
  const std::string chart = dir_.file("scan.svg");
  ASSERT_EQ(
      run(tyq_tool::runScan, {input_, "--json", "--bricks", "2", "--plot", chart}, out_, err_), 0)
      << err_;
  EXPECT_EQ(out_.front(), '{');  // no progress lines mixed into the JSON
  EXPECT_NE(out_.find("\"table\":["), std::string::npos);
  EXPECT_NE(out_.find("{\"sqnr\":99,"), std::string::npos);
  EXPECT_NE(out_.find("\"bricksSampled\":2"), std::string::npos);
  const std::string svg = readWholeFile(chart);
  EXPECT_NE(svg.find("<svg"), std::string::npos);
  EXPECT_NE(svg.find("SQNR (dB)"), std::string::npos);
  for (const char* mark : {">20 dB<", ">30 dB<", ">40 dB<"}) {
    EXPECT_NE(svg.find(mark), std::string::npos) << mark;
  }
}

TEST_F(CompressScanCommand, ScanOfACompressedInputSaysItEstimatesARecompression) {
  const std::string packed = dir_.file("in.vcs");
  ASSERT_TRUE(Qra::Ostrel::Tyq::TyqCompressCopy::run(input_, packed, 35, false, nullptr, nullptr));
  ASSERT_EQ(run(tyq_tool::runScan, {packed, "--bricks", "1", "--threads", "1"}, out_, err_), 0)
      << err_;
  EXPECT_NE(out_.find("already compressed (SQNR 35 dB)"), std::string::npos) << out_;
  ASSERT_EQ(run(tyq_tool::runScan, {packed, "--bricks", "1", "--json"}, out_, err_), 0);
  EXPECT_NE(out_.find("\"compressedInput\":true"), std::string::npos) << out_;
}

// The estimated bytes at `sqnr` dB in the JSON of a scan.
double estimatedBytes(const std::string& json, int sqnr) {
  const std::string row = "{\"sqnr\":" + std::to_string(sqnr) + ",";
  const size_t at = json.find(row);
  const size_t mb = json.find("\"estimatedMB\":", at);
  if (at == std::string::npos || mb == std::string::npos) return -1;
  return std::strtod(json.c_str() + mb + 14, nullptr) * 1e6;
}

// Real surveys thinner than a brick: the scan had no whole brick to code
// and estimated nothing; the estimate now follows the copy at every level.
TEST_F(CompressScanCommand, ScanEstimatesTheCopyOfRealSurveys) {
  for (const char* survey : {"volve10-migvel-depth-sub3d", "f3_segyio"}) {
    const std::string segy = std::string(TYQ_SOURCE_DIR) + "/tests/data/segy/" + survey + ".sgy";
    const std::string volume = dir_.file(std::string(survey) + ".vbs");
    ASSERT_EQ(run(tyq_tool::runImportSegy, {segy, volume}, out_, err_), 0) << err_;
    ASSERT_EQ(run(tyq_tool::runScan, {volume, "--json", "--threads", "2"}, out_, err_), 0) << err_;
    const std::string json = out_;
    for (int sqnr : {20, 30, 40}) {
      const std::string packed = dir_.file("packed.vcs");
      std::filesystem::remove(packed);
      ASSERT_EQ(
          run(tyq_tool::runCompress, {volume, packed, "--sqnr", std::to_string(sqnr)}, out_, err_),
          0)
          << err_;
      const double real = static_cast<double>(std::filesystem::file_size(packed));
      EXPECT_NEAR(estimatedBytes(json, sqnr), real, 0.15 * real) << survey << " " << sqnr;
    }
  }
}

TEST_F(CompressScanCommand, ScanRefusesABadSeedAndRepeatsItsDraw) {
  EXPECT_EQ(run(tyq_tool::runScan, {input_, "--seed", "x"}, out_, err_), 2);
  ASSERT_EQ(run(tyq_tool::runScan, {input_, "--json", "--bricks", "3"}, out_, err_), 0) << err_;
  const std::string first = out_;
  ASSERT_EQ(run(tyq_tool::runScan, {input_, "--json", "--bricks", "3"}, out_, err_), 0) << err_;
  EXPECT_EQ(out_, first);
}

}  // namespace
