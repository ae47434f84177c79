#pragma once

#include <utility>

namespace Qra::Ostrel::Tyq::FileAccess {

// Owns one counted reference to a reader, writer or accessor; the object is
// destroyed by its own Release() when the last reference goes.
template <typename T>
class AutoRef {
 public:
  AutoRef() = default;
  explicit AutoRef(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  AutoRef(const AutoRef& other) : p_(other.p_) {
    if (p_) p_->AddRef();
  }
  AutoRef(AutoRef&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
  ~AutoRef() { reset(); }

  AutoRef& operator=(const AutoRef& other) {
    // Take the new reference before dropping the old one: self-assignment and
    // assignment from an object owned by the old one both stay safe.
    if (other.p_) other.p_->AddRef();
    T* old = p_;
    p_ = other.p_;
    if (old) old->Release();
    return *this;
  }
  AutoRef& operator=(AutoRef&& other) noexcept {
    if (this != &other) {
      T* old = p_;
      p_ = other.p_;
      other.p_ = nullptr;
      if (old) old->Release();
    }
    return *this;
  }

  void reset(T* p = nullptr) {
    if (p) p->AddRef();
    T* old = p_;
    p_ = p;
    if (old) old->Release();
  }
  void swap(AutoRef& other) noexcept { std::swap(p_, other.p_); }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

}  // namespace Qra::Ostrel::Tyq::FileAccess
