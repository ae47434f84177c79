// Waiting, throttling, the reaper of failed fire-and-forget requests, usage
// reports and error texts of IORequestPool.
#include <cstdio>
#include <cstring>
#include <mutex>

#include "io/io_backend.h"
#include "io/io_request.h"
#include "tyq/io_request_pool.h"

namespace Qra::Ostrel::Tyq::Private {

namespace {
using Guard = std::unique_lock<vvSyncObject>;
}  // namespace

PoolErrorWord::~PoolErrorWord() {
  if (code_ == 0) return;
  if (caller_) {
    *caller_ = code_;
    return;
  }
  std::printf("~~ERROR~~ %s (will be ignored)\n", IORequestPool::errorString(code_).c_str());
}

// One waiter at a time sits in the backend; it alone collects completions
// meanwhile (see drain), so none can be taken from under it and leave it
// asleep. The others sleep until it comes back and then look again.
bool IORequestPool::waitInternal(const Waited& slots, bool all, int& error) {
  if (slots.empty()) return true;
  Guard guard(lock_);
  for (;;) {
    drain();
    size_t running = 0;
    for (const auto& [slot, serial] : slots) {
      if (slot->serial == serial && slot->inFlight) ++running;
    }
    if (running == 0 || (!all && running < slots.size())) return true;
    if (kernelWaiter_) {
      woken_.wait(guard);
      continue;
    }
    kernelWaiter_ = true;
    guard.unlock();
    const int waitError = backend_->waitAny();
    guard.lock();
    kernelWaiter_ = false;
    woken_.notify_all();
    if (waitError != 0) {
      error = waitError;
      return false;
    }
  }
}

int32_t IORequestPool::countBusy() {
  drain();
  int32_t busy = 0;
  for (IORequest* slot : slots_) {
    poll(*slot);
    if (slot->pending()) ++busy;
  }
  return busy;
}

void IORequestPool::updateUsage() {
  const auto busy = static_cast<size_t>(countBusy());
  if (usage_.size() <= busy) usage_.resize(busy + 1, 0);
  ++usage_[busy];
}

bool IORequestPool::reaperLocked(int& error) {
  drain();
  for (IORequest* slot : slots_) {
    if (poll(*slot) == IORequest::FailedReleased) {
      error = slot->error;
      slot->state = IORequest::Free;
      return false;
    }
  }
  return true;
}

bool IORequestPool::reaper(int* error) {
  PoolErrorWord word(error);
  Guard guard(lock_);
  return reaperLocked(word.code());
}

bool IORequestPool::waitForThrottle(int& error) {
  for (;;) {
    {
      Guard guard(lock_);
      if (!reaperLocked(error)) return false;
      if (busyLimit_ <= 0 || countBusy() < busyLimit_) return true;
    }
    if (!waitRequests(false, error)) return false;
  }
}

bool IORequestPool::waitRequests(bool all, int& error) {
  size_t first = 0;
  bool firstRound = true;
  for (;;) {
    Waited pending;
    {
      Guard guard(lock_);
      drain();
      for (IORequest* slot : slots_) {
        poll(*slot);
        if (slot->pending()) pending.emplace_back(slot, slot->serial);
      }
      if (firstRound) first = pending.size();
      firstRound = false;
      if (pending.empty() || (!all && pending.size() < first)) return true;
      ++waits_[all ? WaitAll : WaitAny];
    }
    if (!waitInternal(pending, all, error)) return false;
  }
}

bool IORequestPool::waitForRequest(bool all, int* error) {
  PoolErrorWord word(error);
  return waitRequests(all, word.code());
}

bool IORequestPool::waitRegion(FileHandle file, int64_t position, uint64_t count, int& error) {
  Waited overlapping;
  {
    Guard guard(lock_);
    drain();
    for (IORequest* slot : slots_) {
      poll(*slot);
      if (slot->pending() && slot->overlaps(file, position, count)) {
        overlapping.emplace_back(slot, slot->serial);
      }
    }
    if (overlapping.empty()) return true;
    ++waits_[WaitRegion];
  }
  return waitInternal(overlapping, true, error);
}

bool IORequestPool::waitForRegion(FileHandle file, int64_t position, uint64_t count, int* error) {
  PoolErrorWord word(error);
  return waitRegion(file, position, count, word.code());
}

// A failure is reported once: the owner's slot is ready for the next request
// afterwards, and a released slot that failed is freed.
bool IORequestPool::waitBuffer(IORequest* slot, int& error) {
  if (slot) {
    Waited running;
    {
      Guard guard(lock_);
      drain();
      poll(*slot);
      if (slot->pending()) {
        ++waits_[WaitBuffer];
        running.emplace_back(slot, slot->serial);
      }
    }
    if (!waitInternal(running, true, error)) return false;
  }
  Guard guard(lock_);
  drain();
  if (slot) {
    const int32_t state = poll(*slot);
    if (state == IORequest::Failed || state == IORequest::FailedReleased) {
      error = slot->error;
      slot->state = state == IORequest::Failed ? IORequest::Reserved : IORequest::Free;
      return false;
    }
  }
  return reaperLocked(error);
}

bool IORequestPool::waitForBuffer(void* pointer, int* error) {
  PoolErrorWord word(error);
  IORequest* slot;
  {
    Guard guard(lock_);
    slot = find(pointer);
  }
  return waitBuffer(slot, word.code());
}

std::vector<int32_t> IORequestPool::reportUsage() const {
  Guard guard(lock_);
  return usage_;
}

std::vector<int32_t> IORequestPool::reportWaits() const {
  Guard guard(lock_);
  return {waits_[0], waits_[1], waits_[2], waits_[3]};
}

int32_t IORequestPool::reportSize() const {
  Guard guard(lock_);
  return static_cast<int32_t>(slots_.size());
}

std::string IORequestPool::errorString(int code) {
  switch (code) {
    case 0:
      return "Success";
    case ShortTransfer:
      return "Fewer bytes processed than were requested";
    case BufferTooSmall:
      return "Requested size greater than current buffer";
    case NoMoreSlots:
      return "No more request slots found";
    default:
      break;
  }
  char buffer[256] = {0};
  std::string text;
  // glibc's strerror_r returns its text (which may be static); others fill
  // the buffer and return 0.
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
  const char* found = strerror_r(code, buffer, sizeof buffer);
  text = found ? found : "";
#else
  if (strerror_r(code, buffer, sizeof buffer) == 0) text = buffer;
#endif
  if (text.rfind("Unknown error", 0) == 0) text.clear();
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
  if (text.empty()) {
    std::snprintf(buffer, sizeof buffer, "Error code 0x%X", static_cast<unsigned>(code));
    text = buffer;
  }
  return text;
}

}  // namespace Qra::Ostrel::Tyq::Private
