#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "io/mt_file.h"
#include "io/vv_file.h"
#include "support/fault_injection.h"
#include "support/memory_file.h"
#include "support/temp_dir.h"
#include "tyq/file.h"

namespace Qra::Ostrel::Tyq::FileAccess {
namespace {

using Private::Status;

class CountingFactory : public FileFactory {
 public:
  explicit CountingFactory(int* destroyed) : destroyed_(destroyed) {}
  ~CountingFactory() override { ++*destroyed_; }
  FileADT* CreateFileADT(const std::string&, UsageHint, bool) override { return nullptr; }

 private:
  int* destroyed_;
};

// Every test starts and ends with no factory installed.
class FileFactoryTest : public ::testing::Test {
 protected:
  void SetUp() override { delete FileFactory::getInstanceTakeOwnership(); }
  void TearDown() override { delete FileFactory::getInstanceTakeOwnership(); }
};

TEST_F(FileFactoryTest, DefaultIsMadeOnDemandAndCanBeTakenBack) {
  EXPECT_EQ(FileFactory::getInstanceTakeOwnership(), nullptr);
  FileFactory* made = &FileFactory::instance();
  EXPECT_NE(dynamic_cast<DefaultFileFactory*>(made), nullptr);
  EXPECT_EQ(&FileFactory::instance(), made);
  std::unique_ptr<FileFactory> taken(FileFactory::getInstanceTakeOwnership());
  EXPECT_EQ(taken.get(), made);
  EXPECT_EQ(FileFactory::getInstanceTakeOwnership(), nullptr);
}

TEST_F(FileFactoryTest, InstallingDestroysThePreviousFactoryButNotItself) {
  int destroyed = 0;
  auto* first = new CountingFactory(&destroyed);
  FileFactory::setInstanceGiveOwnership(first);
  FileFactory::setInstanceGiveOwnership(first);
  EXPECT_EQ(destroyed, 0);
  EXPECT_EQ(&FileFactory::instance(), first);

  FileFactory::setInstanceGiveOwnership(new CountingFactory(&destroyed));
  EXPECT_EQ(destroyed, 1);
  FileFactory::setInstanceGiveOwnership(nullptr);
  EXPECT_EQ(destroyed, 2);
  EXPECT_NE(dynamic_cast<DefaultFileFactory*>(&FileFactory::instance()), nullptr);
}

TEST_F(FileFactoryTest, DefaultFactoryMakesUnopenedFilesOfTheAskedKind) {
  DefaultFileFactory factory;
  for (bool multiThreaded : {false, true}) {
    std::unique_ptr<FileADT> file(
        factory.CreateFileADT("x", FileFactory::UsageCreate, multiThreaded));
    if (multiThreaded) {
      ASSERT_NE(dynamic_cast<Private::MtFileWin32*>(file.get()), nullptr);
    } else {
      ASSERT_NE(dynamic_cast<Private::vvFile*>(file.get()), nullptr);
    }
    EXPECT_FALSE(file->IsOpen());
    EXPECT_TRUE(file->IsReadOnly());
    EXPECT_EQ(file->FileName(), "");
  }
}

// ---- Test doubles ----

TEST_F(FileFactoryTest, InstalledFaultFactoryFailsTheChosenTransfers) {
  tyq_test::TempDir dir;
  auto state = std::make_shared<tyq_test::FaultState>();
  state->write = tyq_test::Fault::error(2, ENOSPC);
  state->read = tyq_test::Fault::shortBy(1, 3);
  FileFactory::setInstanceGiveOwnership(new tyq_test::FaultInjectionFactory(state));

  std::unique_ptr<FileADT> file(
      FileFactory::instance().CreateFileADT("f", FileFactory::UsageCreate, false));
  Status status;
  ASSERT_TRUE(file->CreateNewFile(dir.file("f"), &status, true, true, true, false));
  EXPECT_TRUE(file->WriteAtPosition(0, 8, "abcdefgh", &status));
  EXPECT_FALSE(file->WriteAtPosition(8, 8, "ijklmnop", &status));
  EXPECT_EQ(status.tyqError(), Error::SystemError);
  EXPECT_EQ(status.sysError(), ENOSPC);
  EXPECT_EQ(status.context(), dir.file("f"));
  EXPECT_TRUE(file->WriteAtPosition(8, 2, "ij", &status));

  char buffer[10] = {};
  EXPECT_FALSE(file->ReadFromPosition(0, 10, buffer, &status));
  EXPECT_EQ(status.tyqError(), Error::ShortRead);
  EXPECT_EQ(std::string(buffer, 7), "abcdefg");
  EXPECT_EQ(file->ReadBytesFromPosition(0, 10, buffer, &status), 10);

  EXPECT_EQ(state->writes, 3);
  EXPECT_EQ(state->reads, 2);
  EXPECT_EQ(state->bytesWritten, 10);
  EXPECT_EQ(state->bytesRead, 17);
}

TEST_F(FileFactoryTest, RepeatedFaultAndShortWriteTearTheData) {
  auto contents = std::make_shared<tyq_test::Bytes>();
  auto state = std::make_shared<tyq_test::FaultState>();
  state->write = tyq_test::Fault::shortBy(2, 2);
  state->write.repeat = true;
  tyq_test::FaultInjectionFactory factory(
      state, [contents] { return new tyq_test::MemoryFile(contents); });
  std::unique_ptr<FileADT> file(factory.CreateFileADT("m", FileFactory::UsageCreate, true));

  Status status;
  ASSERT_TRUE(file->CreateNewFile("m", &status, true, true, true, false));
  EXPECT_TRUE(file->WriteAtPosition(0, 4, "abcd", &status));
  EXPECT_FALSE(file->WriteAtPosition(4, 4, "efgh", &status));
  EXPECT_EQ(status.tyqError(), Error::ShortWrite);
  EXPECT_EQ(file->WriteBytesAtPosition(6, 4, "wxyz", &status), 2);
  EXPECT_EQ(std::string(contents->begin(), contents->end()), "abcdefwx");
}

TEST_F(FileFactoryTest, MemoryFileSharesItsBytesWithTheTest) {
  auto contents = std::make_shared<tyq_test::Bytes>();
  tyq_test::MemoryFile file(contents);
  Status status;
  ASSERT_TRUE(file.CreateNewFile("mem", &status, true, true, true, false));
  ASSERT_TRUE(file.WriteAtPosition(2, 3, "xyz", &status));
  EXPECT_EQ(*contents, (tyq_test::Bytes{0, 0, 'x', 'y', 'z'}));

  (*contents)[3] = '!';  // damage what was written
  char back[3] = {};
  ASSERT_TRUE(file.ReadFromPosition(2, 3, back, &status));
  EXPECT_EQ(std::string(back, 3), "x!z");
  EXPECT_FALSE(file.ReadFromPosition(4, 2, back, &status));
  EXPECT_EQ(status.tyqError(), Error::ShortRead);

  tyq_test::MemoryFile second(contents);
  EXPECT_FALSE(second.CreateNewFile("mem", &status, true, true, true, false));
  EXPECT_EQ(status.sysError(), EEXIST);
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::FileAccess
