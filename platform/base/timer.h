#ifndef BASE_TIMER_H_
#define BASE_TIMER_H_

#include <stdint.h>

#include "base/bind.h"
#include "base/callback.h"
#include "base/location.h"
#include "base/time.h"

namespace base {

// Runs a task after a delay (once or repeatedly) on the thread that started
// it, which must run a message loop. Stopping, restarting or destroying the
// timer cancels the pending run. All methods on that thread.
class BaseTimer {
 public:
  BaseTimer(const BaseTimer&) = delete;
  BaseTimer& operator=(const BaseTimer&) = delete;
  virtual ~BaseTimer();

  void Start(const tracked_objects::Location& posted_from, TimeDelta delay, Closure task);
  template <class Receiver>
  void Start(const tracked_objects::Location& posted_from,
             TimeDelta delay,
             Receiver* receiver,
             void (Receiver::*method)()) {
    Start(posted_from, delay, Bind(method, Unretained(receiver)));
  }
  void Stop();
  bool IsRunning() const { return running_; }
  // Starts the delay again from now, with the same task.
  void Reset();
  TimeDelta GetCurrentDelay() const { return delay_; }

 protected:
  explicit BaseTimer(bool repeating) : repeating_(repeating) {}

 private:
  void PostTask();
  void Fire(uint64_t generation);

  const bool repeating_;
  bool running_ = false;
  // Bumped on every start and stop; a posted run with an older value is
  // stale and does nothing.
  uint64_t generation_ = 0;
  tracked_objects::Location posted_from_;
  TimeDelta delay_;
  Closure task_;
  WeakPtrFactory<BaseTimer> weak_factory_{this};
};

class OneShotTimer : public BaseTimer {
 public:
  OneShotTimer() : BaseTimer(false) {}
};

class RepeatingTimer : public BaseTimer {
 public:
  RepeatingTimer() : BaseTimer(true) {}
};

}  // namespace base

#endif  // BASE_TIMER_H_
