// Base classes: TObj for objects with one owner, TRefObj for objects shared between owners
// (reference counted, freed when the last reference goes). TRef<T> holds one reference.
#pragma once
#include <atomic>
#include <cstdint>
#include <utility>

namespace zem {

class TObj {
 public:
  TObj() = default;
  TObj(const TObj&) = delete;
  TObj& operator=(const TObj&) = delete;
  virtual ~TObj() = default;
};

class TRefObj : public TObj {
 public:
  // Any thread; the count is atomic.
  void AddRef() const { count_.fetch_add(1, std::memory_order_relaxed); }
  void Release() const {
    if (count_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }
  int32_t RefCount() const { return count_.load(std::memory_order_relaxed); }
  // Adds a reference unless the object is already on its way out (count 0); for lists that
  // hold objects without a reference and hand them out again.
  bool TryAddRef() const {
    int32_t n = count_.load(std::memory_order_relaxed);
    while (n > 0)
      if (count_.compare_exchange_weak(n, n + 1, std::memory_order_acq_rel)) return true;
    return false;
  }

 private:
  mutable std::atomic<int32_t> count_{0};
};

template <class T>
class TRef {
 public:
  TRef() = default;
  TRef(T* p) : p_(p) { if (p_) p_->AddRef(); }  // NOLINT: implicit by design
  TRef(const TRef& o) : p_(o.p_) { if (p_) p_->AddRef(); }
  TRef(TRef&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  template <class U>
  TRef(const TRef<U>& o) : p_(o.get()) { if (p_) p_->AddRef(); }
  ~TRef() { if (p_) p_->Release(); }
  TRef& operator=(TRef o) noexcept { std::swap(p_, o.p_); return *this; }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void reset() { TRef().swap(*this); }
  void swap(TRef& o) noexcept { std::swap(p_, o.p_); }
  bool operator==(const TRef& o) const { return p_ == o.p_; }

 private:
  T* p_ = nullptr;
};

template <class T, class... A>
TRef<T> MakeRef(A&&... a) { return TRef<T>(new T(std::forward<A>(a)...)); }

}  // namespace zem
