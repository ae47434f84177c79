#include "info_command.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bricked/file.h"
#include "support/temp_dir.h"
#include "text_escape.h"

namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
using Qra::Ostrel::Tyq::Private::Bricked::File;

std::string makeVolume(const tyq_test::TempDir& dir) {
  const std::string name = dir.file("info.vbs");
  File file(name, FA::FileFactory::UsageCreate, nullptr);
  FA::DataInfo info;
  info.SetExtent(100, 1, 130, 200, 2, 64, 0, 4, 64, false);
  info.SetVertDomain(FA::VertDimEnum::Time, 0.001, "ms");
  EXPECT_TRUE(file.Create(name, info, FA::DataTypeEnum::Int16, FA::TyqOptions(), nullptr, -5, 5));
  std::vector<int16_t> brick(64 * 64 * 64, 3);
  const int16_t seven = 7;
  EXPECT_TRUE(file.SetBrick(0, 0, 0, 0, brick.data(), nullptr));
  EXPECT_TRUE(file.SetBrickAllConst(2, 0, 0, 0, &seven, nullptr));
  EXPECT_TRUE(file.Flush(false, nullptr));
  return name;
}

int run(std::vector<std::string> args, std::string& out) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  testing::internal::CaptureStdout();
  const int rc = tyq_tool::runInfo(static_cast<int>(argv.size()), argv.data());
  out = testing::internal::GetCapturedStdout();
  return rc;
}

TEST(InfoCommand, JsonCarriesGeometryAndTableCounts) {
  tyq_test::TempDir dir;
  const std::string name = makeVolume(dir);
  std::string out;
  ASSERT_EQ(run({"--json", name}, out), 0);
  EXPECT_NE(out.find("\"format\":\"Uncompressed TYQ\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"version\":3"), std::string::npos);
  EXPECT_NE(out.find("\"size\":[130,64,64]"), std::string::npos);
  EXPECT_NE(out.find("\"valueRange\":[-5,5]"), std::string::npos);
  EXPECT_NE(out.find("\"unit\":\"ms\""), std::string::npos);
  EXPECT_NE(out.find("{\"level\":0,\"absent\":1,\"constant\":1,\"stored\":1}"), std::string::npos);
  EXPECT_NE(out.find("\"region\":{\"begin\":[0,0,0],\"size\":[192,64,64]}"), std::string::npos);
}

TEST(InfoCommand, TextAndErrors) {
  tyq_test::TempDir dir;
  const std::string name = makeVolume(dir);
  std::string out;
  ASSERT_EQ(run({name}, out), 0);
  EXPECT_NE(out.find("16-bit signed integer"), std::string::npos) << out;
  EXPECT_NE(out.find("1 absent / 1 constant / 1 stored"), std::string::npos);
  EXPECT_EQ(run({dir.file("missing.vbs")}, out), 1);
  EXPECT_EQ(run({}, out), 2);
}

// A file whose strings carry invalid UTF-8 and terminal escape sequences.
TEST(InfoCommand, HostileStringsComeOutEscaped) {
  const std::string name = std::string(TYQ_DAMAGED_DIR) + "/hostile_strings.vbs";
  for (const bool json : {true, false}) {
    std::string out;
    ASSERT_EQ(json ? run({"--json", name}, out) : run({name}, out), 0);
    char32_t c = 0;
    size_t length = 0;
    for (size_t pos = 0; pos < out.size(); pos += length) {
      length = tyq_tool::utf8Sequence(out, pos, c);
      ASSERT_NE(length, 0u) << "not UTF-8 at byte " << pos << ": " << out;
      ASSERT_TRUE(c == '\n' || !tyq_tool::actsOnTerminal(c)) << "control at " << pos << ": " << out;
    }
    EXPECT_NE(out.find("\\u001b[2J"), std::string::npos) << out;
    // Only the JSON form shows the source name, where the invalid bytes are.
    if (json) {
      EXPECT_NE(out.find("\\ufffd"), std::string::npos) << out;
    }
  }
}

TEST(InfoCommand, DescribesEveryFormatThroughTheReader) {
  const std::string name = std::string(TYQ_EXAMPLES_DIR) + "/demo_synthetic.txt";
  std::string out;
  ASSERT_EQ(run({"--json", name}, out), 0);
  EXPECT_NE(out.find("\"format\":\"Synthetic TYQ\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"size\":[384,320,256]"), std::string::npos);
  EXPECT_NE(out.find("{\"level\":0,\"absent\":120,\"constant\":0,\"stored\":0}"),
            std::string::npos);
}

}  // namespace
