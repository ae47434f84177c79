// tyq import-segy against segyio's own reading of real surveys, and on small
// made-up files with known headers.
#include <gtest/gtest.h>
#include <segyio/segy.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "command_runner.h"
#include "segy_import.h"
#include "segy_input.h"
#include "segy_reference.h"
#include "segy_test_file.h"
#include "support/temp_dir.h"
#include "tools/tool_util.h"
#include "tyq/tyq.h"

namespace tyq_tool {
namespace {

// Every check the import owes a real survey: segyio's numbers, positions and
// samples, trace by trace.
void checkAgainstSegyio(const std::string& path) {
  SegyioSurvey s;
  ASSERT_TRUE(readWithSegyio(path, s)) << path;
  tyq_test::TempDir dir;
  ASSERT_EQ(runCommand(runImportSegy, {path, dir.file("v.vbs")}), 0);
  Volume v;
  ASSERT_TRUE(readVolume(dir.file("v.vbs"), v));
  const auto [il0, il1] = std::minmax_element(s.il.begin(), s.il.end());
  const auto [xl0, xl1] = std::minmax_element(s.xl.begin(), s.xl.end());
  const FA::DataInfo& d = v.info;
  EXPECT_EQ(d.annotStart[0], static_cast<float>(*il0));
  EXPECT_EQ(d.annotStart[1], static_cast<float>(*xl0));
  EXPECT_EQ(d.GetLastAnnot(0), static_cast<float>(*il1));
  EXPECT_EQ(d.GetLastAnnot(1), static_cast<float>(*xl1));
  EXPECT_EQ(d.annotStart[2], static_cast<float>(s.delay));
  EXPECT_EQ(d.annotInc[2], s.dt / 1000.0f);
  ASSERT_EQ(static_cast<size_t>(d.size[0]) * d.size[1], s.il.size());
  for (size_t t = 0; t < s.il.size(); ++t) {
    const int i = static_cast<int>(std::lround((s.il[t] - d.annotStart[0]) / d.annotInc[0]));
    const int j = static_cast<int>(std::lround((s.xl[t] - d.annotStart[1]) / d.annotInc[1]));
    const size_t trace = static_cast<size_t>(i) * d.size[1] + j;
    EXPECT_NE(v.flags[trace], 0);
    const float* got = &v.samples[trace * d.size[2]];
    ASSERT_TRUE(std::equal(s.samples[t].begin(), s.samples[t].end(), got))
        << path << " trace " << t;
    const int corner = (i == 0 && j == 0) ? 0 : (j == 0 && i == d.size[0] - 1) ? 1 : -1;
    if (corner >= 0) {
      EXPECT_NEAR(d.corners[corner][0], s.x[t], 1e-6);
      EXPECT_NEAR(d.corners[corner][1], s.y[t], 1e-6);
    }
    if (i == d.size[0] - 1 && j == d.size[1] - 1) {  // through the affine map
      EXPECT_NEAR(d.corners[3][0], s.x[t], 2.0);
      EXPECT_NEAR(d.corners[3][1], s.y[t], 2.0);
    }
  }
}

TEST(ImportSegy, RealSurveysMatchSegyio) {
  for (const std::string& path : realSurveys()) checkAgainstSegyio(path);
}

TEST(ImportSegy, Int16SurveyKeepsItsCodesAndSourceType) {
  tyq_test::TempDir dir;
  const std::string f3 = std::string(TYQ_SOURCE_DIR) + "/tests/data/segy/f3_segyio.sgy";
  ASSERT_EQ(runCommand(runImportSegy, {f3, dir.file("v.vbs")}), 0);
  FA::AutoRef<FA::Reader> reader;
  FA::FileInfo fi;
  FA::DataInfo di;
  ASSERT_EQ(FA::Tyq::CreateTyqReader(reader, dir.file("v.vbs"), FA::TyqOptions(), nullptr), 0);
  ASSERT_TRUE(reader->GetFileInfo(fi, nullptr) && reader->GetDataInfo(di, nullptr));
  EXPECT_EQ(fi.dataType, FA::DataTypeEnum::Int16);
  EXPECT_EQ(di.sourceType, FA::DataTypeEnum::Int16);
  EXPECT_EQ(di.vertDimension, FA::VertDimEnum::Time);
  EXPECT_EQ(di.vertUnit.name, "ms");
  // Without --force an existing output is left alone.
  std::string err;
  EXPECT_NE(runCommand(runImportSegy, {f3, dir.file("v.vbs")}, &err), 0);
  EXPECT_NE(err.find("--force"), std::string::npos);
  EXPECT_EQ(runCommand(runImportSegy, {f3, dir.file("v.vbs"), "--force", "--type", "float",
                                       "--vertical-unit", "m"}),
            0);
}

// A 3 x 4 grid with inlines 10, 12, 14 and crosslines 100..103, crossline
// sorted, coordinates in centimetres, and the traces in `holes` left out.
TestSegy irregularSurvey(const std::vector<std::pair<int, int>>& holes) {
  TestSegy s;
  s.samples = 3;
  s.intervalUs = 2000;
  s.delay = 100;
  for (int j = 0; j < 4; ++j) {
    for (int i = 0; i < 3; ++i) {
      if (std::find(holes.begin(), holes.end(), std::make_pair(i, j)) != holes.end()) continue;
      TestTrace t;
      t.inlineNo = 10 + 2 * i, t.crosslineNo = 100 + j;
      t.x = 50000000 + 2500 * i, t.y = 700000000 + 1250 * j, t.scalar = -100;
      for (int k = 0; k < 3; ++k) t.words.push_back(TestSegy::ieee(100.0f * i + 10.0f * j + k));
      s.traces.push_back(t);
    }
  }
  return s;
}

TEST(ImportSegy, MissingTracesAreDeadAndTheGridComesFromTheNumbers) {
  tyq_test::TempDir dir;
  irregularSurvey({{0, 0}, {2, 1}, {1, 3}}).write(dir.file("in.sgy"));
  ASSERT_EQ(runCommand(runImportSegy, {dir.file("in.sgy"), dir.file("v.vbs")}), 0);
  Volume v;
  ASSERT_TRUE(readVolume(dir.file("v.vbs"), v));
  const FA::DataInfo& d = v.info;
  EXPECT_EQ(d.size[0], 3);
  EXPECT_EQ(d.size[1], 4);
  EXPECT_EQ(d.annotInc[0], 2.0f);
  EXPECT_EQ(d.annotStart[2], 100.0f);
  EXPECT_EQ(d.annotInc[2], 2.0f);
  const std::vector<unsigned char> expected = {0, 1, 1, 1, 1, 1, 1, 0, 1, 0, 1, 1};
  EXPECT_EQ(v.flags, expected);
  EXPECT_EQ(v.samples[(1 * 4 + 2) * 3 + 1], 121.0f);
  // Corner 0 is a dead trace: its position comes through the other traces.
  EXPECT_NEAR(d.corners[0][0], 500000.0, 1e-6);
  EXPECT_NEAR(d.corners[0][1], 7000000.0, 1e-6);
  EXPECT_NEAR(d.corners[3][0], 500050.0, 1e-6);
  EXPECT_NEAR(d.corners[3][1], 7000037.5, 1e-6);
  // Dead samples stay out of the statistics: 9 live traces of 3 samples.
  EXPECT_EQ(d.statCount, 27);
}

TEST(ImportSegy, IbmFloatsConvertExactly) {
  const uint32_t words[] = {0x41100000u, 0xC276A000u, 0x00000000u, 0x80000000u,
                            0x7FFFFFFFu, 0x00100000u, 0x21100000u, 0x40000001u};
  const float expected[] = {1.0f, -118.625f, 0.0f, -0.0f, FLT_MAX,
                            // Far below float's range, then a denormal, then the
                            // smallest fraction step at exponent 64.
                            0.0f, static_cast<float>(std::ldexp(1.0, -128)),
                            static_cast<float>(std::ldexp(1.0, -24))};
  char raw[4 * 8];
  std::string bytes(32, '\0');
  for (int k = 0; k < 8; ++k) TestSegy::put(bytes, 1 + 4 * k, words[k], 4);
  std::memcpy(raw, bytes.data(), 32);
  float out[8];
  decodeSegySamples(1, raw, 8, out);
  for (int k = 0; k < 8; ++k) {
    EXPECT_EQ(out[k], expected[k]) << k;
    EXPECT_EQ(std::signbit(out[k]), std::signbit(expected[k])) << k;
  }
}

TEST(ImportSegy, BadFilesAreNamedWithTheirFault) {
  tyq_test::TempDir dir;
  std::string err;
  TestSegy s = irregularSurvey({});
  const std::string whole = s.bytes();
  std::ofstream(dir.file("cut.sgy"), std::ios::binary).write(whole.data(), whole.size() - 5);
  EXPECT_EQ(runCommand(runImportSegy, {dir.file("cut.sgy"), dir.file("a.vbs")}, &err), 1);
  EXPECT_NE(err.find("truncated"), std::string::npos) << err;

  std::ofstream(dir.file("short.sgy")) << "not a survey";
  EXPECT_EQ(runCommand(runImportSegy, {dir.file("short.sgy"), dir.file("a.vbs")}, &err), 1);
  EXPECT_NE(err.find("is not a SEG-Y file"), std::string::npos) << err;

  s.format = 4;
  s.write(dir.file("format.sgy"));
  EXPECT_EQ(runCommand(runImportSegy, {dir.file("format.sgy"), dir.file("a.vbs")}, &err), 1);
  EXPECT_NE(err.find("sample format 4"), std::string::npos) << err;

  s = irregularSurvey({});
  s.traces[1].inlineNo = s.traces[0].inlineNo;
  s.traces[1].crosslineNo = s.traces[0].crosslineNo;
  s.write(dir.file("twice.sgy"));
  EXPECT_EQ(runCommand(runImportSegy, {dir.file("twice.sgy"), dir.file("a.vbs")}, &err), 1);
  EXPECT_NE(err.find("both lie at inline 10, crossline 100"), std::string::npos) << err;
  EXPECT_NE(err.find("--iline-byte"), std::string::npos) << err;
  EXPECT_FALSE(std::filesystem::exists(dir.file("a.vbs")));

  EXPECT_EQ(
      runCommand(runImportSegy,
                 {dir.file("twice.sgy"), dir.file("a.vbs"), "--sqnr", "30", "--brick", "32,32,32"},
                 &err),
      2);
  EXPECT_NE(err.find("64^3 bricks"), std::string::npos) << err;
}

// A compressed import keeps the survey's identity and comes back near its
// target quality; the uncompressed stage leaves nothing behind.
TEST(ImportSegy, CompressedImportFromThreads) {
  tyq_test::TempDir dir;
  const std::string f3 = std::string(TYQ_SOURCE_DIR) + "/tests/data/segy/f3_segyio.sgy";
  ASSERT_EQ(runCommand(runImportSegy, {f3, dir.file("plain.vbs")}), 0);
  ASSERT_EQ(
      runCommand(runImportSegy, {f3, dir.file("packed.vcs"), "--sqnr", "30", "--threads", "2"}), 0);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            2);
  Volume plain, packed;
  ASSERT_TRUE(readVolume(dir.file("plain.vbs"), plain));
  ASSERT_TRUE(readVolume(dir.file("packed.vcs"), packed));
  EXPECT_EQ(tyq_test::fileInfoOf(dir.file("packed.vcs")).sqnr, 30.0f);
  EXPECT_EQ(packed.info.annotStart[0], plain.info.annotStart[0]);
  EXPECT_EQ(packed.info.annotInc[2], plain.info.annotInc[2]);
  EXPECT_EQ(packed.info.corners[2][0], plain.info.corners[2][0]);
  ASSERT_EQ(packed.samples.size(), plain.samples.size());
  double signal = 0, noise = 0;
  for (size_t n = 0; n < plain.samples.size(); ++n) {
    signal += std::fabs(plain.samples[n]);
    noise += std::fabs(plain.samples[n] - packed.samples[n]);
  }
  EXPECT_GT(20 * std::log10(signal / noise), 27.0);
}

}  // namespace
}  // namespace tyq_tool
