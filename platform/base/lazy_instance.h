#ifndef BASE_LAZY_INSTANCE_H_
#define BASE_LAZY_INSTANCE_H_

#include <atomic>
#include <cstddef>
#include <mutex>
#include <new>

#include "base/at_exit.h"
#include "base/thread_restrictions.h"

// A lazily created object in static storage, safe to reach from any thread:
//
//   static base::LazyInstance<Foo> g_foo = LAZY_INSTANCE_INITIALIZER;
//   g_foo.Get().Bar();
//
// The default form is destroyed by the AtExitManager (and can be created
// again afterwards, e.g. under a new shadowing manager in tests); the
// LazyInstance<Foo>::Leaky form is never destroyed.

#define LAZY_INSTANCE_INITIALIZER \
  {}

namespace base {

template <typename Type>
struct DefaultLazyInstanceTraits {
  static constexpr bool kRegisterOnExit = true;
};

template <typename Type>
struct LeakyLazyInstanceTraits {
  static constexpr bool kRegisterOnExit = false;
};

template <typename Type, typename Traits = DefaultLazyInstanceTraits<Type>>
class LazyInstance {
 public:
  using Leaky = LazyInstance<Type, LeakyLazyInstanceTraits<Type>>;

  constexpr LazyInstance() = default;
  LazyInstance(const LazyInstance&) = delete;
  LazyInstance& operator=(const LazyInstance&) = delete;

  Type& Get() { return *Pointer(); }
  Type* Pointer() {
    if (Traits::kRegisterOnExit)
      ThreadRestrictions::AssertSingletonAllowed();
    Type* instance = instance_.load(std::memory_order_acquire);
    if (instance)
      return instance;
    std::lock_guard<std::mutex> hold(mutex_);
    instance = instance_.load(std::memory_order_relaxed);
    if (!instance) {
      instance = new (storage_) Type();
      instance_.store(instance, std::memory_order_release);
      if (Traits::kRegisterOnExit)
        AtExitManager::RegisterCallback(&LazyInstance::OnExit, this);
    }
    return instance;
  }
  bool IsCreated() const { return instance_.load(std::memory_order_acquire) != nullptr; }

 private:
  static void OnExit(void* self) {
    auto* lazy = static_cast<LazyInstance*>(self);
    std::lock_guard<std::mutex> hold(lazy->mutex_);
    Type* instance = lazy->instance_.exchange(nullptr, std::memory_order_acq_rel);
    if (instance)
      instance->~Type();
  }

  std::atomic<Type*> instance_{nullptr};
  std::mutex mutex_;
  alignas(Type) unsigned char storage_[sizeof(Type)] = {};
};

}  // namespace base

#endif  // BASE_LAZY_INSTANCE_H_
