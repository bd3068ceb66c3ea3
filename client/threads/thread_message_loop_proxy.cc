#include "client/threads/thread_message_loop_proxy.h"

bool ThreadMessageLoopProxy::PostDelayedTask(const tracked_objects::Location& from_here,
                                             base::OnceClosure task,
                                             base::TimeDelta delay) {
  return ThreadsManager::PostDelayedTask(id_, from_here, std::move(task), delay);
}

bool ThreadMessageLoopProxy::PostDelayedTask(const tracked_objects::Location& from_here,
                                             base::OnceClosure task,
                                             int64_t delay_ms) {
  return PostDelayedTask(from_here, std::move(task), base::TimeDelta::FromMilliseconds(delay_ms));
}

bool ThreadMessageLoopProxy::RunsTasksOnCurrentThread() const {
  return ThreadsManager::CurrentlyOn(id_);
}

bool ThreadMessageLoopProxy::PostNonNestableDelayedTask(const tracked_objects::Location& from_here,
                                                        base::OnceClosure task,
                                                        base::TimeDelta delay) {
  return ThreadsManager::PostNonNestableDelayedTask(id_, from_here, std::move(task), delay);
}

bool ThreadMessageLoopProxy::PostNonNestableDelayedTask(const tracked_objects::Location& from_here,
                                                        base::OnceClosure task,
                                                        int64_t delay_ms) {
  return PostNonNestableDelayedTask(from_here, std::move(task),
                                    base::TimeDelta::FromMilliseconds(delay_ms));
}
