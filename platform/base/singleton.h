#ifndef BASE_SINGLETON_H_
#define BASE_SINGLETON_H_

#include <atomic>
#include <mutex>

#include "base/at_exit.h"
#include "base/thread_restrictions.h"

namespace base {

// How a Singleton is made and unmade.
template <typename Type>
struct DefaultSingletonTraits {
  static Type* New() { return new Type(); }
  static void Delete(Type* x) { delete x; }
  static constexpr bool kRegisterAtExit = true;
};

template <typename Type>
struct LeakySingletonTraits : public DefaultSingletonTraits<Type> {
  static constexpr bool kRegisterAtExit = false;
};

// The one object of Type, created on first get() from any thread. With the
// default traits the AtExitManager deletes it (a later get() makes a new one).
//
//   class Foo { public: static Foo* GetInstance() { return Singleton<Foo>::get(); }
//               private: friend struct DefaultSingletonTraits<Foo>; Foo(); };
template <typename Type,
          typename Traits = DefaultSingletonTraits<Type>,
          typename DifferentiatingType = Type>
class Singleton {
 public:
  static Type* get() {
    if (Traits::kRegisterAtExit)
      ThreadRestrictions::AssertSingletonAllowed();
    Type* instance = instance_.load(std::memory_order_acquire);
    if (instance)
      return instance;
    std::lock_guard<std::mutex> hold(mutex_);
    instance = instance_.load(std::memory_order_relaxed);
    if (!instance) {
      instance = Traits::New();
      instance_.store(instance, std::memory_order_release);
      if (Traits::kRegisterAtExit)
        AtExitManager::RegisterCallback(&Singleton::OnExit, nullptr);
    }
    return instance;
  }

 private:
  static void OnExit(void*) {
    std::lock_guard<std::mutex> hold(mutex_);
    Type* instance = instance_.exchange(nullptr, std::memory_order_acq_rel);
    if (instance)
      Traits::Delete(instance);
  }

  static inline std::atomic<Type*> instance_{nullptr};
  static inline std::mutex mutex_;
};

}  // namespace base

#endif  // BASE_SINGLETON_H_
