// tyq import-segy against segyio's own reading of the same SEG-Y file into
// memory, its natural limit: an IEEE-float survey of 512 x 512 x 256 samples
// (the benchmark cube, written with segyio). The import includes the
// level-of-detail pyramid, histogram and statistics and making the file
// durable.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <segyio/segy.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "ratio_reporter.h"
#include "segy_import.h"
#include "survey_cube.h"

namespace {

std::string gDir, gSurvey;

bool writeSurvey(const tyq_bench::Volume& v, const std::string& path) {
  segy_file* fp = segy_open(path.c_str(), "w+b");
  if (!fp) return false;
  const std::string text(3200, ' ');
  char bin[SEGY_BINARY_HEADER_SIZE] = {};
  segy_set_bfield(bin, SEGY_BIN_INTERVAL, 4000);
  segy_set_bfield(bin, SEGY_BIN_SAMPLES, v.nk);
  segy_set_bfield(bin, SEGY_BIN_FORMAT, SEGY_IEEE_FLOAT_4_BYTE);
  bool ok = segy_write_textheader(fp, 0, text.c_str()) == SEGY_OK &&
            segy_write_binheader(fp, bin) == SEGY_OK;
  segy_set_format(fp, SEGY_IEEE_FLOAT_4_BYTE);
  const int bytes = segy_trsize(SEGY_IEEE_FLOAT_4_BYTE, v.nk);
  std::vector<float> trace(static_cast<size_t>(v.nk));
  char header[SEGY_TRACE_HEADER_SIZE];
  for (int t = 0; ok && t < v.ni * v.nj; ++t) {
    std::fill(header, header + SEGY_TRACE_HEADER_SIZE, '\0');
    segy_set_field(header, SEGY_TR_INLINE, 100 + t / v.nj);
    segy_set_field(header, SEGY_TR_CROSSLINE, 500 + t % v.nj);
    segy_set_field(header, SEGY_TR_CDP_X, 400000 + 25 * (t / v.nj));
    segy_set_field(header, SEGY_TR_CDP_Y, 6000000 + 25 * (t % v.nj));
    std::copy_n(&v.samples[v.index(t / v.nj, t % v.nj, 0)], v.nk, trace.begin());
    segy_from_native(SEGY_IEEE_FLOAT_4_BYTE, v.nk, trace.data());
    ok = segy_write_traceheader(fp, t, header, 3600, bytes) == SEGY_OK &&
         segy_writetrace(fp, t, trace.data(), 3600, bytes) == SEGY_OK;
  }
  return segy_close(fp) == SEGY_OK && ok;
}

void BM_SegyioRead(benchmark::State& state) {
  for (auto _ : state) {
    tyq_bench::Volume v;
    std::string error;
    if (!tyq_bench::loadSurvey(gSurvey, v, error)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(v.samples.data());
  }
}

void BM_TyqImport(benchmark::State& state) {
  const std::string out = gDir + "/imported.vbs";
  for (auto _ : state) {
    // Each import makes a new file: freeing the previous iteration's output
    // (about 0.1 s for 300 MB) is not part of importing.
    state.PauseTiming();
    std::filesystem::remove(out);
    state.ResumeTiming();
    // The progress lines would mix with the report.
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    std::string a = gSurvey, b = out;
    char* argv[] = {a.data(), b.data()};
    const int rc = tyq_tool::runImportSegy(2, argv);
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    ::close(null);
    if (rc != 0) state.SkipWithError("import failed");
  }
}

BENCHMARK(BM_SegyioRead)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_TyqImport)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  tyq_bench::Volume cube;
  std::string error;
  if (!tyq_bench::loadBenchmarkCube(cube, error)) {
    std::printf("bench_segy_import skipped: %s\n", error.c_str());
    return 0;
  }
  gDir = tyq_bench::MakeTempDir();
  gSurvey = gDir + "/cube.sgy";
  if (gDir.empty() || !writeSurvey(cube, gSurvey)) {
    std::printf("bench_segy_import skipped: cannot write %s\n", gSurvey.c_str());
    return 0;
  }
  cube.samples = {};
  benchmark::Initialize(&argc, argv);
  tyq_bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  // Speed ratio: the goal is at least 0.7 (the import no slower than 1/0.7
  // times segyio's read).
  reporter.printRatio("segy-import-speed", "BM_SegyioRead", "BM_TyqImport");
  std::filesystem::remove_all(gDir);
  return 0;
}
