#include "bench_vs_hdf5_compressed.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "bench_vs_hdf5_common.h"
#include "bench_vs_hdf5_zfp.h"
#include "survey_cube.h"
#include "tyq/compressor3d.h"

namespace tyq_bench::vs_hdf5 {

namespace {

// The survey mirrored to the cube size asked for (512 x 512 x 256 unless
// TYQ_BENCH_CUBE says otherwise).
bool loadCube(CompressedFixture& f) {
  Volume survey;
  std::string error;
  if (!loadSurvey(defaultSurveyPath(), survey, error)) {
    std::printf("compressed run skipped: %s\n", error.c_str());
    return false;
  }
  f.cube = mirrorTile(survey, g_size[0], g_size[1], g_size[2]).samples;
  const auto [lo, hi] = std::minmax_element(f.cube.begin(), f.cube.end());
  f.lo = *lo;
  f.hi = *hi;
  f.out.assign(f.cube.size(), 0.0f);
  return true;
}

int64_t fileBytes(const std::string& name) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(name, ec);
  return ec ? 0 : static_cast<int64_t>(size);
}

double factor(const CompressedFixture& f, const std::string& name) {
  const int64_t bytes = fileBytes(name);
  return bytes > 0 ? static_cast<double>(f.cube.size() * 4) / static_cast<double>(bytes) : 0.0;
}

double sqnrOf(const CompressedFixture& f) {
  return Qra::Ostrel::Tyq::Private::Compressor3d::calculateSQNR(static_cast<int64_t>(f.cube.size()),
                                                                f.cube.data(), f.out.data());
}

// The SQNR of the HDF5 file as stored, read back whole.
double hdfFileSqnr(CompressedFixture& f, const std::string& name) {
  const hid_t file = H5Fopen(name.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
  if (file < 0) return -1;
  const hid_t set = openDataset(file, 0);
  const Box all{{0, 0, 0}, {g_size[0], g_size[1], g_size[2]}};
  const bool ok = set >= 0 && readHdf(set, all, f.out.data());
  if (set >= 0) H5Dclose(set);
  H5Fclose(file);
  return ok ? sqnrOf(f) : -1;
}

// Writes both files of one target and finds the tolerance that matches
// tyq's achieved SQNR.
bool prepareCase(CompressedFixture& f, CompressedCase& c) {
  char tag[32];
  std::snprintf(tag, sizeof tag, "c%g", static_cast<double>(c.target));
  c.prefix = std::string(tag) + "/";
  c.tyqFile = f.dir + "/" + tag + ".vcs";
  c.hdfFile = f.dir + "/" + tag + ".h5";
  if (!writeTyqCompressed(c.tyqFile, f, c.target)) return false;
  const FA::AutoRef<FA::Reader> r = openTyq(c.tyqFile, 0, 1);
  FA::Status status;
  if (!r || !r->ReadData(0, 0, 0, 0, g_size[0], g_size[1], g_size[2], f.out.data(), &status)) {
    std::fprintf(stderr, "tyq read failed: %s\n", r ? status.message().c_str() : "cannot open");
    return false;
  }
  c.tyqSqnr = sqnrOf(f);
  double searched = 0;
  c.tolerance = searchTolerance(f.cube, c.tyqSqnr, searched);
  if (c.tolerance <= 0 || !writeZfp(c.hdfFile, f.cube, c.tolerance)) {
    std::fprintf(stderr, "HDF5+ZFP failed at the tolerance search or the write\n");
    return false;
  }
  c.hdfSqnr = hdfFileSqnr(f, c.hdfFile);
  std::printf(
      "target %g dB: tyq achieved SQNR %.2f dB (factor %.1f); HDF5+ZFP tolerance %g achieved "
      "SQNR %.2f dB (factor %.1f)\n",
      static_cast<double>(c.target), c.tyqSqnr, factor(f, c.tyqFile), c.tolerance, c.hdfSqnr,
      factor(f, c.hdfFile));
  return c.hdfSqnr > 0;
}

bool setUpCompressed(const std::vector<float>& targets) {
  CompressedFixture& f = compressedFixture();
  if (!loadCube(f)) return false;
  f.dir = MakeTempDir();
  if (f.dir.empty()) return false;
  std::printf("cube %d x %d x %d from the survey, values %g .. %g\n", g_size[0], g_size[1],
              g_size[2], static_cast<double>(f.lo), static_cast<double>(f.hi));
  for (float target : targets) {
    CompressedCase c;
    c.target = target;
    if (!prepareCase(f, c)) {
      std::fprintf(stderr, "cannot prepare the files at %g dB\n", static_cast<double>(target));
      return false;
    }
    f.cases.push_back(c);
  }
  f.shared.resize(f.cases.size());
  std::fflush(stdout);
  return true;
}

void tearDownCompressed() {
  CompressedFixture& f = compressedFixture();
  f.shared.clear();
  std::error_code ignored;
  if (!f.dir.empty()) std::filesystem::remove_all(f.dir, ignored);
}

}  // namespace

CompressedFixture& compressedFixture() {
  static CompressedFixture f;
  return f;
}

FA::AutoRef<FA::Reader> openTyq(const std::string& name, int cacheMegabytes, int threads) {
  FA::TyqOptions options;
  options.brickCacheMegabytes = cacheMegabytes;
  options.threads = threads;
  FA::AutoRef<FA::Reader> r;
  FA::Status status;
  if (FA::Tyq::CreateTyqReader(r, name, options, &status) != 0 ||
      !r->SetAccessStorageOrder(FA::StorageOrderEnum::TraceOptimized(), &status)) {
    std::fprintf(stderr, "cannot open %s: %s\n", name.c_str(), status.message().c_str());
    return FA::AutoRef<FA::Reader>();
  }
  return r;
}

bool writeTyqCompressed(const std::string& name, const CompressedFixture& f, float sqnr,
                        int threads) {
  FA::DataInfo info;
  info.SetExtent(0, 1, g_size[0], 0, 1, g_size[1], 0, 4, g_size[2], false);
  FA::TyqOptions options;
  options.sqnr = sqnr;
  options.threads = threads;
  FA::Status status;
  FA::AutoRef<FA::Writer> writer;
  bool ok =
      FA::Tyq::CreateTyqWriter(writer, name, info, FA::DataTypeEnum::Float32, options, &status,
                               f.lo, f.hi) == 0 &&
      writer->SetAccessStorageOrder(FA::StorageOrderEnum::TraceOptimized(), &status) &&
      writer->WriteData(0, 0, 0, 0, g_size[0], g_size[1], g_size[2], f.cube.data(), &status) &&
      writer->Finalize(false, true, &status);
  writer = FA::AutoRef<FA::Writer>();
  if (!ok) std::fprintf(stderr, "tyq write failed: %s\n", status.message().c_str());
  syncFile(name);
  return ok;
}

bool takeCompressedFlags(int& argc, char** argv, std::vector<float>& targets) {
  bool compressed = false;
  int kept = 1;
  for (int n = 1; n < argc; ++n) {
    if (std::strcmp(argv[n], "--compressed") == 0) {
      compressed = true;
    } else if (std::strncmp(argv[n], "--sqnr=", 7) == 0) {
      targets.clear();
      for (const char* p = argv[n] + 7; *p;) {
        char* end = nullptr;
        const float v = std::strtof(p, &end);
        if (end == p) break;
        if (v > 0) targets.push_back(v);
        p = *end == ',' ? end + 1 : end;
      }
    } else {
      argv[kept++] = argv[n];
    }
  }
  argc = kept;
  if (targets.empty()) targets = {20, 30, 40};
  return compressed;
}

int runCompressed(const std::vector<float>& targets) {
  std::string why;
  if (!zfpAvailable(why)) {
    std::printf("compressed run skipped: %s\n", why.c_str());
    return 0;
  }
  if (!setUpCompressed(targets)) {
    const bool noCube = compressedFixture().cube.empty();
    tearDownCompressed();
    return noCube ? 0 : 1;
  }
  registerCompressed();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  printCompressedRatios(reporter);
  tearDownCompressed();
  return 0;
}

}  // namespace tyq_bench::vs_hdf5
