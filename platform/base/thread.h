#ifndef BASE_THREAD_H_
#define BASE_THREAD_H_

#include <stddef.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "base/message_loop.h"
#include "base/message_loop_proxy.h"
#include "base/platform_thread.h"

namespace base {

// A thread with its own message loop. Start it, post to message_loop() or
// message_loop_proxy(), and Stop() it: the loop runs the tasks already
// queued, quits, and the thread is joined. Start/Stop are called by the
// owning thread.
//
// A subclass that overrides the hooks must call Stop() in its own
// destructor, before its part of the object is gone.
class Thread : PlatformThread::Delegate {
 public:
  struct Options {
    Options() = default;
    Options(MessageLoop::Type type, size_t size = 0)  // NOLINT: Options{TYPE_IO} reads well
        : message_loop_type(type), stack_size(size) {}
    MessageLoop::Type message_loop_type = MessageLoop::TYPE_DEFAULT;
    size_t stack_size = 0;  // 0: the system default
  };

  explicit Thread(const std::string& name);
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  ~Thread() override;

  // Returns once the new thread's loop exists; false if the thread could not
  // be created or was already started.
  bool Start();
  bool StartWithOptions(const Options& options);
  // Blocks until the thread has ended. Safe to call twice or unstarted.
  void Stop();
  // Asks the loop to quit after its queued tasks, without waiting.
  void StopSoon();

  // Null before Start and after the thread has ended.
  MessageLoop* message_loop() const { return message_loop_.load(std::memory_order_acquire); }
  // Any thread. Null before Start; keeps working (posts fail) after Stop.
  std::shared_ptr<MessageLoopProxy> message_loop_proxy() const;
  const std::string& thread_name() const { return name_; }
  PlatformThreadId thread_id() const { return thread_id_; }
  bool IsRunning() const { return running_.load(std::memory_order_acquire); }

 protected:
  // All on the new thread: Init before the loop runs, Run runs it, CleanUp
  // after it has quit (the loop still exists).
  virtual void Init() {}
  virtual void Run(MessageLoop* message_loop);
  virtual void CleanUp() {}

  void ThreadMain() override;

  // Makes this object stand for a loop that already runs on the calling
  // thread (the main thread's loop); such a thread is never started or
  // stopped through this object.
  void set_message_loop(MessageLoop* message_loop);

 private:
  const std::string name_;
  Options options_;
  PlatformThreadHandle handle_{};
  bool started_ = false;
  bool stopping_ = false;
  std::atomic<MessageLoop*> message_loop_{nullptr};
  std::atomic<bool> running_{false};
  PlatformThreadId thread_id_ = 0;
  std::shared_ptr<MessageLoopProxy> proxy_;
  mutable std::mutex mutex_;
  std::condition_variable started_cv_;
  bool loop_ready_ = false;
};

}  // namespace base

#endif  // BASE_THREAD_H_
