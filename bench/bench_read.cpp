// Reading boxes through the uncompressed accessor from a file in the page
// cache: whole volume, unaligned boxes, inline and time slices, and a coarse
// level, as float from a float file and as int16 from an int16 file. Each
// workload is paired with memcpy of the same output bytes in the same run.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bricked/file.h"
#include "ratio_reporter.h"
#include "tyq/tyq.h"

namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
using Qra::Ostrel::Tyq::Private::Bricked::File;

constexpr int kSize[3] = {512, 512, 256};
constexpr int kBrick = 64;

struct Fixture {
  std::string dir;
  std::string floatFile, shortFile;
  FA::AutoRef<FA::Reader> floatReader, shortReader;
  std::vector<char> out, source;
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

template <typename T>
bool writeVolume(const std::string& name, FA::DataTypeEnum::value_type type) {
  FA::DataInfo info;
  info.SetExtent(0, 1, kSize[0], 0, 1, kSize[1], 0, 4, kSize[2], false);
  File file(name, FA::FileFactory::UsageCreate, nullptr);
  if (!file.Create(name, info, type, FA::TyqOptions(), nullptr, -1000, 1000)) return false;
  std::vector<T> brick(kBrick * kBrick * kBrick);
  for (size_t n = 0; n < brick.size(); ++n) brick[n] = static_cast<T>(n % 2000) - 1000;
  const int levels = file.GetFileInfo(nullptr)->numberOfLods;
  for (int lod = 0; lod < levels; ++lod) {
    for (int i = 0; i < file.GetNumberOfBricks(0, lod); ++i) {
      for (int j = 0; j < file.GetNumberOfBricks(1, lod); ++j) {
        for (int k = 0; k < file.GetNumberOfBricks(2, lod); ++k) {
          if (!file.SetBrick(i, j, k, lod, brick.data(), nullptr)) return false;
        }
      }
    }
  }
  return file.Flush(false, nullptr);
}

bool setUp() {
  Fixture& f = fixture();
  f.dir = tyq_bench::MakeTempDir();
  if (f.dir.empty()) return false;
  f.floatFile = f.dir + "/float.vbs";
  f.shortFile = f.dir + "/short.vbs";
  if (!writeVolume<float>(f.floatFile, FA::DataTypeEnum::Float32) ||
      !writeVolume<short>(f.shortFile, FA::DataTypeEnum::Int16)) {
    return false;
  }
  const size_t whole = size_t{4} * kSize[0] * kSize[1] * kSize[2];
  f.out.assign(whole, 0);
  f.source.assign(whole, 1);
  return FA::Tyq::CreateTyqReader(f.floatReader, f.floatFile, FA::TyqOptions(), nullptr) == 0 &&
         FA::Tyq::CreateTyqReader(f.shortReader, f.shortFile, FA::TyqOptions(), nullptr) == 0;
}

void tearDown() {
  Fixture& f = fixture();
  f.floatReader = FA::AutoRef<FA::Reader>();
  f.shortReader = FA::AutoRef<FA::Reader>();
  std::error_code ignored;
  std::filesystem::remove_all(f.dir, ignored);
}

struct Box {
  int lod, start[3], size[3];
  int64_t samples() const { return int64_t{size[0]} * size[1] * size[2]; }
};

// The boxes of each workload, fixed so every run reads the same bytes.
std::vector<Box> workload(int which) {
  std::vector<Box> boxes;
  std::mt19937 rng(5);
  switch (which) {
    case 0:
      boxes.push_back({0, {0, 0, 0}, {kSize[0], kSize[1], kSize[2]}});
      break;
    case 1:
      for (int n = 0; n < 200; ++n) {
        boxes.push_back(
            {0,
             {static_cast<int>(rng() % (kSize[0] - 64)), static_cast<int>(rng() % (kSize[1] - 64)),
              static_cast<int>(rng() % (kSize[2] - 64))},
             {64, 64, 64}});
      }
      break;
    case 2:
      for (int n = 0; n < 50; ++n) boxes.push_back({0, {n * 10, 0, 0}, {1, kSize[1], kSize[2]}});
      break;
    case 3:
      for (int n = 0; n < 50; ++n) boxes.push_back({0, {0, 0, n * 5}, {kSize[0], kSize[1], 1}});
      break;
    default:
      boxes.push_back({2, {0, 0, 0}, {kSize[0] / 4, kSize[1] / 4, kSize[2] / 4}});
      break;
  }
  return boxes;
}

template <typename T>
void BM_Read(benchmark::State& state) {
  Fixture& f = fixture();
  FA::Reader& reader = std::is_same_v<T, float> ? *f.floatReader : *f.shortReader;
  const std::vector<Box> boxes = workload(static_cast<int>(state.range(0)));
  int64_t bytes = 0;
  for (auto _ : state) {
    for (const Box& b : boxes) {
      if (!reader.ReadData(b.lod, b.start[0], b.start[1], b.start[2], b.size[0], b.size[1],
                           b.size[2], reinterpret_cast<T*>(f.out.data()), nullptr)) {
        state.SkipWithError("read failed");
      }
      bytes += b.samples() * static_cast<int64_t>(sizeof(T));
    }
  }
  state.SetBytesProcessed(bytes);
}

template <typename T>
void BM_Memcpy(benchmark::State& state) {
  Fixture& f = fixture();
  const std::vector<Box> boxes = workload(static_cast<int>(state.range(0)));
  int64_t bytes = 0;
  for (auto _ : state) {
    for (const Box& b : boxes) {
      const size_t n = static_cast<size_t>(b.samples()) * sizeof(T);
      std::memcpy(f.out.data(), f.source.data(), n);
      benchmark::ClobberMemory();
      bytes += static_cast<int64_t>(n);
    }
  }
  state.SetBytesProcessed(bytes);
}

const char* kNames[] = {"whole", "boxes64", "inlines", "timeslices", "lod2"};

void registerAll() {
  for (int w = 0; w < 5; ++w) {
    const std::string name = kNames[w];
    benchmark::RegisterBenchmark(("float/" + name).c_str(), BM_Read<float>)
        ->Arg(w)
        ->MinTime(0.3)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("memcpy4/" + name).c_str(), BM_Memcpy<float>)
        ->Arg(w)
        ->MinTime(0.3)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("int16/" + name).c_str(), BM_Read<short>)
        ->Arg(w)
        ->MinTime(0.3)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("memcpy2/" + name).c_str(), BM_Memcpy<short>)
        ->Arg(w)
        ->MinTime(0.3)
        ->UseRealTime();
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!setUp()) {
    std::fprintf(stderr, "cannot prepare the test volumes\n");
    tearDown();
    return 1;
  }
  registerAll();
  tyq_bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const char* name : kNames) {
    const std::string n = name;
    reporter.printRatio(("float " + n).c_str(), "float/" + n, "memcpy4/" + n);
    reporter.printRatio(("int16 " + n).c_str(), "int16/" + n, "memcpy2/" + n);
  }
  tearDown();
  benchmark::Shutdown();
  return 0;
}
