#include <fcntl.h>
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

  int init() {
    const int err = -io_uring_queue_init(kRingEntries, &ring_, 0);
    if (err == 0) startWriteback_ = supports(IORING_OP_SYNC_FILE_RANGE);
    return err;
  }

  const char* name() const override { return "io_uring"; }

  int submit(const IOSubmission& r) override {
    const bool withWriteback = r.write && startWriteback_;
    if (io_uring_sq_space_left(&ring_) < (withWriteback ? 2u : 1u)) {
      // The submission queue is full of requests not yet handed over.
      const int err = flush();
      if (err != 0) return err;
    }
    io_uring_sqe* sqe = io_uring_get_sqe(&ring_);
    io_uring_sqe* writeback = withWriteback ? io_uring_get_sqe(&ring_) : nullptr;
    if (r.write) {
      io_uring_prep_write(sqe, r.file, r.buffer, r.count, static_cast<uint64_t>(r.position));
    } else {
      io_uring_prep_read(sqe, r.file, r.buffer, r.count, static_cast<uint64_t>(r.position));
    }
    io_uring_sqe_set_data64(sqe, r.token);
    if (writeback) {
      // Once the write is in the page cache, its write-out to the disk
      // starts at once rather than at the flush, which then has little
      // left to do. A failed write cancels it; nobody waits for it.
      sqe->flags |= IOSQE_IO_LINK;
      io_uring_prep_sync_file_range(writeback, r.file, r.count, static_cast<uint64_t>(r.position),
                                    SYNC_FILE_RANGE_WRITE);
      io_uring_sqe_set_data64(writeback, kIgnoredToken);
    }
    const int err = flush();
    if (err != 0) {
      // The entries cannot be taken back, so they are neutralised: they go
      // out with a later submission as no-ops nobody waits for.
      for (io_uring_sqe* entry : {sqe, writeback}) {
        if (!entry) continue;
        io_uring_prep_nop(entry);
        entry->flags = 0;
        io_uring_sqe_set_data64(entry, kIgnoredToken);
      }
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
    const int result =
        io_uring_enter(static_cast<unsigned>(ring_.ring_fd), 0, 1, IORING_ENTER_GETEVENTS, nullptr);
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
      if (submitted < 0 && submitted != -EINTR && submitted != -EAGAIN && submitted != -EBUSY) {
        return -submitted;
      }
      collect(stash_);
      // A thread already waiting in the kernel would not see what was just
      // collected here; a no-op's completion brings it back to look.
      if (!stash_.empty()) {
        if (io_uring_sqe* wake = io_uring_get_sqe(&ring_)) {
          io_uring_prep_nop(wake);
          io_uring_sqe_set_data64(wake, kIgnoredToken);
        }
      }
    }
    return EAGAIN;
  }

  bool supports(int opcode) {
    io_uring_probe* probe = io_uring_get_probe_ring(&ring_);
    const bool found = probe && io_uring_opcode_supported(probe, opcode);
    if (probe) io_uring_free_probe(probe);
    return found;
  }

  io_uring ring_{};
  std::vector<IOCompletion> stash_;
  bool startWriteback_ = false;
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
