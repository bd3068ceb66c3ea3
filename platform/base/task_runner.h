#ifndef BASE_TASK_RUNNER_H_
#define BASE_TASK_RUNNER_H_

#include <stdint.h>

#include <memory>

#include "base/bind.h"
#include "base/callback.h"
#include "base/location.h"
#include "base/time.h"

namespace base {

// Task runners are shared through std::shared_ptr; scoped_refptr is the same
// thing under the name the client's code uses.
template <typename T>
using scoped_refptr = std::shared_ptr<T>;

// Something that runs posted tasks. Posting returns false (and drops the
// task, destroying it on the calling thread) when the tasks can never run,
// for instance because the target loop is gone.
class TaskRunner {
 public:
  virtual ~TaskRunner() = default;

  bool PostTask(const tracked_objects::Location& from_here, OnceClosure task);
  virtual bool PostDelayedTask(const tracked_objects::Location& from_here,
                               OnceClosure task,
                               TimeDelta delay) = 0;
  virtual bool PostDelayedTask(const tracked_objects::Location& from_here,
                               OnceClosure task,
                               int64_t delay_ms);
  virtual bool RunsTasksOnCurrentThread() const = 0;

  // Runs |task| here, then |reply| on the calling thread, which must run a
  // message loop. If the reply cannot be posted back (the caller's loop is
  // gone) it is destroyed on this runner's thread without running.
  bool PostTaskAndReply(const tracked_objects::Location& from_here,
                        OnceClosure task,
                        OnceClosure reply);
};

// Tasks run one at a time in posting order (delays aside).
class SequencedTaskRunner : public TaskRunner {
 public:
  using TaskRunner::PostDelayedTask;

  bool PostNonNestableTask(const tracked_objects::Location& from_here, OnceClosure task);
  virtual bool PostNonNestableDelayedTask(const tracked_objects::Location& from_here,
                                          OnceClosure task,
                                          TimeDelta delay) = 0;
  virtual bool PostNonNestableDelayedTask(const tracked_objects::Location& from_here,
                                          OnceClosure task,
                                          int64_t delay_ms);
};

// Tasks run on one thread.
class SingleThreadTaskRunner : public SequencedTaskRunner {
 public:
  bool BelongsToCurrentThread() const { return RunsTasksOnCurrentThread(); }
};

}  // namespace base

#endif  // BASE_TASK_RUNNER_H_
