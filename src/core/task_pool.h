#pragma once

// The library's one pool of worker threads, shared by every reader and
// writer of the process. A request that touches many bricks runs them as
// numbered items of one job: the calling thread works on the job itself
// while idle workers join in, so a job always finishes even when every
// worker is busy, and a call made from inside an item (a nested job) cannot
// deadlock. Workers are started on first need and live until the process
// ends; a forked child starts with none.
#include <cstdint>
#include <type_traits>

namespace Qra::Ostrel::Tyq::Private {

class TaskPool {
 public:
  // Calls body(index) for every index in [0, count), on the caller's thread
  // and on up to threads - 1 workers, and returns once every started item
  // has finished. An item returning false stops the job: items not yet
  // started are skipped. Returns whether every item ran and succeeded.
  template <typename Body>
  static bool RunEach(int64_t count, int threads, Body&& body) {
    using Fn = std::remove_reference_t<Body>;
    return Run(count, threads, &body,
               [](void* fn, int64_t index) { return (*static_cast<Fn*>(fn))(index); });
  }

  // The pool size a reader or writer uses: `requested` when positive, one
  // per core when 0, else the setting "OSTREL_TYQ_THREADS" read the same
  // way, else 1 (every item on the caller's thread).
  static int ChosenThreads(int32_t requested);

  // Whether the calling thread is one of the pool's workers.
  static bool InWorker();

 private:
  using Trampoline = bool (*)(void*, int64_t);
  static bool Run(int64_t count, int threads, void* fn, Trampoline call);
};

}  // namespace Qra::Ostrel::Tyq::Private
