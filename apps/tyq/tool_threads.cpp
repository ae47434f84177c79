#include "tool_threads.h"

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace tyq_tool {

namespace {

std::atomic<bool> gInterrupted{false};
struct sigaction gPrevious = {};

void onInterrupt(int) {
  gInterrupted.store(true);
}

}  // namespace

void runItems(int count, int threads, const std::function<bool(int, int)>& work) {
  std::atomic<int> next{0};
  const auto share = [&](int thread) {
    for (int item = next++; item < count; item = next++) {
      if (!work(item, thread)) {
        next = count;
        return;
      }
    }
  };
  std::vector<std::thread> pool;
  for (int t = 0; t < std::max(threads, 1); ++t) pool.emplace_back(share, t);
  for (std::thread& t : pool) t.join();
}

int coreCount() {
  return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

InterruptGuard::InterruptGuard() {
  gInterrupted.store(false);
  struct sigaction action = {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  // The second Ctrl-C finds the default action back in place.
  action.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &action, &gPrevious);
}

InterruptGuard::~InterruptGuard() {
  sigaction(SIGINT, &gPrevious, nullptr);
}

bool interrupted() {
  return gInterrupted.load();
}

}  // namespace tyq_tool
