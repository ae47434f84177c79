// The uncompressed format against the store most users would pick instead:
// HDF5 with 64^3 chunks and no filters, on the same float cube and the same
// requests in one run, warm page cache, one thread. Reads: the whole cube,
// 200 unaligned 64^3 boxes, 50 inline, crossline and time slices, HDF5 with
// its default chunk cache and with a 1 GiB one, and memcpy of the same
// bytes from the cube in memory into the same warm buffer. Writes (each
// followed by fdatasync): level 0 with statistics and histogram, and with
// the whole pyramid, against HDF5's plain write and pwrite of the same
// bytes, each the best of five. "speed" lines print baseline time / tyq
// time.
//
// --compressed runs the compressed comparison instead (see
// bench_vs_hdf5_compressed_runs.cpp): a cube made from the survey, written
// by tyq at each SQNR of --sqnr=A,B,.. (default 20,30,40) and by HDF5 with
// the ZFP filter at the tolerance whose achieved SQNR is nearest tyq's;
// reads fresh and warm at equal (1 GiB) and default cache budgets, with
// the reader's pool at 1 and 2 threads, from 1 and 2 caller threads, in
// one call against aligned bricks, and the write of both. Its benchmark
// names start with the target, e.g. c30/. It says so and skips when the
// survey or HDF5's ZFP plugin is missing.
//
// TYQ_BENCH_CUBE=NI,NJ,NK picks another cube size (the smoke run uses a
// small one); every axis must exceed 64.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <hdf5.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench_vs_hdf5_common.h"
#ifdef TYQ_VS_HDF5_COMPRESSED
#include "bench_vs_hdf5_compressed.h"
#endif
#include "ratio_reporter.h"
#include "tyq/tyq.h"

namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
using namespace tyq_bench::vs_hdf5;

struct Fixture {
  std::string dir, tyqFile, hdfFile, hdfCachedFile;
  FA::AutoRef<FA::Reader> reader;
  hid_t plainFile = -1, cachedFile = -1, plainSet = -1, cachedSet = -1;
  std::vector<float> cube, out;
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

// A smooth field with some noise, so statistics and histogram see real values.
void fillCube(std::vector<float>& cube) {
  cube.resize(static_cast<size_t>(cubeSamples()));
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> noise(-0.1f, 0.1f);
  size_t n = 0;
  for (int i = 0; i < g_size[0]; ++i) {
    for (int j = 0; j < g_size[1]; ++j) {
      for (int k = 0; k < g_size[2]; ++k) {
        cube[n++] = static_cast<float>((i * 7 + j * 3 + k) % 200) * 0.01f - 1.0f + noise(rng);
      }
    }
  }
}

// Writes the cube through a tyq writer and flushes; pyramid or level 0 only.
bool writeTyq(const std::string& name, const std::vector<float>& cube, bool pyramid) {
  FA::DataInfo info;
  info.SetExtent(0, 1, g_size[0], 0, 1, g_size[1], 0, 4, g_size[2], false);
  FA::AutoRef<FA::Writer> writer;
  // Without the pyramid the levels must not be built as bricks complete
  // either: level 0 alone is measured.
  FA::TyqOptions options;
  options.noAutoFlush = !pyramid;
  if (FA::PoststackSeis3dBrickedAccessorFactory::CreateWriter(
          writer, name, info, FA::DataTypeEnum::Float32, options, nullptr, -2.0f, 2.0f, 0) != 0) {
    return false;
  }
  if (!writer->SetAccessStorageOrder(FA::StorageOrderEnum::TraceOptimized(), nullptr) ||
      !writer->WriteData(0, 0, 0, 0, g_size[0], g_size[1], g_size[2], cube.data(), nullptr) ||
      !writer->Flush(false, pyramid, nullptr)) {
    return false;
  }
  writer = FA::AutoRef<FA::Writer>();
  syncFile(name);
  return true;
}

hid_t createDataset(hid_t file) {
  const hsize_t dims[3] = {static_cast<hsize_t>(g_size[0]), static_cast<hsize_t>(g_size[1]),
                           static_cast<hsize_t>(g_size[2])};
  const hsize_t chunk[3] = {kChunk, kChunk, kChunk};
  const hid_t space = H5Screate_simple(3, dims, nullptr);
  const hid_t dcpl = H5Pcreate(H5P_DATASET_CREATE);
  H5Pset_chunk(dcpl, 3, chunk);
  const hid_t set =
      H5Dcreate2(file, "cube", H5T_NATIVE_FLOAT, space, H5P_DEFAULT, dcpl, H5P_DEFAULT);
  H5Pclose(dcpl);
  H5Sclose(space);
  return set;
}

bool writeHdf(const std::string& name, const std::vector<float>& cube) {
  const hid_t file = H5Fcreate(name.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT);
  if (file < 0) return false;
  const hid_t set = createDataset(file);
  const bool ok =
      set >= 0 && H5Dwrite(set, H5T_NATIVE_FLOAT, H5S_ALL, H5S_ALL, H5P_DEFAULT, cube.data()) >= 0;
  if (set >= 0) H5Dclose(set);
  H5Fclose(file);
  syncFile(name);
  return ok;
}

bool writePlain(const std::string& name, const std::vector<float>& cube) {
  const int fd = ::open(name.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
  if (fd < 0) return false;
  const auto* bytes = reinterpret_cast<const char*>(cube.data());
  const size_t total = cube.size() * sizeof(float);
  bool ok = true;
  for (size_t done = 0; ok && done < total;) {
    const size_t piece = std::min<size_t>(total - done, size_t{8} << 20);
    const ssize_t n = ::pwrite(fd, bytes + done, piece, static_cast<off_t>(done));
    ok = n > 0;
    done += ok ? static_cast<size_t>(n) : 0;
  }
  ok = ::fdatasync(fd) == 0 && ok;
  ::close(fd);
  return ok;
}

bool setUp() {
  Fixture& f = fixture();
  f.dir = tyq_bench::MakeTempDir();
  if (f.dir.empty()) return false;
  f.tyqFile = f.dir + "/cube.vbs";
  // HDF5 shares one chunk cache among all opens of a dataset, so each cache
  // size gets a file of its own.
  f.hdfFile = f.dir + "/cube.h5";
  f.hdfCachedFile = f.dir + "/cube-cached.h5";
  fillCube(f.cube);
  f.out.assign(f.cube.size(), 0.0f);
  if (!writeTyq(f.tyqFile, f.cube, true) || !writeHdf(f.hdfFile, f.cube) ||
      !writeHdf(f.hdfCachedFile, f.cube)) {
    return false;
  }
  if (FA::Tyq::CreateTyqReader(f.reader, f.tyqFile, FA::TyqOptions(), nullptr) != 0 ||
      !f.reader->SetAccessStorageOrder(FA::StorageOrderEnum::TraceOptimized(), nullptr)) {
    return false;
  }
  f.plainFile = H5Fopen(f.hdfFile.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
  f.cachedFile = H5Fopen(f.hdfCachedFile.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
  if (f.plainFile < 0 || f.cachedFile < 0) return false;
  f.plainSet = openDataset(f.plainFile, 0);
  f.cachedSet = openDataset(f.cachedFile, size_t{1} << 30);
  if (f.plainSet < 0 || f.cachedSet < 0) return false;
  // Warm: the large chunk cache holds every chunk, the mapping every page.
  const Box all{{0, 0, 0}, {g_size[0], g_size[1], g_size[2]}};
  return readHdf(f.cachedSet, all, f.out.data()) &&
         f.reader->ReadData(0, 0, 0, 0, g_size[0], g_size[1], g_size[2], f.out.data(), nullptr);
}

void tearDown() {
  Fixture& f = fixture();
  f.reader = FA::AutoRef<FA::Reader>();
  if (f.plainSet >= 0) H5Dclose(f.plainSet);
  if (f.cachedSet >= 0) H5Dclose(f.cachedSet);
  if (f.plainFile >= 0) H5Fclose(f.plainFile);
  if (f.cachedFile >= 0) H5Fclose(f.cachedFile);
  std::error_code ignored;
  std::filesystem::remove_all(f.dir, ignored);
}

// The bytes of `b` copied from the cube in memory into `out` laid out as a
// read returns them: the least any reader must do. Runs that are whole
// rows of the cube are joined, so the whole cube is one memcpy, which glibc
// streams past the cache above 190 MiB here, as tyq does above 32 MiB;
// copying in cached pieces instead measured half as fast. The source is
// the cube itself: an untouched (zero-page) source reads one cached page
// and roughly doubles the figure.
void copySameBytes(const float* cube, const Box& b, float* out) {
  const int64_t nj = g_size[1], nk = g_size[2];
  const bool joined = b.size[1] == nj && b.size[2] == nk;
  const int64_t runs = joined ? 1 : int64_t{b.size[0]} * b.size[1];
  const int64_t run = joined ? b.samples() : b.size[2];
  for (int64_t r = 0; r < runs; ++r) {
    const int64_t i = b.start[0] + (joined ? 0 : r / b.size[1]);
    const int64_t j = b.start[1] + (joined ? 0 : r % b.size[1]);
    const float* from = cube + (i * nj + j) * nk + b.start[2];
    // A time slice is one sample per trace: a call per sample would
    // measure the calls.
    if (run == 1) {
      out[r] = *from;
    } else {
      std::memcpy(out + r * run, from, static_cast<size_t>(run) * sizeof(float));
    }
  }
}

// Reader 0: tyq, 1: HDF5 default cache, 2: HDF5 1 GiB cache, 3: memcpy of
// the same bytes.
void BM_Read(benchmark::State& state) {
  Fixture& f = fixture();
  const std::vector<Box> boxes = workload(static_cast<int>(state.range(0)));
  const int who = static_cast<int>(state.range(1));
  int64_t bytes = 0;
  for (auto _ : state) {
    for (const Box& b : boxes) {
      bool ok = true;
      if (who == 0) {
        ok = f.reader->ReadData(0, b.start[0], b.start[1], b.start[2], b.size[0], b.size[1],
                                b.size[2], f.out.data(), nullptr);
      } else if (who == 3) {
        copySameBytes(f.cube.data(), b, f.out.data());
      } else {
        ok = readHdf(who == 1 ? f.plainSet : f.cachedSet, b, f.out.data());
      }
      benchmark::ClobberMemory();
      if (!ok) state.SkipWithError("read failed");
      bytes += b.samples() * 4;
    }
  }
  state.SetBytesProcessed(bytes);
}

// One reader shared by the benchmark's threads, each reading its share of
// the boxes into a buffer of its own: how reads scale with threads.
void BM_SharedReader(benchmark::State& state) {
  Fixture& f = fixture();
  const std::vector<Box> boxes = workload(1);
  std::vector<float> out(static_cast<size_t>(boxes[0].samples()));
  int64_t bytes = 0;
  for (auto _ : state) {
    for (size_t n = static_cast<size_t>(state.thread_index()); n < boxes.size();
         n += static_cast<size_t>(state.threads())) {
      const Box& b = boxes[n];
      if (!f.reader->ReadData(0, b.start[0], b.start[1], b.start[2], b.size[0], b.size[1],
                              b.size[2], out.data(), nullptr)) {
        state.SkipWithError("read failed");
      }
      bytes += b.samples() * 4;
    }
  }
  state.SetBytesProcessed(bytes);
}

const char* kWrites[] = {"tyq-level0", "tyq-pyramid", "hdf5", "pwrite"};

void BM_Write(benchmark::State& state) {
  Fixture& f = fixture();
  const int who = static_cast<int>(state.range(0));
  const std::string name = f.dir + "/written" + std::to_string(who);
  for (auto _ : state) {
    const bool ok = who <= 1   ? writeTyq(name, f.cube, who == 1)
                    : who == 2 ? writeHdf(name, f.cube)
                               : writePlain(name, f.cube);
    if (!ok) state.SkipWithError("write failed");
    state.PauseTiming();
    std::filesystem::remove(name);
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * cubeSamples() * 4);
}

const char* kWho[] = {"tyq", "hdf5-default", "hdf5-1GiB", "memcpy"};

void registerAll() {
  for (int w = 0; w < 5; ++w) {
    for (int who = 0; who < 4; ++who) {
      benchmark::RegisterBenchmark((std::string(kWho[who]) + "/" + kReads[w]).c_str(), BM_Read)
          ->Args({w, who})
          ->MinTime(0.3)
          ->UseRealTime();
    }
  }
  for (int threads = 1; threads <= 2; ++threads) {
    benchmark::RegisterBenchmark(("shared-reader/boxes-" + std::to_string(threads)).c_str(),
                                 BM_SharedReader)
        ->Threads(threads)
        ->MinTime(0.3)
        ->UseRealTime();
  }
  for (int who = 0; who < 4; ++who) {
    // The disk's speed wanders from one write to the next here (a write
    // may wait 0.5 s for the device); the best of five is what each
    // writer can do.
    benchmark::RegisterBenchmark((std::string("write/") + kWrites[who]).c_str(), BM_Write)
        ->Arg(who)
        ->Iterations(1)
        ->Repetitions(5)
        ->ComputeStatistics(
            "min",
            [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); })
        ->ReportAggregatesOnly(true)
        ->UseRealTime();
  }
}

void printRatios(const tyq_bench::RatioReporter& reporter) {
  for (const char* w : kReads) {
    const std::string ours = std::string("tyq/") + w;
    reporter.printSpeed((std::string(w) + " vs hdf5 default").c_str(), ours,
                        std::string("hdf5-default/") + w);
    reporter.printSpeed((std::string(w) + " vs hdf5 1GiB cache").c_str(), ours,
                        std::string("hdf5-1GiB/") + w);
    reporter.printSpeed((std::string(w) + " vs memcpy").c_str(), ours, std::string("memcpy/") + w);
  }
  reporter.printSpeed("2 threads vs 1, one reader", "shared-reader/boxes-2",
                      "shared-reader/boxes-1", 2);
  reporter.printSpeed("level 0 write vs hdf5", "write/tyq-level0", "write/hdf5");
  reporter.printSpeed("level 0 write vs pwrite", "write/tyq-level0", "write/pwrite");
  reporter.printSpeed("pyramid write vs pwrite", "write/tyq-pyramid", "write/pwrite");
}

}  // namespace

int main(int argc, char** argv) {
#ifdef TYQ_VS_HDF5_COMPRESSED
  std::vector<float> targets;
  const bool compressed = takeCompressedFlags(argc, argv, targets);
#else
  for (int n = 1; n < argc; ++n) {
    if (std::strcmp(argv[n], "--compressed") == 0) {
      std::printf("compressed run not built: it needs segyio and zfp for the survey cube\n");
      return 0;
    }
  }
#endif
  benchmark::Initialize(&argc, argv);
  if (!readCubeSize()) {
    std::fprintf(stderr, "TYQ_BENCH_CUBE wants NI,NJ,NK, each above 64\n");
    return 1;
  }
#ifdef TYQ_VS_HDF5_COMPRESSED
  if (compressed) {
    const int code = runCompressed(targets);
    benchmark::Shutdown();
    return code;
  }
#endif
  if (!setUp()) {
    std::fprintf(stderr, "cannot prepare the test volumes\n");
    tearDown();
    return 1;
  }
  registerAll();
  tyq_bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  printRatios(reporter);
  tearDown();
  benchmark::Shutdown();
  return 0;
}
