// One compressed writer shared by several threads writing disjoint bricks,
// and one reader shared by several threads reading overlapping boxes.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "compressed/volume_util.h"
#include "support/temp_dir.h"

namespace {

using namespace tyq_test;
constexpr int kB = 64;
// 2 x 2 x 2 bricks, cut at the far edges.
constexpr int kSize[3] = {2 * kB, 2 * kB - 28, 2 * kB - 58};

struct Brick {
  int i, j, k;
};

std::vector<Brick> allBricks() {
  std::vector<Brick> out;
  for (int i = 0; i < 2; ++i) {
    for (int j = 0; j < 2; ++j) {
      for (int k = 0; k < 2; ++k) out.push_back({i, j, k});
    }
  }
  return out;
}

// Thread t writes every brick n with n % threads == t, as one box.
void writeShare(FA::Writer& writer, int t, int threads, std::atomic<int>* failures) {
  const std::vector<Brick> bricks = allBricks();
  for (size_t n = static_cast<size_t>(t); n < bricks.size(); n += static_cast<size_t>(threads)) {
    const Brick& b = bricks[n];
    const int start[3] = {b.i * kB, b.j * kB, b.k * kB};
    const int size[3] = {std::min(kB, kSize[0] - start[0]), std::min(kB, kSize[1] - start[1]),
                         std::min(kB, kSize[2] - start[2])};
    Status status;
    if (!writer.WriteData(0, start[0], start[1], start[2], size[0], size[1], size[2],
                          volumeBox(start, size).data(), &status)) {
      ++*failures;
    }
  }
}

// Writes the volume from `threads` threads and returns it read back; the
// column (1, 1) has a flag tile with dead traces, written first.
std::vector<float> writeAndRead(const std::string& name, int threads) {
  {
    auto writer = compressedWriter(name, volumeInfo(kSize[0], kSize[1], kSize[2]), 25.0f);
    EXPECT_TRUE(writer);
    if (!writer) return {};
    std::vector<uint8_t> flags(size_t{kB} * kB, 1);
    for (size_t n = 0; n < flags.size(); n += 3) flags[n] = 0;
    Status status;
    EXPECT_TRUE(writer->WriteGridFlags(0, kB, kB, kB, kSize[1] - kB, flags.data(), &status));
    std::atomic<int> failures{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
      pool.emplace_back(writeShare, std::ref(*writer), t, threads, &failures);
    }
    for (std::thread& th : pool) th.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_TRUE(writer->Finalize(false, false, &status)) << status.message();
  }
  auto reader = traceReader(name);
  std::vector<float> out(size_t{kSize[0]} * kSize[1] * kSize[2]);
  Status status;
  EXPECT_TRUE(reader &&
              reader->ReadData(0, 0, 0, 0, kSize[0], kSize[1], kSize[2], out.data(), &status));
  return out;
}

TEST(CompressedThreads, SharedWriterDecodesLikeOneThread) {
  TempDir dir;
  const std::vector<float> single = writeAndRead(dir.file("one.vcs"), 1);
  for (int threads : {2, 4, 8}) {
    SCOPED_TRACE(threads);
    const std::vector<float> shared =
        writeAndRead(dir.file("t" + std::to_string(threads) + ".vcs"), threads);
    ASSERT_EQ(shared.size(), single.size());
    EXPECT_EQ(std::memcmp(shared.data(), single.data(), single.size() * sizeof(float)), 0);
  }
}

TEST(CompressedThreads, SharedReaderWithItsCacheServesOverlappingBoxes) {
  TempDir dir;
  const std::string name = dir.file("read.vcs");
  const std::vector<float> whole = writeAndRead(name, 1);
  auto reader = traceReader(name);
  ASSERT_TRUE(reader);
  std::atomic<int> mismatches{0};
  const auto readBoxes = [&](int t) {
    std::vector<float> box(40 * 40 * 40);
    for (int n = 0; n < 6; ++n) {
      const int i0 = (t * 13 + n * 17) % (kSize[0] - 40), j0 = (t * 7 + n * 5) % (kSize[1] - 40);
      const int k0 = (n * 11) % (kSize[2] - 40);
      Status status;
      if (!reader->ReadData(0, i0, j0, k0, 40, 40, 40, box.data(), &status)) ++mismatches;
      for (int i = 0; i < 40; i += 7) {
        const size_t at = ((size_t(i0 + i) * kSize[1] + j0 + 3) * kSize[2]) + k0 + 5;
        if (box[(size_t(i) * 40 + 3) * 40 + 5] != whole[at]) ++mismatches;
      }
    }
  };
  std::vector<std::thread> pool;
  for (int t = 0; t < 4; ++t) pool.emplace_back(readBoxes, t);
  for (std::thread& th : pool) th.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
