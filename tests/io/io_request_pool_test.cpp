#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "io/fault_backend.h"
#include "support/temp_dir.h"
#include "tyq/environment.h"
#include "tyq/io_request_pool.h"

namespace Qra::Ostrel::Tyq::Private {
namespace {

using tyq_test::BackendPlan;
using namespace std::chrono_literals;

using tyq_test::pattern;
std::vector<char> fileBytes(int fd, int64_t position, size_t size) {
  std::vector<char> bytes(size);
  EXPECT_EQ(::pread(fd, bytes.data(), size, position), static_cast<ssize_t>(size));
  return bytes;
}

// Every test runs on both the io_uring path and the synchronous fallback.
class PoolTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (!tyq_test::makeBackend(GetParam())) GTEST_SKIP() << "io_uring not available here";
    fd_ = ::open(dir_.file("a.bin").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    other_ = ::open(dir_.file("b.bin").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd_, 0);
    ASSERT_GE(other_, 0);
  }
  void TearDown() override {
    if (fd_ >= 0) ::close(fd_);
    if (other_ >= 0) ::close(other_);
  }

  std::unique_ptr<IORequestPool> plainPool(int32_t busyLimit = 4) {
    return std::make_unique<IORequestPool>(tyq_test::makeBackend(GetParam()), busyLimit);
  }
  std::unique_ptr<IORequestPool> faultPool(int32_t busyLimit = 4) {
    return std::make_unique<IORequestPool>(tyq_test::makeFaultBackend(GetParam(), plan_),
                                           busyLimit);
  }

  tyq_test::TempDir dir_;
  int fd_ = -1;
  int other_ = -1;
  std::shared_ptr<BackendPlan> plan_ = std::make_shared<BackendPlan>();
};

TEST(PoolErrorString, OwnCodesPlatformTextsAndUnknownCodes) {
  EXPECT_EQ(IORequestPool::errorString(0), "Success");
  EXPECT_EQ(IORequestPool::errorString(0x20000001), "Fewer bytes processed than were requested");
  EXPECT_EQ(IORequestPool::errorString(0x20000002), "Requested size greater than current buffer");
  EXPECT_EQ(IORequestPool::errorString(0x20000003), "No more request slots found");
  EXPECT_EQ(IORequestPool::errorString(EIO), std::strerror(EIO));
  const std::string text = IORequestPool::errorString(5);
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.back(), '\n');
  EXPECT_EQ(IORequestPool::errorString(0x20000077), "Error code 0x20000077");
}

TEST_P(PoolTest, IdlePoolWaitsNothingAndAllocateZeroGivesNullWithoutError) {
  auto pool = plainPool();
  int error = 0;
  EXPECT_TRUE(pool->waitForRequest(true, &error));
  EXPECT_TRUE(pool->waitForRequest(false, &error));
  EXPECT_EQ(pool->allocate(0, &error), nullptr);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(pool->reportWaits(), (std::vector<int32_t>{0, 0, 0, 0}));
}

TEST_P(PoolTest, CopiedWritesLandAndTheSourceIsFreeAtOnce) {
  auto pool = plainPool();
  std::vector<char> source = pattern(100000, 'a');
  const std::vector<char> expected = source;
  int error = 0;
  ASSERT_TRUE(pool->write(fd_, source.data(), 123, 100000, &error));
  std::fill(source.begin(), source.end(), 0);  // the pool kept its own copy
  ASSERT_TRUE(pool->waitForRequest(true, &error));
  EXPECT_EQ(fileBytes(fd_, 123, 100000), expected);
  EXPECT_EQ(error, 0);
  const std::vector<int32_t> usage = pool->reportUsage();
  int32_t calls = 0;
  for (int32_t count : usage) calls += count;
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(pool->reportSize(), 1);
}

TEST_P(PoolTest, SlotsAreReusedNotMultiplied) {
  auto pool = plainPool();
  std::vector<char> block = pattern(8192, 'q');
  for (int i = 0; i < 50; ++i) {
    ASSERT_TRUE(pool->write(fd_, block.data(), i * 8192, 8192, nullptr));
    ASSERT_TRUE(pool->waitForRequest(true, nullptr));
  }
  EXPECT_EQ(pool->reportSize(), 1);
}

// The later write must never be overtaken by the earlier one.
TEST_P(PoolTest, OverlappingWritesLandInSubmissionOrder) {
  auto pool = plainPool(0);
  std::vector<char> model(3 * 4096 + 65536, 0);
  for (int round = 0; round < 40; ++round) {
    const std::vector<char> bytes = pattern(65536, static_cast<char>(round * 7));
    const int64_t position = (round % 3) * 4096;
    ASSERT_TRUE(pool->write(fd_, bytes.data(), position, 65536, nullptr));
    std::copy(bytes.begin(), bytes.end(), model.begin() + position);
  }
  ASSERT_TRUE(pool->waitForRequest(true, nullptr));
  EXPECT_EQ(fileBytes(fd_, 0, 2 * 4096 + 65536),
            std::vector<char>(model.begin(), model.end() - 4096));
}

TEST_P(PoolTest, ReadOfAPendingRegionWaitsAndSeesTheNewBytes) {
  auto pool = faultPool();
  std::vector<char> bytes = pattern(4096, 'n');
  plan_->holdAll(true);
  ASSERT_TRUE(pool->write(fd_, bytes.data(), 0, 4096, nullptr));
  std::vector<char> got(100);
  auto reader = std::async(std::launch::async,
                           [&] { return pool->read(fd_, got.data(), 1000, 100, nullptr); });
  EXPECT_EQ(reader.wait_for(50ms), std::future_status::timeout);
  plan_->release(2);
  ASSERT_TRUE(reader.get());
  EXPECT_EQ(std::vector<char>(got), std::vector<char>(bytes.begin() + 1000, bytes.begin() + 1100));
  EXPECT_EQ(pool->reportWaits()[3], 1);
}

TEST_P(PoolTest, OnlyPendingWritesOfTheSameFileAndBytesAreWaitedFor) {
  auto pool = faultPool(0);
  std::vector<char> bytes = pattern(4096, 'r');
  plan_->holdAll(true);
  ASSERT_TRUE(pool->write(fd_, bytes.data(), 0, 4096, nullptr));
  // Another file and other bytes of the same file go ahead at once.
  ASSERT_TRUE(pool->write(other_, bytes.data(), 0, 4096, nullptr));
  ASSERT_TRUE(pool->write(fd_, bytes.data(), 4096, 4096, nullptr));
  EXPECT_EQ(pool->reportWaits()[3], 0);
  auto overlapping = std::async(std::launch::async,
                                [&] { return pool->write(fd_, bytes.data(), 4095, 2, nullptr); });
  EXPECT_EQ(overlapping.wait_for(50ms), std::future_status::timeout);
  plan_->holdAll(false);
  plan_->release(100);
  EXPECT_TRUE(overlapping.get());
  EXPECT_TRUE(pool->waitForRequest(true, nullptr));
  EXPECT_EQ(pool->reportWaits()[3], 1);
}

TEST_P(PoolTest, BusyLimitHoldsTheNinthWriteUntilOneCompletes) {
  auto pool = faultPool(8);
  std::vector<char> bytes = pattern(4096, 'b');
  plan_->holdAll(true);
  for (int i = 0; i < 8; ++i) ASSERT_TRUE(pool->write(fd_, bytes.data(), i * 4096, 4096, nullptr));
  auto ninth = std::async(std::launch::async,
                          [&] { return pool->write(fd_, bytes.data(), 8 * 4096, 4096, nullptr); });
  EXPECT_EQ(ninth.wait_for(50ms), std::future_status::timeout);
  plan_->release(1);
  EXPECT_TRUE(ninth.get());
  EXPECT_GE(pool->reportWaits()[2], 1);
  // Queue lengths after each write: 1..8 pending, then 8 again.
  const std::vector<int32_t> usage = pool->reportUsage();
  ASSERT_EQ(usage.size(), 9u);
  EXPECT_EQ(usage[8], 2);
  plan_->holdAll(false);
  plan_->release(100);
  EXPECT_TRUE(pool->waitForRequest(true, nullptr));
}

// A failure is reported by the write itself when it is known at once (always
// on the synchronous path), else by the next call; either way exactly once.
TEST_P(PoolTest, FailedFireAndForgetWriteFailsOnceThenTheNextCallSucceeds) {
  auto pool = faultPool();
  plan_->failNth = 2;
  plan_->failErrno = ENOSPC;
  std::vector<char> bytes = pattern(4096, 'f');
  int error = 0;
  ASSERT_TRUE(pool->write(fd_, bytes.data(), 0, 4096, &error));
  int reported = 0;
  if (!pool->write(fd_, bytes.data(), 4096, 4096, &error)) ++reported;
  ASSERT_TRUE(pool->waitForRequest(true, nullptr));
  if (!pool->write(fd_, bytes.data(), 8192, 4096, &error)) ++reported;
  EXPECT_EQ(reported, 1);
  EXPECT_EQ(error, ENOSPC);
  error = 0;
  EXPECT_TRUE(pool->write(fd_, bytes.data(), 8192, 4096, &error));
  EXPECT_TRUE(pool->waitForRequest(true, nullptr));
  EXPECT_TRUE(pool->reaper(&error));
  EXPECT_EQ(error, 0);
}

TEST_P(PoolTest, ShortAndEmptyTransfersAreFailures) {
  auto pool = faultPool();
  plan_->shortNth = 1;
  std::vector<char> bytes = pattern(4096, 's');
  int error = 0;
  if (pool->write(fd_, bytes.data(), 0, 4096, &error)) {
    pool->waitForRequest(true, nullptr);
    EXPECT_FALSE(pool->reaper(&error));
  }
  EXPECT_EQ(error, IORequestPool::ShortTransfer);
  // Reading where the file has nothing.
  std::vector<char> got(4096);
  error = 0;
  EXPECT_FALSE(pool->read(fd_, got.data(), 1 << 20, 4096, &error));
  EXPECT_EQ(error, ENODATA);
}

TEST_P(PoolTest, UnaskedErrorsArePrintedAndDropped) {
  auto pool = faultPool();
  plan_->failNth = 1;
  std::vector<char> bytes = pattern(4096, 'p');
  ::testing::internal::CaptureStdout();
  pool->write(fd_, bytes.data(), 0, 4096, nullptr);
  pool->waitForRequest(true, nullptr);
  pool->reaper(nullptr);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "~~ERROR~~ " + IORequestPool::errorString(5) + " (will be ignored)\n");
  EXPECT_TRUE(pool->reaper(nullptr));
}

TEST_P(PoolTest, CallerOwnedBuffersReadAndWriteAsynchronously) {
  auto pool = plainPool();
  int error = 0;
  auto* buffer = static_cast<char*>(pool->allocate(10000, &error));
  ASSERT_NE(buffer, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer) % 4096, 0u);
  const std::vector<char> bytes = pattern(10000, 'c');
  std::memcpy(buffer, bytes.data(), bytes.size());
  ASSERT_TRUE(pool->write(fd_, buffer, 0, 10000, &error));
  // Finished is enough for the buffer to take the next request.
  ASSERT_TRUE(pool->waitForRequest(true, &error));
  ASSERT_TRUE(pool->write(fd_, buffer, 0, 10000, &error));
  ASSERT_TRUE(pool->waitForBuffer(buffer, &error));
  // The buffer holds 12288 bytes; more is refused rather than reallocated.
  EXPECT_FALSE(pool->read(fd_, buffer, 0, 12289, &error));
  EXPECT_EQ(error, IORequestPool::BufferTooSmall);
  error = 0;
  std::memset(buffer, 0, 10000);
  ASSERT_TRUE(pool->read(fd_, buffer, 0, 10000, &error));
  ASSERT_TRUE(pool->waitForBuffer(buffer, &error));
  EXPECT_EQ(std::vector<char>(buffer, buffer + 10000), bytes);
  pool->release(buffer);
  EXPECT_EQ(error, 0);
}

TEST_P(PoolTest, FailureOnACallersBufferIsReportedOnce) {
  auto pool = faultPool();
  plan_->failNth = 1;
  plan_->failErrno = ENOSPC;
  void* buffer = pool->allocate(4096, nullptr);
  ASSERT_NE(buffer, nullptr);
  int reports = 0;
  int error = 0;
  if (!pool->write(fd_, buffer, 0, 4096, &error)) ++reports;
  if (!pool->waitForBuffer(buffer, &error)) ++reports;
  if (!pool->waitForBuffer(buffer, &error)) ++reports;
  EXPECT_EQ(reports, 1);
  EXPECT_EQ(error, ENOSPC);
  EXPECT_TRUE(pool->write(fd_, buffer, 0, 4096, nullptr));
  EXPECT_TRUE(pool->waitForBuffer(buffer, nullptr));
  pool->release(buffer);
}

TEST_P(PoolTest, ReleasedBufferWithARunningWriteCompletesUnattended) {
  auto pool = faultPool();
  auto* buffer = static_cast<char*>(pool->allocate(4096, nullptr));
  ASSERT_NE(buffer, nullptr);
  std::memset(buffer, 'u', 4096);
  plan_->holdAll(true);
  ASSERT_TRUE(pool->write(fd_, buffer, 0, 4096, nullptr));
  int error = 0;
  EXPECT_FALSE(pool->write(fd_, buffer, 8192, 4096, &error));  // still running
  EXPECT_EQ(error, EBUSY);
  pool->release(buffer);
  plan_->release(1);
  EXPECT_TRUE(pool->waitForRequest(true, nullptr));
  EXPECT_EQ(fileBytes(fd_, 0, 4096), std::vector<char>(4096, 'u'));
}

// A pool destroyed with requests in flight waits for them rather than free
// memory the kernel still uses.
TEST_P(PoolTest, DestructionWaitsForRequestsInFlight) {
  auto pool = faultPool();
  plan_->holdAll(true);
  std::vector<char> bytes = pattern(4096, 'd');
  ASSERT_TRUE(pool->write(fd_, bytes.data(), 0, 4096, nullptr));
  std::thread releaser([this] {
    std::this_thread::sleep_for(30ms);
    plan_->release(1);
  });
  pool.reset();
  releaser.join();
  EXPECT_EQ(plan_->completed, 1);
  EXPECT_EQ(fileBytes(fd_, 0, 4096), bytes);
}

TEST_P(PoolTest, ThreadsWritingAndReadingAtOnceSeeTheirOwnBytes) {
  auto pool = plainPool(3);
  constexpr int kThreads = 4;
  constexpr int kBlocks = 40;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kBlocks; ++i) {
        const int64_t position = (static_cast<int64_t>(i) * kThreads + t) * 8192;
        std::vector<char> bytes = pattern(8192, static_cast<char>(t * 31 + i));
        if (!pool->write(fd_, bytes.data(), position, 8192, nullptr)) ++failures;
        std::vector<char> back(8192);
        if (!pool->read(fd_, back.data(), position, 8192, nullptr) || back != bytes) ++failures;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_TRUE(pool->waitForRequest(true, nullptr));
  EXPECT_EQ(failures.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(Backends, PoolTest, ::testing::Values("io_uring", "synchronous"),
                         [](const auto& param) { return param.param; });

// Refuses io_uring_setup the way a seccomp policy of a container does.
bool refuseIoUring() {
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_io_uring_setup, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (EPERM & SECCOMP_RET_DATA)),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
  return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// In a child: pools made where io_uring is refused work synchronously, and
// the trace says so once per process.
int fallBackWithoutIoUring(const std::string& dir) {
  if (!refuseIoUring()) return 77;
  ::setenv("OSTREL_TYQ_DEBUG", "1", 1);
  resetDebugLevelForTesting();
  const std::string trace = dir + "/trace.txt";
  if (!std::freopen(trace.c_str(), "w", stdout)) return 90;
  const int fd = ::open((dir + "/f.bin").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  for (int i = 0; i < 2; ++i) {
    IORequestPool pool;
    if (std::string(pool.backendName()) != "synchronous") return 91;
    if (!pool.write(fd, "data", 0, 4, nullptr) || !pool.waitForRequest(true, nullptr)) return 92;
  }
  std::fflush(stdout);
  std::ifstream in(trace);
  std::stringstream text;
  text << in.rdbuf();
  const std::string lines = text.str();
  const std::string said = "## IORequestPool: io_uring unavailable (";
  const size_t first = lines.find(said);
  if (first == std::string::npos) return 93;
  if (lines.find(said, first + 1) != std::string::npos) return 94;
  return 0;
}

TEST(PoolFallback, RefusedIoUringMeansSynchronousTransfersAnnouncedOnce) {
  tyq_test::TempDir dir;
  std::fflush(stdout);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) ::_exit(fallBackWithoutIoUring(dir.path()));
  int result = 0;
  ASSERT_EQ(::waitpid(child, &result, 0), child);
  ASSERT_TRUE(WIFEXITED(result));
  if (WEXITSTATUS(result) == 77) GTEST_SKIP() << "seccomp filters not allowed here";
  EXPECT_EQ(WEXITSTATUS(result), 0);
}

TEST(SyncObject, LockRefusesWhenInvalid) {
  vvSyncObject object;
  EXPECT_TRUE(object.lock());
  EXPECT_TRUE(object.unLock());
  EXPECT_TRUE(object.tryLock());
  EXPECT_TRUE(object.unLock());
  object.setValid(false);
  EXPECT_FALSE(object.isValid());
  EXPECT_FALSE(object.lock());
  EXPECT_FALSE(object.tryLock());
  object.setValid(true);
  EXPECT_TRUE(object.lock());
  std::thread other([&] { EXPECT_FALSE(object.tryLock()); });
  other.join();
  object.unLock();
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private
