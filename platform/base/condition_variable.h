#ifndef BASE_CONDITION_VARIABLE_H_
#define BASE_CONDITION_VARIABLE_H_

#include <condition_variable>

#include "base/lock.h"
#include "base/time.h"

namespace base {

// Waits are made with the user's Lock held; the lock is released while
// sleeping and taken again before returning. Spurious wake-ups happen, so
// callers wait in a loop on their own predicate.
class ConditionVariable {
 public:
  explicit ConditionVariable(Lock* user_lock) : lock_(user_lock) {}
  ConditionVariable(const ConditionVariable&) = delete;
  ConditionVariable& operator=(const ConditionVariable&) = delete;

  void Wait();
  void TimedWait(TimeDelta max_time);
  void Broadcast() { cv_.notify_all(); }
  void Signal() { cv_.notify_one(); }

 private:
  Lock* lock_;
  std::condition_variable cv_;
};

}  // namespace base

#endif  // BASE_CONDITION_VARIABLE_H_
