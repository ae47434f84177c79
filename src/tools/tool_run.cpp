#include "tools/tool_run.h"

#include <algorithm>

namespace Qra::Ostrel::Tyq::Private::Tools {

void ToolRun::reset() {
  errors.reset();
  done.store(0);
  buffers_.clear();
}

void ToolRun::start() {
  if (!call(TyqCompressStarting, 0.0f, 0.0f, -1, -1, ""))
    errors.record("Cancelled before starting");
}

void ToolRun::finish(float ratio, int64_t a, int64_t b) {
  if (errors.ok()) {
    call(TyqCompressFinished, 100.0f, ratio, a, b, "");
  } else {
    call(TyqCompressFailed, 100.0f, 0.0f, a, -1, errors.message().c_str());
  }
}

bool ToolRun::call(TyqCompressState state, float percent, float ratio, int64_t a, int64_t b,
                   const char* text) {
  return !callback_ || callback_(state, percent, ratio, a, b, text, user_);
}

bool ToolRun::allocate(int threads, size_t bytes) {
  buffers_.clear();
  buffers_.resize(static_cast<size_t>(std::max(threads, 0)));
  for (AlignedBuffer& buffer : buffers_) {
    if (!buffer.Resize(std::max<size_t>(bytes, 1))) {
      buffers_.clear();
      errors.record("Out of memory allocating the per-thread buffers");
      return false;
    }
  }
  return true;
}

void* ToolRun::claim(int item, int items, int thread) {
  if (thread < 0 || static_cast<size_t>(thread) >= buffers_.size()) {
    errors.record("Internal error, no buffer allocated for this thread. Did you call open()?");
    return nullptr;
  }
  if (item < 0 || item >= items) {
    errors.record("Internal error, brick number out of range");
    return nullptr;
  }
  return buffers_[static_cast<size_t>(thread)].data();
}

float ToolRun::Percent(int64_t done, int64_t items) {
  const double share =
      items > 0 ? static_cast<double>(done) * 95.0 / static_cast<double>(items) : 95.0;
  return static_cast<float>(std::clamp(share, 1.0, 99.0));
}

}  // namespace Qra::Ostrel::Tyq::Private::Tools
