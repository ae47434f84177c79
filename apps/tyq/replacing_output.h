#pragma once

#include <csignal>
#include <string>

#include "output_target.h"

namespace tyq_tool {

// A new file is written under a temporary name in the target's directory and
// renamed over the target only once it is complete, so a run that is refused,
// fails or is interrupted leaves an existing target as it was and never a
// partial file under the target's name. While the temporary exists, SIGINT,
// SIGTERM and SIGHUP remove it before the process ends, and SIGXFSZ is
// ignored so that a file-size limit surfaces as a failed write. One at a time
// per process.
//
// Only a missing target or a regular file is ever replaced: a FIFO, device,
// directory or socket under the name (or behind a link of that name) is
// refused; a link to a regular file has that file replaced, the link kept.
// An existing target is held under the library's writer claim from
// the reservation to the rename, so a file another process is writing is
// refused rather than lost. Temporaries carry the process id, and those of
// the target that dead runs left behind are removed on reservation.
class ReplacingOutput {
 public:
  explicit ReplacingOutput(const std::string& target);
  ~ReplacingOutput();  // removes the temporary unless committed
  ReplacingOutput(const ReplacingOutput&) = delete;
  ReplacingOutput& operator=(const ReplacingOutput&) = delete;

  // Reserves the temporary name (an empty file); false with a reason.
  bool reserve(std::string& error);
  // The same for a writer that creates the file itself and refuses an
  // existing one: the name is reserved, no file made. The writer removes its
  // file when it fails; a signal or the destructor removes it otherwise.
  bool reserveName(std::string& error);
  const std::string& temporaryName() const { return temporary_; }
  // Makes the temporary durable, gives it the usual mode for new files and
  // renames it over the target; false with a reason, the temporary removed.
  bool commit(std::string& error);

 private:
  void restoreSignals();
  bool checkTarget(std::string& error);
  bool resolveLink(std::string& error);

  std::string target_, temporary_;
  WriterClaim claim_;
  bool handlersInstalled_ = false;
  struct sigaction previous_[4] = {};
};

}  // namespace tyq_tool
