// Compressed files through the tool: create with every level, describe,
// read back.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "command_runner.h"
#include "create_command.h"
#include "info_command.h"
#include "npy.h"
#include "read_command.h"
#include "support/temp_dir.h"

namespace tyq_tool {
namespace {

std::vector<float> smoothCube(int n0, int n1, int n2) {
  std::vector<float> v(static_cast<size_t>(n0) * n1 * n2);
  size_t n = 0;
  for (int i = 0; i < n0; ++i) {
    for (int j = 0; j < n1; ++j) {
      for (int k = 0; k < n2; ++k) {
        v[n++] = static_cast<float>(500 * std::sin(0.3 * (k - 0.2 * i - 0.1 * j)) + 3 * i);
      }
    }
  }
  return v;
}

TEST(CompressedCreate, EveryLevelIsWrittenAndReadsBack) {
  tyq_test::TempDir dir;
  const std::vector<float> values = smoothCube(130, 70, 66);
  writeNpy(dir.file("in.npy"), "<f4", values, {130, 70, 66});
  ASSERT_EQ(runCommand(runCreate, {dir.file("c.vcs"), "--from", dir.file("in.npy"), "--sqnr", "35",
                                   "--threads", "3"}),
            0);
  std::string err;
  EXPECT_EQ(runCommand(runCreate,
                       {dir.file("d.vcs"), "--from", dir.file("in.npy"), "--sqnr", "35", "--type",
                        "int16"},
                       &err),
            2);
  testing::internal::CaptureStdout();
  std::string name = dir.file("c.vcs"), flag = "--json";
  char* args[2] = {flag.data(), name.data()};
  ASSERT_EQ(runInfo(2, args), 0);
  const std::string json = testing::internal::GetCapturedStdout();
  EXPECT_NE(json.find("\"format\":\"Compressed TYQ\""), std::string::npos);
  EXPECT_NE(json.find("\"compression\":{\"sqnr\":35,\"twoStage\":false"), std::string::npos);
  // 3 x 2 x 2 bricks: levels of 12, 2 and 1 bricks, all stored.
  EXPECT_NE(json.find("{\"level\":1,\"absent\":0,\"constant\":0,\"stored\":2}"), std::string::npos)
      << json;
  EXPECT_NE(json.find("{\"level\":2,\"absent\":0,\"constant\":0,\"stored\":1}"), std::string::npos);

  ASSERT_EQ(runCommand(runRead, {dir.file("c.vcs"), "--lod", "0", "--start", "0,0,0", "--size",
                                 "130,70,66", "-o", dir.file("back.npy")}),
            0);
  NpyArray back;
  std::string error;
  ASSERT_TRUE(readNpy(dir.file("back.npy"), back, error)) << error;
  ASSERT_EQ(back.data.size(), values.size() * sizeof(float));
  const auto* f = reinterpret_cast<const float*>(back.data.data());
  double signal = 0, noise = 0;
  for (size_t n = 0; n < values.size(); ++n) {
    signal += std::fabs(values[n]);
    noise += std::fabs(values[n] - f[n]);
  }
  EXPECT_GT(20 * std::log10(signal / noise), 33.0);
  ASSERT_EQ(runCommand(runRead, {dir.file("c.vcs"), "--lod", "1", "--start", "0,0,0", "--size",
                                 "65,35,33", "-o", dir.file("lod1.npy")}),
            0);
}

}  // namespace
}  // namespace tyq_tool
