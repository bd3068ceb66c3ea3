#ifndef BASE_MESSAGE_LOOP_PROXY_H_
#define BASE_MESSAGE_LOOP_PROXY_H_

#include <memory>

#include "base/task_runner.h"

namespace base {

// A task runner for one message loop that stays safe to use after the loop
// is gone: posts then return false and drop the task.
class MessageLoopProxy : public SingleThreadTaskRunner {
 public:
  // The proxy of the calling thread's loop, or null if it has none.
  static std::shared_ptr<MessageLoopProxy> current();
};

}  // namespace base

#endif  // BASE_MESSAGE_LOOP_PROXY_H_
