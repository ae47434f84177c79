#pragma once

// Helpers shared by the tool's tests: run a command in-process with its
// output captured, and write NumPy input files.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "npy.h"

namespace tyq_tool {

// Runs `command` with `args`, keeping its standard output in `out` and its
// standard error in `err` when asked for.
inline int runCaptured(int (*command)(int, char**), std::vector<std::string> args, std::string& out,
                       std::string* err = nullptr) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int rc = command(static_cast<int>(argv.size()), argv.data());
  out = testing::internal::GetCapturedStdout();
  const std::string error = testing::internal::GetCapturedStderr();
  if (err) *err = error;
  return rc;
}

// Runs `command` with `args`; its standard error is echoed when it fails and
// kept in `err` when asked for.
inline int runCommand(int (*command)(int, char**), std::vector<std::string> args,
                      std::string* err = nullptr) {
  std::string out, captured;
  const int rc = runCaptured(command, std::move(args), out, &captured);
  if (rc != 0) std::fprintf(stderr, "%s", captured.c_str());
  if (err) *err = captured;
  return rc;
}

template <typename T>
void writeNpy(const std::string& path, const std::string& dtype, const std::vector<T>& values,
              std::vector<int64_t> shape) {
  std::ofstream out(path, std::ios::binary);
  const std::string header = npyHeader(dtype, shape);
  out.write(header.data(), static_cast<std::streamsize>(header.size()));
  out.write(reinterpret_cast<const char*>(values.data()),
            static_cast<std::streamsize>(values.size() * sizeof(T)));
}

inline std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace tyq_tool
