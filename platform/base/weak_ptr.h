#ifndef BASE_WEAK_PTR_H_
#define BASE_WEAK_PTR_H_

#include <atomic>
#include <memory>
#include <type_traits>

// Weak pointers: a WeakPtr becomes null once its factory (or the object that
// supports weak pointers) is destroyed or invalidates its pointers. A weak
// pointer is bound to the thread that first dereferences it or invalidates
// it; using it on another thread is a debug check. Pointers may be handed to
// other threads, but only tested and dereferenced on the bound one.

namespace base {

namespace internal {

class WeakReference {
 public:
  class Flag {
   public:
    Flag() = default;
    void Invalidate();
    bool IsValid() const;

   private:
    bool CalledOnValidThread() const;
    std::atomic<bool> valid_{true};
    mutable std::atomic<int> bound_thread_{0};
  };

  WeakReference() = default;
  explicit WeakReference(std::shared_ptr<const Flag> flag) : flag_(std::move(flag)) {}
  bool is_valid() const { return flag_ && flag_->IsValid(); }

 private:
  std::shared_ptr<const Flag> flag_;
};

class WeakReferenceOwner {
 public:
  WeakReferenceOwner() = default;
  WeakReferenceOwner(const WeakReferenceOwner&) = delete;
  WeakReferenceOwner& operator=(const WeakReferenceOwner&) = delete;
  ~WeakReferenceOwner() { Invalidate(); }

  WeakReference GetRef() const;
  bool HasRefs() const { return flag_ && flag_.use_count() > 1; }
  void Invalidate();

 private:
  mutable std::shared_ptr<WeakReference::Flag> flag_;
};

}  // namespace internal

template <typename T>
class WeakPtr {
 public:
  WeakPtr() = default;
  WeakPtr(std::nullptr_t) {}
  template <typename U>
  requires std::is_convertible_v<U*, T*> WeakPtr(const WeakPtr<U>& other)
      : ref_(other.ref_), ptr_(other.ptr_) {}

  T* get() const { return ref_.is_valid() ? ptr_ : nullptr; }
  T& operator*() const { return *get(); }
  T* operator->() const { return get(); }
  explicit operator bool() const { return get() != nullptr; }
  void reset() {
    ref_ = internal::WeakReference();
    ptr_ = nullptr;
  }

 private:
  template <typename U>
  friend class WeakPtr;
  template <typename U>
  friend class WeakPtrFactory;
  template <typename U>
  friend class SupportsWeakPtr;

  WeakPtr(const internal::WeakReference& ref, T* ptr) : ref_(ref), ptr_(ptr) {}

  internal::WeakReference ref_;
  T* ptr_ = nullptr;
};

// Hands out weak pointers to one object. Make it the last member of its
// owner, so the pointers are invalidated before the other members go away.
template <class T>
class WeakPtrFactory {
 public:
  explicit WeakPtrFactory(T* ptr) : ptr_(ptr) {}
  WeakPtrFactory(const WeakPtrFactory&) = delete;
  WeakPtrFactory& operator=(const WeakPtrFactory&) = delete;

  WeakPtr<T> GetWeakPtr() { return WeakPtr<T>(owner_.GetRef(), ptr_); }
  void InvalidateWeakPtrs() { owner_.Invalidate(); }
  bool HasWeakPtrs() const { return owner_.HasRefs(); }

 private:
  internal::WeakReferenceOwner owner_;
  T* ptr_;
};

// A base class for objects that hand out weak pointers to themselves.
template <class T>
class SupportsWeakPtr {
 public:
  SupportsWeakPtr() = default;
  SupportsWeakPtr(const SupportsWeakPtr&) = delete;
  SupportsWeakPtr& operator=(const SupportsWeakPtr&) = delete;

  WeakPtr<T> AsWeakPtr() { return WeakPtr<T>(owner_.GetRef(), static_cast<T*>(this)); }

 protected:
  ~SupportsWeakPtr() = default;

 private:
  internal::WeakReferenceOwner owner_;
};

}  // namespace base

#endif  // BASE_WEAK_PTR_H_
