#pragma once

// The bricks of one request as items of the library's task pool.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "core/task_pool.h"
#include "tyq/status.h"

namespace Qra::Ostrel::Tyq::Private::Access {

// Calls body(n, func) for every n in [0, count), on the caller's thread
// alone when `threads` is 1 (with the caller's own Func), else on up to
// `threads` threads of the pool, each item with a Func of its own. The
// first failure stops items not yet started and reaches `func` once, with
// its code, context and trail as the item reported them.
template <typename Body>
bool RunBrickTasks(int64_t count, int threads, Func& func, Body&& body) {
  if (threads <= 1 || count <= 1) {
    for (int64_t n = 0; n < count; ++n) {
      if (!body(n, func)) return false;
    }
    return true;
  }
  std::mutex lock;
  bool reported = false;
  return TaskPool::RunEach(count, threads, [&](int64_t n) {
    Status failure;
    {
      Func item(func.name(), &failure);
      if (body(n, item)) return true;
    }
    std::lock_guard<std::mutex> hold(lock);
    if (!reported) *func.statusP() = failure;
    reported = true;
    return false;
  });
}

// The bricks of one read: read(n, func) returns 1 when brick n exists, 0
// when it is absent (its part then reads as zeros) and -1 on failure. A
// read that finds none of its bricks fails with "brick not found".
template <typename Read>
bool ReadBricks(int64_t count, int threads, const std::string& fileName, Func& func, Read&& read) {
  std::atomic<int64_t> found{0};
  const bool ok = RunBrickTasks(count, threads, func, [&](int64_t n, Func& item) {
    const int got = read(n, item);
    if (got > 0) found.fetch_add(1, std::memory_order_relaxed);
    return got >= 0;
  });
  if (!ok) return false;
  if (found.load() == 0) return func.setError(FileAccess::Error::BrickNotFound, fileName);
  return true;
}

}  // namespace Qra::Ostrel::Tyq::Private::Access
