// Positioned 1 MiB transfers through vvFile against plain pread/pwrite of the
// same bytes on the same 256 MiB file, which stays in the page cache, so the
// figures show the file layer's own cost and not the disk's.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "io/vv_file.h"
#include "ratio_reporter.h"

namespace {

using Qra::Ostrel::Tyq::Private::vvFile;

constexpr uint32_t kBlock = 1u << 20;
constexpr int64_t kBlocks = 256;

struct Fixture {
  std::string dir;
  std::string path;
  void* buffer = nullptr;
  vvFile file;  // allocates the buffer, so both sides transfer from the same memory
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

// Stepping by an odd number of blocks touches the whole file, never one hot block.
int64_t blockOffset(int64_t i) {
  return ((i * 97) % kBlocks) * kBlock;
}

bool setUp() {
  Fixture& f = fixture();
  f.dir = tyq_bench::MakeTempDir();
  if (f.dir.empty()) return false;
  f.path = f.dir + "/bench.bin";
  f.buffer = f.file.AllocateBuffer(kBlock);
  if (!f.buffer || !f.file.CreateNewFile(f.path, nullptr, true, true, true, true)) return false;
  std::vector<uint8_t> fill(kBlock, 0x3c);
  for (int64_t i = 0; i < kBlocks; ++i) {
    if (!f.file.WriteAtPosition(i * kBlock, kBlock, fill.data(), nullptr)) return false;
  }
  return true;
}

void tearDown() {
  Fixture& f = fixture();
  f.file.Close(nullptr);
  f.file.ReleaseBuffer(f.buffer);
  std::error_code ignored;
  std::filesystem::remove_all(f.dir, ignored);
}

// A second descriptor of the same file for the baseline; the vvFile holds the
// writer claim, which plain descriptors do not look at.
template <bool kWrite>
void BM_Plain(benchmark::State& state) {
  Fixture& f = fixture();
  const int fd = ::open(f.path.c_str(), O_RDWR | O_CLOEXEC);
  int64_t i = 0;
  for (auto _ : state) {
    const ssize_t n = kWrite ? ::pwrite(fd, f.buffer, kBlock, blockOffset(i++))
                             : ::pread(fd, f.buffer, kBlock, blockOffset(i++));
    if (n != kBlock) state.SkipWithError("plain transfer failed");
  }
  ::close(fd);
  state.SetBytesProcessed(state.iterations() * kBlock);
}

template <bool kWrite>
void BM_VvFile(benchmark::State& state) {
  Fixture& f = fixture();
  int64_t i = 0;
  for (auto _ : state) {
    const bool ok = kWrite ? f.file.WriteAtPosition(blockOffset(i++), kBlock, f.buffer, nullptr)
                           : f.file.ReadFromPosition(blockOffset(i++), kBlock, f.buffer, nullptr);
    if (!ok) state.SkipWithError("vvFile transfer failed");
  }
  state.SetBytesProcessed(state.iterations() * kBlock);
}

BENCHMARK(BM_Plain<false>)->Name("read/pread")->MinTime(0.5)->UseRealTime();
BENCHMARK(BM_VvFile<false>)->Name("read/vvFile")->MinTime(0.5)->UseRealTime();
BENCHMARK(BM_Plain<true>)->Name("write/pwrite")->MinTime(0.5)->UseRealTime();
BENCHMARK(BM_VvFile<true>)->Name("write/vvFile")->MinTime(0.5)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!setUp()) {
    std::fprintf(stderr, "cannot prepare the 256 MiB test file\n");
    tearDown();
    return 1;
  }
  tyq_bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printRatio("read ", "read/vvFile", "read/pread");
  reporter.printRatio("write", "write/vvFile", "write/pwrite");
  tearDown();
  benchmark::Shutdown();
  return 0;
}
