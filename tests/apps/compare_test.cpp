// Measured quality: the accumulator against figures computed here, tyq
// compare on volumes with errors made on purpose, and the achieved quality
// that every writer of compressed files reports.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "command_runner.h"
#include "compare_command.h"
#include "compress_command.h"
#include "create_command.h"
#include "info_command.h"
#include "quality_figures.h"
#include "segy_import.h"
#include "segy_test_file.h"
#include "support/temp_dir.h"
#include "tyq/tyq.h"

namespace tyq_tool {
namespace {

struct Expected {
  double sqnr = 0, rms = 0, max = 0, relative = 0;
};

// The figures straight from their definitions, in long double.
Expected expectedFigures(const std::vector<float>& x, const std::vector<float>& y) {
  long double signal = 0, noise = 0, squares = 0, sum = 0, max = 0;
  for (size_t n = 0; n < x.size(); ++n) {
    const long double e = static_cast<long double>(x[n]) - y[n];
    signal += std::fabs(static_cast<long double>(x[n]));
    noise += std::fabs(e);
    squares += e * e;
    sum += x[n];
    max = std::max(max, std::fabs(e));
  }
  const long double count = static_cast<long double>(x.size()), mean = sum / count;
  long double spread = 0;
  for (const float v : x) spread += (v - mean) * (v - mean);
  const double rms = static_cast<double>(std::sqrt(squares / count));
  return {static_cast<double>(20 * std::log10(signal / noise)), rms, static_cast<double>(max),
          rms / static_cast<double>(std::sqrt(spread / count))};
}

// A number after `key` in the output; NaN when the key is missing or null.
double numberAfter(const std::string& text, const std::string& key) {
  const size_t at = text.find(key);
  if (at == std::string::npos) return std::numeric_limits<double>::quiet_NaN();
  const char* start = text.c_str() + at + key.size();
  char* end = nullptr;
  const double value = std::strtod(start, &end);
  return end == start ? std::numeric_limits<double>::quiet_NaN() : value;
}

std::vector<float> smoothCube(int n0, int n1, int n2) {
  std::vector<float> v(static_cast<size_t>(n0) * n1 * n2);
  size_t n = 0;
  for (int i = 0; i < n0; ++i) {
    for (int j = 0; j < n1; ++j) {
      for (int k = 0; k < n2; ++k) {
        v[n++] = static_cast<float>(400 * std::sin(0.25 * (k - 0.3 * i + 0.2 * j)) + 2 * j);
      }
    }
  }
  return v;
}

TEST(QualityFigures, MergedPartsGiveTheFiguresOfTheWhole) {
  // Velocities: a large mean with a small spread, where a sum of squares
  // in float or a naive variance loses the deviation.
  std::vector<float> x, y;
  for (int n = 0; n < 5000; ++n) {
    x.push_back(3000.0f + static_cast<float>(std::sin(n * 0.37)));
    y.push_back(x.back() + (n % 7 == 0 ? 0.25f : -0.0625f));
  }
  const Expected e = expectedFigures(x, y);
  QualityFigures whole, left, right, merged;
  whole.add(x.data(), y.data(), x.size());
  left.add(x.data(), y.data(), 1234);
  right.add(x.data() + 1234, y.data() + 1234, 3000);
  right.add(x.data() + 4234, y.data() + 4234, x.size() - 4234);
  merged.merge(right);
  merged.merge(left);
  for (const QualityFigures* f : {&whole, &merged}) {
    EXPECT_EQ(f->samples(), 5000);
    EXPECT_NEAR(f->sqnr(), e.sqnr, 1e-9);
    EXPECT_NEAR(f->rmsError(), e.rms, 1e-12);
    EXPECT_EQ(f->maxError(), e.max);
    EXPECT_NEAR(f->relativeRmsError(), e.relative, 1e-9);
    EXPECT_FALSE(f->lossless());
  }
}

TEST(QualityFigures, EdgeCasesNeverDivideByZero) {
  QualityFigures none;
  EXPECT_TRUE(std::isnan(none.sqnr()));
  EXPECT_TRUE(std::isnan(none.rmsError()));

  const std::vector<float> x = {1, -2, 3}, zeros = {0, 0, 0};
  QualityFigures same;
  same.add(x.data(), x.data(), x.size());
  EXPECT_TRUE(same.lossless());
  EXPECT_EQ(same.sqnr(), std::numeric_limits<double>::infinity());
  EXPECT_EQ(same.rmsError(), 0);

  QualityFigures fromZeros;
  fromZeros.add(zeros.data(), x.data(), x.size());
  EXPECT_EQ(fromZeros.sqnr(), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(fromZeros.relativeRmsError(), std::numeric_limits<double>::infinity());

  // Non-finite pairs stay out of the figures; a value turned into NaN is no
  // lossless copy, NaN kept as NaN is.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<float> source = {1, nan, 2}, kept = {1, nan, 2}, lost = {1, 5, nan};
  QualityFigures keptNan, lostValue;
  keptNan.add(source.data(), kept.data(), 3);
  lostValue.add(source.data(), lost.data(), 3);
  EXPECT_TRUE(keptNan.lossless());
  EXPECT_EQ(keptNan.nonFinite(), 1);
  EXPECT_FALSE(lostValue.lossless());
  EXPECT_EQ(lostValue.samples(), 1);
  EXPECT_EQ(lostValue.unequalNonFinite(), 2);
}

// A volume in memory, served in any slab the comparison asks for.
struct MemorySource : ColumnSource {
  int size[3];
  std::vector<float> values;
  int reads = 0;
  bool fail = false;

  bool readSamples(int, const int start[3], const int n[3], float* out,
                   std::string& error) override {
    ++reads;
    if (fail) error = "no disk";
    for (int i = 0; i < n[0]; ++i) {
      for (int j = 0; j < n[1]; ++j) {
        for (int k = 0; k < n[2]; ++k) {
          *out++ = values[((static_cast<size_t>(start[0]) + i) * size[1] + start[1] + j) * size[2] +
                          start[2] + k];
        }
      }
    }
    return !fail;
  }
  bool readFlags(int, int, int, int ni, int nj, unsigned char* flags, bool& stored,
                 std::string&) override {
    std::fill(flags, flags + ni * nj, 1);
    stored = false;
    return true;
  }
};

TEST(CompareColumns, SlabsOfLongTracesAddUpAndFailuresStop) {
  MemorySource a, b;
  const int size[3] = {5, 3, 7};
  a.values = smoothCube(5, 3, 7);
  b.values = a.values;
  b.values[40] += 3;
  std::copy(size, size + 3, a.size);
  std::copy(size, size + 3, b.size);
  // Columns this wide leave room for one sample per read.
  const int wide[2] = {4096, 4096};
  Comparison c;
  std::string error;
  ASSERT_TRUE(compareColumns(a, b, 0, size, wide, false, c, error)) << error;
  EXPECT_EQ(a.reads, 7);
  EXPECT_EQ(c.figures.samples(), 105);
  EXPECT_EQ(c.figures.maxError(), 3);
  EXPECT_EQ(c.liveTraces, 15);
  EXPECT_FALSE(c.flagsStored);

  b.fail = true;
  Comparison failed;
  EXPECT_FALSE(compareColumns(a, b, 0, size, wide, false, failed, error));
  EXPECT_EQ(error, "no disk");
}

class CompareCommand : public testing::Test {
 protected:
  void SetUp() override {
    source_ = smoothCube(130, 70, 66);
    writeVolume("a", source_);
  }
  void writeVolume(const std::string& name, const std::vector<float>& values,
                   std::vector<int64_t> shape = {130, 70, 66}) {
    writeNpy(dir_.file(name + ".npy"), "<f4", values, shape);
    ASSERT_EQ(runCommand(runCreate, {dir_.file(name + ".vbs"), "--from", dir_.file(name + ".npy")}),
              0);
  }

  tyq_test::TempDir dir_;
  std::vector<float> source_;
};

TEST_F(CompareCommand, ErrorsMadeOnPurposeAreMeasured) {
  std::vector<float> copy = source_;
  for (size_t n = 1000; n < 40000; n += 3) copy[n] += 2.5f;  // an offset on some samples
  copy[123456] -= 300;                                       // one spike
  writeVolume("b", copy);
  std::string out;
  ASSERT_EQ(runCaptured(runCompare, {dir_.file("a.vbs"), dir_.file("b.vbs"), "--json"}, out), 0);
  EXPECT_NE(out.find("\"samples\":600600"), std::string::npos) << out;
  EXPECT_NE(out.find("\"lossless\":false"), std::string::npos);
  const Expected e = expectedFigures(source_, copy);
  EXPECT_NEAR(numberAfter(out, "\"sqnr\":"), e.sqnr, 0.01);
  EXPECT_NEAR(numberAfter(out, "\"rmsError\":"), e.rms, e.rms * 1e-3);
  EXPECT_EQ(numberAfter(out, "\"maxError\":"), e.max);
  EXPECT_NEAR(numberAfter(out, "\"relativeRmsError\":"), e.relative, e.relative * 1e-3);

  ASSERT_EQ(runCaptured(runCompare, {dir_.file("a.vbs"), dir_.file("b.vbs")}, out), 0);
  EXPECT_NEAR(numberAfter(out, "SQNR"), e.sqnr, 0.01) << out;
  // Level 1 of both files compares too, at the level's size.
  ASSERT_EQ(runCaptured(runCompare, {dir_.file("a.vbs"), dir_.file("b.vbs"), "--lod", "1"}, out),
            0);
  EXPECT_NE(out.find("65 x 35 x 33"), std::string::npos) << out;
}

TEST_F(CompareCommand, IdenticalIsLosslessAndOtherGeometryOrArgumentsAreRefused) {
  std::string out, err;
  ASSERT_EQ(runCaptured(runCompare, {dir_.file("a.vbs"), dir_.file("a.vbs"), "--json"}, out), 0);
  EXPECT_NE(out.find("\"lossless\":true,\"sqnr\":null"), std::string::npos) << out;
  EXPECT_NE(out.find("\"rmsError\":0,\"maxError\":0"), std::string::npos);
  ASSERT_EQ(runCaptured(runCompare, {dir_.file("a.vbs"), dir_.file("a.vbs")}, out), 0);
  EXPECT_NE(out.find("lossless"), std::string::npos) << out;

  writeVolume("short", smoothCube(130, 70, 65), {130, 70, 65});
  EXPECT_EQ(runCaptured(runCompare, {dir_.file("a.vbs"), dir_.file("short.vbs")}, out, &err), 2);
  EXPECT_NE(err.find("different geometry"), std::string::npos) << err;
  EXPECT_EQ(
      runCaptured(runCompare, {dir_.file("a.vbs"), dir_.file("a.vbs"), "--lod", "9"}, out, &err),
      2);
  EXPECT_EQ(runCaptured(runCompare, {dir_.file("a.vbs")}, out, &err), 2);
  EXPECT_EQ(runCaptured(runCompare, {dir_.file("a.vbs"), dir_.file("none.vbs")}, out, &err), 1);
}

TEST(CompareLiveTraces, ADeadTraceOfTheSourceDoesNotCount) {
  tyq_test::TempDir dir;
  const auto value = [](int i, int j, int k) { return static_cast<float>(i * 100 + j * 10 + k); };
  // The same survey twice, but the first lacks trace (2, 3): dead there,
  // while the second holds a large value in its place.
  gridSurvey(6, 5, 20, {{2, 3}}, value).write(dir.file("holes.sgy"));
  gridSurvey(6, 5, 20, {}, [&](int i, int j, int k) {
    return i == 2 && j == 3 ? 1e6f : value(i, j, k);
  }).write(dir.file("full.sgy"));
  ASSERT_EQ(runCommand(runImportSegy, {dir.file("holes.sgy"), dir.file("holes.vbs")}), 0);
  ASSERT_EQ(runCommand(runImportSegy, {dir.file("full.sgy"), dir.file("full.vbs")}), 0);
  std::string out;
  ASSERT_EQ(runCaptured(runCompare, {dir.file("holes.vbs"), dir.file("full.vbs"), "--json"}, out),
            0);
  EXPECT_NE(out.find("\"liveTraces\":29,\"deadTraces\":1"), std::string::npos) << out;
  EXPECT_NE(out.find("\"lossless\":true"), std::string::npos) << out;
  // A compressed source's mask, laid out as the samples are: a mask read
  // transposed would leave the spike in and drop another trace.
  ASSERT_EQ(
      runCommand(runImportSegy, {dir.file("holes.sgy"), dir.file("holes.vcs"), "--sqnr", "40"}), 0);
  ASSERT_EQ(runCaptured(runCompare, {dir.file("holes.vcs"), dir.file("full.vbs"), "--json"}, out),
            0);
  EXPECT_NE(out.find("\"liveTraces\":29,\"deadTraces\":1"), std::string::npos) << out;
  EXPECT_LT(numberAfter(out, "\"maxError\":"), 1e3) << out;
  // The other way round every trace is live, and the spike counts.
  ASSERT_EQ(runCaptured(runCompare, {dir.file("full.vbs"), dir.file("holes.vbs"), "--json"}, out),
            0);
  EXPECT_NE(out.find("\"liveTraces\":30,\"deadTraces\":0"), std::string::npos) << out;
  EXPECT_NEAR(numberAfter(out, "\"maxError\":"), 1e6, 1);
}

// A file that holds no flag tiles and only its first brick, as a host may
// write one: its traces count as live and its absent bricks as zeros.
TEST(CompareLiveTraces, AFileWithoutFlagsCountsEveryTrace) {
  tyq_test::TempDir dir;
  namespace FA = Qra::Ostrel::Tyq::FileAccess;
  FA::DataInfo info;
  info.SetExtent(0, 1, 100, 0, 1, 70, 0, 1, 64, false);
  std::vector<float> brick(64 * 64 * 64), whole(100 * 70 * 64, 0.0f);
  for (size_t n = 0; n < brick.size(); ++n) {
    brick[n] = static_cast<float>(n % 101) - 50;
    const size_t i = n / (64 * 64), j = n / 64 % 64, k = n % 64;
    whole[(i * 70 + j) * 64 + k] = brick[n];
  }
  {
    FA::AutoRef<FA::Writer> writer;
    ASSERT_EQ(FA::Tyq::CreateTyqWriter(writer, dir.file("bare.vbs"), info,
                                       FA::DataTypeEnum::Float32, FA::TyqOptions(), nullptr, -1, 1),
              0);
    const void* bricks[1] = {brick.data()};
    ASSERT_TRUE(writer->WriteRawBrick(0, 0, 0, 0, 1, 1, 1, bricks, nullptr));
    ASSERT_TRUE(writer->Finalize(false, false, nullptr));
  }
  writeNpy(dir.file("whole.npy"), "<f4", whole, {100, 70, 64});
  ASSERT_EQ(runCommand(runCreate, {dir.file("whole.vbs"), "--from", dir.file("whole.npy")}), 0);
  std::string out;
  ASSERT_EQ(runCaptured(runCompare, {dir.file("bare.vbs"), dir.file("whole.vbs"), "--json"}, out),
            0);
  EXPECT_NE(out.find("\"liveTraces\":7000,\"deadTraces\":0,\"flagsStored\":false"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("\"samples\":448000"), std::string::npos) << out;
  EXPECT_NE(out.find("\"lossless\":true"), std::string::npos) << out;
}

// "achieved: SQNR S dB" and "factor F" from a writer's closing lines.
void expectAchieved(const std::string& out, double target, const std::string& file,
                    int64_t floatBytes) {
  const double sqnr = numberAfter(out, "achieved: SQNR");
  EXPECT_GE(sqnr, target - 1.5) << out;
  const double fileBytes = static_cast<double>(std::filesystem::file_size(file));
  EXPECT_NEAR(numberAfter(out, "float samples: factor"),
              static_cast<double>(floatBytes) / fileBytes, 0.01)
      << out;
}

TEST_F(CompareCommand, WritersOfCompressedFilesReportWhatTheyAchieved) {
  const int64_t floatBytes = int64_t{130} * 70 * 66 * 4;
  std::string out;
  ASSERT_EQ(runCaptured(runCreate,
                        {dir_.file("c.vcs"), "--from", dir_.file("a.npy"), "--sqnr", "30"}, out),
            0);
  expectAchieved(out, 30, dir_.file("c.vcs"), floatBytes);
  ASSERT_EQ(runCaptured(runCompress, {dir_.file("a.vbs"), dir_.file("d.vcs"), "--sqnr", "40"}, out),
            0);
  expectAchieved(out, 40, dir_.file("d.vcs"), floatBytes);
  // What compare says of the same pair is what compress said.
  std::string compared;
  ASSERT_EQ(runCaptured(runCompare, {dir_.file("a.vbs"), dir_.file("d.vcs")}, compared), 0);
  EXPECT_NEAR(numberAfter(compared, "SQNR"), numberAfter(out, "achieved: SQNR"), 0.01);

  ASSERT_EQ(runCaptured(runInfo, {"--json", dir_.file("d.vcs")}, out), 0);
  EXPECT_NE(out.find("\"sampleBytes\":" + std::to_string(floatBytes)), std::string::npos) << out;
  EXPECT_NEAR(numberAfter(out, "\"surveyFactor\":"),
              static_cast<double>(floatBytes) /
                  static_cast<double>(std::filesystem::file_size(dir_.file("d.vcs"))),
              1e-3);
}

TEST(CompareImport, ImportWithSqnrReportsQualityAndBothFactors) {
  tyq_test::TempDir dir;
  gridSurvey(70, 9, 80, {{1, 1}}, [](int i, int j, int k) {
    return static_cast<float>(100 * std::sin(0.2 * k + 0.05 * i) + j);
  }).write(dir.file("in.sgy"));
  std::string out;
  ASSERT_EQ(
      runCaptured(runImportSegy, {dir.file("in.sgy"), dir.file("c.vcs"), "--sqnr", "30"}, out), 0);
  expectAchieved(out, 30, dir.file("c.vcs"), int64_t{70} * 9 * 80 * 4);
  EXPECT_NE(out.find("over 50320 live samples"), std::string::npos) << out;
  EXPECT_NEAR(numberAfter(out, "\n  factor "),
              static_cast<double>(std::filesystem::file_size(dir.file("in.sgy"))) /
                  static_cast<double>(std::filesystem::file_size(dir.file("c.vcs"))),
              0.006)
      << out;
  EXPECT_FALSE(std::filesystem::exists(dir.file("c.vcs.compressed")));
}

}  // namespace
}  // namespace tyq_tool
