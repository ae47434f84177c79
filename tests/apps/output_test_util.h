#pragma once

// Helpers for the tests of what commands may write and read: file kinds,
// folder listings, and commands run in a child that must end in time.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "tools/tool_util.h"

namespace tyq_tool {

// The file type bits of `path` itself (links not followed); 0 when missing.
inline mode_t kindOf(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

inline std::vector<std::string> entries(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(directory)) {
    names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Runs `command` in a child with its output discarded; its exit code, or 1000
// + the signal that ended it (SIGALRM after `seconds`: it hung).
inline int runInChild(int (*command)(int, char**), std::vector<std::string> args,
                      unsigned seconds = 20) {
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t child = ::fork();
  if (child == 0) {
    std::freopen("/dev/null", "w", stdout);
    std::freopen("/dev/null", "w", stderr);
    ::alarm(seconds);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    ::_exit(command(static_cast<int>(argv.size()), argv.data()));
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
}

// A small float volume of smooth reflectors.
inline std::string smallVolume(const tyq_test::TempDir& dir, const std::string& name, int n0 = 40,
                               int n1 = 30, int n2 = 50) {
  const int size[3] = {n0, n1, n2};
  EXPECT_TRUE(tyq_test::writeVolume(dir.file(name), size, tyq_test::seismic));
  return dir.file(name);
}

// A copy of a real survey kept with the tests.
inline std::string surveyCopy(const tyq_test::TempDir& dir, const std::string& name) {
  std::filesystem::copy_file(std::string(TYQ_SOURCE_DIR) + "/tests/data/segy/f3_segyio.sgy",
                             dir.file(name));
  return dir.file(name);
}

}  // namespace tyq_tool
