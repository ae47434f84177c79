// tyq info on a file cut short: described, and the shortfall said.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "bricked/file.h"
#include "command_runner.h"
#include "core/endian.h"
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

// A table entry near the largest position: the end of its brick lies past
// any file, and the arithmetic that finds it must not wrap round to an end
// inside this one.
TEST(InfoTruncated, ABrickPlacedNearTheLargestPositionIsPastTheEnd) {
  namespace FA = Qra::Ostrel::Tyq::FileAccess;
  tyq_test::TempDir dir;
  std::vector<float> values(70 * 10 * 10, 2.5f);
  for (size_t n = 0; n < values.size(); n += 7) values[n] = -1.0f;
  writeNpy(dir.file("in.npy"), "<f4", values, {70, 10, 10});
  const std::string name = dir.file("v.vbs");
  ASSERT_EQ(runCommand(runCreate, {name, "--from", dir.file("in.npy")}), 0);
  std::string bytes = readWholeFile(name);
  {
    Qra::Ostrel::Tyq::Private::Bricked::File file(name, FA::FileFactory::UsageRead, nullptr);
    ASSERT_TRUE(file.Open(name, true, FA::TyqOptions(), nullptr));
    const auto& table = file.GetBrickTable();
    ASSERT_GT(table.count, 0);
    ASSERT_GT(table.entries[0], 1);
    // The entry is the position itself, as one word or as two exchanged halves.
    auto* entry = reinterpret_cast<uint8_t*>(bytes.data()) + table.position;
    const bool halves = Qra::Ostrel::Tyq::Private::Le::getI64(entry) != table.entries[0];
    const uint64_t far = INT64_MAX - 100;
    Qra::Ostrel::Tyq::Private::Le::putI64(
        entry, static_cast<int64_t>(halves ? (far << 32) | (far >> 32) : far));
  }
  std::ofstream(dir.file("far.vbs"), std::ios::binary).write(bytes.data(), bytes.size());
  std::string err;
  EXPECT_EQ(runCommand(runInfo, {dir.file("far.vbs")}, &err), 1);
  EXPECT_NE(err.find("is truncated"), std::string::npos) << err;
}

}  // namespace
}  // namespace tyq_tool
