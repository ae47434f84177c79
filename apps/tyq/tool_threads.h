#pragma once

#include <signal.h>

#include <functional>
#include <memory>
#include <string>

namespace tyq_tool {

// Runs items 0..count-1 on `threads` new threads, thread t passing
// index t; each takes the next item not yet taken, and all stop once an
// item returns false.
void runItems(int count, int threads, const std::function<bool(int item, int thread)>& work);

// One thread per core.
int coreCount();

// While alive, Ctrl-C (SIGINT) only raises a flag that long steps check,
// so they can stop cleanly; a second Ctrl-C ends the process at once.
class InterruptGuard {
 public:
  InterruptGuard();
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;
};

bool interrupted();

// While alive, Ctrl-C (SIGINT) ends the process at once: the files named by
// removeOnInterrupt() are removed, `message` is printed as one line and the
// exit code is 130. For steps that cannot stop part-way, such as one long
// library call. Guards nest: the newest one answers, and an InterruptGuard
// made inside one takes over until it ends.
class InterruptExit {
 public:
  explicit InterruptExit(const std::string& message);
  ~InterruptExit();
  InterruptExit(const InterruptExit&) = delete;
  InterruptExit& operator=(const InterruptExit&) = delete;

  // A file that must not outlive an interrupted run (at most four).
  void removeOnInterrupt(const std::string& path);

  struct Text;  // what the handler reads, laid out before it may run

 private:
  std::unique_ptr<Text> text_;
  const Text* outer_ = nullptr;
  struct sigaction previous_ = {};
};

}  // namespace tyq_tool
