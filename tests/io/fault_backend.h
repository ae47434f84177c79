#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "io/io_backend.h"

namespace tyq_test {

using Qra::Ostrel::Tyq::Private::IOBackend;
using Qra::Ostrel::Tyq::Private::IOCompletion;
using Qra::Ostrel::Tyq::Private::IOSubmission;

// What a FaultBackend does, shared with the test after the pool took the
// backend. Requests are numbered from 1 in submission order.
struct BackendPlan {
  std::mutex mutex;
  std::condition_variable changed;
  int64_t failNth = 0;    // this request completes with -failErrno
  int failErrno = 5;      // EIO
  bool failRest = false;  // ... and every later one too
  int64_t shortNth = 0;   // this request completes one byte short
  bool hold = false;      // completions are kept until released
  int64_t releasable = 0;
  int64_t submitted = 0;
  int64_t completed = 0;  // handed to the pool

  // Lets `count` held completions through.
  void release(int64_t count) {
    std::lock_guard<std::mutex> lock(mutex);
    releasable += count;
    changed.notify_all();
  }
  void holdAll(bool on) {
    std::lock_guard<std::mutex> lock(mutex);
    hold = on;
    changed.notify_all();
  }
};

// Wraps a real backend and bends its completions by the plan: errors or
// short counts on chosen requests, and completions withheld until the test
// releases them (a request kept in flight as long as the test likes).
class FaultBackend : public IOBackend {
 public:
  FaultBackend(std::unique_ptr<IOBackend> inner, std::shared_ptr<BackendPlan> plan)
      : inner_(std::move(inner)), plan_(std::move(plan)) {}

  const char* name() const override { return inner_->name(); }

  int submit(const IOSubmission& request) override {
    std::lock_guard<std::mutex> lock(plan_->mutex);
    const int err = inner_->submit(request);
    if (err == 0) {
      numbers_[request.token] = ++plan_->submitted;
      counts_[request.token] = request.count;
      ++innerRunning_;
    }
    return err;
  }

  void reap(std::vector<IOCompletion>& out) override {
    std::lock_guard<std::mutex> lock(plan_->mutex);
    std::vector<IOCompletion> fresh;
    inner_->reap(fresh);
    for (IOCompletion c : fresh) {
      --innerRunning_;
      const int64_t nth = numbers_[c.token];
      if (nth == plan_->failNth ||
          (plan_->failRest && plan_->failNth > 0 && nth > plan_->failNth)) {
        c.result = -plan_->failErrno;
      } else if (nth == plan_->shortNth) {
        c.result = static_cast<int64_t>(counts_[c.token]) - 1;
      }
      held_.push_back(c);
    }
    while (!held_.empty() && (!plan_->hold || plan_->releasable > 0)) {
      if (plan_->hold) --plan_->releasable;
      out.push_back(held_.front());
      held_.pop_front();
      ++plan_->completed;
    }
  }

  int waitAny() override {
    std::unique_lock<std::mutex> lock(plan_->mutex);
    if (innerRunning_ > 0) {
      lock.unlock();
      return inner_->waitAny();
    }
    plan_->changed.wait(
        lock, [this] { return !held_.empty() && (!plan_->hold || plan_->releasable > 0); });
    return 0;
  }

 private:
  std::unique_ptr<IOBackend> inner_;
  std::shared_ptr<BackendPlan> plan_;
  std::map<uint64_t, int64_t> numbers_;
  std::map<uint64_t, uint32_t> counts_;
  std::deque<IOCompletion> held_;
  int64_t innerRunning_ = 0;
};

// Bytes that differ from one position and one seed to the next.
inline std::vector<char> pattern(size_t size, char seed) {
  std::vector<char> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + i % 251);
  return bytes;
}

// The two real backends the tests run on.
inline std::unique_ptr<IOBackend> makeBackend(const std::string& kind) {
  if (kind == "synchronous") return Qra::Ostrel::Tyq::Private::makeSynchronousBackend();
  int error = 0;
  return Qra::Ostrel::Tyq::Private::makeIoUringBackend(&error);
}

inline std::unique_ptr<IOBackend> makeFaultBackend(const std::string& kind,
                                                   std::shared_ptr<BackendPlan> plan) {
  return std::make_unique<FaultBackend>(makeBackend(kind), std::move(plan));
}

}  // namespace tyq_test
