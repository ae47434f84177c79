// tyq export-segy: what segyio reads back, and import -> export -> import.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "command_runner.h"
#include "segy_export.h"
#include "segy_import.h"
#include "segy_reference.h"
#include "segy_test_file.h"
#include "support/temp_dir.h"

namespace tyq_tool {
namespace {

void checkRoundTrip(const std::string& path) {
  tyq_test::TempDir dir;
  SegyioSurvey original, exported;
  ASSERT_TRUE(readWithSegyio(path, original));
  ASSERT_EQ(runCommand(runImportSegy, {path, dir.file("a.vbs")}), 0);
  ASSERT_EQ(runCommand(runExportSegy, {dir.file("a.vbs"), dir.file("a.sgy")}), 0);
  ASSERT_TRUE(readWithSegyio(dir.file("a.sgy"), exported));
  // The surveys are inline sorted, as the export writes: trace for trace.
  ASSERT_EQ(exported.il.size(), original.il.size());
  EXPECT_EQ(exported.il, original.il) << path;
  EXPECT_EQ(exported.xl, original.xl) << path;
  EXPECT_EQ(exported.dt, original.dt) << path;
  EXPECT_EQ(exported.delay, original.delay) << path;
  double worst = 0;
  for (size_t t = 0; t < original.il.size(); ++t) {
    ASSERT_EQ(exported.samples[t], original.samples[t]) << path << " trace " << t;
    worst = std::max({worst, std::fabs(exported.x[t] - original.x[t]),
                      std::fabs(exported.y[t] - original.y[t])});
  }
  // Positions come from the corners, an affine grid: the stored ones are
  // rounded to whole units or centimetres.
  EXPECT_LT(worst, 2.0) << path;

  ASSERT_EQ(runCommand(runImportSegy, {dir.file("a.sgy"), dir.file("b.vbs")}), 0);
  Volume a, b;
  ASSERT_TRUE(readVolume(dir.file("a.vbs"), a) && readVolume(dir.file("b.vbs"), b));
  EXPECT_EQ(a.samples, b.samples);
  EXPECT_EQ(a.flags, b.flags);
  for (int axis = 0; axis < 3; ++axis) {
    EXPECT_EQ(a.info.annotStart[axis], b.info.annotStart[axis]);
    EXPECT_EQ(a.info.annotInc[axis], b.info.annotInc[axis]);
  }
  for (int c = 0; c < 4; ++c) {
    EXPECT_NEAR(a.info.corners[c][0], b.info.corners[c][0], 0.01);
    EXPECT_NEAR(a.info.corners[c][1], b.info.corners[c][1], 0.01);
  }
}

TEST(ExportSegy, RealSurveysReadBackInSegyioAndRoundTrip) {
  for (const std::string& path : realSurveys()) checkRoundTrip(path);
}

TEST(ExportSegy, DeadTracesAreZeroWithTheDeadTraceCode) {
  tyq_test::TempDir dir;
  TestSegy s;
  s.samples = 2;
  for (int i = 0; i < 2; ++i) {
    for (int j = 0; j < 70; ++j) {  // two bricks along the crosslines
      if (i == 1 && j == 1) continue;
      TestTrace t;
      t.inlineNo = 5 + i, t.crosslineNo = 20 + j, t.x = 1000 + 10 * i, t.y = 2000 + 10 * j;
      t.words = {TestSegy::ieee(1.5f + i), TestSegy::ieee(-2.0f - j)};
      s.traces.push_back(t);
    }
  }
  s.write(dir.file("in.sgy"));
  ASSERT_EQ(runCommand(runImportSegy, {dir.file("in.sgy"), dir.file("v.vbs")}), 0);
  ASSERT_EQ(runCommand(runExportSegy, {dir.file("v.vbs"), dir.file("out.sgy")}), 0);
  SegyioSurvey back;
  ASSERT_TRUE(readWithSegyio(dir.file("out.sgy"), back));
  ASSERT_EQ(back.il.size(), 140u);
  EXPECT_EQ(std::count(back.traceId.begin(), back.traceId.end(), 2), 1);
  EXPECT_EQ(back.traceId[71], 2);
  EXPECT_EQ(back.samples[71], (std::vector<float>{0.0f, 0.0f}));
  EXPECT_EQ(back.samples[72], (std::vector<float>{2.5f, -4.0f}));
  EXPECT_EQ(back.il[71], 6);
  EXPECT_EQ(back.xl[71], 21);
  EXPECT_NEAR(back.x[71], 1010.0, 1e-9);
  EXPECT_NEAR(back.y[71], 2010.0, 1e-9);

  // Level 1 halves both grids and doubles the steps.
  ASSERT_EQ(runCommand(runExportSegy, {dir.file("v.vbs"), dir.file("l1.sgy"), "--lod", "1"}), 0);
  SegyioSurvey level1;
  ASSERT_TRUE(readWithSegyio(dir.file("l1.sgy"), level1));
  ASSERT_EQ(level1.xl.size(), 35u);
  EXPECT_EQ(level1.xl[1], 22);
  EXPECT_EQ(level1.dt, 8000.0f);
  std::string err;
  EXPECT_EQ(runCommand(runExportSegy, {dir.file("v.vbs"), dir.file("l9.sgy"), "--lod", "9"}, &err),
            1);
  EXPECT_NE(err.find("has no level 9 (it has 2)"), std::string::npos) << err;
}

}  // namespace
}  // namespace tyq_tool
