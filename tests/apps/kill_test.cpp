// The real tool killed (SIGKILL, which no handler sees) at random moments of
// every command that writes a file: the output is afterwards either absent,
// as it was, or complete; never a partial file under its name that blocks
// or misleads the next run. The next run into the folder then succeeds and
// clears what the killed runs left under temporary names.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "command_runner.h"
#include "output_test_util.h"

namespace tyq_tool {
namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
using Clock = std::chrono::steady_clock;

std::string toolPath() {
  if (const char* named = std::getenv("TYQ_TOOL"); named && *named) return named;
#ifdef TYQ_TOOL_PATH
  return TYQ_TOOL_PATH;
#else
  // The build tree keeps the tests and the tool side by side.
  const auto self = std::filesystem::read_symlink("/proc/self/exe");
  return (self.parent_path().parent_path() / "apps" / "tyq" / "tyq").string();
#endif
}

pid_t start(const std::vector<std::string>& args) {
  const std::string tool = toolPath();
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t child = ::fork();
  if (child == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
    std::vector<std::string> copy = args;
    std::vector<char*> argv = {const_cast<char*>(tool.c_str())};
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(tool.c_str(), argv.data());
    ::_exit(127);
  }
  return child;
}

// Without reaping it: it is still ours to kill.
bool running(pid_t child) {
  siginfo_t info{};
  return ::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == 0;
}

int finish(pid_t child) {
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
}

struct Case {
  std::string name;
  std::vector<std::string> args;  // the output is args[outputAt]
  size_t outputAt;
  std::function<bool(const std::string&)> complete;
};

bool volumeComplete(const std::string& path, size_t samples) {
  FA::AutoRef<FA::Reader> reader;
  Qra::Ostrel::Tyq::Private::Status status;
  if (FA::Tyq::CreateTyqReader(reader, path, FA::TyqOptions(), &status) != 0) return false;
  reader = FA::AutoRef<FA::Reader>();
  return samples > 0 && tyq_test::readLevel(path, 0).size() == samples;
}

// Kills `c` at `kills` random moments of a run as long as a whole one, and
// checks the output after each; then a whole run must succeed and leave the
// folder with no temporaries. Counts in `interrupted` the kills that left
// work in progress behind.
void killAtRandom(const tyq_test::TempDir& dir, const Case& c, int kills, std::mt19937& random,
                  int& interrupted) {
  const std::string out = c.args[c.outputAt];
  const auto t0 = Clock::now();
  ASSERT_EQ(finish(start(c.args)), 0) << c.name;
  const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - t0);
  ASSERT_TRUE(c.complete(out)) << c.name;
  std::filesystem::remove(out);
  const std::vector<std::string> before = entries(dir.path());
  for (int k = 0; k < kills; ++k) {
    // Odd kills land anywhere in the run; even ones once the output is being
    // written, anywhere in what remains of it.
    const auto begun = Clock::now();
    const pid_t child = start(c.args);
    if (k % 2 == 0) {
      while (entries(dir.path()) == before && running(child) && Clock::now() - begun < whole) {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
      }
    }
    const auto left =
        whole - std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - begun);
    std::uniform_int_distribution<int64_t> moment(0, std::max<int64_t>(0, left.count()));
    std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
    ::kill(child, SIGKILL);
    finish(child);
    if (kindOf(out) != 0) {
      EXPECT_TRUE(c.complete(out)) << c.name << ": a killed run left a partial " << out;
      std::filesystem::remove(out);
    }
    if (entries(dir.path()) != before) ++interrupted;
  }
  ASSERT_EQ(finish(start(c.args)), 0) << c.name << " after " << kills << " kills";
  EXPECT_TRUE(c.complete(out)) << c.name;
  std::vector<std::string> expected = before;
  expected.push_back(std::filesystem::path(out).filename().string());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(entries(dir.path()), expected) << c.name;
  std::filesystem::remove(out);
}

TEST(KilledRuns, LeaveNothingThatLooksLikeAResult) {
  if (!std::filesystem::exists(toolPath())) GTEST_SKIP() << "no tool at " << toolPath();
  tyq_test::TempDir dir;
  const std::string volume = smallVolume(dir, "in.vbs", 96, 80, 120);
  const size_t samples = size_t{96} * 80 * 120;
  const std::string segy = surveyCopy(dir, "in.sgy");
  std::vector<float> values(64 * 64 * 64);
  for (size_t s = 0; s < values.size(); ++s) values[s] = static_cast<float>(s % 251) - 100.0f;
  writeNpy(dir.file("in.npy"), "<f4", values, {64, 64, 64});
  const auto sameAs = [](const std::string& reference) {
    return [reference](const std::string& path) { return readWholeFile(path) == reference; };
  };
  // The references of outputs whose bytes are fixed.
  ASSERT_EQ(finish(start({"slice", volume, "--inline", "100", "-o", dir.file("ref.png")})), 0);
  ASSERT_EQ(finish(start({"export-segy", volume, dir.file("ref.sgy")})), 0);
  const std::string refPng = readWholeFile(dir.file("ref.png"));
  const std::string refSegy = readWholeFile(dir.file("ref.sgy"));
  ASSERT_EQ(finish(start({"import-segy", segy, dir.file("ref.vbs")})), 0);
  const size_t surveySamples = tyq_test::readLevel(dir.file("ref.vbs"), 0).size();
  for (const char* name : {"ref.png", "ref.sgy", "ref.vbs"})
    std::filesystem::remove(dir.file(name));
  const std::vector<Case> cases = {
      {"compress",
       {"compress", volume, dir.file("out.vcs"), "--sqnr", "30", "--threads", "2"},
       2,
       [&](const std::string& p) { return volumeComplete(p, samples); }},
      {"import-segy --sqnr",
       {"import-segy", segy, dir.file("out.vcs"), "--sqnr", "30", "--force"},
       2,
       [&](const std::string& p) { return volumeComplete(p, surveySamples); }},
      {"create --sqnr",
       {"create", dir.file("out.vcs"), "--from", dir.file("in.npy"), "--sqnr", "30", "--force"},
       1,
       [](const std::string& p) { return volumeComplete(p, size_t{64} * 64 * 64); }},
      {"export-segy", {"export-segy", volume, dir.file("out.sgy"), "--force"}, 2, sameAs(refSegy)},
      {"slice", {"slice", volume, "--inline", "100", "-o", dir.file("out.png")}, 5, sameAs(refPng)},
  };
  std::mt19937 random(26);
  const auto t0 = Clock::now();
  constexpr int kKills = 8;
  int interrupted = 0;
  for (const Case& c : cases) killAtRandom(dir, c, kKills, random, interrupted);
  // Kills must land while outputs are being written, or they test nothing.
  EXPECT_GE(interrupted, static_cast<int>(cases.size()) * kKills / 4);
  RecordProperty("interrupted", interrupted);
  const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  RecordProperty("seconds", std::to_string(seconds));
}

}  // namespace
}  // namespace tyq_tool
