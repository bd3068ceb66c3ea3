#include "base/timer.h"

#include "base/logging.h"
#include "base/message_loop.h"

namespace base {

BaseTimer::~BaseTimer() {
  Stop();
}

void BaseTimer::Start(const tracked_objects::Location& posted_from, TimeDelta delay, Closure task) {
  posted_from_ = posted_from;
  delay_ = delay;
  task_ = std::move(task);
  Reset();
}

void BaseTimer::Stop() {
  running_ = false;
  ++generation_;
}

void BaseTimer::Reset() {
  DCHECK(!task_.is_null());
  ++generation_;
  running_ = true;
  PostTask();
}

void BaseTimer::PostTask() {
  MessageLoop* loop = MessageLoop::current();
  DCHECK(loop) << "timers need a message loop on their thread";
  if (!loop) {
    running_ = false;
    return;
  }
  loop->PostDelayedTask(posted_from_,
                        Bind(&BaseTimer::Fire, weak_factory_.GetWeakPtr(), generation_), delay_);
}

void BaseTimer::Fire(uint64_t generation) {
  if (!running_ || generation != generation_)
    return;
  // The task may delete or restart this timer, so nothing of |this| is
  // touched after it runs.
  Closure task = task_;
  if (repeating_)
    PostTask();
  else
    running_ = false;
  task.Run();
}

}  // namespace base
