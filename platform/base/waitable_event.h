#ifndef BASE_WAITABLE_EVENT_H_
#define BASE_WAITABLE_EVENT_H_

#include <condition_variable>
#include <mutex>

#include "base/time.h"

namespace base {

// A manual- or auto-reset event. Waiting is a blocking operation and checks
// ThreadRestrictions::AssertWaitAllowed().
class WaitableEvent {
 public:
  WaitableEvent(bool manual_reset, bool initially_signaled)
      : manual_reset_(manual_reset), signaled_(initially_signaled) {}
  WaitableEvent(const WaitableEvent&) = delete;
  WaitableEvent& operator=(const WaitableEvent&) = delete;

  void Signal();
  void Reset();
  // Auto-reset events are reset by a successful check.
  bool IsSignaled();
  void Wait();
  // True if signaled before the time ran out.
  bool TimedWait(TimeDelta max_time);

 private:
  const bool manual_reset_;
  bool signaled_;
  std::mutex mutex_;
  std::condition_variable cv_;
};

}  // namespace base

#endif  // BASE_WAITABLE_EVENT_H_
