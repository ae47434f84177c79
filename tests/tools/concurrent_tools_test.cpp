// The tools run from several caller threads give what one thread gives.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/temp_dir.h"
#include "tools/tool_util.h"

namespace {

using namespace tyq_test;

// Runs item n on thread n % threads, as a caller sharing out items would.
template <typename Tool, typename Work>
void runShared(Tool& tool, int threads, Work work) {
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t) {
    pool.emplace_back([&tool, &work, t, threads] {
      for (int item = t; item < tool.size(); item += threads) work(tool, item, t);
    });
  }
  for (std::thread& th : pool) th.join();
}

constexpr int kSize[3] = {130, 70, 64};

TEST(ConcurrentTools, CopyFromTwoThreadsDecodesLikeOneThread) {
  TempDir dir;
  const std::string input = dir.file("in.vbs");
  ASSERT_TRUE(writeVolume(input, kSize, seismic));
  std::vector<std::vector<float>> levels[2];
  for (int threads : {1, 2}) {
    const std::string out = dir.file("out" + std::to_string(threads) + ".vcs");
    Recorder calls;
    Tyq::TyqCompressCopy copy(input, out, 28, false, Recorder::callback, &calls);
    ASSERT_TRUE(copy.open(threads));
    runShared(copy, threads, [](Tyq::TyqCompressCopy& c, int item, int t) { c.copy(item, t); });
    ASSERT_TRUE(copy.close()) << copy.message();
    for (int level = 0; level < fileInfoOf(out).numberOfLods; ++level) {
      levels[threads - 1].push_back(readLevel(out, level));
    }
  }
  ASSERT_EQ(levels[0].size(), levels[1].size());
  ASSERT_GE(levels[0].size(), 3u);
  for (size_t level = 0; level < levels[0].size(); ++level) {
    EXPECT_EQ(levels[0][level], levels[1][level]) << "level " << level;
  }
}

TEST(ConcurrentTools, ScanFromTwoThreadsSumsLikeOneThread) {
  TempDir dir;
  const std::string input = dir.file("in.vbs");
  ASSERT_TRUE(writeVolume(input, kSize, seismic));
  int64_t sizes[2][100];
  for (int threads : {1, 2}) {
    Recorder calls;
    // Every whole brick, so the draw does not matter.
    Tyq::TyqCompressScan scan(input, 1000, Recorder::callback, &calls);
    ASSERT_TRUE(scan.open(threads));
    ASSERT_EQ(scan.size(), 2);
    runShared(scan, threads, [](Tyq::TyqCompressScan& s, int item, int t) { s.scan(item, t); });
    ASSERT_TRUE(scan.close()) << scan.message();
    for (int s = 0; s < 100; ++s) sizes[threads - 1][s] = scan.partsPerMillion(s);
  }
  for (int s = 0; s < 100; ++s) EXPECT_EQ(sizes[0][s], sizes[1][s]) << s;
}

}  // namespace
