// Numbers from the command line are bounded before anything is sized from
// them: thread counts, and coding ranges the file could not keep.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "args.h"
#include "command_runner.h"
#include "compress_command.h"
#include "create_command.h"
#include "scan_command.h"
#include "segy_import.h"
#include "segy_test_file.h"
#include "support/temp_dir.h"
#include "tool_threads.h"

namespace tyq_tool {
namespace {

class Numbers : public testing::Test {
 protected:
  void SetUp() override {
    std::vector<float> values(size_t{20} * 20 * 20);
    for (size_t n = 0; n < values.size(); ++n) values[n] = static_cast<float>(n % 17) - 8.0f;
    writeNpy(dir_.file("in.npy"), "<f4", values, {20, 20, 20});
    ASSERT_EQ(runCommand(runCreate, {volume(), "--from", dir_.file("in.npy")}), 0);
  }

  std::string volume() const { return dir_.file("in.vbs"); }
  std::string out() const { return dir_.file("out"); }

  // Runs a command that must be refused as a usage error without writing.
  void expectRefused(int (*command)(int, char**), const std::vector<std::string>& args,
                     const std::string& said) {
    std::string printed, err;
    EXPECT_EQ(runCaptured(command, args, printed, &err), 2) << err;
    EXPECT_NE(err.find(said), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(out()));
  }

  tyq_test::TempDir dir_;
};

TEST_F(Numbers, ThreadCountsPastTheLimitAreRefusedByEveryCommandThatTakesThem) {
  const std::string f3 = std::string(TYQ_SOURCE_DIR) + "/tests/data/segy/f3_segyio.sgy";
  for (const std::string& threads : {std::to_string(maxThreads() + 1), std::string("100000000")}) {
    SCOPED_TRACE(threads);
    const std::string limit = "1 to " + std::to_string(maxThreads()) + " threads";
    expectRefused(runCompress, {volume(), out(), "--sqnr", "30", "--threads", threads}, limit);
    expectRefused(runCreate,
                  {out(), "--from", dir_.file("in.npy"), "--sqnr", "30", "--threads", threads},
                  limit);
    expectRefused(runImportSegy, {f3, out(), "--sqnr", "30", "--threads", threads}, limit);
    expectRefused(runScan, {volume(), "--threads", threads}, limit);
  }
}

TEST_F(Numbers, TheThreadLimitIsFourPerCoreWithinEightTo1024AndTheLimitItselfWorks) {
  EXPECT_EQ(maxThreads(), std::clamp(4 * coreCount(), 8, 1024));
  int threads = 0;
  EXPECT_FALSE(parseThreads("0", threads));
  EXPECT_NE(takeParseNote().find("1 to "), std::string::npos);
  EXPECT_TRUE(takeParseNote().empty()) << "a note is read once";
  EXPECT_FALSE(parseThreads("many", threads));
  EXPECT_TRUE(takeParseNote().empty()) << "a value that is no count has nothing to explain";
  EXPECT_TRUE(parseThreads(std::to_string(maxThreads()).c_str(), threads));
  std::string printed;
  EXPECT_EQ(
      runCaptured(runScan, {volume(), "--bricks", "2", "--threads", std::to_string(maxThreads())},
                  printed),
      0);
}

TEST_F(Numbers, ImportRefusesAGivenRangeAFileCannotCodeAsCreateDoes) {
  const std::string f3 = std::string(TYQ_SOURCE_DIR) + "/tests/data/segy/f3_segyio.sgy";
  // Past float's reach, a width past it, and ends equal once stored as floats.
  for (const char* range : {"1e39,2e39", "-3e38,3e38", "1,1.00000001"}) {
    SCOPED_TRACE(range);
    expectRefused(runImportSegy, {f3, out(), "--type", "int16", "--range", range},
                  "cannot be coded");
    expectRefused(runCreate, {out(), "--from", dir_.file("in.npy"), "--range", range},
                  "cannot be coded");
  }
  EXPECT_TRUE(codableRange(-1e38, 1e38));
  EXPECT_FALSE(codableRange(-3e38, 3e38));
}

TEST_F(Numbers, ImportRefusesASurveyWhoseOwnRangeCannotBeCoded) {
  // Samples spanning nearly the whole float range: their width overflows.
  const TestSegy survey = gridSurvey(
      2, 2, 3, {}, [](int i, int j, int k) { return (i + j + k) % 2 == 0 ? -3e38f : 3e38f; });
  survey.write(dir_.file("wide.sgy"));
  std::string printed, err;
  EXPECT_EQ(
      runCaptured(runImportSegy, {dir_.file("wide.sgy"), out(), "--type", "int16"}, printed, &err),
      1);
  EXPECT_NE(err.find("cannot be coded (give one with --range)"), std::string::npos) << err;
  EXPECT_FALSE(std::filesystem::exists(out()));
}

}  // namespace
}  // namespace tyq_tool
