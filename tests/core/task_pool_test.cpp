#include "core/task_pool.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

using Qra::Ostrel::Tyq::Private::TaskPool;

TEST(TaskPoolThreads, EveryItemRunsOnceAndWorkersJoinIn) {
  std::vector<std::atomic<int>> runs(2000);
  std::atomic<int> onWorkers{0};
  ASSERT_TRUE(TaskPool::RunEach(2000, 4, [&](int64_t n) {
    runs[static_cast<size_t>(n)].fetch_add(1);
    if (TaskPool::InWorker()) onWorkers.fetch_add(1);
    // Long enough that the workers, woken after the caller starts, take some.
    std::this_thread::sleep_for(std::chrono::microseconds(20));
    return true;
  }));
  for (const auto& r : runs) ASSERT_EQ(r.load(), 1);
  EXPECT_GT(onWorkers.load(), 0);
  EXPECT_FALSE(TaskPool::InWorker());
}

// A job started from inside a pool item while every worker is busy must
// still finish: its caller works on it alone if need be.
TEST(TaskPoolThreads, NestedJobsFromInsideItemsFinish) {
  std::atomic<int64_t> sum{0};
  ASSERT_TRUE(TaskPool::RunEach(6, 3, [&](int64_t outer) {
    return TaskPool::RunEach(100, 3, [&](int64_t inner) {
      sum.fetch_add(outer * 100 + inner);
      return true;
    });
  }));
  EXPECT_EQ(sum.load(), 599 * 600 / 2);
}

TEST(TaskPoolThreads, FailureStopsItemsNotYetStarted) {
  std::atomic<int> ran{0};
  EXPECT_FALSE(TaskPool::RunEach(100000, 2, [&](int64_t n) {
    ran.fetch_add(1);
    return n != 10;
  }));
  EXPECT_LT(ran.load(), 100000);
  // One thread: the items after the failure never run.
  ran = 0;
  EXPECT_FALSE(TaskPool::RunEach(50, 1, [&](int64_t n) {
    ran.fetch_add(1);
    return n != 10;
  }));
  EXPECT_EQ(ran.load(), 11);
}

TEST(TaskPool, ChosenThreadsFollowsOptionThenSetting) {
  ::unsetenv("OSTREL_TYQ_THREADS");
  EXPECT_EQ(TaskPool::ChosenThreads(-1), 1);
  EXPECT_EQ(TaskPool::ChosenThreads(5), 5);
  EXPECT_GE(TaskPool::ChosenThreads(0), 1);
  ::setenv("OSTREL_TYQ_THREADS", "3", 1);
  EXPECT_EQ(TaskPool::ChosenThreads(-1), 3);
  EXPECT_EQ(TaskPool::ChosenThreads(2), 2);
  ::setenv("OSTREL_TYQ_THREADS", "0", 1);
  EXPECT_EQ(TaskPool::ChosenThreads(-1), TaskPool::ChosenThreads(0));
  ::unsetenv("OSTREL_TYQ_THREADS");
}

}  // namespace
