// Several threads writing disjoint bricks through one uncompressed writer.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "support/temp_dir.h"
#include "tyq/tyq.h"

namespace Qra::Ostrel::Tyq::FileAccess {
namespace {

using Private::Status;

constexpr int kThreads = 4;
constexpr int kBrick = 64;
// 4 x 2 x 2 bricks; thread t owns the bricks of inline brick column t.
constexpr int kSize[3] = {4 * kBrick, 2 * kBrick, 2 * kBrick - 10};

float sampleAt(int i, int j, int k) {
  return static_cast<float>((i * 7 + j * 3 + k) % 101);
}

// Writes the thread's bricks as whole bricks and as partial boxes, so both
// the direct and the merging paths run concurrently.
void writeColumn(Writer& writer, int t, bool* ok) {
  std::vector<float> box(static_cast<size_t>(kBrick) * kBrick * kBrick);
  for (int bj = 0; bj < 2; ++bj) {
    for (int bk = 0; bk < 2; ++bk) {
      const int i0 = t * kBrick, j0 = bj * kBrick, k0 = bk * kBrick;
      const int nk = std::min(kBrick, kSize[2] - k0);
      for (int half = 0; half < 2; ++half) {
        const int ni = kBrick / 2, start = i0 + half * ni;
        size_t n = 0;
        for (int i = start; i < start + ni; ++i) {
          for (int j = j0; j < j0 + kBrick; ++j) {
            for (int k = k0; k < k0 + nk; ++k) box[n++] = sampleAt(i, j, k);
          }
        }
        Status status;
        if (!writer.WriteData(0, start, j0, k0, ni, kBrick, nk, box.data(), &status)) {
          *ok = false;
        }
      }
    }
  }
}

TEST(SharedWriter, ThreadsWritingDisjointBricksLoseNothing) {
  tyq_test::TempDir dir;
  const std::string name = dir.file("shared.vbs");
  DataInfo info;
  info.SetExtent(0, 1, kSize[0], 0, 1, kSize[1], 0, 1, kSize[2], false);
  AutoRef<Writer> writer;
  Status status;
  ASSERT_EQ(Tyq::CreateTyqWriter(writer, name, info, DataTypeEnum::Float32, TyqOptions(), &status,
                                 0, 100),
            0)
      << status.message();
  bool ok[kThreads] = {true, true, true, true};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back(writeColumn, std::ref(*writer), t, &ok[t]);
  for (auto& thread : threads) thread.join();
  for (const bool each : ok) EXPECT_TRUE(each);
  ASSERT_TRUE(writer->Finalize(false, true, &status)) << status.message();
  writer.reset();

  AutoRef<Reader> reader;
  ASSERT_EQ(Tyq::CreateTyqReader(reader, name, TyqOptions(), &status), 0) << status.message();
  std::vector<float> all(static_cast<size_t>(kSize[0]) * kSize[1] * kSize[2]);
  ASSERT_TRUE(reader->ReadData(0, 0, 0, 0, kSize[0], kSize[1], kSize[2], all.data(), &status));
  size_t n = 0, wrong = 0;
  for (int i = 0; i < kSize[0]; ++i) {
    for (int j = 0; j < kSize[1]; ++j) {
      for (int k = 0; k < kSize[2]; ++k) wrong += all[n++] != sampleAt(i, j, k);
    }
  }
  EXPECT_EQ(wrong, 0u);
  DataInfo stored;
  ASSERT_TRUE(reader->GetDataInfo(stored, &status));
  EXPECT_EQ(stored.statCount, static_cast<int64_t>(all.size()));
  EXPECT_EQ(stored.statMax, 100.0f);
  // Every level was rebuilt once its children were all written.
  long long position = 0;
  ASSERT_TRUE(reader->GetDataBrickPos(&position, 2, 0, 0, 0, 1, 1, 1, &status));
  EXPECT_GT(position, 1);
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::FileAccess
