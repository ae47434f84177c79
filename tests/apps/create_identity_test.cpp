// tyq create: survey identity options, lossless integers, and the output
// left alone without --force.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command_runner.h"
#include "create_command.h"
#include "segy_reference.h"
#include "support/temp_dir.h"

namespace tyq_tool {
namespace {

TEST(CreateIdentity, AxesUnitsAndCornersReachTheFile) {
  tyq_test::TempDir dir;
  writeNpy(dir.file("in.npy"), "<f4", std::vector<float>(3 * 4 * 5, 1.5f), {3, 4, 5});
  ASSERT_EQ(runCommand(runCreate, {dir.file("v.vbs"), "--from", dir.file("in.npy"), "--inline",
                                   "100,2", "--crossline", "20,-1", "--vertical", "500,4,ms",
                                   "--corners", "1000,2000,1040,2000,1000,2030"}),
            0);
  Volume v;
  ASSERT_TRUE(readVolume(dir.file("v.vbs"), v));
  const FA::DataInfo& d = v.info;
  EXPECT_EQ(d.annotStart[0], 100.0f);
  EXPECT_EQ(d.annotInc[0], 2.0f);
  EXPECT_EQ(d.annotInc[1], -1.0f);
  EXPECT_EQ(d.GetLastAnnot(1), 17.0f);
  EXPECT_EQ(d.annotStart[2], 500.0f);
  EXPECT_EQ(d.annotInc[2], 4.0f);
  EXPECT_EQ(d.vertDimension, FA::VertDimEnum::Time);
  EXPECT_EQ(d.vertUnit.name, "ms");
  EXPECT_EQ(d.vertUnit.factor, 0.001);
  EXPECT_EQ(d.corners[1][0], 1040.0);
  EXPECT_EQ(d.corners[3][0], 1040.0);
  EXPECT_EQ(d.corners[3][1], 2030.0);

  std::string err;
  for (const std::vector<std::string>& bad : {std::vector<std::string>{"--vertical", "0,4,km"},
                                              {"--inline", "1,0"},
                                              {"--corners", "1,2,3"},
                                              {"--crossline", "1"}}) {
    EXPECT_EQ(runCommand(runCreate,
                         {dir.file("w.vbs"), "--from", dir.file("in.npy"), bad[0], bad[1]}, &err),
              2)
        << bad[0] << " " << bad[1];
  }
}

TEST(CreateIdentity, IntegerArraysKeepTheirValuesAsCodes) {
  tyq_test::TempDir dir;
  std::vector<short> values(2 * 3 * 4);
  for (size_t n = 0; n < values.size(); ++n) values[n] = static_cast<short>(n * 1000 - 12000);
  values[0] = -32768;
  values[1] = 32767;
  writeNpy(dir.file("in.npy"), "<i2", values, {2, 3, 4});
  ASSERT_EQ(runCommand(runCreate, {dir.file("v.vbs"), "--from", dir.file("in.npy")}), 0);
  FA::AutoRef<FA::Reader> reader;
  FA::FileInfo info;
  ASSERT_EQ(FA::Tyq::CreateTyqReader(reader, dir.file("v.vbs"), FA::TyqOptions(), nullptr), 0);
  ASSERT_TRUE(reader->GetFileInfo(info, nullptr));
  EXPECT_EQ(info.valueMin, -32768.0f);
  EXPECT_EQ(info.valueMax, 32767.0f);
  Volume v;
  ASSERT_TRUE(readVolume(dir.file("v.vbs"), v));
  for (size_t n = 0; n < values.size(); ++n) ASSERT_EQ(v.samples[n], values[n]) << n;
}

}  // namespace
}  // namespace tyq_tool
