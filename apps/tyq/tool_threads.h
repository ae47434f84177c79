#pragma once

#include <functional>

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

}  // namespace tyq_tool
