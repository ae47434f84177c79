// Positioned transfers that fail part-way say why.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <cerrno>
#include <csignal>
#include <vector>

#include "io/posix_file_util.h"
#include "support/temp_dir.h"

namespace {

namespace PosixFile = Qra::Ostrel::Tyq::Private::PosixFile;

// A write the file-size limit cuts part-way, as a full disk does: the
// first bytes land, the rest is refused. In a child, since the limit holds
// for the whole process.
TEST(PosixTransfer, AWriteStoppedPartWayGivesTheSystemsReason) {
  tyq_test::TempDir dir;
  const std::string name = dir.file("cut.bin");
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit cap = {4096, 4096};
    const int fd = ::open(name.c_str(), O_CREAT | O_RDWR, 0644);
    if (fd < 0 || setrlimit(RLIMIT_FSIZE, &cap) != 0) _exit(2);
    const std::vector<char> bytes(10000, 'x');
    const int64_t done = PosixFile::writeAt(fd, bytes.data(), bytes.size(), 0);
    _exit(done == -EFBIG ? 0 : 1);
  }
  int wstatus = 0;
  ASSERT_EQ(waitpid(pid, &wstatus, 0), pid);
  ASSERT_TRUE(WIFEXITED(wstatus));
  EXPECT_EQ(WEXITSTATUS(wstatus), 0);
}

}  // namespace
