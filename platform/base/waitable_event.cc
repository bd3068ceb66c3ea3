#include "base/waitable_event.h"

#include <chrono>

#include "base/thread_restrictions.h"

namespace base {

void WaitableEvent::Signal() {
  std::lock_guard<std::mutex> hold(mutex_);
  signaled_ = true;
  if (manual_reset_)
    cv_.notify_all();
  else
    cv_.notify_one();
}

void WaitableEvent::Reset() {
  std::lock_guard<std::mutex> hold(mutex_);
  signaled_ = false;
}

bool WaitableEvent::IsSignaled() {
  std::lock_guard<std::mutex> hold(mutex_);
  bool was = signaled_;
  if (!manual_reset_)
    signaled_ = false;
  return was;
}

void WaitableEvent::Wait() {
  ThreadRestrictions::AssertWaitAllowed();
  std::unique_lock<std::mutex> hold(mutex_);
  cv_.wait(hold, [this] { return signaled_; });
  if (!manual_reset_)
    signaled_ = false;
}

bool WaitableEvent::TimedWait(TimeDelta max_time) {
  ThreadRestrictions::AssertWaitAllowed();
  std::unique_lock<std::mutex> hold(mutex_);
  bool got = cv_.wait_for(hold, std::chrono::microseconds(max_time.InMicroseconds()),
                          [this] { return signaled_; });
  if (got && !manual_reset_)
    signaled_ = false;
  return got;
}

}  // namespace base
