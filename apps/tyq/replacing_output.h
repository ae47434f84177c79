#pragma once

#include <csignal>
#include <string>

namespace tyq_tool {

// A new file is written under a temporary name in the target's directory and
// renamed over the target only once it is complete, so a run that is refused,
// fails or is interrupted leaves an existing target as it was and never a
// partial file under the target's name. While the temporary exists, SIGINT,
// SIGTERM and SIGHUP remove it before the process ends, and SIGXFSZ is
// ignored so that a file-size limit surfaces as a failed write. One at a time
// per process.
class ReplacingOutput {
 public:
  explicit ReplacingOutput(const std::string& target);
  ~ReplacingOutput();  // removes the temporary unless committed
  ReplacingOutput(const ReplacingOutput&) = delete;
  ReplacingOutput& operator=(const ReplacingOutput&) = delete;

  // Reserves the temporary name (an empty file); false with a reason.
  bool reserve(std::string& error);
  const std::string& temporaryName() const { return temporary_; }
  // Makes the temporary durable, gives it the usual mode for new files and
  // renames it over the target; false with a reason, the temporary removed.
  bool commit(std::string& error);

 private:
  void restoreSignals();

  std::string target_, temporary_;
  bool handlersInstalled_ = false;
  struct sigaction previous_[4] = {};
};

}  // namespace tyq_tool
