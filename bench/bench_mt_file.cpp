// MtFileWin32 against plain system calls on the same bricks in one run:
// writing 1 MiB bricks at random brick positions (asynchronous, buffered and
// unbuffered, then Flush) against pwrite + fsync and O_DIRECT pwrite;
// reading them back in random order from one and from two threads while the
// file is in the page cache; and how long a fire-and-forget write keeps its
// caller while the pool is below its busy limit. 256 MiB by default, 1 GiB
// with --full or TYQ_BENCH_FULL=1.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "io/mt_file.h"
#include "ratio_reporter.h"

namespace {

using Qra::Ostrel::Tyq::Private::MtFileWin32;

constexpr uint32_t kBrick = 1u << 20;

struct Fixture {
  std::string dir;
  int64_t bricks = 256;
  std::vector<int64_t> order;  // random brick positions
  void* buffer = nullptr;
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

std::string path(const char* name) {
  return fixture().dir + "/" + name;
}

std::vector<int64_t> shuffled(int64_t count, unsigned seed) {
  std::vector<int64_t> order(static_cast<size_t>(count));
  for (int64_t i = 0; i < count; ++i) order[static_cast<size_t>(i)] = i;
  std::shuffle(order.begin(), order.end(), std::mt19937(seed));
  return order;
}

void BM_PlainWrite(benchmark::State& state, bool direct) {
  Fixture& f = fixture();
  for (auto _ : state) {
    const int fd = ::open(path("plain.bin").c_str(),
                          O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | (direct ? O_DIRECT : 0), 0644);
    if (fd < 0) state.SkipWithError("cannot open");
    for (int64_t brick : f.order) {
      if (::pwrite(fd, f.buffer, kBrick, brick * kBrick) != kBrick) state.SkipWithError("pwrite");
    }
    if (::fsync(fd) != 0) state.SkipWithError("fsync");
    ::close(fd);
  }
  state.SetBytesProcessed(state.iterations() * f.bricks * kBrick);
}

void BM_MtFileWrite(benchmark::State& state, bool buffered) {
  Fixture& f = fixture();
  for (auto _ : state) {
    MtFileWin32 file;
    if (!file.CreateNewFile(path("mt.bin"), nullptr, true, buffered, false, true)) {
      state.SkipWithError("cannot create");
    }
    for (int64_t brick : f.order) {
      if (!file.WriteAtPosition(brick * kBrick, kBrick, f.buffer, nullptr)) {
        state.SkipWithError("write");
      }
    }
    if (!file.Flush(nullptr)) state.SkipWithError("flush");
    file.Close(nullptr);
  }
  state.SetBytesProcessed(state.iterations() * f.bricks * kBrick);
}

// Each of `threads` threads reads its share of the bricks in random order
// through `read` (a brick index and a 1 MiB buffer; false on failure).
template <typename Read>
void readInThreads(benchmark::State& state, Read read) {
  Fixture& f = fixture();
  const auto threads = static_cast<int>(state.range(0));
  const std::vector<int64_t> order = shuffled(f.bricks, 7);
  std::atomic<int> failures{0};
  for (auto _ : state) {
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
      workers.emplace_back([&, t] {
        void* buffer = std::aligned_alloc(4096, kBrick);
        for (size_t i = static_cast<size_t>(t); i < order.size();
             i += static_cast<size_t>(threads)) {
          if (!read(order[i], buffer)) ++failures;
        }
        std::free(buffer);
      });
    }
    for (std::thread& worker : workers) worker.join();
  }
  if (failures.load() != 0) state.SkipWithError("read failed");
  state.SetBytesProcessed(state.iterations() * f.bricks * kBrick);
}

void BM_MtFileRead(benchmark::State& state) {
  MtFileWin32 file;
  if (!file.OpenExistingFile(path("read.bin"), nullptr, true, true, true, false)) {
    state.SkipWithError("cannot open");
    return;
  }
  readInThreads(state, [&file](int64_t brick, void* buffer) {
    return file.ReadFromPosition(brick * kBrick, kBrick, buffer, nullptr);
  });
}

// The same reads with bare pread, to tell the machine's limits from ours.
void BM_PlainRead(benchmark::State& state) {
  const int fd = ::open(path("read.bin").c_str(), O_RDONLY | O_CLOEXEC);
  readInThreads(state, [fd](int64_t brick, void* buffer) {
    return ::pread(fd, buffer, kBrick, brick * kBrick) == kBrick;
  });
  ::close(fd);
}

void BM_Memcpy(benchmark::State& state) {
  std::vector<char> source(kBrick, 'm');
  void* target = std::aligned_alloc(4096, kBrick);
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    std::memcpy(target, source.data(), kBrick);
    benchmark::ClobberMemory();
    const auto stop = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
  }
  std::free(target);
}

// Time in the caller of one fire-and-forget write; the pool is drained
// between calls, outside the measured time, so it stays below its limit.
void BM_WriteReturn(benchmark::State& state) {
  const auto size = static_cast<uint32_t>(state.range(0));
  MtFileWin32 file;
  if (!file.CreateNewFile(path("latency.bin"), nullptr, true, true, false, true)) {
    state.SkipWithError("cannot create");
    return;
  }
  std::vector<char> source(size, 'l');
  int64_t i = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    file.WriteAtPosition((i++ % 64) * int64_t{size}, size, source.data(), nullptr);
    const auto stop = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
    if (i % 4 == 0) file.pool()->waitForRequest(true, nullptr);
  }
}

BENCHMARK_CAPTURE(BM_PlainWrite, buffered, false)
    ->Name("write/pwrite+fsync")
    ->Iterations(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PlainWrite, direct, true)
    ->Name("write/O_DIRECT pwrite")
    ->Iterations(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MtFileWrite, buffered, true)
    ->Name("write/MtFile buffered")
    ->Iterations(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MtFileWrite, unbuffered, false)
    ->Name("write/MtFile unbuffered")
    ->Iterations(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MtFileRead)
    ->Name("read/MtFile 1 thread")
    ->Arg(1)
    ->MinTime(0.3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MtFileRead)
    ->Name("read/MtFile 2 threads")
    ->Arg(2)
    ->MinTime(0.3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainRead)
    ->Name("read/pread 1 thread")
    ->Arg(1)
    ->MinTime(0.3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainRead)
    ->Name("read/pread 2 threads")
    ->Arg(2)
    ->MinTime(0.3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy)
    ->Name("return/memcpy 1MiB")
    ->UseManualTime()
    ->Iterations(500)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WriteReturn)
    ->Name("return/4KiB")
    ->Arg(4096)
    ->UseManualTime()
    ->Iterations(2000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WriteReturn)
    ->Name("return/64KiB")
    ->Arg(65536)
    ->UseManualTime()
    ->Iterations(2000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WriteReturn)
    ->Name("return/1MiB")
    ->Arg(1 << 20)
    ->UseManualTime()
    ->Iterations(500)
    ->Unit(benchmark::kMicrosecond);

// The file the read benchmarks share, written through the cache so that it
// stays there.
bool writeReadFile() {
  Fixture& f = fixture();
  const int fd = ::open(path("read.bin").c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = true;
  for (int64_t brick = 0; brick < f.bricks; ++brick) {
    ok = ok && ::pwrite(fd, f.buffer, kBrick, brick * kBrick) == kBrick;
  }
  ::close(fd);
  return ok;
}

bool wantFull(int& argc, char** argv) {
  bool full = std::getenv("TYQ_BENCH_FULL") && std::atoi(std::getenv("TYQ_BENCH_FULL")) > 0;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--full") == 0) {
      full = true;
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;
  return full;
}

}  // namespace

int main(int argc, char** argv) {
  Fixture& f = fixture();
  f.bricks = wantFull(argc, argv) ? 1024 : 256;
  benchmark::Initialize(&argc, argv);
  f.dir = tyq_bench::MakeTempDir();
  f.buffer = std::aligned_alloc(4096, kBrick);
  if (f.dir.empty() || !f.buffer) {
    std::fprintf(stderr, "cannot prepare the benchmark\n");
    return 1;
  }
  std::memset(f.buffer, 0x5a, kBrick);
  f.order = shuffled(f.bricks, 1);
  if (!writeReadFile()) {
    std::fprintf(stderr, "cannot write the file to read\n");
    return 1;
  }
  std::printf("bricks: %lld of 1 MiB\n", static_cast<long long>(f.bricks));
  tyq_bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printRatio("write buffered vs fsync", "write/MtFile buffered", "write/pwrite+fsync");
  reporter.printRatio("write buffered vs direct", "write/MtFile buffered", "write/O_DIRECT pwrite");
  reporter.printRatio("write unbuffered vs fsync", "write/MtFile unbuffered", "write/pwrite+fsync");
  reporter.printRatio("write unbuffered vs direct", "write/MtFile unbuffered",
                      "write/O_DIRECT pwrite");
  reporter.printRatio("read 2 threads vs 1", "read/MtFile 2 threads", "read/MtFile 1 thread");
  reporter.printRatio("pread 2 threads vs 1", "read/pread 2 threads", "read/pread 1 thread");
  reporter.printRatio("read 1 thread vs pread", "read/MtFile 1 thread", "read/pread 1 thread");
  reporter.printRatio("1 MiB write vs memcpy", "return/1MiB", "return/memcpy 1MiB");
  std::free(f.buffer);
  std::error_code ignored;
  std::filesystem::remove_all(f.dir, ignored);
  benchmark::Shutdown();
  return 0;
}
