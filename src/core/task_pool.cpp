#include "core/task_pool.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "tyq/environment.h"

namespace Qra::Ostrel::Tyq::Private {

namespace {

constexpr int kMaxThreads = 256;
constexpr int kSpins = 1 << 14;
constexpr std::chrono::microseconds kAloneFor{100};

inline void Relax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#else
  std::this_thread::yield();
#endif
}

thread_local bool t_inWorker = false;

// One RunEach call. It lives on the caller's stack: the caller leaves only
// once it has taken the job off the queue and every helper has let go.
struct Job {
  void* fn;
  bool (*call)(void*, int64_t);
  int64_t count;
  int helpersWanted;
  std::atomic<int> helpers{0};  // changed under the pool's lock
  std::atomic<int64_t> next{0};
  std::atomic<bool> failed{false};

  bool Exhausted() const {
    return failed.load(std::memory_order_relaxed) || next.load(std::memory_order_relaxed) >= count;
  }

  void Work() {
    while (!failed.load(std::memory_order_relaxed)) {
      const int64_t index = next.fetch_add(1, std::memory_order_relaxed);
      if (index >= count) return;
      if (!call(fn, index)) failed.store(true, std::memory_order_relaxed);
    }
  }

  // Runs items on the calling thread alone until `budget` has passed;
  // true when the job is done.
  bool WorkAlone(std::chrono::steady_clock::duration budget) {
    const auto until = std::chrono::steady_clock::now() + budget;
    while (!Exhausted()) {
      const int64_t index = next.fetch_add(1, std::memory_order_relaxed);
      if (index >= count) break;
      if (!call(fn, index)) failed.store(true, std::memory_order_relaxed);
      if (std::chrono::steady_clock::now() >= until) break;
    }
    return Exhausted();
  }
};

class Pool {
 public:
  static Pool& Get() {
    std::call_once(once_, [] {
      pool_ = new Pool;
      // A forked child has none of the parent's workers, and the lock may
      // have been held by one of them: it starts over with a pool of its
      // own (the parent's is left behind, unused).
      pthread_atfork(nullptr, nullptr, [] { pool_ = new Pool; });
    });
    return *pool_;
  }

  bool Run(Job& job) {
    {
      std::lock_guard<std::mutex> hold(lock_);
      Grow(job.helpersWanted);
      jobs_.push_back(&job);
    }
    wake_.notify_all();
    job.Work();
    {
      std::lock_guard<std::mutex> hold(lock_);
      const auto queued = std::find(jobs_.begin(), jobs_.end(), &job);
      if (queued != jobs_.end()) jobs_.erase(queued);
    }
    // A helper is at most one item behind. Items of a cached read take a
    // few microseconds, less than putting this thread to sleep and waking
    // it again, so it waits awake for a while first.
    for (int spin = 0; spin < kSpins && job.helpers.load() != 0; ++spin) Relax();
    if (job.helpers.load() != 0) {
      std::unique_lock<std::mutex> hold(lock_);
      released_.wait(hold, [&] { return job.helpers.load() == 0; });
    }
    return !job.failed.load();
  }

 private:
  // Under lock_.
  void Grow(int wanted) {
    while (workers_ < wanted) {
      try {
        std::thread(&Pool::Serve, this).detach();
      } catch (const std::system_error&) {
        return;  // the caller's own thread still runs every item
      }
      ++workers_;
    }
  }

  void Serve() {
    t_inWorker = true;
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
      wake_.wait(hold, [&] { return !jobs_.empty(); });
      Job& job = *jobs_.front();
      if (job.Exhausted()) {
        jobs_.pop_front();
        continue;
      }
      if (++job.helpers >= job.helpersWanted) jobs_.pop_front();
      hold.unlock();
      job.Work();
      hold.lock();
      if (--job.helpers == 0) released_.notify_all();
    }
  }

  static inline std::once_flag once_;
  static inline Pool* pool_ = nullptr;

  std::mutex lock_;
  std::condition_variable wake_;
  std::condition_variable released_;
  std::deque<Job*> jobs_;  // jobs that still take helpers
  int workers_ = 0;
};

int Clamp(int32_t threads) {
  if (threads == 0) threads = static_cast<int32_t>(std::thread::hardware_concurrency());
  return std::clamp<int32_t>(threads, 1, kMaxThreads);
}

}  // namespace

bool TaskPool::Run(int64_t count, int threads, void* fn, Trampoline call) {
  threads = static_cast<int>(std::min<int64_t>(std::clamp(threads, 1, kMaxThreads), count));
  if (threads <= 1) {
    for (int64_t index = 0; index < count; ++index) {
      if (!call(fn, index)) return false;
    }
    return true;
  }
  // A job done in less time than waking a worker and waiting for it costs
  // never involves the pool: a cached slice read is tens of microseconds.
  Job job{fn, call, count, threads - 1};
  if (job.WorkAlone(kAloneFor)) return !job.failed.load();
  return Pool::Get().Run(job);
}

int TaskPool::ChosenThreads(int32_t requested) {
  if (requested < 0) requested = Environment::getNumericEnv("OSTREL_TYQ_THREADS", 1);
  return requested < 0 ? 1 : Clamp(requested);
}

bool TaskPool::InWorker() {
  return t_inWorker;
}

}  // namespace Qra::Ostrel::Tyq::Private
