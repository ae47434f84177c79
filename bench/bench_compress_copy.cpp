// The compress copy of a 512 x 512 x 256 float volume to 30 dB from 1 and 2
// threads, against the block coder alone compressing the same bricks (the
// copy's own limit); and the size scan of 100 bricks against coding those
// bricks at all 31 quality levels. --small runs a 128^3 cube and a scan of
// its 8 bricks (the smoke run).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ratio_reporter.h"
#include "tools/work_items.h"
#include "tyq/compress_tools.h"
#include "tyq/compressor3d.h"
#include "tyq/tyq.h"

namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
namespace Tyq = Qra::Ostrel::Tyq;
using Qra::Ostrel::Tyq::Private::CompDataFloat;
using Qra::Ostrel::Tyq::Private::CompressedBlock3d;
using Qra::Ostrel::Tyq::Private::Compressor3d;

constexpr int kB = 64;
constexpr float kSqnr = 30.0f;
constexpr unsigned kDrawSeed = 7;

int gSize[3] = {512, 512, 256};
int gScanBricks = 100;

struct Fixture {
  std::string dir, input;
  int64_t inputBytes = 0;
  // Every brick the copy codes (all levels), axis 0 fastest, with the
  // quality the writer asks for at its level.
  std::vector<std::vector<float>> bricks;
  std::vector<float> targets;
  std::vector<std::vector<float>> scanBricks;  // the bricks the scan draws
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

// Dipping reflectors of varying strength with a little noise.
float sample(int i, int j, int k, std::minstd_rand& rng) {
  std::uniform_real_distribution<float> noise(-25.0f, 25.0f);
  const double z = k - 0.15 * i - 0.07 * j - 6.0 * std::sin(0.013 * i + 0.021 * j);
  return static_cast<float>(900.0 * std::sin(0.31 * z) * std::sin(0.023 * z + 0.4) + noise(rng));
}

bool writeInput(const std::string& name) {
  FA::DataInfo info;
  info.SetExtent(0, 1, gSize[0], 0, 1, gSize[1], 0, 4, gSize[2], false);
  FA::AutoRef<FA::Writer> writer;
  if (FA::Tyq::CreateTyqWriter(writer, name, info, FA::DataTypeEnum::Float32, FA::TyqOptions(),
                               nullptr, -1000, 1000) != 0 ||
      !writer->SetAccessStorageOrder(FA::StorageOrderEnum::TraceOptimized(), nullptr)) {
    return false;
  }
  std::minstd_rand rng(11);
  std::vector<float> slab(static_cast<size_t>(gSize[1]) * gSize[2]);
  for (int i = 0; i < gSize[0]; ++i) {
    size_t n = 0;
    for (int j = 0; j < gSize[1]; ++j) {
      for (int k = 0; k < gSize[2]; ++k) slab[n++] = sample(i, j, k, rng);
    }
    if (!writer->WriteData(0, i, 0, 0, 1, gSize[1], gSize[2], slab.data(), nullptr)) return false;
  }
  return writer->Finalize(false, true, nullptr);
}

float levelTarget(int level) {
  if (level == 0 || kSqnr <= 15.0f) return kSqnr;
  if (kSqnr > 35.0f) return 30.0f;
  return kSqnr > 20.0f ? kSqnr - 5.0f : 15.0f;
}

// Reads every brick of every level of the input, as the copy sees them.
bool loadBricks(Fixture& f) {
  FA::AutoRef<FA::Reader> reader;
  FA::FileInfo info;
  if (FA::Tyq::CreateTyqReader(reader, f.input, FA::TyqOptions(), nullptr) != 0 ||
      !reader->SetAccessStorageOrder(FA::StorageOrderEnum::TraditionalTyq(), nullptr) ||
      !reader->GetFileInfo(info, nullptr)) {
    return false;
  }
  for (int level = 0; level < info.numberOfLods; ++level) {
    int n[3];
    for (int a = 0; a < 3; ++a) n[a] = ((gSize[a] - 1) >> level) + 1;
    for (int i = 0; i < n[0]; i += kB) {
      for (int j = 0; j < n[1]; j += kB) {
        for (int k = 0; k < n[2]; k += kB) {
          std::vector<float> brick(size_t{kB} * kB * kB, 0.0f);
          const int s[3] = {std::min(kB, n[0] - i), std::min(kB, n[1] - j), std::min(kB, n[2] - k)};
          std::vector<float> box(static_cast<size_t>(s[0]) * s[1] * s[2]);
          if (!reader->ReadData(level, i, j, k, s[0], s[1], s[2], box.data(), nullptr)) {
            return false;
          }
          for (int c = 0; c < s[2]; ++c) {
            for (int b = 0; b < s[1]; ++b) {
              std::memcpy(&brick[(size_t(c) * kB + b) * kB], &box[(size_t(c) * s[1] + b) * s[0]],
                          size_t(s[0]) * 4);
            }
          }
          f.bricks.push_back(std::move(brick));
          f.targets.push_back(levelTarget(level));
        }
      }
    }
  }
  return true;
}

// The bricks a scan draws after std::srand(kDrawSeed).
bool loadScanBricks(Fixture& f) {
  Tyq::TyqCompressIO::Reader reader;
  if (!reader.open(f.input, FA::StorageOrderEnum::TraditionalTyq(), nullptr)) return false;
  std::srand(kDrawSeed);
  const auto items = Qra::Ostrel::Tyq::Private::Tools::ScanItems(reader);
  for (size_t n = 0; n < items.size() && n < static_cast<size_t>(gScanBricks); ++n) {
    std::vector<float> brick(size_t{kB} * kB * kB);
    if (!reader.read(items[n], brick.data(), nullptr)) return false;
    f.scanBricks.push_back(std::move(brick));
  }
  return true;
}

bool setUp() {
  Fixture& f = fixture();
  f.dir = tyq_bench::MakeTempDir();
  if (f.dir.empty()) return false;
  f.input = f.dir + "/input.vbs";
  if (!writeInput(f.input) || !loadBricks(f) || !loadScanBricks(f)) return false;
  f.inputBytes = int64_t{gSize[0]} * gSize[1] * gSize[2] * 4;
  return true;
}

void tearDown() {
  std::error_code ignored;
  std::filesystem::remove_all(fixture().dir, ignored);
}

// How often the copy's threads gave up the processor: waiting for a lock
// or for I/O (voluntary), or taken off it for other work (involuntary).
struct Switches {
  std::atomic<int64_t> voluntary{0}, involuntary{0};
};

// One copy from `threads` threads of our own, each taking the next item.
bool copyOnce(const std::string& output, int threads, Switches& switches) {
  Tyq::TyqCompressCopy copy(fixture().input, output, kSqnr, false, nullptr, nullptr);
  if (!copy.open(threads)) return false;
  std::atomic<int> next{0};
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t) {
    pool.emplace_back([&, t] {
      for (int item = next++; item < copy.size(); item = next++) copy.copy(item, t);
      rusage usage = {};
      getrusage(RUSAGE_THREAD, &usage);
      switches.voluntary += usage.ru_nvcsw;
      switches.involuntary += usage.ru_nivcsw;
    });
  }
  for (std::thread& th : pool) th.join();
  return copy.close();
}

void BM_Copy(benchmark::State& state) {
  const std::string output = fixture().dir + "/copy.vcs";
  Switches switches;
  for (auto _ : state) {
    if (!copyOnce(output, static_cast<int>(state.range(0)), switches)) {
      state.SkipWithError("copy failed");
    }
    state.PauseTiming();
    std::filesystem::remove(output);
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * fixture().inputBytes);
  const double runs = static_cast<double>(std::max<int64_t>(state.iterations(), 1));
  state.counters["waits"] = static_cast<double>(switches.voluntary.load()) / runs;
  state.counters["preempted"] = static_cast<double>(switches.involuntary.load()) / runs;
}

// The coder alone on every brick the copy codes, one thread.
void BM_Codec(benchmark::State& state) {
  Fixture& f = fixture();
  Compressor3d codec;
  CompressedBlock3d block;
  std::vector<float> work;
  for (auto _ : state) {
    for (size_t n = 0; n < f.bricks.size(); ++n) {
      work = f.bricks[n];
      codec.PrepareCompress(&block, CompDataFloat, work.data(), nullptr, f.targets[n], true, false);
      if (!codec.Execute() || !block.PackData()) state.SkipWithError("compress failed");
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * f.inputBytes);
}

void BM_Scan(benchmark::State& state) {
  for (auto _ : state) {
    std::srand(kDrawSeed);
    if (!Tyq::TyqCompressScan::run(fixture().input, gScanBricks, nullptr, nullptr)) {
      state.SkipWithError("scan failed");
    }
  }
}

// The scan's bricks coded at each of the 31 quality levels.
void BM_Code31(benchmark::State& state) {
  Fixture& f = fixture();
  Compressor3d codec;
  CompressedBlock3d block;
  for (auto _ : state) {
    for (std::vector<float>& brick : f.scanBricks) {
      for (int q = 0; q < Compressor3d::getNrOfQualityLevels(); ++q) {
        codec.PrepareCompress(&block, CompDataFloat, brick.data(), nullptr, static_cast<float>(q),
                              false, false);
        if (!codec.Execute() || !block.PackData()) state.SkipWithError("compress failed");
      }
    }
  }
}

// Also keeps the process CPU time per iteration: on a machine shared with
// other work the wall times of the threaded copy say little, while its CPU
// time against one thread's still shows any work the threads add.
class CpuReporter : public tyq_bench::RatioReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.iterations > 0) cpu_[run.run_name.function_name] = run.GetAdjustedCPUTime();
    }
    RatioReporter::ReportRuns(runs);
  }
  void printCpuRatio(const char* label, const std::string& ours, const std::string& baseline) {
    if (!cpu_.count(ours) || !cpu_.count(baseline) || cpu_[baseline] <= 0) return;
    std::printf("ratio %-28s %s / %s CPU = %.3f\n", label, ours.c_str(), baseline.c_str(),
                cpu_[ours] / cpu_[baseline]);
  }

 private:
  std::map<std::string, double> cpu_;
};

}  // namespace

int main(int argc, char** argv) {
  int kept = 1;
  for (int a = 1; a < argc; ++a) {
    if (std::strcmp(argv[a], "--small") == 0) {
      gSize[0] = gSize[1] = gSize[2] = 128;
      gScanBricks = 8;
    } else {
      argv[kept++] = argv[a];
    }
  }
  argc = kept;
  benchmark::Initialize(&argc, argv);
  if (!setUp()) {
    std::fprintf(stderr, "cannot prepare the input volume\n");
    tearDown();
    return 1;
  }
  std::printf("cube %d x %d x %d, %zu bricks coded by a copy, scan of %zu bricks\n", gSize[0],
              gSize[1], gSize[2], fixture().bricks.size(), fixture().scanBricks.size());
  // Wall time for the ratios, process CPU time beside it; seconds.
  const auto add = [](const std::string& name, void (*fn)(benchmark::State&)) {
    return benchmark::RegisterBenchmark(name.c_str(), fn)
        ->MeasureProcessCPUTime()
        ->UseRealTime()
        ->Unit(benchmark::kSecond);
  };
  add("copy/1", BM_Copy)->Arg(1);
  add("copy/2", BM_Copy)->Arg(2);
  add("codec", BM_Codec);
  add("scan", BM_Scan);
  add("code31", BM_Code31);
  CpuReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printRatio("copy 1 thread/2 threads", "copy/1", "copy/2");
  reporter.printRatio("copy 1 thread/codec", "copy/1", "codec");
  reporter.printRatio("scan/31 codings", "scan", "code31");
  reporter.printCpuRatio("copy 2 threads/1 thread", "copy/2", "copy/1");
  reporter.printCpuRatio("copy 1 thread/codec", "copy/1", "codec");
  reporter.printCpuRatio("scan/31 codings", "scan", "code31");
  tearDown();
  benchmark::Shutdown();
  return 0;
}
