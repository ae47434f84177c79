// A compressed 512 x 512 x 256 float volume at 30 dB: reading it whole, in
// 200 random 64^3 boxes and in 50 inline, crossline and time slices through
// the accessor (with and without the decoded-brick cache), against the same
// reads of the uncompressed file and against decoding the touched bricks in
// a loop (the decoder's own limit); and writing it from 1 and 2 threads, and
// with one call whose bricks are coded on 1 and 2 threads of the library's
// pool.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "compressed/file.h"
#include "ratio_reporter.h"
#include "tyq/compressor3d.h"
#include "tyq/tyq.h"

namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
namespace C = Qra::Ostrel::Tyq::Private::Compressed;
using Qra::Ostrel::Tyq::Private::CompressedBlock3d;
using Qra::Ostrel::Tyq::Private::Compressor3d;

constexpr int kSize[3] = {512, 512, 256};
constexpr int kB = 64;
constexpr int kBricks[3] = {kSize[0] / kB, kSize[1] / kB, kSize[2] / kB};
constexpr float kSqnr = 30.0f;

struct Fixture {
  std::string dir, compressed, plain;
  std::vector<float> volume;  // vertical fastest
  FA::AutoRef<FA::Reader> cached, uncached, uncompressed;
  std::vector<CompressedBlock3d> blocks;  // every level-0 brick, unpacked
  std::vector<float> out;
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

// Dipping reflectors of varying strength with a little noise.
void makeVolume(std::vector<float>& v) {
  v.resize(size_t{kSize[0]} * kSize[1] * kSize[2]);
  std::minstd_rand rng(11);
  std::uniform_real_distribution<float> noise(-25.0f, 25.0f);
  size_t n = 0;
  for (int i = 0; i < kSize[0]; ++i) {
    for (int j = 0; j < kSize[1]; ++j) {
      const double shift = 0.15 * i + 0.07 * j + 6.0 * std::sin(0.013 * i + 0.021 * j);
      for (int k = 0; k < kSize[2]; ++k, ++n) {
        const double z = k - shift;
        v[n] =
            static_cast<float>(900.0 * std::sin(0.31 * z) * std::sin(0.023 * z + 0.4) + noise(rng));
      }
    }
  }
}

void column(const std::vector<float>& v, int bi, int bj, std::vector<float>& box) {
  box.resize(size_t{kB} * kB * kSize[2]);
  for (int i = 0; i < kB; ++i) {
    for (int j = 0; j < kB; ++j) {
      const float* from = v.data() + (size_t(bi * kB + i) * kSize[1] + bj * kB + j) * kSize[2];
      std::copy(from, from + kSize[2], box.data() + (size_t(i) * kB + j) * kSize[2]);
    }
  }
}

// Writes level 0 column by column from `threads` threads.
bool writeCompressed(const std::string& name, const std::vector<float>& v, int threads) {
  FA::DataInfo info;
  info.SetExtent(0, 1, kSize[0], 0, 1, kSize[1], 0, 4, kSize[2], false);
  FA::AutoRef<FA::Writer> writer;
  if (FA::Tyq::CreateCompressedWriter(writer, name, info, nullptr, kSqnr, -1000, 1000) != 0 ||
      !writer->SetAccessStorageOrder(FA::StorageOrderEnum::TraceOptimized(), nullptr)) {
    return false;
  }
  std::vector<std::thread> pool;
  std::vector<int> ok(static_cast<size_t>(threads), 1);
  for (int t = 0; t < threads; ++t) {
    pool.emplace_back([&, t] {
      std::vector<float> box;
      for (int c = t; c < kBricks[0] * kBricks[1]; c += threads) {
        column(v, c / kBricks[1], c % kBricks[1], box);
        if (!writer->WriteData(0, c / kBricks[1] * kB, c % kBricks[1] * kB, 0, kB, kB, kSize[2],
                               box.data(), nullptr)) {
          ok[static_cast<size_t>(t)] = 0;
        }
      }
    });
  }
  for (std::thread& th : pool) th.join();
  for (int o : ok) {
    if (!o) return false;
  }
  return writer->Finalize(false, false, nullptr);
}

// Writes level 0 with one call from one thread, its bricks coded on
// `threads` threads of the library's pool.
bool writeCompressedOneCall(const std::string& name, const std::vector<float>& v, int threads) {
  FA::DataInfo info;
  info.SetExtent(0, 1, kSize[0], 0, 1, kSize[1], 0, 4, kSize[2], false);
  FA::TyqOptions options;
  options.sqnr = kSqnr;
  options.threads = threads;
  FA::AutoRef<FA::Writer> writer;
  return FA::Tyq::CreateTyqWriter(writer, name, info, FA::DataTypeEnum::Float32, options, nullptr,
                                  -1000, 1000) == 0 &&
         writer->SetAccessStorageOrder(FA::StorageOrderEnum::TraceOptimized(), nullptr) &&
         writer->WriteData(0, 0, 0, 0, kSize[0], kSize[1], kSize[2], v.data(), nullptr) &&
         writer->Finalize(false, false, nullptr);
}

bool writePlain(const std::string& name, const std::vector<float>& v) {
  FA::DataInfo info;
  info.SetExtent(0, 1, kSize[0], 0, 1, kSize[1], 0, 4, kSize[2], false);
  FA::TyqOptions options;
  options.noAutoFlush = true;
  FA::AutoRef<FA::Writer> writer;
  return FA::Tyq::CreateTyqWriter(writer, name, info, FA::DataTypeEnum::Float32, options, nullptr,
                                  -1000, 1000) == 0 &&
         writer->WriteData(0, 0, 0, 0, kSize[0], kSize[1], kSize[2], v.data(), nullptr) &&
         writer->Finalize(false, false, nullptr);
}

FA::AutoRef<FA::Reader> reader(const std::string& name, int cacheMegabytes) {
  FA::TyqOptions options;
  options.brickCacheMegabytes = cacheMegabytes;
  FA::AutoRef<FA::Reader> r;
  if (FA::Tyq::CreateTyqReader(r, name, options, nullptr) != 0) return r;
  r->SetAccessStorageOrder(FA::StorageOrderEnum::TraceOptimized(), nullptr);
  return r;
}

bool loadBlocks(Fixture& f) {
  C::File file(FA::FileFactory::UsageRead, nullptr);
  if (!file.Open(f.compressed, 0, nullptr)) return false;
  f.blocks.resize(size_t{kBricks[0]} * kBricks[1] * kBricks[2]);
  size_t n = 0;
  for (int i = 0; i < kBricks[0]; ++i) {
    for (int j = 0; j < kBricks[1]; ++j) {
      for (int k = 0; k < kBricks[2]; ++k, ++n) {
        if (!file.GetBrick(i, j, k, 0, f.blocks[n], nullptr)) return false;
        if (!f.blocks[n].IsAllConst() && !f.blocks[n].UnpackData()) return false;
      }
    }
  }
  return true;
}

bool setUp() {
  Fixture& f = fixture();
  f.dir = tyq_bench::MakeTempDir();
  if (f.dir.empty()) return false;
  f.compressed = f.dir + "/volume.vcs";
  f.plain = f.dir + "/volume.vbs";
  makeVolume(f.volume);
  if (!writeCompressed(f.compressed, f.volume, 2) || !writePlain(f.plain, f.volume) ||
      !loadBlocks(f)) {
    return false;
  }
  f.cached = reader(f.compressed, 256);
  f.uncached = reader(f.compressed, 0);
  f.uncompressed = reader(f.plain, 0);
  f.out.resize(f.volume.size());
  if (!f.cached || !f.uncached || !f.uncompressed ||
      !f.cached->ReadData(0, 0, 0, 0, kSize[0], kSize[1], kSize[2], f.out.data(), nullptr)) {
    return false;
  }
  std::printf("compressed file %lld bytes (factor %.1f), SQNR %.2f dB against the source\n",
              static_cast<long long>(std::filesystem::file_size(f.compressed)),
              static_cast<double>(f.volume.size() * 4) /
                  static_cast<double>(std::filesystem::file_size(f.compressed)),
              static_cast<double>(Compressor3d::calculateSQNR(static_cast<int64_t>(f.volume.size()),
                                                              f.volume.data(), f.out.data())));
  return true;
}

void tearDown() {
  Fixture& f = fixture();
  f.cached = f.uncached = f.uncompressed = FA::AutoRef<FA::Reader>();
  std::error_code ignored;
  std::filesystem::remove_all(f.dir, ignored);
}

struct Box {
  int start[3], size[3];
  int64_t samples() const { return int64_t{size[0]} * size[1] * size[2]; }
};

std::vector<Box> workload(int which) {
  std::vector<Box> boxes;
  std::mt19937 rng(5);
  const auto below = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  for (int n = 0; n < (which == 0 ? 1 : which == 1 ? 200 : 50); ++n) {
    switch (which) {
      case 0:
        boxes.push_back({{0, 0, 0}, {kSize[0], kSize[1], kSize[2]}});
        break;
      case 1:
        boxes.push_back(
            {{below(kSize[0] - 64), below(kSize[1] - 64), below(kSize[2] - 64)}, {64, 64, 64}});
        break;
      case 2:
        boxes.push_back({{n * 10, 0, 0}, {1, kSize[1], kSize[2]}});
        break;
      case 3:
        boxes.push_back({{0, n * 10, 0}, {kSize[0], 1, kSize[2]}});
        break;
      default:
        boxes.push_back({{0, 0, n * 5}, {kSize[0], kSize[1], 1}});
        break;
    }
  }
  return boxes;
}

void readBoxes(benchmark::State& state, FA::Reader& r) {
  Fixture& f = fixture();
  const std::vector<Box> boxes = workload(static_cast<int>(state.range(0)));
  int64_t bytes = 0;
  for (auto _ : state) {
    for (const Box& b : boxes) {
      if (!r.ReadData(0, b.start[0], b.start[1], b.start[2], b.size[0], b.size[1], b.size[2],
                      f.out.data(), nullptr)) {
        state.SkipWithError("read failed");
      }
      bytes += b.samples() * 4;
    }
  }
  state.SetBytesProcessed(bytes);
}

void BM_Cached(benchmark::State& state) {
  readBoxes(state, *fixture().cached);
}
void BM_Uncached(benchmark::State& state) {
  readBoxes(state, *fixture().uncached);
}
void BM_Uncompressed(benchmark::State& state) {
  readBoxes(state, *fixture().uncompressed);
}

// Decodes, for every box, each brick it touches: what a reader without a
// cache must at least do.
void BM_DecodeOnly(benchmark::State& state) {
  Fixture& f = fixture();
  const std::vector<Box> boxes = workload(static_cast<int>(state.range(0)));
  std::vector<float> brick(size_t{kB} * kB * kB);
  Compressor3d codec;
  int64_t bytes = 0;
  for (auto _ : state) {
    for (const Box& b : boxes) {
      for (int i = b.start[0] / kB; i <= (b.start[0] + b.size[0] - 1) / kB; ++i) {
        for (int j = b.start[1] / kB; j <= (b.start[1] + b.size[1] - 1) / kB; ++j) {
          for (int k = b.start[2] / kB; k <= (b.start[2] + b.size[2] - 1) / kB; ++k) {
            const CompressedBlock3d& block =
                f.blocks[(size_t(i) * kBricks[1] + j) * kBricks[2] + k];
            codec.PrepareDecompress(&block, Qra::Ostrel::Tyq::Private::CompDataFloat, brick.data(),
                                    nullptr, Qra::Ostrel::Tyq::Private::DecompSubbandsAll,
                                    Qra::Ostrel::Tyq::Private::DecompFull, false);
            if (!codec.Execute()) state.SkipWithError("decode failed");
          }
        }
      }
      bytes += b.samples() * 4;
    }
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(bytes);
}

void BM_Write(benchmark::State& state) {
  Fixture& f = fixture();
  const int threads = static_cast<int>(state.range(0));
  for (auto _ : state) {
    if (!writeCompressed(f.dir + "/write.vcs", f.volume, threads)) {
      state.SkipWithError("write failed");
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(f.volume.size()) * 4);
}

void BM_WriteOneCall(benchmark::State& state) {
  Fixture& f = fixture();
  const int threads = static_cast<int>(state.range(0));
  for (auto _ : state) {
    if (!writeCompressedOneCall(f.dir + "/write.vcs", f.volume, threads)) {
      state.SkipWithError("write failed");
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(f.volume.size()) * 4);
}

const char* kNames[] = {"whole", "boxes64", "inlines", "crosslines", "timeslices"};

void registerAll() {
  for (int w = 0; w < 5; ++w) {
    const std::string name = kNames[w];
    benchmark::RegisterBenchmark(("cached/" + name).c_str(), BM_Cached)->Arg(w)->UseRealTime();
    benchmark::RegisterBenchmark(("uncached/" + name).c_str(), BM_Uncached)->Arg(w)->UseRealTime();
    benchmark::RegisterBenchmark(("uncompressed/" + name).c_str(), BM_Uncompressed)
        ->Arg(w)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("decode/" + name).c_str(), BM_DecodeOnly)->Arg(w)->UseRealTime();
  }
  benchmark::RegisterBenchmark("write/1", BM_Write)->Arg(1)->Iterations(1)->UseRealTime();
  benchmark::RegisterBenchmark("write/2", BM_Write)->Arg(2)->Iterations(1)->UseRealTime();
  benchmark::RegisterBenchmark("write_one_call/1", BM_WriteOneCall)
      ->Arg(1)
      ->Iterations(1)
      ->UseRealTime();
  benchmark::RegisterBenchmark("write_one_call/2", BM_WriteOneCall)
      ->Arg(2)
      ->Iterations(1)
      ->UseRealTime();
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
    reporter.printRatio(("uncached/decode " + n).c_str(), "uncached/" + n, "decode/" + n);
    reporter.printRatio(("cached/decode " + n).c_str(), "cached/" + n, "decode/" + n);
    reporter.printRatio(("cached/uncached " + n).c_str(), "cached/" + n, "uncached/" + n);
    reporter.printRatio(("cached/uncompressed " + n).c_str(), "cached/" + n, "uncompressed/" + n);
  }
  reporter.printRatio("write 2 threads/1 thread", "write/2", "write/1");
  reporter.printRatio("write one call pool 2/1", "write_one_call/2", "write_one_call/1");
  tearDown();
  benchmark::Shutdown();
  return 0;
}
