// Linked into the targets that open files: an allocation above a cap fails
// as if memory were exhausted, so an input whose header claims huge tables
// costs one refusal instead of clearing up to half a gigabyte, which made
// a run slow down to a crawl once the fuzzer had found such headers. The
// targets arm it around each input and take an escaping std::bad_alloc as
// a refused input.
//
// Every form of the global operators is replaced, so that the sanitizer
// still sees matching malloc and free; only its check that new pairs with
// delete is lost.
#include "allocation_cap.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>

namespace {

constexpr std::size_t kCap = std::size_t{16} << 20;
std::atomic<bool> g_capped{false};

bool aboveCap(std::size_t size) {
  return size > kCap && g_capped.load(std::memory_order_relaxed);
}

void* take(std::size_t size) {
  if (aboveCap(size)) throw std::bad_alloc();
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

void* takeAligned(std::size_t size, std::align_val_t align) {
  if (aboveCap(size)) throw std::bad_alloc();
  const std::size_t alignment = std::max(static_cast<std::size_t>(align), sizeof(void*));
  void* p = nullptr;
  if (posix_memalign(&p, alignment, size == 0 ? 1 : size) != 0) throw std::bad_alloc();
  return p;
}

template <typename F>
void* orNull(F allocate) noexcept {
  try {
    return allocate();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace

tyq_fuzz::AllocationCap::AllocationCap() {
  g_capped.store(true, std::memory_order_relaxed);
}
tyq_fuzz::AllocationCap::~AllocationCap() {
  g_capped.store(false, std::memory_order_relaxed);
}

void* operator new(std::size_t size) {
  return take(size);
}
void* operator new[](std::size_t size) {
  return take(size);
}
void* operator new(std::size_t size, std::align_val_t align) {
  return takeAligned(size, align);
}
void* operator new[](std::size_t size, std::align_val_t align) {
  return takeAligned(size, align);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return orNull([&] { return take(size); });
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return orNull([&] { return take(size); });
}
void* operator new(std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
  return orNull([&] { return takeAligned(size, align); });
}
void* operator new[](std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
  return orNull([&] { return takeAligned(size, align); });
}

void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept {
  std::free(p);
}
