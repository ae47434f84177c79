// The bricked file object's own cost: whole-brick reads and writes against
// plain pread/pwrite of the same bytes, and opening files whose data differ
// 64-fold in size but whose tables do not (open must not scale with data).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bricked/file.h"
#include "ratio_reporter.h"

namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
using Qra::Ostrel::Tyq::Private::Bricked::File;

constexpr int kBrick = 64;
constexpr size_t kBrickBytes = size_t{kBrick} * kBrick * kBrick * sizeof(float);
// 512 x 512 x 256 floats: 8 x 8 x 4 bricks of 1 MiB.
constexpr int kCount[3] = {8, 8, 4};

struct Fixture {
  std::string dir;
  std::string big, sparse;
  std::vector<float> brick = std::vector<float>(kBrickBytes / sizeof(float), 1.5f);
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

FA::DataInfo survey() {
  FA::DataInfo info;
  info.SetExtent(0, 1, kCount[0] * kBrick, 0, 1, kCount[1] * kBrick, 0, 4, kCount[2] * kBrick,
                 false);
  return info;
}

bool writeVolume(const std::string& name, int bricksToWrite) {
  File file(name, FA::FileFactory::UsageCreate, nullptr);
  if (!file.Create(name, survey(), FA::DataTypeEnum::Float32, FA::TyqOptions(), nullptr, 0, 0)) {
    return false;
  }
  int n = 0;
  for (int i = 0; i < kCount[0]; ++i) {
    for (int j = 0; j < kCount[1]; ++j) {
      for (int k = 0; k < kCount[2] && n < bricksToWrite; ++k, ++n) {
        if (!file.SetBrick(i, j, k, 0, fixture().brick.data(), nullptr)) return false;
      }
    }
  }
  return file.Flush(false, nullptr);
}

bool setUp() {
  Fixture& f = fixture();
  f.dir = tyq_bench::MakeTempDir();
  if (f.dir.empty()) return false;
  f.big = f.dir + "/full.vbs";
  f.sparse = f.dir + "/sparse.vbs";
  return writeVolume(f.big, kCount[0] * kCount[1] * kCount[2]) && writeVolume(f.sparse, 4);
}

void tearDown() {
  std::error_code ignored;
  std::filesystem::remove_all(fixture().dir, ignored);
}

void brickIndex(int64_t n, int& i, int& j, int& k) {
  const int64_t step = (n * 37) % (kCount[0] * kCount[1] * kCount[2]);
  k = static_cast<int>(step % kCount[2]);
  j = static_cast<int>(step / kCount[2] % kCount[1]);
  i = static_cast<int>(step / kCount[2] / kCount[1]);
}

template <bool kWrite>
void BM_FileBrick(benchmark::State& state) {
  Fixture& f = fixture();
  File file(f.big, FA::FileFactory::UsageReadWrite, nullptr);
  if (!file.Open(f.big, !kWrite, FA::TyqOptions(), nullptr)) state.SkipWithError("open failed");
  int64_t n = 0;
  for (auto _ : state) {
    int i, j, k;
    brickIndex(n++, i, j, k);
    const bool ok = kWrite ? file.SetBrick(i, j, k, 0, f.brick.data(), nullptr)
                           : file.GetBrick(i, j, k, 0, f.brick.data(), nullptr);
    if (!ok) state.SkipWithError("brick transfer failed");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kBrickBytes));
}

// The same bricks, addressed by the positions the file object chose.
template <bool kWrite>
void BM_PlainBrick(benchmark::State& state) {
  Fixture& f = fixture();
  std::vector<long long> positions(static_cast<size_t>(kCount[0] * kCount[1] * kCount[2]));
  {
    File file(f.big, FA::FileFactory::UsageRead, nullptr);
    file.Open(f.big, true, FA::TyqOptions(), nullptr);
    file.GetDataBrickPos(positions.data(), 0, 0, 0, 0, kCount[0], kCount[1], kCount[2], nullptr);
  }
  const int fd = ::open(f.big.c_str(), O_RDWR | O_CLOEXEC);
  int64_t n = 0;
  for (auto _ : state) {
    int i, j, k;
    brickIndex(n++, i, j, k);
    const int64_t at = positions[static_cast<size_t>((i * kCount[1] + j) * kCount[2] + k)];
    const ssize_t done = kWrite ? ::pwrite(fd, f.brick.data(), kBrickBytes, at)
                                : ::pread(fd, f.brick.data(), kBrickBytes, at);
    if (done != static_cast<ssize_t>(kBrickBytes)) state.SkipWithError("plain transfer failed");
  }
  ::close(fd);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kBrickBytes));
}

void BM_Open(benchmark::State& state, const std::string* name) {
  for (auto _ : state) {
    File file(*name, FA::FileFactory::UsageRead, nullptr);
    if (!file.Open(*name, true, FA::TyqOptions(), nullptr)) state.SkipWithError("open failed");
  }
}

BENCHMARK(BM_PlainBrick<false>)->Name("read/pread")->MinTime(0.5)->UseRealTime();
BENCHMARK(BM_FileBrick<false>)->Name("read/File::GetBrick")->MinTime(0.5)->UseRealTime();
BENCHMARK(BM_PlainBrick<true>)->Name("write/pwrite")->MinTime(0.5)->UseRealTime();
BENCHMARK(BM_FileBrick<true>)->Name("write/File::SetBrick")->MinTime(0.5)->UseRealTime();
BENCHMARK_CAPTURE(BM_Open, sparse, &fixture().sparse)->Name("open/4 MiB of data")->MinTime(0.3);
BENCHMARK_CAPTURE(BM_Open, full, &fixture().big)->Name("open/256 MiB of data")->MinTime(0.3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!setUp()) {
    std::fprintf(stderr, "cannot prepare the test volumes\n");
    tearDown();
    return 1;
  }
  tyq_bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printRatio("brick read (1 MiB)", "read/File::GetBrick", "read/pread");
  reporter.printRatio("brick write (1 MiB)", "write/File::SetBrick", "write/pwrite");
  reporter.printRatio("open, 64x the data", "open/256 MiB of data", "open/4 MiB of data");
  tearDown();
  benchmark::Shutdown();
  return 0;
}
