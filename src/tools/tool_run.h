#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "core/aligned_buffer.h"
#include "tools/error_record.h"
#include "tyq/compress_tools.h"

namespace Qra::Ostrel::Tyq::Private::Tools {

// What the copy and the scan share: the caller's callback, the error
// record, the count of items done, and one sample buffer per thread.
class ToolRun {
 public:
  ToolRun(TyqCompressCallback callback, void* user) : callback_(callback), user_(user) {}

  // Forgets the previous run: errors, count, buffers.
  void reset();
  // State 0; a refusal records "Cancelled before starting".
  void start();
  // State 1 with the share done, unless a report is running already; a
  // refusal records "Cancelled". `figures(ratio, a, b)` fills the numbers
  // and is only called when the report is made.
  template <typename Figures>
  void progress(int64_t items, Figures figures) {
    if (reporting_.exchange(true, std::memory_order_acquire)) return;
    float ratio = 0.0f;
    int64_t a = -1, b = -1;
    figures(ratio, a, b);
    if (!call(TyqCompressProgress, Percent(done.load(), items), ratio, a, b, "")) {
      errors.record("Cancelled");
    }
    reporting_.store(false, std::memory_order_release);
  }
  // The last call: state 2 with the first message, or 3.
  void finish(float ratio, int64_t a, int64_t b);
  bool call(TyqCompressState state, float percent, float ratio, int64_t a, int64_t b,
            const char* text);

  // One buffer of `bytes` per thread; false (recorded) when memory runs out.
  bool allocate(int threads, size_t bytes);
  // The buffer of `thread` for `item`, or null with the error recorded.
  void* claim(int item, int items, int thread);

  static float Percent(int64_t done, int64_t items);

  ErrorRecord errors;
  std::atomic<int64_t> done{0};

 private:
  TyqCompressCallback callback_;
  void* user_;
  std::atomic<bool> reporting_{false};
  std::vector<AlignedBuffer> buffers_;
};

}  // namespace Qra::Ostrel::Tyq::Private::Tools
