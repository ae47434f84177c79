// tyq read --flags, -o - and the messages users see.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command_runner.h"
#include "read_command.h"
#include "segy_import.h"
#include "segy_test_file.h"
#include "support/temp_dir.h"
#include "user_errors.h"

namespace tyq_tool {
namespace {

// Inlines 1..3, crosslines 1..2, with inline 2 crossline 1 missing.
void importWithAHole(const tyq_test::TempDir& dir) {
  const TestSegy s = gridSurvey(3, 2, 2, {{1, 0}}, [](int, int, int k) { return k + 1.0f; });
  s.write(dir.file("in.sgy"));
  ASSERT_EQ(runCommand(runImportSegy, {dir.file("in.sgy"), dir.file("v.vbs")}), 0);
}

TEST(ReadFlags, DeadTracesShowAsZeroInA2DArray) {
  tyq_test::TempDir dir;
  importWithAHole(dir);
  ASSERT_EQ(runCommand(runRead, {dir.file("v.vbs"), "--flags", "--lod", "0", "--start", "1,0",
                                 "--size", "2,2", "-o", dir.file("f.npy")}),
            0);
  const std::string bytes = readWholeFile(dir.file("f.npy"));
  EXPECT_NE(bytes.find("'descr': '|u1'"), std::string::npos);
  EXPECT_NE(bytes.find("'shape': (2, 2)"), std::string::npos);
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string("\0\1\1\1", 4));

  // Over the edge: traces outside the survey read as dead.
  ASSERT_EQ(runCommand(runRead, {dir.file("v.vbs"), "--flags", "--lod", "0", "--start", "2,-1",
                                 "--size", "2,2", "-o", dir.file("f.npy")}),
            0);
  const std::string edge = readWholeFile(dir.file("f.npy"));
  EXPECT_EQ(edge.substr(edge.size() - 4), std::string("\0\1\0\0", 4));
  std::string err;
  EXPECT_EQ(runCommand(runRead,
                       {dir.file("v.vbs"), "--flags", "--lod", "0", "--start", "3,0", "--size",
                        "2,2", "-o", dir.file("f.npy")},
                       &err),
            2);
  EXPECT_NE(err.find("wholly outside level 0 (3 x 2 traces)"), std::string::npos) << err;
}

TEST(ReadFlags, DashWritesNpyToStandardOutput) {
  tyq_test::TempDir dir;
  importWithAHole(dir);
  std::vector<std::string> args = {dir.file("v.vbs"), "--lod", "0",  "--start", "0,0,0",
                                   "--size",          "3,2,2", "-o", "-"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  testing::internal::CaptureStdout();
  const int rc = runRead(static_cast<int>(argv.size()), argv.data());
  const std::string out = testing::internal::GetCapturedStdout();
  ASSERT_EQ(rc, 0);
  ASSERT_EQ(out.compare(0, 6, "\x93NUMPY"), 0);
  EXPECT_EQ(out.size() % 64, 48u);  // 64-byte header and 12 floats
}

TEST(UserErrors, TheTrailIsForVerboseMode) {
  std::string err;
  EXPECT_EQ(runCommand(runRead,
                       {"/nonexistent/v.vbs", "--lod", "0", "--start", "0,0,0", "--size", "1,1,1",
                        "-o", "/nonexistent/x.npy"},
                       &err),
            1);
  EXPECT_NE(err.find("/nonexistent/v.vbs"), std::string::npos) << err;
  EXPECT_EQ(err.find(" from "), std::string::npos) << err;
  setVerbose(true);
  runCommand(runRead,
             {"/nonexistent/v.vbs", "--lod", "0", "--start", "0,0,0", "--size", "1,1,1", "-o",
              "/nonexistent/x.npy"},
             &err);
  setVerbose(false);
  EXPECT_NE(err.find("CreateTyqReader"), std::string::npos) << err;
}

}  // namespace
}  // namespace tyq_tool
