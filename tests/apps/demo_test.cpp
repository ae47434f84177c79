#include "demo_command.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace tyq_tool {
namespace {

// The shipped example shrunk to 130 samples per axis, so the demo's checks
// run in a moment: two bricks and a partial one along every axis.
std::string smallDescription(const tyq_test::TempDir& dir) {
  std::ifstream in(std::string(TYQ_EXAMPLES_DIR) + "/demo_synthetic.txt");
  std::stringstream text;
  text << in.rdbuf();
  std::string s = text.str();
  for (const auto& [from, to] : {std::pair<std::string, std::string>{"1001 1 384", "1001 1 130"},
                                 {"2001 1 320", "2001 1 130"},
                                 {"0 4 256", "0 4 130"}}) {
    const size_t at = s.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) s.replace(at, from.size(), to);
  }
  const std::string path = dir.file("small.txt");
  std::ofstream(path) << s;
  return path;
}

int run(std::vector<std::string> args, std::string& out) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  testing::internal::CaptureStdout();
  const int rc = runDemo(static_cast<int>(argv.size()), argv.data());
  out = testing::internal::GetCapturedStdout();
  return rc;
}

TEST(Demo, CopiesChecksAndDescribesTheVolume) {
  tyq_test::TempDir dir;
  std::string out;
  ASSERT_EQ(run({dir.path(), "--description", smallDescription(dir)}, out), 0) << out;
  EXPECT_NE(out.find("level 2: 1 of 1 bricks present"), std::string::npos) << out;
  EXPECT_NE(out.find("equals the LowPass decimation"), std::string::npos);
  EXPECT_NE(out.find("Uncompressed TYQ, version 3"), std::string::npos);
  EXPECT_NE(out.find("all checks passed"), std::string::npos);
  EXPECT_NE(out.find("compressed copy"), std::string::npos);
  EXPECT_NE(out.find("achieved SQNR"), std::string::npos);
  // Not a terminal: progress comes as plain lines.
  EXPECT_NE(out.find("  copying level 0: 100%\n"), std::string::npos);
}

TEST(Demo, MissingDescriptionFails) {
  tyq_test::TempDir dir;
  std::string out;
  EXPECT_EQ(run({dir.path(), "--description", dir.file("none.txt")}, out), 1);
}

}  // namespace
}  // namespace tyq_tool
