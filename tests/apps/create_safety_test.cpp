// tyq create against hostile inputs and interrupted runs: clear refusals, and
// an existing output that survives anything short of a complete new file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "command_runner.h"
#include "create_command.h"
#include "support/temp_dir.h"

namespace tyq_tool {
namespace {

std::vector<std::string> entries(const tyq_test::TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
    names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string makeInput(const tyq_test::TempDir& dir, const std::string& name, int n) {
  std::vector<float> values(static_cast<size_t>(n) * n * n);
  for (size_t s = 0; s < values.size(); ++s) values[s] = static_cast<float>(s % 251) * 0.5f;
  writeNpy(dir.file(name), "<f4", values, {n, n, n});
  return dir.file(name);
}

// Runs create in a child process (so limits and signals stay there) and
// returns its wait status.
template <typename Setup>
int createInChild(const std::vector<std::string>& args, Setup setup) {
  const pid_t child = ::fork();
  if (child == 0) {
    std::freopen("/dev/null", "w", stdout);
    std::freopen("/dev/null", "w", stderr);
    setup();
    std::vector<std::string> copy = args;
    std::vector<char*> argv;
    for (auto& a : copy) argv.push_back(a.data());
    ::_exit(runCreate(static_cast<int>(argv.size()), argv.data()));
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return status;
}

TEST(CreateRefuses, HostileInputsAndRangesWithoutWritingAnything) {
  tyq_test::TempDir dir;
  const std::string out = dir.file("v.vbs");
  std::string err;
  // A shape whose product wraps to zero in 64 bits.
  EXPECT_EQ(
      runCommand(runCreate,
                 {out, "--from", std::string(TYQ_DAMAGED_DIR) + "/npy_shape_product_wraps.npy"},
                 &err),
      1);
  EXPECT_NE(err.find("more than 2^31 - 1 samples"), std::string::npos) << err;
  // A FIFO would block the open, and a read, forever.
  ASSERT_EQ(::mkfifo(dir.file("fifo.npy").c_str(), 0600), 0);
  EXPECT_EQ(runCommand(runCreate, {out, "--from", dir.file("fifo.npy")}, &err), 1);
  EXPECT_NE(err.find("not a regular file"), std::string::npos) << err;
  const std::string in = makeInput(dir, "in.npy", 8);
  // Ranges that would code every sample as NaN, or that are empty once
  // stored as floats.
  for (const char* range :
       {"-inf,inf", "nan,1", "0,nan", "1,1", "2,1", "-1e39,1e39", "1,1.00000001"}) {
    EXPECT_EQ(runCommand(runCreate, {out, "--from", in, "--range", range}), 2) << range;
  }
  // IBM float files can be read but the accessor cannot write them.
  EXPECT_EQ(runCommand(runCreate, {out, "--from", in, "--type", "ibmfloat"}, &err), 2);
  EXPECT_NE(err.find("can be read but not written"), std::string::npos) << err;
  EXPECT_EQ(entries(dir), (std::vector<std::string>{"fifo.npy", "in.npy"}));
}

TEST(CreateReplaces, OnlyWithACompleteFile) {
  tyq_test::TempDir dir;
  const std::string out = dir.file("v.vbs");
  const std::string small = makeInput(dir, "small.npy", 8);
  const std::string large = makeInput(dir, "large.npy", 160);
  ASSERT_EQ(runCommand(runCreate, {out, "--from", small}), 0);
  const std::string good = readWholeFile(out);
  const std::vector<std::string> before = entries(dir);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  struct stat st;
  ASSERT_EQ(::stat(out.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);  // not the private mode of a temporary

  // Options the library refuses once the file is being created.
  EXPECT_EQ(runCommand(runCreate, {out, "--from", small, "--brick", "4096,4096,4096", "--force"}),
            1);
  for (const char* name : {"OSTREL_TYQ_BRICK_SIZE", "OSTREL_TYQ_BRICK_SIZE_0",
                           "OSTREL_TYQ_BRICK_SIZE_1", "OSTREL_TYQ_BRICK_SIZE_2"}) {
    ::unsetenv(name);
  }
  EXPECT_EQ(readWholeFile(out), good);
  EXPECT_EQ(entries(dir), before);

  // A file-size limit is a failed write with a message, not a signal.
  const int limited = createInChild({out, "--from", large, "--force"}, [] {
    const rlimit limit = {256 << 10, 256 << 10};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  });
  ASSERT_TRUE(WIFEXITED(limited)) << "ended by signal " << WTERMSIG(limited);
  EXPECT_EQ(WEXITSTATUS(limited), 1);
  EXPECT_EQ(readWholeFile(out), good);
  EXPECT_EQ(entries(dir), before);

  // Interrupted while writing: the partial file goes, the old one stays.
  const pid_t child = ::fork();
  if (child == 0) {
    std::freopen("/dev/null", "w", stdout);
    std::freopen("/dev/null", "w", stderr);
    std::string a = out, b = "--from", c = large, d = "--force";
    char* argv[] = {a.data(), b.data(), c.data(), d.data()};
    ::_exit(runCreate(4, argv));
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (entries(dir) == before && readWholeFile(out) == good &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ::kill(child, SIGTERM);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
  EXPECT_EQ(readWholeFile(out), good);
  EXPECT_EQ(entries(dir), before);

  // An existing output is replaced only when asked to.
  std::string err;
  EXPECT_EQ(runCommand(runCreate, {out, "--from", large}, &err), 1);
  EXPECT_NE(err.find("give --force"), std::string::npos) << err;
  EXPECT_EQ(readWholeFile(out), good);
  ASSERT_EQ(runCommand(runCreate, {out, "--from", large, "--force"}), 0);
  EXPECT_NE(readWholeFile(out), good);
  EXPECT_EQ(entries(dir), before);
}

}  // namespace
}  // namespace tyq_tool
