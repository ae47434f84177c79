#pragma once

#include <cstdint>

#include "core/aligned_buffer.h"

namespace Qra::Ostrel::Tyq::Private {

// One reusable request slot of IORequestPool. Every field is guarded by the
// pool's lock.
struct IORequest {
  enum State : int32_t {
    Free = 0,
    Reserved = 1,         // owned by a caller or being prepared, nothing in flight
    Pending = 2,          // in flight, still held by its owner
    Done = 3,             // finished with the full count
    Failed = 4,           // finished badly, still held by its owner
    PendingReleased = 5,  // in flight, nobody holds it
    FailedReleased = 6,   // a released request failed; waiting for reaper
  };

  int32_t state = Free;
  int file = -1;
  AlignedBuffer buffer;
  uint64_t count = 0;
  int64_t position = 0;
  bool write = false;
  // The completion record: set while the backend holds the request, then
  // the outcome (bytes, or minus an errno value) until the next poll.
  bool inFlight = false;
  int64_t result = 0;
  int32_t error = 0;
  uint64_t token = 0;
  // Counts the requests started on this slot, so a waiter can tell its
  // request from a later one on the same slot.
  uint64_t serial = 0;

  bool pending() const { return state == Pending || state == PendingReleased; }
  bool overlaps(int fd, int64_t start, uint64_t length) const {
    if (file != fd || length == 0 || count == 0) return false;
    const auto end = static_cast<uint64_t>(start) + length;
    const auto myEnd = static_cast<uint64_t>(position) + count;
    return static_cast<uint64_t>(start) < myEnd && static_cast<uint64_t>(position) < end;
  }
};

}  // namespace Qra::Ostrel::Tyq::Private

namespace Qra::Ostrel::Tyq::Private {

// The error word of one pool call: the caller's, or one of its own whose
// code is printed and dropped when the call ends with it set.
class PoolErrorWord {
 public:
  explicit PoolErrorWord(int* caller) : caller_(caller) {}
  ~PoolErrorWord();
  PoolErrorWord(const PoolErrorWord&) = delete;
  PoolErrorWord& operator=(const PoolErrorWord&) = delete;

  int& code() { return code_; }

 private:
  int* caller_;
  int code_ = 0;
};

}  // namespace Qra::Ostrel::Tyq::Private
