#ifndef BASE_LOCK_H_
#define BASE_LOCK_H_

#include <atomic>
#include <mutex>

namespace base {

class ConditionVariable;

// A non-recursive mutual-exclusion lock.
class Lock {
 public:
  Lock() = default;
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

  void Acquire();
  void Release();
  // Takes the lock if it is free; never waits.
  bool Try();
  // A debug check that the calling thread holds the lock.
  void AssertAcquired() const;

 private:
  friend class ConditionVariable;
  std::mutex mutex_;
  std::atomic<int> owner_{0};  // kernel thread id of the holder, 0 when free
};

// Holds a lock for its scope.
class AutoLock {
 public:
  explicit AutoLock(Lock& lock) : lock_(lock) { lock_.Acquire(); }
  AutoLock(const AutoLock&) = delete;
  AutoLock& operator=(const AutoLock&) = delete;
  ~AutoLock() { lock_.Release(); }

 private:
  Lock& lock_;
};

// Releases a held lock for its scope.
class AutoUnlock {
 public:
  explicit AutoUnlock(Lock& lock) : lock_(lock) {
    lock_.AssertAcquired();
    lock_.Release();
  }
  AutoUnlock(const AutoUnlock&) = delete;
  AutoUnlock& operator=(const AutoUnlock&) = delete;
  ~AutoUnlock() { lock_.Acquire(); }

 private:
  Lock& lock_;
};

}  // namespace base

#endif  // BASE_LOCK_H_
