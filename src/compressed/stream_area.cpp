#include "compressed/stream_area.h"

#include <algorithm>
#include <new>

#include "compressed/subbands.h"

namespace Qra::Ostrel::Tyq::Private::Block {

namespace {

// Initial area sizes in units of samples / 64 bytes (stream 4 and 5 get a
// token 10 bytes; stream 18, the bulk of refinement bits, the rest).
constexpr double kShares[kRawStreams] = {0.5, 1, 1,    0.25, 0,   0,   1, 4, 1, 1,
                                         2,   8, 0.25, 0.5,  0.5, 0.5, 1, 2, 32};

}  // namespace

bool StreamArea::allocate(size_t bytes) {
  try {
    buf_.assign(bytes, 0);
  } catch (const std::bad_alloc&) {
    buf_.clear();
    return false;
  }
  cutInitialAreas();
  return true;
}

void StreamArea::cutInitialAreas() {
  const double n = kSamples / 8.0;
  size_t at = 0;
  for (int k = 0; k < kRawStreams; ++k) {
    start_[k] = at;
    at += (k == 4 || k == 5) ? 10 : static_cast<size_t>(kShares[k] * n);
  }
  start_[kRawStreams] = buf_.size();
}

void StreamArea::startWriting(BitWriter* writers) {
  for (int k = 0; k < kRawStreams; ++k) {
    const size_t end = k + 1 < kRawStreams ? start_[k + 1] : buf_.size();
    writers[k].reset(buf_.data() + start_[k], end - start_[k]);
  }
}

bool StreamArea::repartition(const size_t* lengths) {
  double total = 0;
  for (int k = 0; k < kRawStreams; ++k) total += static_cast<double>(lengths[k] + 10);
  if (total > 0.75 * static_cast<double>(buf_.size())) {
    try {
      buf_.resize(static_cast<size_t>(1.5 * total));
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
  const double usable = 0.75 * static_cast<double>(buf_.size());
  size_t at = 0;
  for (int k = 0; k < kRawStreams; ++k) {
    start_[k] = at;
    at += static_cast<size_t>(static_cast<double>(lengths[k] + 10) / total * usable);
  }
  start_[kRawStreams] = buf_.size();
  return true;
}

bool StreamArea::grow() {
  if (buf_.size() >= kMaxDecodeBytes) return false;
  try {
    buf_.resize(std::min(buf_.size() + buf_.size() / 2, kMaxDecodeBytes));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace Qra::Ostrel::Tyq::Private::Block
