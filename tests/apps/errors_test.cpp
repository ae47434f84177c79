// Errors a user acts on: Ctrl-C ends a long command with exit code 130, one
// line and nothing left behind; a full disk or file-size limit is named with
// the OS's words and the output; operation trails only with -v; every
// command answers --help.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "command_runner.h"
#include "compare_command.h"
#include "compress_command.h"
#include "create_command.h"
#include "demo_command.h"
#include "read_command.h"
#include "scan_command.h"
#include "segy_export.h"
#include "segy_import.h"
#include "support/temp_dir.h"
#include "user_errors.h"

namespace tyq_tool {
namespace {

using Command = int (*)(int, char**);

struct Ended {
  int code = -1;  // the exit code, or -1 when a signal ended it
  std::string err;
};

// Runs `command` in a child whose standard output is a pipe (so progress
// comes as plain lines) and standard error a file; `whileRunning` gets the
// child's id and the pipe, and may signal it. A file-size limit of
// `fileLimit` bytes applies when positive, with SIGXFSZ ignored so that the
// write meeting it fails instead.
Ended runChild(Command command, std::vector<std::string> args, const std::string& errFile,
               const std::function<void(pid_t, int)>& whileRunning, rlim_t fileLimit = 0) {
  int out[2];
  if (::pipe(out) != 0) return {};
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(out[0]);
    ::dup2(out[1], STDOUT_FILENO);
    const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(err, STDERR_FILENO);
    if (fileLimit > 0) {
      ::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit = {fileLimit, fileLimit};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    const int rc = command(static_cast<int>(argv.size()), argv.data());
    std::fflush(stdout);
    std::fflush(stderr);
    ::_exit(rc);
  }
  ::close(out[1]);
  whileRunning(child, out[0]);
  char sink[4096];
  while (::read(out[0], sink, sizeof sink) > 0) {
  }
  ::close(out[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readWholeFile(errFile)};
}

// Reads the child's output until `marker` shows that the long step is
// under way, then presses Ctrl-C.
std::function<void(pid_t, int)> interruptAt(const std::string& marker) {
  return [marker](pid_t child, int out) {
    std::string seen;
    char buffer[4096];
    ssize_t n = 0;
    while (seen.find(marker) == std::string::npos && (n = ::read(out, buffer, sizeof buffer)) > 0) {
      seen.append(buffer, static_cast<size_t>(n));
    }
    ::kill(child, SIGINT);
  };
}

// For commands that print nothing while they work: Ctrl-C once the child
// holds `file` open and has had a moment to start reading it.
std::function<void(pid_t, int)> interruptOnceOpen(const std::string& file) {
  return [file](pid_t child, int) {
    const std::string fds = "/proc/" + std::to_string(child) + "/fd";
    const auto holds = [&] {
      std::error_code error;
      for (const auto& fd : std::filesystem::directory_iterator(fds, error)) {
        if (std::filesystem::read_symlink(fd.path(), error) == file) return true;
      }
      return false;
    };
    for (int wait = 0; wait < 10000 && !holds(); ++wait) ::usleep(1000);
    ::usleep(30000);
    ::kill(child, SIGINT);
  };
}

void nothing(pid_t, int) {}

std::vector<std::string> entries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

size_t lines(const std::string& text) {
  return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

// One survey large enough that every long command is still at work when
// its first progress line arrives, kept for the whole suite.
class Errors : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    inputs_ = new tyq_test::TempDir;
    const int n[3] = {256, 256, 256};
    std::vector<float> values(static_cast<size_t>(n[0]) * n[1] * n[2]);
    for (size_t s = 0; s < values.size(); ++s) {
      values[s] = static_cast<float>((s * 2654435761u) % 1000) * 0.01f - 5.0f;
    }
    writeNpy(input("in.npy"), "<f4", values, {n[0], n[1], n[2]});
    ASSERT_EQ(runCommand(runCreate, {input("in.vbs"), "--from", input("in.npy")}), 0);
    ASSERT_EQ(runCommand(runExportSegy, {input("in.vbs"), input("in.sgy")}), 0);
    ASSERT_EQ(runCommand(runCompress, {input("in.vbs"), input("in.vcs"), "--sqnr", "30"}), 0);
  }
  static void TearDownTestSuite() {
    delete inputs_;
    inputs_ = nullptr;
  }
  static std::string input(const std::string& name) { return inputs_->file(name); }

  std::string out(const std::string& name) const { return dir_.file(name); }
  std::string errFile() const { return errDir_.file("err.txt"); }

  // Ctrl-C at `marker`: exit code 130, one line that says so, and the
  // output directory as empty as before.
  void expectInterrupted(Command command, const std::vector<std::string>& args,
                         const std::string& marker) {
    expectInterrupted(command, args, interruptAt(marker));
  }
  void expectInterrupted(Command command, const std::vector<std::string>& args,
                         const std::function<void(pid_t, int)>& interrupt) {
    const Ended ended = runChild(command, args, errFile(), interrupt);
    EXPECT_EQ(ended.code, 130) << ended.err;
    EXPECT_EQ(lines(ended.err), 1u) << ended.err;
    EXPECT_NE(ended.err.find("interrupted"), std::string::npos) << ended.err;
    EXPECT_EQ(entries(dir_.path()), std::vector<std::string>{});
  }

  // A file-size limit met while writing `output`: exit code 1, the OS's
  // words and the output's name in the message, nothing left behind.
  void expectFileLimit(Command command, const std::vector<std::string>& args,
                       const std::string& output, bool osWords = true) {
    const Ended ended = runChild(command, args, errFile(), nothing, 200000);
    EXPECT_EQ(ended.code, 1) << ended.err;
    if (osWords) {
      EXPECT_NE(ended.err.find(std::strerror(EFBIG)), std::string::npos) << ended.err;
    }
    EXPECT_NE(ended.err.find(output), std::string::npos) << ended.err;
    EXPECT_EQ(ended.err.find(" from "), std::string::npos) << "a trail without -v: " << ended.err;
    EXPECT_EQ(entries(dir_.path()), std::vector<std::string>{});
  }

  static tyq_test::TempDir* inputs_;
  tyq_test::TempDir dir_, errDir_;
};

tyq_test::TempDir* Errors::inputs_ = nullptr;

TEST_F(Errors, CtrlCEndsCommandsThatWriteWith130AndLeavesNothing) {
  expectInterrupted(runCreate, {out("a.vbs"), "--from", input("in.npy")}, "writing samples");
  expectInterrupted(runCreate, {out("a.vcs"), "--from", input("in.npy"), "--sqnr", "30"},
                    "compressing");
  expectInterrupted(runCompress, {input("in.vbs"), out("a.vcs"), "--sqnr", "30"}, "compressing");
  expectInterrupted(runImportSegy, {input("in.sgy"), out("a.vbs")}, "importing traces");
  expectInterrupted(runImportSegy, {input("in.sgy"), out("a.vcs"), "--sqnr", "30"}, "compressing");
  expectInterrupted(runExportSegy, {input("in.vbs"), out("a.sgy")}, "exporting traces");
  expectInterrupted(runDemo, {dir_.path()}, "copying level 0");
}

TEST_F(Errors, CtrlCEndsCommandsThatOnlyReadWith130) {
  expectInterrupted(runScan, {input("in.vbs"), "--bricks", "400"}, "coding sampled bricks");
  // Decoding keeps these busy for most of a second after they open the file.
  expectInterrupted(runCompare, {input("in.vbs"), input("in.vcs")},
                    interruptOnceOpen(input("in.vcs")));
  expectInterrupted(runRead, {input("in.vcs"), "--size", "256,256,256", "-o", out("box.npy")},
                    interruptOnceOpen(input("in.vcs")));
}

TEST_F(Errors, AFileSizeLimitIsNamedWithTheOutputAndLeavesNothing) {
  expectFileLimit(runCreate, {out("a.vbs"), "--from", input("in.npy")}, out("a.vbs"));
  expectFileLimit(runImportSegy, {input("in.sgy"), out("a.vbs")}, out("a.vbs"));
  expectFileLimit(runRead, {input("in.vbs"), "--size", "256,256,256", "-o", out("box.npy")},
                  out("box.npy"));
  expectFileLimit(runDemo, {dir_.path()}, out("demo.vbs"));
  // The compressed writers' short writes carry no OS error number yet.
  expectFileLimit(runCompress, {input("in.vbs"), out("a.vcs"), "--sqnr", "30"}, out("a.vcs"),
                  false);
  expectFileLimit(runCreate, {out("a.vcs"), "--from", input("in.npy"), "--sqnr", "30"},
                  out("a.vcs"), false);
}

TEST(ErrorTrails, LibraryMessagesKeepTheirTrailOnlyInVerboseMode) {
  const std::string message =
      "unable to write file while accessing /d/o.vcs in MtFileWin32::WriteAtPosition from "
      "File::SetBrick from TyqCompressIO::Writer::write";
  EXPECT_EQ(describeFailure(message), "unable to write file while accessing /d/o.vcs");
  // A message without a trail, or whose end only looks like one, stays whole.
  EXPECT_EQ(describeFailure("cannot open a file in use"), "cannot open a file in use");
  EXPECT_EQ(describeFailure("no room in /tmp/x y"), "no room in /tmp/x y");
  setVerbose(true);
  EXPECT_EQ(describeFailure(message),
            "unable to write file while accessing /d/o.vcs [in MtFileWin32::WriteAtPosition from "
            "File::SetBrick from TyqCompressIO::Writer::write]");
  setVerbose(false);
}

// The tool itself, for what main() does: help, and standard output that
// could not be written. Found beside this test program in the build tree.
std::string toolPath() {
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  const auto tool = self.parent_path().parent_path() / "apps" / "tyq" / "tyq";
  return std::filesystem::exists(tool, error) ? tool.string() : "";
}

// Runs the tool with standard output to `stdoutPath`; exit code and
// standard error.
Ended runTool(const std::string& tool, std::vector<std::string> args, const std::string& stdoutPath,
              const std::string& errFile) {
  args.insert(args.begin(), tool);
  const pid_t child = ::fork();
  if (child == 0) {
    const int out = ::open(stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(err, STDERR_FILENO);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readWholeFile(errFile)};
}

TEST(ToolMain, EveryCommandAnswersHelpWithItsUsage) {
  const std::string tool = toolPath();
  if (tool.empty()) GTEST_SKIP() << "the tyq program is not built beside the tests";
  tyq_test::TempDir dir;
  for (const char* command : {"compare", "compress", "create", "demo", "export-segy", "import-segy",
                              "info", "read", "scan", "slice"}) {
    for (const std::vector<std::string>& asks : {std::vector<std::string>{command, "--help"},
                                                 {command, "-h"},
                                                 {command, "some.vbs", "--help"},
                                                 {"help", command}}) {
      SCOPED_TRACE(asks[0] + " " + asks[1]);
      const Ended ended = runTool(tool, asks, dir.file("out.txt"), dir.file("err.txt"));
      EXPECT_EQ(ended.code, 0) << ended.err;
      const std::string usage = readWholeFile(dir.file("out.txt"));
      EXPECT_EQ(usage.rfind("Usage: tyq [-v] " + std::string(command) + " ", 0), 0u) << usage;
    }
  }
}

TEST(ToolMain, StandardOutputThatCannotBeWrittenIsAFailure) {
  const std::string tool = toolPath();
  if (tool.empty()) GTEST_SKIP() << "the tyq program is not built beside the tests";
  tyq_test::TempDir dir;
  std::vector<float> values(size_t{8} * 8 * 8, 1.5f);
  writeNpy(dir.file("in.npy"), "<f4", values, {8, 8, 8});
  ASSERT_EQ(runCommand(runCreate, {dir.file("in.vbs"), "--from", dir.file("in.npy")}), 0);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"info", "--json", dir.file("in.vbs")},
        {"compare", dir.file("in.vbs"), dir.file("in.vbs")},
        {"read", dir.file("in.vbs"), "--size", "8,8,8", "-o", "-"},
        {"version"}}) {
    SCOPED_TRACE(args[0]);
    const Ended ended = runTool(tool, args, "/dev/full", dir.file("err.txt"));
    EXPECT_EQ(ended.code, 1) << ended.err;
    EXPECT_NE(ended.err.find(std::strerror(ENOSPC)), std::string::npos) << ended.err;
  }
}

}  // namespace
}  // namespace tyq_tool
