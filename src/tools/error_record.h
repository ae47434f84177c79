#pragma once

#include <atomic>
#include <mutex>
#include <string>

namespace Qra::Ostrel::Tyq::Private::Tools {

// The first failure of a tool's run, shared by all its items: the first
// message wins and later ones are only counted.
class ErrorRecord {
 public:
  void record(const std::string& message);
  bool ok() const { return count_.load(std::memory_order_acquire) == 0; }
  std::string message() const;
  int count() const { return count_.load(std::memory_order_relaxed); }
  void reset();

 private:
  std::atomic<int> count_{0};
  mutable std::mutex lock_;
  std::string message_;
};

}  // namespace Qra::Ostrel::Tyq::Private::Tools
