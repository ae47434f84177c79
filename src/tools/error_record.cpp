#include "tools/error_record.h"

namespace Qra::Ostrel::Tyq::Private::Tools {

void ErrorRecord::record(const std::string& message) {
  // The message is stored before the count shows it, so a reader that sees
  // a failure also sees its text.
  std::lock_guard<std::mutex> hold(lock_);
  if (count_.load(std::memory_order_relaxed) == 0) message_ = message;
  count_.fetch_add(1, std::memory_order_release);
}

std::string ErrorRecord::message() const {
  std::lock_guard<std::mutex> hold(lock_);
  return message_;
}

void ErrorRecord::reset() {
  std::lock_guard<std::mutex> hold(lock_);
  message_.clear();
  count_.store(0, std::memory_order_release);
}

}  // namespace Qra::Ostrel::Tyq::Private::Tools
