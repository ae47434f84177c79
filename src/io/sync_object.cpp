#include "tyq/sync_object.h"

namespace Qra::Ostrel::Tyq::Private {

vvSyncObject::vvSyncObject() {
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
#if defined(PTHREAD_ADAPTIVE_MUTEX_INITIALIZER_NP)
  // Spins a little before sleeping, the counterpart of a spin count.
  pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_ADAPTIVE_NP);
#endif
  pthread_mutex_init(&mutex_, &attributes);
  pthread_mutexattr_destroy(&attributes);
}

vvSyncObject::~vvSyncObject() {
  pthread_mutex_destroy(&mutex_);
}

bool vvSyncObject::lock() {
  pthread_mutex_lock(&mutex_);
  if (valid_) return true;
  pthread_mutex_unlock(&mutex_);
  return false;
}

bool vvSyncObject::unLock() {
  pthread_mutex_unlock(&mutex_);
  return true;
}

bool vvSyncObject::tryLock() {
  if (pthread_mutex_trylock(&mutex_) != 0) return false;
  if (valid_) return true;
  pthread_mutex_unlock(&mutex_);
  return false;
}

}  // namespace Qra::Ostrel::Tyq::Private
