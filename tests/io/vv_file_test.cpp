#include "io/vv_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

namespace Qra::Ostrel::Tyq::Private {
namespace {

using E = FileAccess::Error;

void writeText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

bool create(vvFile& file, const std::string& name, Status* status, bool overwrite = false) {
  return file.CreateNewFile(name, status, true, true, true, overwrite);
}

bool open(vvFile& file, const std::string& name, Status* status, bool readOnly) {
  return file.OpenExistingFile(name, status, readOnly, true, true, true);
}

class VvFileTest : public ::testing::Test {
 protected:
  tyq_test::TempDir dir_;
  std::string path_ = dir_.file("data.bin");
  Status status_;
};

TEST_F(VvFileTest, WritesReadBackAndGapsReadAsZeros) {
  vvFile file;
  ASSERT_TRUE(create(file, path_, &status_)) << status_.message();
  EXPECT_EQ(file.FileName(), path_);
  const std::string block(5000, 'b');
  ASSERT_TRUE(file.WriteAtPosition(10000, 5000, block.data(), &status_)) << status_.message();
  EXPECT_EQ(file.GetFileSize(&status_), 15000);
  std::string back(15000, '?');
  ASSERT_TRUE(file.ReadFromPosition(0, 15000, back.data(), &status_));
  EXPECT_EQ(back, std::string(10000, '\0') + block);

  // The sequential operations continue where the last transfer stopped.
  ASSERT_TRUE(file.GoToPosition(100, &status_));
  EXPECT_EQ(file.WriteBytes(4, "abcd", &status_), 4);
  EXPECT_EQ(file.WriteBytes(2, "ef", &status_), 2);
  char text[6] = {};
  ASSERT_TRUE(file.GoToPosition(100, &status_));
  EXPECT_EQ(file.ReadBytes(6, text, &status_), 6);
  EXPECT_EQ(std::string(text, 6), "abcdef");
  EXPECT_EQ(file.GetCurrentPosition(&status_), 106);
  EXPECT_TRUE(file.Flush(&status_));
}

TEST_F(VvFileTest, ReadAcrossEndIsShortReadButCountingReadIsNot) {
  vvFile file;
  ASSERT_TRUE(create(file, path_, nullptr));
  ASSERT_TRUE(file.WriteAtPosition(0, 10, "0123456789", nullptr));

  char buffer[16] = {};
  EXPECT_FALSE(file.ReadFromPosition(6, 8, buffer, &status_));
  EXPECT_EQ(status_.tyqError(), E::ShortRead);
  EXPECT_EQ(status_.context(), path_);
  EXPECT_EQ(status_.function(), "vvFile::ReadFromPosition");

  EXPECT_EQ(file.ReadBytesFromPosition(6, 8, buffer, &status_), 4);
  EXPECT_TRUE(status_.ok());
  EXPECT_EQ(std::string(buffer, 4), "6789");
  EXPECT_EQ(file.ReadBytesFromPosition(100, 8, buffer, &status_), 0);
  EXPECT_TRUE(status_.ok());
}

TEST_F(VvFileTest, CreateKeepsOrReplacesAnExistingFile) {
  writeText(path_, "old contents");
  vvFile file;
  EXPECT_FALSE(create(file, path_, &status_));
  EXPECT_EQ(status_.tyqError(), E::SystemError);
  EXPECT_EQ(status_.sysError(), EEXIST);
  EXPECT_EQ(status_.function(), "vvFile::CreateNewFile");
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(file.FileName(), "");

  ASSERT_TRUE(create(file, path_, &status_, true)) << status_.message();
  EXPECT_EQ(file.GetFileSize(&status_), 0);
}

TEST_F(VvFileTest, ReadOnlyFileRefusesWrites) {
  writeText(path_, "abc");
  vvFile file;
  ASSERT_TRUE(open(file, path_, &status_, true));
  EXPECT_FALSE(file.IsWritable());
  EXPECT_FALSE(file.WriteAtPosition(0, 1, "x", &status_));
  EXPECT_EQ(status_.tyqError(), E::ReadOnly);
  EXPECT_EQ(status_.function(), "vvFile::WriteBytes from vvFile::WriteAtPosition");
  EXPECT_TRUE(file.Flush(&status_));
}

TEST_F(VvFileTest, OperationsAfterCloseReportNotOpen) {
  vvFile file;
  ASSERT_TRUE(create(file, path_, nullptr));
  file.Close(&status_);
  EXPECT_TRUE(status_.ok());
  EXPECT_EQ(file.FileName(), "");

  char byte = 0;
  EXPECT_EQ(file.GetFileSize(&status_), 0);
  EXPECT_EQ(status_.tyqError(), E::NotOpen);
  EXPECT_FALSE(file.ReadFromPosition(0, 1, &byte, &status_));
  EXPECT_EQ(status_.tyqError(), E::NotOpen);
  EXPECT_EQ(file.WriteBytes(1, &byte, &status_), 0);
  EXPECT_EQ(status_.tyqError(), E::NotOpen);
  EXPECT_FALSE(file.Flush(&status_));
  EXPECT_EQ(status_.tyqError(), E::NotOpen);
  EXPECT_FALSE(file.TryLockRange(0, 1, false));
}

TEST_F(VvFileTest, BadPositionsAndSizesAreInvalidArguments) {
  vvFile file;
  ASSERT_TRUE(create(file, path_, nullptr));
  char buffer[8] = {};
  EXPECT_FALSE(file.ReadFromPosition(-8, 8, buffer, &status_));
  EXPECT_EQ(status_.tyqError(), E::InvalidArgument);
  EXPECT_FALSE(file.WriteAtPosition(INT64_MAX - 4, 8, buffer, &status_));
  EXPECT_EQ(status_.tyqError(), E::InvalidArgument);
  // The size is refused before the (far too small) buffer is touched.
  EXPECT_EQ(file.ReadBytesFromPosition(0, 0x80000000u, buffer, &status_), 0);
  EXPECT_EQ(status_.tyqError(), E::InvalidArgument);
  EXPECT_FALSE(file.WriteAtPosition(0, 4, nullptr, &status_));
  EXPECT_EQ(status_.tyqError(), E::InvalidArgument);
  EXPECT_EQ(file.GetFileSize(&status_), 0);
}

TEST_F(VvFileTest, OpeningWhatIsNoRegularFileFails) {
  vvFile file;
  EXPECT_FALSE(open(file, dir_.file("missing"), &status_, true));
  EXPECT_EQ(status_.sysError(), ENOENT);
  EXPECT_EQ(status_.context(), dir_.file("missing"));
  EXPECT_EQ(status_.function(), "vvFile::OpenExistingFile");

  for (bool readOnly : {true, false}) {
    EXPECT_FALSE(open(file, dir_.path(), &status_, readOnly));
    EXPECT_EQ(status_.tyqError(), E::SystemError);
    EXPECT_EQ(status_.sysError(), EISDIR);
    EXPECT_FALSE(file.IsOpen());
  }
  EXPECT_FALSE(create(file, dir_.path(), &status_, true));
  EXPECT_EQ(status_.sysError(), EISDIR);
  EXPECT_FALSE(create(file, dir_.file("no/such/dir"), &status_));
  EXPECT_EQ(status_.sysError(), ENOENT);

  // A FIFO must be refused at once, not block waiting for a writer.
  const std::string fifo = dir_.file("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(open(file, fifo, &status_, true));
  EXPECT_EQ(status_.sysError(), ESPIPE);
}

// Root passes every permission check, so as root the open is tried from a
// child that gave up its privileges.
TEST_F(VvFileTest, OpeningWithoutPermissionFails) {
  writeText(path_, "secret");
  ASSERT_EQ(::chmod(path_.c_str(), 0600), 0);
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0711), 0);
  const auto tryOpen = [&] {
    vvFile file;
    Status status;
    return open(file, path_, &status, true) ? 0 : status.sysError();
  };
  if (::geteuid() != 0) {
    ASSERT_EQ(::chmod(path_.c_str(), 0), 0);
    EXPECT_EQ(tryOpen(), EACCES);
    return;
  }
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(255);
    ::_exit(tryOpen());
  }
  int wstatus = 0;
  ASSERT_EQ(::waitpid(child, &wstatus, 0), child);
  ASSERT_TRUE(WIFEXITED(wstatus));
  if (WEXITSTATUS(wstatus) == 255) GTEST_SKIP() << "cannot drop root privileges here";
  EXPECT_EQ(WEXITSTATUS(wstatus), EACCES);
}

TEST_F(VvFileTest, BuffersAreAlignedForDirectTransfers) {
  vvFile file;
  for (uint32_t size : {0u, 1u, 4096u, 1u << 20}) {
    void* buffer = file.AllocateBuffer(size);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer) % 4096, 0u);
    std::memset(buffer, 0x5a, size);
    file.ReleaseBuffer(buffer);
  }
  file.ReleaseBuffer(nullptr);
}

// ---- Range locks ----

TEST_F(VvFileTest, RangeLocksExcludeOtherOpenFilesOfTheSameProcess) {
  vvFile a;
  vvFile b;
  ASSERT_TRUE(create(a, path_, nullptr));
  ASSERT_TRUE(open(b, path_, nullptr, true));
  ASSERT_TRUE(a.TryLockRange(100, 50, false));
  EXPECT_FALSE(b.TryLockRange(149, 1, true));
  EXPECT_TRUE(b.TryLockRange(150, 10, true));
  EXPECT_TRUE(a.UnlockRange(100, 50));
  EXPECT_TRUE(b.TryLockRange(100, 50, true));
  EXPECT_TRUE(a.TryLockRange(100, 50, true));  // shared with shared
  EXPECT_FALSE(a.TryLockRange(100, 50, false));
}

TEST_F(VvFileTest, RangeLocksRefuseEmptyNegativeAndReservedRanges) {
  vvFile file;
  ASSERT_TRUE(create(file, path_, nullptr));
  EXPECT_FALSE(file.TryLockRange(0, 0, false));  // would mean "to infinity"
  EXPECT_FALSE(file.TryLockRange(-1, 2, false));
  EXPECT_FALSE(file.TryLockRange(0, -1, false));
  EXPECT_FALSE(file.TryLockRange(vvFile::kWriterClaimOffset, 1, false));
  EXPECT_FALSE(file.UnlockRange(0, INT64_MAX));
  EXPECT_TRUE(file.TryLockRange(0, vvFile::kWriterClaimOffset, false));
  EXPECT_TRUE(file.UnlockRange(0, vvFile::kWriterClaimOffset));

  // The writer claim survived the unlock of everything below it.
  vvFile other;
  EXPECT_FALSE(open(other, path_, &status_, false));
  EXPECT_EQ(status_.sysError(), EBUSY);
}

TEST_F(VvFileTest, LockRangeWaitsUntilTheHolderUnlocks) {
  vvFile a;
  vvFile b;
  ASSERT_TRUE(create(a, path_, nullptr));
  ASSERT_TRUE(open(b, path_, nullptr, true));
  ASSERT_TRUE(a.TryLockRange(0, 10, false));
  std::atomic<bool> granted{false};
  std::thread waiter([&] { granted = b.LockRange(5, 1, true); });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(granted);
  EXPECT_TRUE(a.UnlockRange(0, 10));
  waiter.join();
  EXPECT_TRUE(granted);
}

// ---- One writer at a time ----

TEST_F(VvFileTest, SecondWriterIsRefusedWhileReadersAreAdmitted) {
  vvFile writer;
  ASSERT_TRUE(create(writer, path_, nullptr));
  ASSERT_TRUE(writer.WriteAtPosition(0, 4, "keep", nullptr));

  vvFile other;
  EXPECT_FALSE(open(other, path_, &status_, false));
  EXPECT_EQ(status_.tyqError(), E::SystemError);
  EXPECT_EQ(status_.sysError(), EBUSY);
  EXPECT_FALSE(other.IsOpen());
  EXPECT_FALSE(create(other, path_, &status_, true));
  EXPECT_EQ(status_.sysError(), EBUSY);
  EXPECT_EQ(writer.GetFileSize(nullptr), 4) << "a refused overwrite must not truncate";

  vvFile reader;
  ASSERT_TRUE(open(reader, path_, &status_, true));
  char text[4] = {};
  ASSERT_TRUE(reader.ReadFromPosition(0, 4, text, nullptr));
  EXPECT_EQ(std::string(text, 4), "keep");

  writer.Close(nullptr);
  EXPECT_TRUE(open(other, path_, &status_, false)) << status_.message();
  vvFile third;
  EXPECT_FALSE(open(third, path_, nullptr, false));
}

TEST_F(VvFileTest, WriterClaimOfAnotherProcessEndsWhenItDies) {
  writeText(path_, "data");
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(ready[0]);
    vvFile holder;
    const char ok = open(holder, path_, nullptr, false) ? 'y' : 'n';
    if (::write(ready[1], &ok, 1) != 1) ::_exit(2);
    ::pause();  // hold the file until killed
    ::_exit(0);
  }
  ::close(ready[1]);
  char ok = 0;
  ASSERT_EQ(::read(ready[0], &ok, 1), 1);
  ::close(ready[0]);
  ASSERT_EQ(ok, 'y');

  vvFile file;
  EXPECT_FALSE(open(file, path_, &status_, false));
  EXPECT_EQ(status_.sysError(), EBUSY);
  EXPECT_TRUE(open(file, path_, &status_, true));

  ASSERT_EQ(::kill(child, SIGKILL), 0);
  int wstatus = 0;
  ASSERT_EQ(::waitpid(child, &wstatus, 0), child);
  EXPECT_TRUE(open(file, path_, &status_, false)) << status_.message();
}

TEST_F(VvFileTest, PositionedTransfersFromManyThreadsLeaveThePositionAlone) {
  vvFile file;
  ASSERT_TRUE(create(file, path_, &status_)) << status_.message();
  ASSERT_TRUE(file.GoToPosition(7, &status_));
  constexpr int kThreads = 4, kBlocks = 64, kBlock = 512;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::string block(kBlock, static_cast<char>('a' + t)), back(kBlock, ' ');
      for (int b = t; b < kBlocks; b += kThreads) {
        Status status;
        const int64_t at = int64_t{b} * kBlock;
        if (!file.WriteAtPosition(at, kBlock, block.data(), &status) ||
            !file.ReadFromPosition(at, kBlock, back.data(), &status) || back != block) {
          ++failures;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(file.GetFileSize(&status_), kBlocks * kBlock);
  EXPECT_EQ(file.GetCurrentPosition(&status_), 7);
  char byte = 0;
  ASSERT_EQ(file.ReadBytesFromPosition(kBlock * 5, 1, &byte, &status_), 1);
  EXPECT_EQ(byte, 'b');
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private
