// Peak memory of tyq import-segy on a 2 GB synthetic survey. Slow (writes
// and imports 2 GB twice over), so disabled by default; run it with
//   tyq_apps_tests --gtest_also_run_disabled_tests --gtest_filter='*LargeSurvey*'
// (TMPDIR chooses where the 4 GB of files go).
#include <gtest/gtest.h>
#include <segyio/segy.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "segy_import.h"
#include "support/temp_dir.h"

namespace tyq_tool {
namespace {

// Inline-sorted IEEE floats through segyio's own writer: 700 x 750 traces of
// 1000 samples, 2.1 GB.
bool writeSyntheticSurvey(const std::string& path, int ni, int nj, int nk) {
  segy_file* fp = segy_open(path.c_str(), "w+b");
  if (!fp) return false;
  std::string text(3200, ' ');
  char bin[SEGY_BINARY_HEADER_SIZE] = {};
  segy_set_bfield(bin, SEGY_BIN_INTERVAL, 4000);
  segy_set_bfield(bin, SEGY_BIN_SAMPLES, nk);
  segy_set_bfield(bin, SEGY_BIN_FORMAT, SEGY_IEEE_FLOAT_4_BYTE);
  bool ok = segy_write_textheader(fp, 0, text.c_str()) == SEGY_OK &&
            segy_write_binheader(fp, bin) == SEGY_OK;
  segy_set_format(fp, SEGY_IEEE_FLOAT_4_BYTE);
  const int bytes = segy_trsize(SEGY_IEEE_FLOAT_4_BYTE, nk);
  std::vector<float> trace(static_cast<size_t>(nk));
  char header[SEGY_TRACE_HEADER_SIZE];
  for (int t = 0; ok && t < ni * nj; ++t) {
    std::fill(header, header + SEGY_TRACE_HEADER_SIZE, '\0');
    segy_set_field(header, SEGY_TR_INLINE, 1000 + t / nj);
    segy_set_field(header, SEGY_TR_CROSSLINE, 2000 + t % nj);
    segy_set_field(header, SEGY_TR_CDP_X, 400000 + 25 * (t / nj));
    segy_set_field(header, SEGY_TR_CDP_Y, 6000000 + 25 * (t % nj));
    for (int k = 0; k < nk; ++k) trace[k] = std::sin(0.05f * k + 0.01f * (t % 97));
    segy_from_native(SEGY_IEEE_FLOAT_4_BYTE, nk, trace.data());
    ok = segy_write_traceheader(fp, t, header, 3600, bytes) == SEGY_OK &&
         segy_writetrace(fp, t, trace.data(), 3600, bytes) == SEGY_OK;
  }
  return segy_close(fp) == SEGY_OK && ok;
}

TEST(SegyMemory, DISABLED_LargeSurveyImportsInBoundedMemory) {
  tyq_test::TempDir dir;
  ASSERT_TRUE(writeSyntheticSurvey(dir.file("big.sgy"), 700, 750, 1000));
  const pid_t child = ::fork();
  if (child == 0) {
    std::freopen("/dev/null", "w", stdout);
    std::string a = dir.file("big.sgy"), b = dir.file("big.vbs");
    char* argv[] = {a.data(), b.data()};
    ::_exit(runImportSegy(2, argv));
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  rusage usage = {};
  ::getrusage(RUSAGE_CHILDREN, &usage);
  const double peakMb = usage.ru_maxrss / 1024.0;
  std::printf("peak resident memory of the import: %.1f MB\n", peakMb);
  EXPECT_LT(peakMb, 300.0);
}

}  // namespace
}  // namespace tyq_tool
