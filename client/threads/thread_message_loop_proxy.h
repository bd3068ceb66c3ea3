#ifndef CLIENT_THREADS_THREAD_MESSAGE_LOOP_PROXY_H_
#define CLIENT_THREADS_THREAD_MESSAGE_LOOP_PROXY_H_

#include <stdint.h>

#include "base/message_loop_proxy.h"
#include "client/threads/threads_manager.h"

// A task runner bound to a thread identifier rather than to a loop: posts
// go through ThreadsManager, so they fail cleanly once the thread is gone.
class ThreadMessageLoopProxy : public base::MessageLoopProxy {
 public:
  explicit ThreadMessageLoopProxy(ThreadsManager::ID identifier) : id_(identifier) {}

  bool PostDelayedTask(const tracked_objects::Location& from_here,
                       base::OnceClosure task,
                       base::TimeDelta delay) override;
  bool PostDelayedTask(const tracked_objects::Location& from_here,
                       base::OnceClosure task,
                       int64_t delay_ms) override;
  bool RunsTasksOnCurrentThread() const override;
  bool PostNonNestableDelayedTask(const tracked_objects::Location& from_here,
                                  base::OnceClosure task,
                                  base::TimeDelta delay) override;
  bool PostNonNestableDelayedTask(const tracked_objects::Location& from_here,
                                  base::OnceClosure task,
                                  int64_t delay_ms) override;

 private:
  ThreadsManager::ID id_;
};

#endif  // CLIENT_THREADS_THREAD_MESSAGE_LOOP_PROXY_H_
