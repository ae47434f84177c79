#include "tool_threads.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
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

struct InterruptExit::Text {
  char message[1024] = {};
  char paths[4][4096] = {};
  std::atomic<int> count{0};
};

namespace {

std::atomic<const InterruptExit::Text*> gExitText{nullptr};

// Only async-signal-safe calls: the process may be anywhere.
void exitOnInterrupt(int) {
  if (const InterruptExit::Text* text = gExitText.load()) {
    for (int p = 0; p < text->count.load(); ++p) ::unlink(text->paths[p]);
    if (::write(STDERR_FILENO, text->message, std::strlen(text->message)) < 0) {
      // nothing more can be said
    }
  }
  ::_exit(130);
}

void copyTruncated(const std::string& from, char* to, size_t room) {
  const size_t n = std::min(from.size(), room - 1);
  std::memcpy(to, from.data(), n);
  to[n] = '\0';
}

}  // namespace

InterruptExit::InterruptExit(const std::string& message) : text_(std::make_unique<Text>()) {
  // A progress bar may have left a terminal's line unfinished.
  const std::string line = (::isatty(STDOUT_FILENO) ? "\n" : "") + message;
  copyTruncated(line, text_->message, sizeof text_->message - 1);
  std::strcat(text_->message, "\n");
  outer_ = gExitText.exchange(text_.get());
  struct sigaction action = {};
  action.sa_handler = exitOnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &previous_);
}

InterruptExit::~InterruptExit() {
  sigaction(SIGINT, &previous_, nullptr);
  gExitText.store(outer_);
}

void InterruptExit::removeOnInterrupt(const std::string& path) {
  const int n = text_->count.load();
  // A name that does not fit whole is never cut short: it might name another file.
  if (n >= 4 || path.size() >= sizeof text_->paths[n]) return;
  copyTruncated(path, text_->paths[n], sizeof text_->paths[n]);
  text_->count.store(n + 1);
}

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
