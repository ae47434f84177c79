#pragma once

#include <atomic>
#include <csetjmp>
#include <cstdint>

// A read-only mapping of an open file, and the guard under which its pages
// are read. Another program may shrink the file while it is mapped; touching
// a page past the new end then raises a bus error, which the guard turns
// into a failed copy instead of the end of the host process.
namespace Qra::Ostrel::Tyq::Private {

class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile() { Unmap(); }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // Maps the first `size` bytes of `fd` for reading, replacing any earlier
  // mapping. False (and unmapped) when the system refuses, for example for
  // a file system that cannot map files.
  bool Map(int fd, int64_t size);
  void Unmap();
  const unsigned char* data() const { return data_; }
  int64_t size() const { return size_; }
  // Whether [position, position + bytes) lies inside the mapping.
  bool Covers(int64_t position, int64_t bytes) const {
    return data_ && position >= 0 && bytes >= 0 && position <= size_ - bytes;
  }

 private:
  unsigned char* data_ = nullptr;
  int64_t size_ = 0;
};

namespace MappedRead {

// Installs the bus-error handler once per process. Faults outside a guarded
// copy go on to the handler that was in place before.
void InstallGuard();

// The jump target of the calling thread's guarded copy, null outside one.
sigjmp_buf*& CurrentJump();

}  // namespace MappedRead

// Runs `body`, which reads mapped pages, and returns false when one of them
// had no file behind it any more. `body` must hold nothing that needs a
// destructor: a fault leaves it without unwinding.
template <typename Body>
bool GuardedRead(Body&& body) {
  MappedRead::InstallGuard();
  sigjmp_buf*& slot = MappedRead::CurrentJump();
  sigjmp_buf* const outer = slot;
  sigjmp_buf jump;
  if (sigsetjmp(jump, 0) != 0) {
    slot = outer;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    return false;
  }
  slot = &jump;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  body();
  std::atomic_signal_fence(std::memory_order_seq_cst);
  slot = outer;
  return true;
}

}  // namespace Qra::Ostrel::Tyq::Private
