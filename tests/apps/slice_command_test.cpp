// tyq slice: picture size and orientation, colours of known samples, dead
// traces, and addressing by the survey's own numbers.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <string>
#include <vector>

#include "command_runner.h"
#include "segy_import.h"
#include "segy_test_file.h"
#include "slice_command.h"
#include "support/temp_dir.h"

namespace tyq_tool {
namespace {

struct Image {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  const uint8_t* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
  std::vector<int> colour(int x, int y) const { return {at(x, y)[0], at(x, y)[1], at(x, y)[2]}; }
};

bool readPng(const std::string& path, Image& image) {
  png_image png = {};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str())) return false;
  png.format = PNG_FORMAT_RGB;
  image.width = static_cast<int>(png.width);
  image.height = static_cast<int>(png.height);
  image.rgb.resize(PNG_IMAGE_SIZE(png));
  return png_image_finish_read(&png, nullptr, image.rgb.data(), 0, nullptr) != 0;
}

// Inlines 10, 12, 14; crosslines 1..4 with (14, 2) missing; 5 samples from
// 100 ms every 4 ms. Sample k of trace (i, j) is (k - 2) * (1 + i + j).
void makeSurvey(const tyq_test::TempDir& dir) {
  TestSegy s = gridSurvey(
      3, 4, 5, {{2, 1}}, [](int i, int j, int k) { return (k - 2.0f) * (1 + i + j); }, 10, 2);
  s.delay = 100;
  s.write(dir.file("in.sgy"));
  ASSERT_EQ(runCommand(runImportSegy, {dir.file("in.sgy"), dir.file("v.vbs")}), 0);
}

TEST(Slice, SectionsAndTimeSlicesInTheSurveysNumbers) {
  tyq_test::TempDir dir;
  makeSurvey(dir);
  Image image;
  ASSERT_EQ(runCommand(runSlice, {dir.file("v.vbs"), "--inline", "14", "--clip", "100", "-o",
                                  dir.file("il.png")}),
            0);
  ASSERT_TRUE(readPng(dir.file("il.png"), image));
  EXPECT_EQ(image.width, 4);   // crosslines across
  EXPECT_EQ(image.height, 5);  // time downwards
  // Largest positive amplitude: full red; zero: white; most negative: blue.
  EXPECT_EQ(image.colour(3, 4), (std::vector<int>{255, 0, 0}));
  EXPECT_EQ(image.colour(0, 2), (std::vector<int>{255, 255, 255}));
  EXPECT_EQ(image.colour(3, 0), (std::vector<int>{0, 0, 255}));
  // The missing trace is neutral, not the colour of zero.
  const uint8_t* dead = image.at(1, 2);
  EXPECT_EQ(dead[0], dead[1]);
  EXPECT_NE(dead[0], 255);

  ASSERT_EQ(runCommand(runSlice, {dir.file("v.vbs"), "--time", "108", "--cmap", "gray", "-o",
                                  dir.file("t.png")}),
            0);
  ASSERT_TRUE(readPng(dir.file("t.png"), image));
  EXPECT_EQ(image.width, 4);          // crosslines across
  EXPECT_EQ(image.height, 3);         // inlines down
  EXPECT_EQ(image.at(0, 0)[0], 128);  // the time of zero amplitude: mid grey

  std::string err;
  EXPECT_EQ(
      runCommand(runSlice, {dir.file("v.vbs"), "--inline", "11", "-o", dir.file("x.png")}, &err),
      2);
  EXPECT_NE(err.find("inline 11 is not in"), std::string::npos) << err;
  EXPECT_NE(err.find("inline 10 to 14, step 2"), std::string::npos) << err;
}

}  // namespace
}  // namespace tyq_tool
