// One real survey with dead traces, stored every way the tool stores it
// (imported plain and compressed, compressed from plain, decompressed from
// compressed), and a synthetic description with its plain and compressed
// copies, through every command that reads them: each must give the same
// survey back, within the quality it was stored at, checked against the
// SEG-Y file or the computed samples.
#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "command_runner.h"
#include "compare_command.h"
#include "compress_command.h"
#include "info_command.h"
#include "npy.h"
#include "read_command.h"
#include "scan_command.h"
#include "segy_export.h"
#include "segy_import.h"
#include "segy_reference.h"
#include "slice_command.h"
#include "support/temp_dir.h"

namespace tyq_tool {
namespace {

constexpr double kTarget = 30.0;  // dB, every compressed copy

// The SEG-Y survey on its grid: samples (inline slowest, vertical fastest)
// and live flags; dead traces hold zeros.
struct Grid {
  int n[3] = {0, 0, 0};
  int il0 = 0, xl0 = 0;
  std::vector<float> samples;
  std::vector<unsigned char> live;
};

// The F3 crop with interior traces removed: a scatter of single holes and
// one block, away from the survey's edge so that its geometry stays.
std::string holeySurvey(const tyq_test::TempDir& dir) {
  const std::string bytes =
      readWholeFile(std::string(TYQ_SOURCE_DIR) + "/tests/data/segy/f3_segyio.sgy");
  const size_t header = 3600, trace = 240 + 75 * 2;  // 23 x 18 traces of 75 int16
  std::string out = bytes.substr(0, header);
  for (int i = 0; i < 23; ++i) {
    for (int j = 0; j < 18; ++j) {
      const bool interior = i > 0 && i < 22 && j > 0 && j < 17;
      const bool hole = (i * 5 + j * 3) % 13 == 0 || (i >= 8 && i < 11 && j >= 4 && j < 8);
      if (interior && hole) continue;
      out += bytes.substr(header + (static_cast<size_t>(i) * 18 + j) * trace, trace);
    }
  }
  const std::string path = dir.file("holey.sgy");
  std::ofstream(path, std::ios::binary).write(out.data(), static_cast<std::streamsize>(out.size()));
  return path;
}

Grid gridOf(const SegyioSurvey& s) {
  Grid g;
  g.il0 = *std::min_element(s.il.begin(), s.il.end());
  g.xl0 = *std::min_element(s.xl.begin(), s.xl.end());
  g.n[0] = *std::max_element(s.il.begin(), s.il.end()) - g.il0 + 1;
  g.n[1] = *std::max_element(s.xl.begin(), s.xl.end()) - g.xl0 + 1;
  g.n[2] = static_cast<int>(s.samples[0].size());
  g.samples.assign(static_cast<size_t>(g.n[0]) * g.n[1] * g.n[2], 0.0f);
  g.live.assign(static_cast<size_t>(g.n[0]) * g.n[1], 0);
  for (size_t t = 0; t < s.il.size(); ++t) {
    if (s.traceId[t] == 2) continue;
    const size_t trace = static_cast<size_t>(s.il[t] - g.il0) * g.n[1] + (s.xl[t] - g.xl0);
    g.live[trace] = 1;
    std::copy(s.samples[t].begin(), s.samples[t].end(), g.samples.begin() + trace * g.n[2]);
  }
  return g;
}

// 20 log10(mean |x| / mean |x - y|) over the live traces of `g`.
double liveSqnr(const Grid& g, const float* y) {
  double signal = 0, noise = 0;
  const size_t nk = static_cast<size_t>(g.n[2]);
  for (size_t t = 0; t < g.live.size(); ++t) {
    if (!g.live[t]) continue;
    for (size_t k = 0; k < nk; ++k) {
      signal += std::fabs(g.samples[t * nk + k]);
      noise += std::fabs(g.samples[t * nk + k] - y[t * nk + k]);
    }
  }
  return noise == 0 ? 1000.0 : 20.0 * std::log10(signal / noise);
}

struct Stored {
  std::string name;
  bool lossless;
  bool counted = true;  // statistics counted from the samples written
};

// One survey, its reference samples, and the files it was stored in.
struct Survey {
  Grid grid;
  std::vector<Stored> files;
};

// The demonstration description cut to 80 x 70 x 90 samples.
std::string smallSynthetic(const tyq_test::TempDir& dir) {
  std::string text = readWholeFile(std::string(TYQ_EXAMPLES_DIR) + "/demo_synthetic.txt");
  for (const auto& [from, to] : {std::pair<std::string, std::string>{"1001 1 384", "1001 1 80"},
                                 {"2001 1 320", "2001 1 70"},
                                 {"0 4 256", "0 4 90"}}) {
    const size_t at = text.find(from + "\n");
    if (at != std::string::npos) text.replace(at, from.size(), to);
  }
  const std::string path = dir.file("small.txt");
  std::ofstream(path) << text;
  return path;
}

Grid gridOf(const Volume& v) {
  Grid g;
  std::copy(v.info.size, v.info.size + 3, g.n);
  g.il0 = static_cast<int>(v.info.annotStart[0]);
  g.xl0 = static_cast<int>(v.info.annotStart[1]);
  g.samples = v.samples;
  g.live = v.flags;
  return g;
}

class FormatMatrix : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new tyq_test::TempDir;
    surveys_ = new std::vector<Survey>(2);
    const std::string sqnr = std::to_string(kTarget);
    const std::string sgy = holeySurvey(*dir_);
    SegyioSurvey segy;
    ASSERT_TRUE(readWithSegyio(sgy, segy));
    const std::string u = out("u.vbs"), c = out("c.vcs");
    ASSERT_EQ(runCommand(runImportSegy, {sgy, u}), 0);
    ASSERT_EQ(runCommand(runImportSegy, {sgy, c, "--sqnr", sqnr}), 0);
    ASSERT_EQ(runCommand(runCompress, {u, out("c2.vcs"), "--sqnr", sqnr}), 0);
    ASSERT_EQ(runCommand(runCompress, {c, out("u2.vbs"), "--sqnr", "0"}), 0);
    (*surveys_)[0] = {gridOf(segy),
                      {{u, true}, {c, false}, {out("c2.vcs"), false}, {out("u2.vbs"), false}}};
    const std::string synthetic = smallSynthetic(*dir_);
    ASSERT_EQ(runCommand(runCompress, {synthetic, out("s.vcs"), "--sqnr", sqnr}), 0);
    ASSERT_EQ(runCommand(runCompress, {synthetic, out("s.vbs"), "--sqnr", "0"}), 0);
    Volume computed;
    ASSERT_TRUE(readVolume(synthetic, computed));
    (*surveys_)[1] = {gridOf(computed),
                      {{synthetic, true, false}, {out("s.vcs"), false}, {out("s.vbs"), true}}};
  }
  static void TearDownTestSuite() {
    delete surveys_;
    delete dir_;
  }

  static const std::vector<Survey>& surveys() { return *surveys_; }
  static std::string out(const std::string& name) { return dir_->file(name); }

  static tyq_test::TempDir* dir_;
  static std::vector<Survey>* surveys_;
};

tyq_test::TempDir* FormatMatrix::dir_ = nullptr;
std::vector<Survey>* FormatMatrix::surveys_ = nullptr;

std::string capturedStdout(int (*command)(int, char**), std::vector<std::string> args, int& rc) {
  std::string out;
  rc = runCaptured(command, std::move(args), out);
  return out;
}
TEST_F(FormatMatrix, ReadGivesTheSurveyAndItsDeadTraces) {
  for (const Survey& survey : surveys()) {
    const Grid& g = survey.grid;
    const std::string size = std::to_string(g.n[0]) + "," + std::to_string(g.n[1]);
    for (const Stored& s : survey.files) {
      SCOPED_TRACE(s.name);
      ASSERT_EQ(runCommand(runRead, {s.name, "--lod", "0", "--start", "0,0,0", "--size",
                                     size + "," + std::to_string(g.n[2]), "-o", out("box.npy")}),
                0);
      NpyArray box;
      std::string error;
      ASSERT_TRUE(readNpy(out("box.npy"), box, error)) << error;
      ASSERT_EQ(box.data.size(), g.samples.size() * 4);
      const double sqnr = liveSqnr(g, reinterpret_cast<const float*>(box.data.data()));
      EXPECT_GE(sqnr, s.lossless ? 1000.0 : kTarget - 1.5);

      ASSERT_EQ(runCommand(runRead, {s.name, "--flags", "--lod", "0", "--start", "0,0", "--size",
                                     size, "-o", out("flags.npy")}),
                0);
      const std::string flags = readWholeFile(out("flags.npy"));
      ASSERT_GE(flags.size(), g.live.size());
      EXPECT_EQ(flags.substr(flags.size() - g.live.size()),
                std::string(g.live.begin(), g.live.end()));
    }
  }
}

TEST_F(FormatMatrix, InfoAndDescriptionsAgree) {
  for (const Survey& survey : surveys()) {
    const Grid& g = survey.grid;
    Volume first;
    ASSERT_TRUE(readVolume(survey.files[0].name, first));
    int64_t liveSamples = 0;
    double sum = 0;
    for (size_t t = 0; t < g.live.size(); ++t) {
      if (!g.live[t]) continue;
      liveSamples += g.n[2];
      for (int k = 0; k < g.n[2]; ++k) sum += g.samples[t * g.n[2] + k];
    }
    for (const Stored& s : survey.files) {
      SCOPED_TRACE(s.name);
      Volume v;
      ASSERT_TRUE(readVolume(s.name, v));
      for (int a = 0; a < 3; ++a) {
        EXPECT_EQ(v.info.size[a], first.info.size[a]);
        EXPECT_EQ(v.info.annotStart[a], first.info.annotStart[a]);
        EXPECT_EQ(v.info.annotInc[a], first.info.annotInc[a]);
      }
      for (int c = 0; c < 4; ++c) {
        EXPECT_NEAR(v.info.corners[c][0], first.info.corners[c][0], 0.01);
        EXPECT_NEAR(v.info.corners[c][1], first.info.corners[c][1], 0.01);
      }
      int rc = 0;
      const std::string text = capturedStdout(runInfo, {"--json", s.name}, rc);
      EXPECT_EQ(rc, 0);
      if (!s.counted) continue;
      EXPECT_EQ(v.info.statCount, liveSamples);
      // A decompressed copy counts what it was given: the compressed samples.
      if (s.lossless || s.name.find(".vcs") != std::string::npos) {
        EXPECT_NEAR(v.info.statSum, sum, 1e-6 * std::fabs(sum) + 1.0);
      }
      EXPECT_NE(text.find("\"count\":" + std::to_string(liveSamples)), std::string::npos) << text;
    }
  }
}

// Grey levels of a slice picture drawn with the grey colour map.
std::vector<double> greys(const std::string& path) {
  png_image png = {};
  png.version = PNG_IMAGE_VERSION;
  std::vector<double> out;
  if (!png_image_begin_read_from_file(&png, path.c_str())) return out;
  png.format = PNG_FORMAT_GRAY;
  std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(png));
  if (!png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr)) return out;
  return std::vector<double>(pixels.begin(), pixels.end());
}

double correlation(const std::vector<double>& a, const std::vector<double>& b) {
  double ma = 0, mb = 0, ab = 0, aa = 0, bb = 0;
  for (size_t n = 0; n < a.size(); ++n) ma += a[n], mb += b[n];
  ma /= static_cast<double>(a.size());
  mb /= static_cast<double>(b.size());
  for (size_t n = 0; n < a.size(); ++n) {
    ab += (a[n] - ma) * (b[n] - mb), aa += (a[n] - ma) * (a[n] - ma),
        bb += (b[n] - mb) * (b[n] - mb);
  }
  return ab / std::sqrt(aa * bb);
}

TEST_F(FormatMatrix, SlicesDrawTheSamePicture) {
  for (const Survey& survey : surveys()) {
    const Grid& g = survey.grid;
    Volume first;
    ASSERT_TRUE(readVolume(survey.files[0].name, first));
    const FA::DataInfo& d = first.info;
    const std::vector<std::vector<std::string>> slices = {
        {"--inline", std::to_string(g.il0 + g.n[0] / 2)},
        {"--crossline", std::to_string(g.xl0 + g.n[1] / 3)},
        {"--time", std::to_string(d.annotStart[2] + (g.n[2] / 2) * d.annotInc[2])}};
    for (const auto& slice : slices) {
      std::vector<double> reference;
      for (const Stored& s : survey.files) {
        SCOPED_TRACE(s.name + " " + slice[0]);
        const std::string png = out("slice.png");
        ASSERT_EQ(runCommand(runSlice, {s.name, slice[0], slice[1], "--cmap", "gray", "--clip",
                                        "100", "-o", png}),
                  0);
        const std::vector<double> picture = greys(png);
        ASSERT_FALSE(picture.empty());
        if (reference.empty()) reference = picture;
        ASSERT_EQ(picture.size(), reference.size());
        EXPECT_GT(correlation(picture, reference), 0.95);
      }
    }
  }
}

TEST_F(FormatMatrix, ExportedSegyHoldsTheLiveTraces) {
  for (const Survey& survey : surveys()) {
    for (const Stored& s : survey.files) {
      SCOPED_TRACE(s.name);
      ASSERT_EQ(runCommand(runExportSegy, {s.name, out("back.sgy"), "--force"}), 0);
      SegyioSurvey back;
      ASSERT_TRUE(readWithSegyio(out("back.sgy"), back));
      const Grid g = gridOf(back);
      ASSERT_EQ(g.il0, survey.grid.il0);
      ASSERT_EQ(g.xl0, survey.grid.xl0);
      ASSERT_EQ(g.samples.size(), survey.grid.samples.size());
      EXPECT_EQ(g.live, survey.grid.live);
      EXPECT_GE(liveSqnr(survey.grid, g.samples.data()), s.lossless ? 1000.0 : kTarget - 1.5);
    }
  }
}

TEST_F(FormatMatrix, CompareMeasuresEveryCopyAgainstTheSource) {
  for (const Survey& survey : surveys()) {
    for (const Stored& s : survey.files) {
      SCOPED_TRACE(s.name);
      int rc = 0;
      const std::string json =
          capturedStdout(runCompare, {survey.files[0].name, s.name, "--json"}, rc);
      ASSERT_EQ(rc, 0);
      const size_t lossless = json.find("\"lossless\":true");
      if (s.lossless) {
        EXPECT_NE(lossless, std::string::npos) << json;
        continue;
      }
      const size_t at = json.find("\"sqnr\":");
      ASSERT_NE(at, std::string::npos) << json;
      EXPECT_GE(std::atof(json.c_str() + at + 7), kTarget - 1.5) << json;
    }
  }
}

TEST_F(FormatMatrix, ScanRunsOnEveryFormat) {
  for (const Survey& survey : surveys()) {
    for (const Stored& s : survey.files) {
      int rc = 0;
      const std::string text = capturedStdout(runScan, {s.name, "--json"}, rc);
      EXPECT_EQ(rc, 0) << s.name;
      EXPECT_NE(text.find('{'), std::string::npos) << s.name;
    }
  }
}

}  // namespace
}  // namespace tyq_tool
