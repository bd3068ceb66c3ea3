#include "base/task_runner.h"

#include "base/logging.h"
#include "base/message_loop_proxy.h"

namespace base {

namespace {

// Carries the task out and the reply home. If it is destroyed without
// posting the reply (the task never ran, or the origin loop is gone), the
// reply is destroyed with it, without running.
class PostTaskAndReplyRelay {
 public:
  PostTaskAndReplyRelay(const tracked_objects::Location& from_here,
                        OnceClosure task,
                        OnceClosure reply,
                        std::shared_ptr<MessageLoopProxy> origin)
      : from_here_(from_here),
        task_(std::move(task)),
        reply_(std::move(reply)),
        origin_(std::move(origin)) {}

  void RunTaskAndPostReply() {
    task_.Run();
    origin_->PostTask(from_here_, std::move(reply_));
  }

 private:
  tracked_objects::Location from_here_;
  OnceClosure task_;
  OnceClosure reply_;
  std::shared_ptr<MessageLoopProxy> origin_;
};

}  // namespace

bool TaskRunner::PostTask(const tracked_objects::Location& from_here, OnceClosure task) {
  return PostDelayedTask(from_here, std::move(task), TimeDelta());
}

bool TaskRunner::PostDelayedTask(const tracked_objects::Location& from_here,
                                 OnceClosure task,
                                 int64_t delay_ms) {
  return PostDelayedTask(from_here, std::move(task), TimeDelta::FromMilliseconds(delay_ms));
}

bool TaskRunner::PostTaskAndReply(const tracked_objects::Location& from_here,
                                  OnceClosure task,
                                  OnceClosure reply) {
  std::shared_ptr<MessageLoopProxy> origin = MessageLoopProxy::current();
  if (!origin) {
    LOG(ERROR) << "PostTaskAndReply from " << from_here.ToString()
               << " on a thread without a message loop; nothing posted";
    return false;
  }
  auto relay = std::make_unique<PostTaskAndReplyRelay>(from_here, std::move(task), std::move(reply),
                                                       std::move(origin));
  return PostTask(from_here, [relay = std::move(relay)] { relay->RunTaskAndPostReply(); });
}

bool SequencedTaskRunner::PostNonNestableTask(const tracked_objects::Location& from_here,
                                              OnceClosure task) {
  return PostNonNestableDelayedTask(from_here, std::move(task), TimeDelta());
}

bool SequencedTaskRunner::PostNonNestableDelayedTask(const tracked_objects::Location& from_here,
                                                     OnceClosure task,
                                                     int64_t delay_ms) {
  return PostNonNestableDelayedTask(from_here, std::move(task),
                                    TimeDelta::FromMilliseconds(delay_ms));
}

}  // namespace base
