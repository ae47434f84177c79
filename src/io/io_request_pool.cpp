// Slots, their states and the transfers started on them. The waits, the
// reaper and the reports are in io_request_pool_wait.cpp.
#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>

#include "io/io_backend.h"
#include "io/io_request.h"
#include "tyq/io_request_pool.h"

namespace Qra::Ostrel::Tyq::Private {

namespace {

// A read that found nothing at its position. The platform has no
// end-of-file error number; this is the nearest.
constexpr int kEndOfFile = ENODATA;

using Guard = std::unique_lock<vvSyncObject>;

// A caller's buffer takes a new request only once the last one has finished,
// and only while the caller still holds it. A failure of the last one not
// yet collected with waitForBuffer is reported now rather than overwritten.
bool ownedBufferReady(IORequest& slot, int& error) {
  if (slot.pending()) {
    error = EBUSY;
    return false;
  }
  if (slot.state == IORequest::Free || slot.state == IORequest::FailedReleased) {
    error = EINVAL;
    return false;
  }
  if (slot.state == IORequest::Failed) {
    error = slot.error;
    slot.state = IORequest::Reserved;
    return false;
  }
  return true;
}

}  // namespace

IORequestPool::IORequestPool(int /*ignored*/, int32_t busyLimit)
    : IORequestPool(makeDefaultBackend(), busyLimit) {}

IORequestPool::IORequestPool(std::unique_ptr<IOBackend> backend, int32_t busyLimit)
    : busyLimit_(busyLimit), backend_(std::move(backend)) {}

// The kernel may still move data into or out of a slot's buffer while its
// request runs, so the pool waits for them before freeing anything; a slot
// still in flight after a failed wait is left allocated.
IORequestPool::~IORequestPool() {
  int ignored = 0;
  waitRequests(true, ignored);
  Guard guard(lock_);
  drain();
  for (IORequest* slot : slots_) {
    poll(*slot);
    if (!slot->pending()) delete slot;
  }
  slots_.clear();
}

const char* IORequestPool::backendName() const {
  return backend_->name();
}

void IORequestPool::drain() {
  if (kernelWaiter_) return;
  std::vector<IOCompletion> done;
  backend_->reap(done);
  for (const IOCompletion& completion : done) {
    if (completion.token >= slots_.size()) continue;
    IORequest& slot = *slots_[completion.token];
    slot.inFlight = false;
    slot.result = completion.result;
  }
}

int32_t IORequestPool::poll(IORequest& slot) {
  if (!slot.pending() || slot.inFlight) return slot.state;
  const bool released = slot.state == IORequest::PendingReleased;
  if (slot.result == static_cast<int64_t>(slot.count)) {
    slot.state = released ? IORequest::Free : IORequest::Done;
    return slot.state;
  }
  if (slot.result < 0) {
    slot.error = static_cast<int32_t>(-slot.result);
  } else {
    slot.error = !slot.write && slot.result == 0 ? kEndOfFile : ShortTransfer;
  }
  slot.state = released ? IORequest::FailedReleased : IORequest::Failed;
  return slot.state;
}

void IORequestPool::releaseSlot(IORequest& slot) {
  slot.state = slot.pending() ? IORequest::PendingReleased : IORequest::Free;
}

IORequest* IORequestPool::find(const void* pointer) const {
  if (!pointer) return nullptr;
  for (IORequest* slot : slots_) {
    if (slot->buffer.data() == pointer) return slot;
  }
  return nullptr;
}

IORequest* IORequestPool::grabSlot(int& error) {
  drain();
  for (IORequest* slot : slots_) {
    if (poll(*slot) == IORequest::Free) {
      slot->state = IORequest::Reserved;
      return slot;
    }
  }
  auto* slot = new (std::nothrow) IORequest;
  if (!slot) {
    error = ENOMEM;
    return nullptr;
  }
  slot->state = IORequest::Reserved;
  slot->token = slots_.size();
  slots_.push_back(slot);
  return slot;
}

// Buffers only grow, in whole pages, so a slot can serve cache-bypassing
// files and is reused without reallocating.
bool IORequestPool::reserve(IORequest& slot, uint64_t size) {
  if (slot.state != IORequest::Free && slot.state != IORequest::Reserved) return false;
  slot.state = IORequest::Reserved;
  slot.error = 0;
  if (size == 0) return false;
  if (!slot.buffer.Resize(size)) {
    slot.error = ENOMEM;
    slot.state = IORequest::Failed;
    return false;
  }
  return true;
}

IORequest* IORequestPool::grabWithBuffer(uint64_t size, int& error) {
  IORequest* slot = grabSlot(error);
  if (slot && !reserve(*slot, size)) {
    error = slot->error;
    releaseSlot(*slot);
    return nullptr;
  }
  return slot;
}

void IORequestPool::startTransfer(IORequest& slot, bool write, FileHandle file, int64_t position,
                                  uint32_t count) {
  if (slot.state != IORequest::Reserved) return;
  if (slot.buffer.size() < count) {
    slot.state = IORequest::Failed;
    slot.error = BufferTooSmall;
    return;
  }
  slot.file = file;
  slot.position = position;
  slot.count = count;
  slot.write = write;
  slot.error = 0;
  ++slot.serial;
  const int err = backend_->submit({write, file, slot.buffer.data(), count, position, slot.token});
  if (err != 0) {
    slot.state = IORequest::Failed;
    slot.error = err;
    return;
  }
  slot.inFlight = true;
  slot.state = IORequest::Pending;
  drain();
  poll(slot);
}

void* IORequestPool::allocate(uint64_t size, int* error) {
  PoolErrorWord word(error);
  if (!waitForThrottle(word.code())) return nullptr;
  Guard guard(lock_);
  IORequest* slot = grabSlot(word.code());
  if (!slot) return nullptr;
  if (reserve(*slot, size)) return slot->buffer.data();
  if (slot->error != 0) word.code() = slot->error;
  releaseSlot(*slot);
  return nullptr;
}

void IORequestPool::release(void* pointer) {
  Guard guard(lock_);
  if (IORequest* slot = find(pointer)) releaseSlot(*slot);
}

bool IORequestPool::write(FileHandle file, const void* source, int64_t position, uint32_t count,
                          int* error) {
  PoolErrorWord word(error);
  return transfer(true, file, const_cast<void*>(source), position, count, word.code());
}

bool IORequestPool::read(FileHandle file, void* destination, int64_t position, uint32_t count,
                         int* error) {
  PoolErrorWord word(error);
  return transfer(false, file, destination, position, count, word.code());
}

// `buffer` is only read from when `write`.
bool IORequestPool::transfer(bool write, FileHandle file, void* buffer, int64_t position,
                             uint32_t count, int& error) {
  if (!waitForThrottle(error) || !waitRegion(file, position, count, error)) return false;
  if (count == 0) return true;
  {
    // A caller's buffer is never grown here: that would move it away from
    // its owner.
    Guard guard(lock_);
    if (IORequest* slot = find(buffer)) {
      drain();
      poll(*slot);
      if (!ownedBufferReady(*slot, error)) return false;
      slot->state = IORequest::Reserved;
      startTransfer(*slot, write, file, position, count);
      if (poll(*slot) == IORequest::Failed) {
        // Told now, so the buffer is ready again and the failure is not
        // reported a second time.
        error = slot->error;
        slot->state = IORequest::Reserved;
        return false;
      }
      updateUsage();
      return true;
    }
  }
  return write ? writeCopy(file, buffer, position, count, error)
               : readCopy(file, buffer, position, count, error);
}

bool IORequestPool::writeCopy(FileHandle file, const void* source, int64_t position, uint32_t count,
                              int& error) {
  IORequest* slot;
  {
    Guard guard(lock_);
    slot = grabWithBuffer(count, error);
    if (!slot) return false;
  }
  // The slot is reserved to this call, so the copy needs no lock.
  std::memcpy(slot->buffer.data(), source, count);
  Guard guard(lock_);
  startTransfer(*slot, true, file, position, count);
  const bool failed = poll(*slot) == IORequest::Failed;
  if (failed) error = slot->error;
  releaseSlot(*slot);
  if (failed) return false;
  updateUsage();
  return true;
}

// Unlike a caller's buffer, the slot goes back to the pool whatever happened.
bool IORequestPool::readCopy(FileHandle file, void* destination, int64_t position, uint32_t count,
                             int& error) {
  IORequest* slot;
  {
    Guard guard(lock_);
    slot = grabWithBuffer(count, error);
    if (!slot) return false;
    startTransfer(*slot, false, file, position, count);
  }
  const bool ok = waitBuffer(slot, error);
  if (ok) std::memcpy(destination, slot->buffer.data(), count);
  Guard guard(lock_);
  releaseSlot(*slot);
  if (ok) updateUsage();
  return ok;
}

}  // namespace Qra::Ostrel::Tyq::Private
