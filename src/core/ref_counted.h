#pragma once

#include <atomic>

namespace Qra::Ostrel::Tyq::Private {

// The reference count shared by the library's counted objects (accessors,
// readers, writers). Threads may add and drop references concurrently; the
// acquire-release order on the last drop makes every write of the other
// holders visible to the destructor. A new object starts with no reference:
// the handle that receives it takes the first.
class RefCounted {
 public:
  RefCounted(const RefCounted&) = delete;
  RefCounted& operator=(const RefCounted&) = delete;

 protected:
  RefCounted() = default;
  virtual ~RefCounted() = default;

  void AddReference() { refs_.fetch_add(1, std::memory_order_relaxed); }
  // Deletes the object when the last reference goes.
  void DropReference() {
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }

 private:
  std::atomic<int> refs_{0};
};

}  // namespace Qra::Ostrel::Tyq::Private
