// tyq info on a file cut short: described, and the shortfall said.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "command_runner.h"
#include "create_command.h"
#include "info_command.h"
#include "support/temp_dir.h"

namespace tyq_tool {
namespace {

TEST(InfoTruncated, SaysTheFileIsShorterThanItsTables) {
  tyq_test::TempDir dir;
  std::vector<float> values(70 * 10 * 10);
  for (size_t n = 0; n < values.size(); ++n) values[n] = static_cast<float>(n % 13);
  writeNpy(dir.file("in.npy"), "<f4", values, {70, 10, 10});
  ASSERT_EQ(runCommand(runCreate, {dir.file("v.vbs"), "--from", dir.file("in.npy")}), 0);
  std::string err;
  EXPECT_EQ(runCommand(runInfo, {dir.file("v.vbs")}, &err), 0);
  const std::string whole = readWholeFile(dir.file("v.vbs"));
  std::ofstream(dir.file("cut.vbs"), std::ios::binary).write(whole.data(), whole.size() / 2);
  EXPECT_EQ(runCommand(runInfo, {dir.file("cut.vbs")}, &err), 1);
  // Cut inside the bricks, the file is refused when opened; cut beyond
  // them, it is described and the shortfall said after the description.
  EXPECT_NE(err.find("is truncated"), std::string::npos) << err;
  EXPECT_NE(err.find("it has " + std::to_string(whole.size() / 2) + " bytes"), std::string::npos)
      << err;
}

}  // namespace
}  // namespace tyq_tool
