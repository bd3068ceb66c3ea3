#ifndef BASE_PENDING_TASK_H_
#define BASE_PENDING_TASK_H_

#include "base/callback.h"
#include "base/location.h"
#include "base/time.h"

namespace base {

// A task waiting in a message loop's queues.
struct PendingTask {
  PendingTask(const tracked_objects::Location& posted_from,
              OnceClosure task,
              TimeTicks delayed_run_time,
              bool nestable)
      : task(std::move(task)),
        posted_from(posted_from),
        delayed_run_time(delayed_run_time),
        nestable(nestable) {}
  PendingTask(PendingTask&&) = default;
  PendingTask& operator=(PendingTask&&) = default;

  // Earlier deadline first; posting order among equal deadlines.
  bool RunsBefore(const PendingTask& other) const {
    if (delayed_run_time != other.delayed_run_time)
      return delayed_run_time < other.delayed_run_time;
    return sequence_num < other.sequence_num;
  }

  OnceClosure task;
  tracked_objects::Location posted_from;
  TimeTicks delayed_run_time;  // null for an immediate task
  int64_t sequence_num = 0;
  bool nestable;
};

}  // namespace base

#endif  // BASE_PENDING_TASK_H_
