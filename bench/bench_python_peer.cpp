// The C++ side of bench/python_read_bench.py: the reads the Python module
// makes, through the same entry function, into a new buffer per read as the
// module's new numpy arrays are (allocated the way numpy allocates them), and
// into one reused buffer as the module's read(out=...) does. The volume and the boxes come from the
// script (TYQ_PEER_VOLUME, TYQ_PEER_BOXES: lines of "i j k ni nj nk"); without them a small volume
// of its own is read, so the program also runs on its own.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <sys/mman.h>

#include <cstdint>

#include "numpy_memory.h"
#include "ratio_reporter.h"
#include "tyq/tyq.h"

namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;

struct Box {
  int start[3], size[3];
  size_t samples() const { return static_cast<size_t>(size[0]) * size[1] * size[2]; }
};

struct Peer {
  std::string dir;  // the own volume's folder, removed at the end
  FA::AutoRef<FA::Reader> reader;
  Box whole{};
  std::vector<Box> boxes;
};

Peer& peer() {
  static Peer p;
  return p;
}

// A 128 x 128 x 64 float volume and 20 boxes of 32^3 in a scratch folder.
bool makeOwnVolume(std::string& volume, std::vector<Box>& boxes) {
  Peer& p = peer();
  p.dir = tyq_bench::MakeTempDir();
  if (p.dir.empty()) return false;
  volume = p.dir + "/peer.vbs";
  const int n[3] = {128, 128, 64};
  FA::DataInfo info;
  info.SetExtent(0, 1, n[0], 0, 1, n[1], 0, 1, n[2], false);
  FA::AutoRef<FA::Writer> writer;
  std::vector<float> samples(static_cast<size_t>(n[0]) * n[1] * n[2]);
  for (size_t s = 0; s < samples.size(); ++s) samples[s] = float(s % 1999) - 999.0f;
  if (FA::Tyq::CreateTyqWriter(writer, volume, info, FA::DataTypeEnum::Float32, FA::TyqOptions(),
                               nullptr, -999, 999) != 0 ||
      !writer->WriteData(0, 0, 0, 0, n[0], n[1], n[2], samples.data(), nullptr) ||
      !writer->Finalize(false, true, nullptr)) {
    return false;
  }
  std::mt19937 rng(3);
  for (int b = 0; b < 20; ++b) {
    boxes.push_back({{int(rng() % 96), int(rng() % 96), int(rng() % 32)}, {32, 32, 32}});
  }
  return true;
}

bool readBoxes(const char* name, std::vector<Box>& boxes) {
  std::ifstream in(name);
  Box b{};
  while (in >> b.start[0] >> b.start[1] >> b.start[2] >> b.size[0] >> b.size[1] >> b.size[2]) {
    boxes.push_back(b);
  }
  return !boxes.empty();
}

bool setUp() {
  Peer& p = peer();
  std::string volume;
  const char* given = std::getenv("TYQ_PEER_VOLUME");
  const char* boxes = std::getenv("TYQ_PEER_BOXES");
  const bool ready =
      given && boxes ? (volume = given, readBoxes(boxes, p.boxes)) : makeOwnVolume(volume, p.boxes);
  FA::DataInfo info;
  if (!ready || FA::Tyq::CreateTyqReader(p.reader, volume, FA::TyqOptions(), nullptr) != 0 ||
      !p.reader->GetDataInfo(info, nullptr)) {
    return false;
  }
  p.whole = {{0, 0, 0}, {info.size[0], info.size[1], info.size[2]}};
  return true;
}

bool read(const Box& b, float* out) {
  return peer().reader->ReadData(0, b.start[0], b.start[1], b.start[2], b.size[0], b.size[1],
                                 b.size[2], out, nullptr);
}

using tyq_bench::allocateLikeNumpy;

struct FreeBuffer {
  void operator()(float* p) const { std::free(p); }
};

// Every read into a buffer of its own, as a numpy array is new each time.
void readFresh(benchmark::State& state, const std::vector<Box>& boxes) {
  for (auto _ : state) {
    for (const Box& b : boxes) {
      std::unique_ptr<float, FreeBuffer> out(allocateLikeNumpy(b.samples() * sizeof(float)));
      if (!out || !read(b, out.get())) state.SkipWithError("read failed");
      benchmark::DoNotOptimize(out.get());
    }
  }
}

void readReused(benchmark::State& state, const std::vector<Box>& boxes) {
  size_t largest = 0;
  for (const Box& b : boxes) largest = std::max(largest, b.samples());
  std::unique_ptr<float, FreeBuffer> out(allocateLikeNumpy(largest * sizeof(float)));
  for (auto _ : state) {
    for (const Box& b : boxes) {
      if (!read(b, out.get())) state.SkipWithError("read failed");
      benchmark::DoNotOptimize(out.get());
    }
  }
}

void BM_WholeFresh(benchmark::State& state) {
  readFresh(state, {peer().whole});
}
void BM_WholeReused(benchmark::State& state) {
  readReused(state, {peer().whole});
}
void BM_BoxesFresh(benchmark::State& state) {
  readFresh(state, peer().boxes);
}
void BM_BoxesReused(benchmark::State& state) {
  readReused(state, peer().boxes);
}

}  // namespace

// glibc maps every block above its mmap threshold afresh, and raises the
// threshold when such a block is freed; the library's per-read brick buffer
// is such a block until then. The Python script puts its own process in the
// same state before it times anything, so both sides read alike.
void raiseMallocThreshold() {
  void* block = std::malloc(size_t{16} << 20);
  benchmark::DoNotOptimize(block);
  std::free(block);
}

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  raiseMallocThreshold();
  if (!setUp()) {
    std::fprintf(stderr, "bench_python_peer: cannot open or prepare the volume\n");
    return 1;
  }
  for (auto* b : {benchmark::RegisterBenchmark("whole/fresh", BM_WholeFresh),
                  benchmark::RegisterBenchmark("whole/reused", BM_WholeReused),
                  benchmark::RegisterBenchmark("boxes/fresh", BM_BoxesFresh),
                  benchmark::RegisterBenchmark("boxes/reused", BM_BoxesReused)}) {
    b->UseRealTime()->Unit(benchmark::kMillisecond);
  }
  tyq_bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printRatio("whole volume", "whole/fresh", "whole/reused");
  reporter.printRatio("boxes", "boxes/fresh", "boxes/reused");
  peer().reader = FA::AutoRef<FA::Reader>();
  if (!peer().dir.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(peer().dir, ignored);
  }
  benchmark::Shutdown();
  return 0;
}
