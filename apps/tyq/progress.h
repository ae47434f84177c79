#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace tyq_tool {

// Shows how far a long step is: a bar redrawn in place on a terminal, plain
// lines at every tenth when standard output is a file or a pipe.
class Progress {
 public:
  Progress(const std::string& label, int64_t total);
  void update(int64_t done);
  void finish();
  // Adds the rate and the time left to the bar, counting `bytes` for the
  // whole of the step.
  void showRate(int64_t bytes) { bytes_ = bytes; }

 private:
  std::string rateText(int64_t done) const;

  std::string label_;
  int64_t total_;
  bool terminal_;
  int lastShown_ = -1;
  int64_t bytes_ = 0;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// A bar for library calls that report (done, total) through a callback; the
// bar is finished when done reaches total.
std::function<void(int64_t, int64_t)> progressCallback(const std::string& label);

}  // namespace tyq_tool
