#include <liburing.h>

#include <cerrno>
#include <cstdint>

#include "io/io_backend.h"

namespace Qra::Ostrel::Tyq::Private {

namespace {

// Enough for any sensible busy limit; a pool without a limit that outgrows it
// only submits in more rounds, and the kernel keeps surplus completions.
constexpr unsigned kRingEntries = 256;

class IoUringBackend final : public IOBackend {
 public:
  ~IoUringBackend() override { io_uring_queue_exit(&ring_); }

  int init() { return -io_uring_queue_init(kRingEntries, &ring_, 0); }

  const char* name() const override { return "io_uring"; }

  int submit(const IOSubmission& r) override {
    io_uring_sqe* sqe = io_uring_get_sqe(&ring_);
    if (!sqe) {
      // The submission queue is full of requests not yet handed over.
      const int flushed = io_uring_submit(&ring_);
      if (flushed < 0) return -flushed;
      sqe = io_uring_get_sqe(&ring_);
      if (!sqe) return EAGAIN;
    }
    if (r.write) {
      io_uring_prep_write(sqe, r.file, r.buffer, r.count, static_cast<uint64_t>(r.position));
    } else {
      io_uring_prep_read(sqe, r.file, r.buffer, r.count, static_cast<uint64_t>(r.position));
    }
    io_uring_sqe_set_data64(sqe, r.token);
    const int err = flush();
    if (err != 0) {
      // The entry cannot be taken back, so it is neutralised: it goes out
      // with a later submission as a no-op nobody waits for.
      io_uring_prep_nop(sqe);
      io_uring_sqe_set_data64(sqe, kIgnoredToken);
    }
    return err;
  }

  void reap(std::vector<IOCompletion>& out) override {
    out.insert(out.end(), stash_.begin(), stash_.end());
    stash_.clear();
    collect(out);
  }

  // Enters the kernel without touching either ring from user space, so it
  // may run beside submit() and reap() on other threads.
  int waitAny() override {
    const int result = io_uring_enter(static_cast<unsigned>(ring_.ring_fd), 0, 1,
                                      IORING_ENTER_GETEVENTS, nullptr);
    if (result >= 0 || result == -EINTR || result == -EAGAIN || result == -EBUSY) return 0;
    return -result;
  }

 private:
  static constexpr uint64_t kIgnoredToken = UINT64_MAX;

  void collect(std::vector<IOCompletion>& out) {
    io_uring_cqe* cqe = nullptr;
    while (io_uring_peek_cqe(&ring_, &cqe) == 0 && cqe) {
      const uint64_t token = io_uring_cqe_get_data64(cqe);
      if (token != kIgnoredToken) out.push_back({token, cqe->res});
      io_uring_cqe_seen(&ring_, cqe);
    }
  }

  // Hands the queued entries to the kernel. A kernel short of room for
  // completions answers EBUSY until some are collected; those are kept for
  // the next reap().
  int flush() {
    for (int attempt = 0; attempt < 1000; ++attempt) {
      const int submitted = io_uring_submit(&ring_);
      if (submitted >= 0 && io_uring_sq_ready(&ring_) == 0) return 0;
      if (submitted < 0 && submitted != -EINTR && submitted != -EAGAIN &&
          submitted != -EBUSY) {
        return -submitted;
      }
      collect(stash_);
    }
    return EAGAIN;
  }

  io_uring ring_{};
  std::vector<IOCompletion> stash_;
};

}  // namespace

std::unique_ptr<IOBackend> makeIoUringBackend(int* error) {
  auto backend = std::make_unique<IoUringBackend>();
  const int err = backend->init();
  if (err != 0) {
    *error = err;
    return nullptr;
  }
  return backend;
}

}  // namespace Qra::Ostrel::Tyq::Private
