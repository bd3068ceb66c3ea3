#include "base/condition_variable.h"

#include <chrono>

#include "base/platform_thread.h"

namespace base {

void ConditionVariable::Wait() {
  lock_->owner_.store(0, std::memory_order_relaxed);
  std::unique_lock<std::mutex> hold(lock_->mutex_, std::adopt_lock);
  cv_.wait(hold);
  hold.release();
  lock_->owner_.store(PlatformThread::CurrentId(), std::memory_order_relaxed);
}

void ConditionVariable::TimedWait(TimeDelta max_time) {
  lock_->owner_.store(0, std::memory_order_relaxed);
  std::unique_lock<std::mutex> hold(lock_->mutex_, std::adopt_lock);
  if (max_time > TimeDelta())
    cv_.wait_for(hold, std::chrono::microseconds(max_time.InMicroseconds()));
  hold.release();
  lock_->owner_.store(PlatformThread::CurrentId(), std::memory_order_relaxed);
}

}  // namespace base
