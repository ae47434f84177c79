// The import and export commands end to end: a NumPy array in, a volume
// file, boxes back out as NumPy arrays.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "command_runner.h"
#include "create_command.h"
#include "npy.h"
#include "read_command.h"
#include "support/temp_dir.h"
#include "tyq/tyq.h"

namespace tyq_tool {
namespace {

// Largest difference between `values` and the whole volume in `file` read
// back as floats; -1 when the read fails.
float worstError(const tyq_test::TempDir& dir, const std::string& file,
                 const std::vector<short>& values, const char* size) {
  const std::string out = dir.file("back.npy");
  NpyArray back;
  std::string error;
  if (runCommand(runRead, {file, "--lod", "0", "--start", "0,0,0", "--size", size, "--type",
                           "float", "-o", out}) != 0 ||
      !readNpy(out, back, error) || back.data.size() != values.size() * sizeof(float)) {
    return -1;
  }
  const auto* f = reinterpret_cast<const float*>(back.data.data());
  float worst = 0;
  for (size_t n = 0; n < values.size(); ++n) worst = std::max(worst, std::fabs(f[n] - values[n]));
  return worst;
}

TEST(CreateAndRead, FloatArrayRoundTripsExactly) {
  tyq_test::TempDir dir;
  std::vector<float> values(70 * 50 * 40);
  for (size_t n = 0; n < values.size(); ++n) values[n] = static_cast<float>(n % 97) - 40.5f;
  writeNpy(dir.file("in.npy"), "<f4", values, {70, 50, 40});
  ASSERT_EQ(runCommand(runCreate, {dir.file("v.vbs"), "--from", dir.file("in.npy")}), 0);
  ASSERT_EQ(runCommand(runRead, {dir.file("v.vbs"), "--lod", "0", "--start", "0,0,0", "--size",
                                 "70,50,40", "-o", dir.file("back.npy")}),
            0);
  NpyArray back;
  std::string error;
  ASSERT_TRUE(readNpy(dir.file("back.npy"), back, error)) << error;
  EXPECT_EQ(back.dtype, "<f4");
  EXPECT_EQ(back.shape[0], 70);
  EXPECT_EQ(back.shape[2], 40);
  ASSERT_EQ(back.data.size(), values.size() * 4);
  EXPECT_EQ(std::memcmp(back.data.data(), values.data(), back.data.size()), 0);

  // Another storage order changes the shape: i fastest is (k, j, i) in C order.
  ASSERT_EQ(runCommand(runRead, {dir.file("v.vbs"), "--lod", "1", "--start", "0,0,0", "--size",
                                 "35,25,20", "--order", "5", "-o", dir.file("lod1.npy")}),
            0);
  ASSERT_TRUE(readNpy(dir.file("lod1.npy"), back, error)) << error;
  EXPECT_EQ(back.shape[0], 20);
  EXPECT_EQ(back.shape[2], 35);
}

TEST(CreateAndRead, Int16ArrayKeepsItsValuesInAnyVersion) {
  tyq_test::TempDir dir;
  std::vector<short> values(64 * 64 * 64);
  for (size_t n = 0; n < values.size(); ++n) values[n] = static_cast<short>(n % 2001) - 1000;
  writeNpy(dir.file("in.npy"), "<i2", values, {64, 64, 64});
  for (const char* version : {"1", "2"}) {
    const std::string out = dir.file(std::string("v") + version + ".vbs");
    ASSERT_EQ(runCommand(runCreate, {out, "--from", dir.file("in.npy"), "--version", version}), 0);
    // 2000 values over 65535 codes: far finer than one unit.
    const float worst = worstError(dir, out, values, "64,64,64");
    EXPECT_GE(worst, 0) << "version " << version;
    EXPECT_LT(worst, 0.05f) << "version " << version;
  }
}

TEST(CreateAndRead, EveryWritableStoredTypeKeepsTheValues) {
  tyq_test::TempDir dir;
  std::vector<short> values(40 * 30 * 20);
  for (size_t n = 0; n < values.size(); ++n) values[n] = static_cast<short>(n % 201) - 100;
  writeNpy(dir.file("in.npy"), "<i2", values, {40, 30, 20});
  // Coding steps over the range -100 .. 100: 200/255 for 8 bits, finer beyond.
  for (const auto& [type, step] : {std::pair<const char*, float>{"uint8", 200.0f / 255},
                                   {"uint16", 0.01f},
                                   {"int32", 0.01f},
                                   {"uint32", 0.01f}}) {
    const std::string out = dir.file(std::string(type) + ".vbs");
    ASSERT_EQ(runCommand(runCreate, {out, "--from", dir.file("in.npy"), "--type", type}), 0);
    const float worst = worstError(dir, out, values, "40,30,20");
    EXPECT_GE(worst, 0) << type;
    EXPECT_LE(worst, step) << type;
  }
}

TEST(CreateAndRead, BadInputsFailCleanly) {
  tyq_test::TempDir dir;
  std::ofstream(dir.file("junk.npy")) << "not an array";
  EXPECT_EQ(runCommand(runCreate, {dir.file("v.vbs"), "--from", dir.file("junk.npy")}), 1);
  std::vector<float> two(4);
  writeNpy(dir.file("2d.npy"), "<f4", two, {2, 2});
  EXPECT_EQ(runCommand(runCreate, {dir.file("v.vbs"), "--from", dir.file("2d.npy")}), 1);
  std::vector<float> shortData(3);
  writeNpy(dir.file("short.npy"), "<f4", shortData, {100, 100, 100});  // claims 4 MB
  EXPECT_EQ(runCommand(runCreate, {dir.file("v.vbs"), "--from", dir.file("short.npy")}), 1);
  EXPECT_EQ(
      runCommand(runCreate, {dir.file("v.vbs"), "--from", dir.file("2d.npy"), "--version", "4"}),
      2);
  EXPECT_EQ(
      runCommand(runRead, {dir.file("missing.vbs"), "--size", "1,1,1", "-o", dir.file("o.raw")}),
      1);
  EXPECT_EQ(runCommand(runRead, {dir.file("v.vbs"), "--size", "1,1", "-o", dir.file("o.raw")}), 2);
  // Refused before any room is allocated for it.
  EXPECT_EQ(runCommand(runRead,
                       {dir.file("v.vbs"), "--size", "2000000,2000000,2", "-o", dir.file("o.raw")}),
            2);
}

// A documented option: no warning, nothing left in the environment, and the
// file has the bricks asked for.
TEST(CreateAndRead, BrickOptionIsPassedToTheLibrary) {
  namespace FA = Qra::Ostrel::Tyq::FileAccess;
  tyq_test::TempDir dir;
  std::vector<short> values(40 * 30 * 20);
  for (size_t n = 0; n < values.size(); ++n) values[n] = static_cast<short>(n % 300);
  writeNpy(dir.file("in.npy"), "<i2", values, {40, 30, 20});
  std::string err;
  ASSERT_EQ(
      runCommand(runCreate, {dir.file("v.vbs"), "--from", dir.file("in.npy"), "--brick", "16,32,8"},
                 &err),
      0);
  EXPECT_EQ(err.find("UNTESTED"), std::string::npos) << err;
  EXPECT_EQ(std::getenv("OSTREL_TYQ_BRICK_SIZE"), nullptr);
  EXPECT_EQ(std::getenv("OSTREL_TYQ_BRICK_SIZE_1"), nullptr);
  FA::AutoRef<FA::Reader> reader;
  Qra::Ostrel::Tyq::Private::Status status;
  ASSERT_EQ(FA::Tyq::CreateTyqReader(reader, dir.file("v.vbs"), FA::TyqOptions(), &status), 0);
  FA::FileInfo info;
  ASSERT_TRUE(reader->GetFileInfo(info, &status));
  EXPECT_EQ(info.brickSize[0], 16);
  EXPECT_EQ(info.brickSize[1], 32);
  EXPECT_EQ(info.brickSize[2], 8);
  const float worst = worstError(dir, dir.file("v.vbs"), values, "40,30,20");
  EXPECT_GE(worst, 0);
  EXPECT_LT(worst, 0.05f);
}

}  // namespace
}  // namespace tyq_tool
