// Brick columns decoded ahead of the writer: order, contents, dead traces,
// an early stop and a file that is cut after its grid was read.
#include "segy_import_columns.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "segy_test_file.h"
#include "support/temp_dir.h"

namespace tyq_tool {
namespace {

float sampleOf(int i, int j, int k) {
  return static_cast<float>(100 * i + 10 * j + k);
}

// 10 x 7 traces of 5 samples, two of them missing.
void openSurvey(const tyq_test::TempDir& dir, SegyInput& in, SegyGrid& grid) {
  gridSurvey(10, 7, 5, {{2, 3}, {9, 6}}, sampleOf).write(dir.file("s.sgy"));
  std::string error;
  ASSERT_TRUE(in.open(dir.file("s.sgy"), error)) << error;
  ASSERT_TRUE(in.scanGrid(189, 193, grid, error)) << error;
}

TEST(SegyColumns, ComeInOrderWithTheirTracesAndDeadFlags) {
  tyq_test::TempDir dir;
  SegyInput in;
  SegyGrid grid;
  openSurvey(dir, in, grid);
  const int brick[3] = {4, 4, 4};
  SegyColumnPipeline<float> columns(in, grid, brick);
  int seen = 0, dead = 0;
  while (SegyColumn<float>* c = columns.next()) {
    bool columnDead = false;
    EXPECT_EQ(c->box[0], seen / 2 * 4);  // 3 inline blocks of 2 crossline blocks
    EXPECT_EQ(c->box[1], seen % 2 * 4);
    for (int i = 0; i < c->box[2]; ++i) {
      for (int j = 0; j < c->box[3]; ++j) {
        const size_t n = static_cast<size_t>(i) * c->box[3] + j;
        const int gi = c->box[0] + i, gj = c->box[1] + j;
        const bool live = !((gi == 2 && gj == 3) || (gi == 9 && gj == 6));
        ASSERT_EQ(c->flags[n] != 0, live) << gi << "," << gj;
        dead += live ? 0 : 1;
        columnDead = columnDead || !live;
        for (int k = 0; k < 5; ++k) {
          EXPECT_EQ(c->samples[n * 5 + k], live ? sampleOf(gi, gj, k) : 0.0f);
        }
      }
    }
    EXPECT_EQ(c->anyDead, columnDead);
    columns.recycle(c);
    ++seen;
  }
  EXPECT_EQ(seen, 6);
  EXPECT_EQ(dead, 2);
  EXPECT_TRUE(columns.error().empty());
}

TEST(SegyColumns, StopEarlyOrReportAFileCutAfterItsGridWasRead) {
  tyq_test::TempDir dir;
  const int brick[3] = {2, 2, 2};
  {
    SegyInput in;
    SegyGrid grid;
    openSurvey(dir, in, grid);
    SegyColumnPipeline<short> columns(in, grid, brick);
    ASSERT_NE(columns.next(), nullptr);  // then dropped with the decoder waiting
  }
  SegyInput in;
  SegyGrid grid;
  openSurvey(dir, in, grid);
  std::filesystem::resize_file(dir.file("s.sgy"), 3600 + 20 * (240 + 20));
  SegyColumnPipeline<float> columns(in, grid, brick);
  int seen = 0;
  while (SegyColumn<float>* c = columns.next()) {
    columns.recycle(c);
    ++seen;
  }
  EXPECT_LT(seen, 20);
  EXPECT_NE(columns.error().find("s.sgy: trace "), std::string::npos) << columns.error();
}

}  // namespace
}  // namespace tyq_tool
