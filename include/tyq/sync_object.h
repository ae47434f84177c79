#pragma once

#include <pthread.h>

#include <atomic>

#include "tyq/export.h"

namespace Qra::Ostrel::Tyq::Private {

// A lock with a validity flag: once marked invalid, lock() and tryLock()
// refuse (returning false and not holding the lock), so an object being torn
// down can turn late callers away. The mutex spins briefly before sleeping,
// which suits the short sections it guards.
class TYQ_EXPORT vvSyncObject {
 public:
  vvSyncObject();
  ~vvSyncObject();
  vvSyncObject(const vvSyncObject&) = delete;
  vvSyncObject& operator=(const vvSyncObject&) = delete;

  // True when the lock is held and the object valid.
  bool lock();
  bool unLock();
  // Never waits; true only when the lock was taken and the object is valid.
  bool tryLock();
  bool isValid() const { return valid_; }
  void setValid(bool valid) { valid_ = valid; }

  // BasicLockable spelling, so the object works with std::unique_lock and
  // condition variables (which ignore lock()'s result: use them only while
  // the object stays valid).
  void unlock() { unLock(); }

 private:
  pthread_mutex_t mutex_;
  std::atomic<bool> valid_{true};
};

}  // namespace Qra::Ostrel::Tyq::Private
