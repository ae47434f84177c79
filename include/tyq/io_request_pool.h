#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tyq/export.h"
#include "tyq/sync_object.h"

namespace Qra::Ostrel::Tyq::Private {

class IOBackend;
struct IORequest;

// A growing set of reusable asynchronous request slots, each with its own
// page-aligned buffer. Writes may be fire-and-forget: the data is copied into
// a slot and the call returns before it reaches the file; a failure of such a
// write surfaces at a later allocate, read, write or waitForBuffer (through
// reaper) with the request's code. A new transfer first waits for every
// pending one of the same file that touches the same bytes, and at most
// `busyLimit` requests are kept in flight (0 or less: no limit).
//
// Every `int* error` may be null; an error that then goes unasked-for is
// printed on standard output and dropped. A non-null one receives the code of
// a failure (an errno value or one of the codes below) and is left alone on
// success.
//
// Thread safety: any number of threads may call at once. Slots and counters
// change under one lock; waiting happens outside it.
class TYQ_EXPORT IORequestPool {
 public:
  using FileHandle = int;

  enum PoolError : int32_t {
    ShortTransfer = 0x20000001,
    BufferTooSmall = 0x20000002,
    NoMoreSlots = 0x20000003,
  };

  // Transfers go through io_uring, or run synchronously where the kernel
  // offers none. The first argument is ignored.
  explicit IORequestPool(int ignored = 0, int32_t busyLimit = 4);
  // Uses `backend`, which the pool owns.
  IORequestPool(std::unique_ptr<IOBackend> backend, int32_t busyLimit);
  // Waits for requests still in flight, then frees every slot.
  ~IORequestPool();
  IORequestPool(const IORequestPool&) = delete;
  IORequestPool& operator=(const IORequestPool&) = delete;

  // A page-aligned buffer of at least `size` bytes owned by the caller until
  // release(); null for size 0 or on failure.
  void* allocate(uint64_t size, int* error);
  // Gives a buffer back; a request still running on it finishes unattended.
  void release(void* pointer);
  // With `source` from allocate() the write runs from that buffer, which the
  // caller must not touch until waitForBuffer(). Any other source is copied,
  // and the caller's memory is free again when the call returns.
  bool write(FileHandle file, const void* source, int64_t position, uint32_t count, int* error);
  // With `destination` from allocate() the call returns at once and the data
  // is there after waitForBuffer(); any other destination is filled before
  // the call returns.
  bool read(FileHandle file, void* destination, int64_t position, uint32_t count, int* error);
  // Waits for every pending request (`all`) or for at least one to finish.
  // Failures of the requests themselves are not reported here.
  bool waitForRequest(bool all, int* error);
  // Waits for every pending request on `file` that overlaps the byte range.
  bool waitForRegion(FileHandle file, int64_t position, uint64_t count, int* error);
  // Waits for the request on an allocate() buffer and reports its failure,
  // else the first failure of a released request.
  bool waitForBuffer(void* pointer, int* error);
  // Reports (and forgets) the first failed request nobody holds any more.
  bool reaper(int* error);

  // Entry k counts the successful reads and writes after which k requests
  // were pending.
  std::vector<int32_t> reportUsage() const;
  // Waits for a buffer, for all requests, for any request, for a region.
  std::vector<int32_t> reportWaits() const;
  int32_t reportSize() const;
  // "io_uring" or "synchronous".
  const char* backendName() const;

  static std::string errorString(int code);

 private:
  using Waited = std::vector<std::pair<IORequest*, uint64_t>>;
  enum WaitKind { WaitBuffer = 0, WaitAll = 1, WaitAny = 2, WaitRegion = 3 };

  IORequest* grabSlot(int& error);
  IORequest* find(const void* pointer) const;
  IORequest* grabWithBuffer(uint64_t size, int& error);
  bool waitForThrottle(int& error);
  bool waitRequests(bool all, int& error);
  bool waitInternal(const Waited& slots, bool all, int& error);
  bool waitRegion(FileHandle file, int64_t position, uint64_t count, int& error);
  bool waitBuffer(IORequest* slot, int& error);
  bool reaperLocked(int& error);
  void updateUsage();
  int32_t countBusy();
  void drain();
  int32_t poll(IORequest& slot);
  void releaseSlot(IORequest& slot);
  bool reserve(IORequest& slot, uint64_t size);
  void startTransfer(IORequest& slot, bool write, FileHandle file, int64_t position,
                     uint32_t count);
  bool transfer(bool write, FileHandle file, void* buffer, int64_t position, uint32_t count,
                int& error);
  bool writeCopy(FileHandle file, const void* source, int64_t position, uint32_t count, int& error);
  bool readCopy(FileHandle file, void* destination, int64_t position, uint32_t count, int& error);

  std::vector<IORequest*> slots_;
  int32_t busyLimit_;
  mutable vvSyncObject lock_;
  std::vector<int32_t> usage_;
  int32_t waits_[4] = {0, 0, 0, 0};
  std::unique_ptr<IOBackend> backend_;
  // Set while one thread waits inside the backend; the others sleep on
  // `woken_` and leave completions to that thread, so none is taken from
  // under it.
  bool kernelWaiter_ = false;
  std::condition_variable_any woken_;
};

}  // namespace Qra::Ostrel::Tyq::Private
