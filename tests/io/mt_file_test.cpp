#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "io/fault_backend.h"
#include "io/mt_file.h"
#include "io/vv_file.h"
#include "support/temp_dir.h"
#include "tyq/environment.h"

namespace Qra::Ostrel::Tyq::Private {
namespace {

using E = FileAccess::Error;
using tyq_test::BackendPlan;
using namespace std::chrono_literals;

using tyq_test::pattern;
std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& path, const std::vector<char>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Runs each test on the io_uring path and on the synchronous fallback; the
// pools the files make get a fault-injecting backend steered by plan_.
class MtFileTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (!tyq_test::makeBackend(GetParam())) GTEST_SKIP() << "io_uring not available here";
    setBackendMakerForTesting(
        [kind = GetParam(), plan = plan_] { return tyq_test::makeFaultBackend(kind, plan); });
  }
  void TearDown() override {
    setBackendMakerForTesting({});
    ::unsetenv("OSTREL_LIMIT_WRITE_SIZE");
    ::unsetenv("OSTREL_UNSAFE_OPEN_WRITE");
  }

  // An asynchronous file (writes go through the pool) made anew.
  void create(MtFileWin32& file, bool buffered) {
    Status status;
    ASSERT_TRUE(file.CreateNewFile(path_, &status, true, buffered, false, true))
        << status.message();
  }

  tyq_test::TempDir dir_;
  std::string path_ = dir_.file("mt.bin");
  std::shared_ptr<BackendPlan> plan_ = std::make_shared<BackendPlan>();
};

TEST_P(MtFileTest, UnbufferedMisalignedReadBouncesThroughOneBlock) {
  writeFile(path_, pattern(10000, 'x'));
  MtFileWin32 file;
  Status status;
  ASSERT_TRUE(file.OpenExistingFile(path_, &status, true, true, false, true));
  EXPECT_EQ(file.alignment(), 4096);
  EXPECT_EQ(file.pool(), nullptr);
  char got[10];
  EXPECT_EQ(file.ReadBytesFromPosition(5, 10, got, &status), 10);
  EXPECT_EQ(std::string(got, 10), std::string(pattern(15, 'x').data() + 5, 10));
  EXPECT_EQ(file.misalignedReads(), 1);
  // Past the end: what exists comes back, and the all-or-nothing read says so.
  std::vector<char> tail(5000);
  EXPECT_EQ(file.ReadBytesFromPosition(8000, 5000, tail.data(), &status), 2000);
  EXPECT_TRUE(status.ok());
  EXPECT_FALSE(file.ReadFromPosition(8000, 5000, tail.data(), &status));
  EXPECT_EQ(status.tyqError(), E::ShortRead);
  EXPECT_EQ(status.function(), "MtFileWin32::ReadFromPosition");
}

TEST_P(MtFileTest, UnbufferedMisalignedWritePatchesTheSurroundingBlock) {
  for (bool synchronous : {true, false}) {
    MtFileWin32 file;
    Status status;
    ASSERT_TRUE(file.CreateNewFile(path_, &status, true, false, synchronous, true));
    EXPECT_TRUE(file.WriteAtPosition(5, 10, "0123456789", &status)) << status.message();
    EXPECT_EQ(file.misalignedWrites(), 1);
    EXPECT_EQ(file.GetFileSize(&status), 4096);
    file.Close(&status);
    EXPECT_TRUE(status.ok()) << status.message();
    std::string expected(4096, '\0');
    expected.replace(5, 10, "0123456789");
    EXPECT_EQ(slurp(path_), expected);
  }
}

TEST_P(MtFileTest, BufferedFileTransfersAnyBytesDirectly) {
  MtFileWin32 file;
  create(file, true);
  const std::vector<char> bytes = pattern(7777, 'b');
  Status status;
  ASSERT_TRUE(file.WriteAtPosition(3, 7777, bytes.data(), &status));
  std::vector<char> back(7777);
  ASSERT_TRUE(file.ReadFromPosition(3, 7777, back.data(), &status));
  EXPECT_EQ(back, bytes);
  EXPECT_EQ(file.misalignedReads() + file.misalignedWrites(), 0);
  EXPECT_EQ(file.GetFileSize(&status), 7780);
}

TEST_P(MtFileTest, WriteLimitSplitsLargeWritesOnlyWhenSetToOne) {
  const std::vector<char> bytes = pattern(1 << 20, 'w');
  for (const char* setting : {"1", "2"}) {
    ::setenv("OSTREL_LIMIT_WRITE_SIZE", setting, 1);
    plan_->submitted = 0;
    MtFileWin32 file;
    create(file, false);
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(file.WriteAtPosition(0, 1 << 20, bytes.data(), nullptr));
    const std::string told = ::testing::internal::GetCapturedStderr();
    Status status;
    ASSERT_TRUE(file.Flush(&status));
    const bool split = std::string(setting) == "1";
    EXPECT_EQ(plan_->submitted, split ? 4 : 1);
    EXPECT_EQ(told, split ? "Limiting block size to 256 Kb when writing " + path_ + "\n" : "");
    file.Close(nullptr);
    EXPECT_EQ(slurp(path_), std::string(bytes.begin(), bytes.end()));
  }
}

TEST_P(MtFileTest, SecondWriterIsTurnedAwayUnlessUnsafeOpenIsAllowed) {
  MtFileWin32 first;
  create(first, true);
  MtFileWin32 second;
  Status status;
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(second.OpenExistingFile(path_, &status, false, true, true, true));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Cannot open " + path_ + " for write due to sharing violation.\n");
  EXPECT_EQ(status.tyqError(), E::SystemError);
  EXPECT_EQ(status.sysError(), EBUSY);
  // The synchronous file claims the same byte.
  vvFile plain;
  EXPECT_FALSE(plain.OpenExistingFile(path_, nullptr, false, true, true, true));
  EXPECT_TRUE(second.OpenExistingFile(path_, &status, true, true, true, true));
  ::setenv("OSTREL_UNSAFE_OPEN_WRITE", "1", 1);
  EXPECT_TRUE(second.OpenExistingFile(path_, &status, false, true, true, true));
  EXPECT_FALSE(second.CreateNewFile(path_, &status, true, true, true, false));
  EXPECT_EQ(status.sysError(), EEXIST);
  EXPECT_EQ(status.function(), "MtFileWin32::CreateNewFile");
}

TEST_P(MtFileTest, SizeAfterPooledWritesIncludesThemAndClosedFileSaysNotOpen) {
  MtFileWin32 file;
  create(file, false);
  const std::vector<char> bytes = pattern(8192, 's');
  plan_->holdAll(true);
  ASSERT_TRUE(file.WriteAtPosition(8192, 8192, bytes.data(), nullptr));
  std::thread releaser([this] {
    std::this_thread::sleep_for(20ms);
    plan_->release(1);
  });
  Status status;
  // Reopened, so the cached size is unknown and the pool must be waited for.
  EXPECT_EQ(file.GetFileSize(&status), 16384);
  releaser.join();
  file.Close(&status);
  EXPECT_EQ(file.GetFileSize(&status), -1);
  EXPECT_EQ(status.tyqError(), E::NotOpen);
  EXPECT_FALSE(file.Flush(&status));
  EXPECT_EQ(status.tyqError(), E::NotOpen);
  EXPECT_EQ(file.FileName(), "");
}

TEST_P(MtFileTest, ReadOfAPendingWriteWaitsForItAndSeesTheNewBytes) {
  MtFileWin32 file;
  create(file, true);
  const std::vector<char> old = pattern(4096, 'o');
  const std::vector<char> fresh = pattern(4096, 'n');
  ASSERT_TRUE(file.WriteAtPosition(0, 4096, old.data(), nullptr));
  ASSERT_TRUE(file.Flush(nullptr));
  plan_->holdAll(true);
  ASSERT_TRUE(file.WriteAtPosition(0, 4096, fresh.data(), nullptr));
  std::vector<char> got(100);
  auto reader = std::async(std::launch::async,
                           [&] { return file.ReadFromPosition(50, 100, got.data(), nullptr); });
  EXPECT_EQ(reader.wait_for(50ms), std::future_status::timeout);
  plan_->release(1);
  ASSERT_TRUE(reader.get());
  EXPECT_EQ(got, std::vector<char>(fresh.begin() + 50, fresh.begin() + 150));
}

TEST_P(MtFileTest, FailedPooledWriteIsReportedByFlush) {
  MtFileWin32 file;
  create(file, true);
  plan_->failNth = 2;
  plan_->failErrno = EIO;
  const std::vector<char> bytes = pattern(4096, 'f');
  Status status;
  ASSERT_TRUE(file.WriteAtPosition(0, 4096, bytes.data(), &status));
  const bool second = file.WriteAtPosition(4096, 4096, bytes.data(), &status);
  ::testing::internal::CaptureStdout();
  const bool flushed = file.Flush(&status);
  const std::string printed = ::testing::internal::GetCapturedStdout();
  if (second) {
    EXPECT_FALSE(flushed);
    EXPECT_EQ(status.tyqError(), E::AsyncError);
    EXPECT_EQ(status.function(), "MtFileWin32::Flush");
    EXPECT_EQ(printed, "MtFileWin32: Flush() caught a deferred error: " +
                           IORequestPool::errorString(EIO) + "\n");
  } else {
    EXPECT_TRUE(flushed);  // the write itself already said so
  }
  file.Close(&status);
  EXPECT_TRUE(status.ok()) << "reported twice: " << status.message();
}

// The fault the printed-only report would hide: the caller must learn at
// Close that data it handed over never arrived.
TEST_P(MtFileTest, FailedPooledWriteFirstFoundByCloseIsReported) {
  MtFileWin32 file;
  create(file, true);
  plan_->holdAll(true);
  plan_->failNth = 1;
  const std::vector<char> bytes = pattern(4096, 'c');
  ASSERT_TRUE(file.WriteAtPosition(0, 4096, bytes.data(), nullptr));
  std::thread releaser([this] {
    std::this_thread::sleep_for(30ms);
    plan_->release(1);
  });
  Status status;
  ::testing::internal::CaptureStdout();
  file.Close(&status);  // the write is still in flight here
  const std::string printed = ::testing::internal::GetCapturedStdout();
  releaser.join();
  EXPECT_EQ(plan_->completed, 1);
  EXPECT_EQ(status.tyqError(), E::AsyncError);
  EXPECT_EQ(status.function(), "MtFileWin32::Close");
  EXPECT_EQ(printed, "MtFileWin32: Close() caught a deferred error: " +
                         IORequestPool::errorString(EIO) + "\n");
  EXPECT_FALSE(file.IsOpen());
}

TEST_P(MtFileTest, ShortPooledWriteIsNeverASilentSuccess) {
  MtFileWin32 file;
  create(file, true);
  plan_->shortNth = 1;
  const std::vector<char> bytes = pattern(4096, 'h');
  Status atWrite;
  Status atFlush;
  const bool written = file.WriteAtPosition(0, 4096, bytes.data(), &atWrite);
  const bool flushed = file.Flush(&atFlush);
  EXPECT_NE(written, flushed);  // told once, not twice, never not at all
  EXPECT_EQ((written ? atFlush : atWrite).tyqError(), E::AsyncError);
}

TEST_P(MtFileTest, CloseReportsThePoolOnlyAfterMoreThanTenOperations) {
  for (int operations : {10, 12}) {
    MtFileWin32 file;
    create(file, false);
    std::vector<char> block(4096, 'r');
    for (int i = 0; i < operations - 1; ++i) {
      ASSERT_TRUE(file.WriteAtPosition(i * 4096, 4096, block.data(), nullptr));
    }
    char odd[3];
    ASSERT_EQ(file.ReadBytesFromPosition(1, 3, odd, nullptr), 3);
    ::testing::internal::CaptureStdout();
    file.Close(nullptr);
    const std::string printed = ::testing::internal::GetCapturedStdout();
    if (operations == 10) {
      EXPECT_EQ(printed, "");
      continue;
    }
    const std::string head =
        "MtFileWin32: Close the IORequestPool for file " + path_ + "\nMtFileWin32: Pool size = ";
    ASSERT_EQ(printed.substr(0, head.size()), head);
    EXPECT_NE(printed.find(", Queue length: [ "), std::string::npos);
    EXPECT_NE(printed.find(" ], Waits = [ "), std::string::npos);
    EXPECT_NE(printed.find(" ]\nMtFileWin32: Read/Write  operations: 1+11, Misaligned 1+0\n"),
              std::string::npos)
        << printed;
  }
}

TEST_P(MtFileTest, SynchronousUnbufferedFileReportsMisalignedTransfersAtClose) {
  MtFileWin32 file;
  Status status;
  ASSERT_TRUE(file.CreateNewFile(path_, &status, true, false, true, true));
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(file.WriteAtPosition(i * 10, 10, "abcdefghij", nullptr));
  ::testing::internal::CaptureStdout();
  file.Close(nullptr);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "MtFileWin32: Closing Unbuffered/Sync file " + path_ +
                "\nMtFileWin32: Read/Write  operations: 0+3, Misaligned 0+3\n");
}

TEST_P(MtFileTest, ThreadsReadAndWriteTheirOwnBricksAtOnce) {
  for (bool buffered : {true, false}) {
    MtFileWin32 file;
    create(file, buffered);
    constexpr int kThreads = 3;
    constexpr int kBricks = 24;
    std::vector<std::thread> threads;
    std::vector<int> failures(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        void* buffer = file.AllocateBuffer(16384);
        for (int i = 0; i < kBricks; ++i) {
          const int64_t position = (static_cast<int64_t>(i) * kThreads + t) * 16384;
          const std::vector<char> bytes = pattern(16384, static_cast<char>(t * 17 + i));
          std::memcpy(buffer, bytes.data(), bytes.size());
          if (!file.WriteAtPosition(position, 16384, buffer, nullptr)) ++failures[t];
          std::memset(buffer, 0, 16384);
          if (!file.ReadFromPosition(position, 16384, buffer, nullptr) ||
              std::memcmp(buffer, bytes.data(), bytes.size()) != 0) {
            ++failures[t];
          }
        }
        file.ReleaseBuffer(buffer);
      });
    }
    for (std::thread& thread : threads) thread.join();
    Status status;
    EXPECT_TRUE(file.Flush(&status)) << status.message();
    EXPECT_EQ(failures, std::vector<int>(kThreads, 0));
  }
}

// A disk that fills, in a child process whose file size limit is 1 MiB:
// the writes past it fail, and Flush (or, when nothing flushed, Close) must
// say so; a silent success would mean lost data.
int fillTheDisk(const std::string& path, bool flushFirst) {
  ::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{1 << 20, 1 << 20};
  if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 90;
  MtFileWin32 file;
  if (!file.CreateNewFile(path, nullptr, true, true, false, true)) return 91;
  const std::vector<char> bytes(256 * 1024, 'z');
  bool refused = false;
  for (int i = 0; i < 8; ++i) {
    if (!file.WriteAtPosition(int64_t{i} * 262144, 262144, bytes.data(), nullptr)) refused = true;
  }
  Status status;
  if (flushFirst) {
    if (file.Flush(&status)) return refused ? 0 : 92;
    if (status.tyqError() != E::AsyncError && status.tyqError() != E::SystemError) return 93;
    return 0;
  }
  file.Close(&status);
  if (status.ok()) return refused ? 0 : 94;
  return status.tyqError() == E::AsyncError ? 0 : 95;
}

TEST_P(MtFileTest, DiskThatFillsIsReportedAtFlushAndAtClose) {
  setBackendMakerForTesting([kind = GetParam()] { return tyq_test::makeBackend(kind); });
  for (bool flushFirst : {true, false}) {
    std::fflush(stdout);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const int code = fillTheDisk(path_, flushFirst);
      std::fflush(stdout);
      ::_exit(code);
    }
    int result = 0;
    ASSERT_EQ(::waitpid(child, &result, 0), child);
    ASSERT_TRUE(WIFEXITED(result));
    EXPECT_EQ(WEXITSTATUS(result), 0) << (flushFirst ? "at Flush" : "at Close");
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, MtFileTest, ::testing::Values("io_uring", "synchronous"),
                         [](const auto& param) { return param.param; });

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private
