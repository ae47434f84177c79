#include "io/early_writeback.h"

#include <fcntl.h>

#include <algorithm>

namespace Qra::Ostrel::Tyq::Private {

void EarlyWriteback::Written(int fd, int64_t position, int64_t count) {
  if (count <= 0 || position < 0) return;
  int64_t low = 0, high = 0;
  {
    std::lock_guard<std::mutex> hold(lock_);
    pending_ += count;
    low_ = std::min(low_, position);
    high_ = std::max(high_, position + count);
    if (pending_ < kSpan) return;
    low = low_;
    high = high_;
    pending_ = 0;
    low_ = INT64_MAX;
    high_ = 0;
  }
#if defined(__linux__)
  // Writes back only pages that are dirty in the range, so a range widened
  // by scattered writes costs no more than the pages written.
  (void)::sync_file_range(fd, low, high - low, SYNC_FILE_RANGE_WRITE);
#else
  (void)fd;
  (void)low;
  (void)high;
#endif
}

}  // namespace Qra::Ostrel::Tyq::Private
