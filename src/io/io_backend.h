#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace Qra::Ostrel::Tyq::Private {

// One positioned transfer handed to a backend. `token` comes back with the
// completion so the pool can find the slot it belongs to.
struct IOSubmission {
  bool write = false;
  int file = -1;
  void* buffer = nullptr;
  uint32_t count = 0;
  int64_t position = 0;
  uint64_t token = 0;
};

// A finished transfer: `result` is the byte count, or minus an errno value.
struct IOCompletion {
  uint64_t token = 0;
  int64_t result = 0;
};

// The asynchronous I/O facility under the request pool. submit() and reap()
// are called with the pool's lock held, by one thread at a time; waitAny()
// is called without it, by at most one thread at a time, and may run while
// other threads submit.
class IOBackend {
 public:
  virtual ~IOBackend() = default;

  virtual const char* name() const = 0;
  // Starts the transfer. 0 when it was accepted (its completion will come
  // from reap(), possibly at once); an errno value when nothing was issued.
  virtual int submit(const IOSubmission& request) = 0;
  // Appends every completion available now, never waiting.
  virtual void reap(std::vector<IOCompletion>& out) = 0;
  // Blocks until at least one completion may be available (spurious returns
  // are allowed). 0, or an errno value when waiting itself failed.
  virtual int waitAny() = 0;
};

// Transfers done at once with pread/pwrite; completions are queued for reap().
std::unique_ptr<IOBackend> makeSynchronousBackend();

// An io_uring ring, or null (with the reason in *error) when the kernel
// refuses to set one up.
std::unique_ptr<IOBackend> makeIoUringBackend(int* error);

// io_uring when the kernel offers it, else the synchronous path; the first
// fallback in a process is announced on the trace channel.
std::unique_ptr<IOBackend> makeDefaultBackend();

// Makes makeDefaultBackend() return what `maker` makes (an empty function
// restores the normal choice); for tests, e.g. with makeSynchronousBackend.
void setBackendMakerForTesting(std::function<std::unique_ptr<IOBackend>()> maker);

}  // namespace Qra::Ostrel::Tyq::Private
