#pragma once

// The compressed run of bench_vs_hdf5 (flag --compressed): tyq's compressed
// files against HDF5 with the ZFP filter at the same achieved SQNR.
#include <string>
#include <vector>

#include "ratio_reporter.h"
#include "tyq/tyq.h"

namespace tyq_bench::vs_hdf5 {

namespace FA = Qra::Ostrel::Tyq::FileAccess;

// One quality target: a tyq file written at it and an HDF5+ZFP file whose
// tolerance gives the SQNR the tyq file achieved.
struct CompressedCase {
  float target = 0;
  std::string tyqFile, hdfFile;
  double tolerance = 0;
  double tyqSqnr = 0, hdfSqnr = 0;
  std::string prefix;  // "c30/" for target 30
};

struct CompressedFixture {
  std::string dir;
  std::vector<float> cube, out;
  float lo = 0, hi = 0;
  std::vector<CompressedCase> cases;
  // Per case: the reader the caller threads share.
  std::vector<FA::AutoRef<FA::Reader>> shared;
};

CompressedFixture& compressedFixture();

// Opens `name` for reading in the trace-optimised order; `cacheMegabytes`
// and `threads` as TyqOptions take them. Empty on failure.
FA::AutoRef<FA::Reader> openTyq(const std::string& name, int cacheMegabytes, int threads);

// Writes the cube as a compressed tyq file at `sqnr` with statistics,
// histogram and every level of detail, then fdatasyncs.
bool writeTyqCompressed(const std::string& name, const CompressedFixture& f, float sqnr,
                        int threads = 1);

// Registers every compressed benchmark of every case.
void registerCompressed();

void printCompressedRatios(const RatioReporter& reporter);

// Parses "--compressed" and "--sqnr=A,B,.." out of argv (removing them);
// true when the compressed run was asked for.
bool takeCompressedFlags(int& argc, char** argv, std::vector<float>& targets);

// Runs the compressed benchmarks at `targets`; the program's exit code.
// Says why and returns 0 when the survey or the ZFP filter is missing.
int runCompressed(const std::vector<float>& targets);

}  // namespace tyq_bench::vs_hdf5
