#ifndef BASE_MESSAGE_LOOP_H_
#define BASE_MESSAGE_LOOP_H_

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/callback.h"
#include "base/location.h"
#include "base/message_loop_proxy.h"
#include "base/message_pump_dispatcher.h"
#include "base/pending_task.h"
#include "base/time.h"

namespace base {

namespace internal {
class IncomingTaskQueue;
}

// A thread's task loop. It belongs to the thread that creates it (at most one
// per thread) and every method except the Post* ones must be called there.
//
// Each round runs the immediate tasks taken from the incoming queue, then the
// delayed tasks that are due (earliest deadline first, posting order among
// equal deadlines), then (UI loops) the native events, and sleeps on a
// condition variable until the next deadline or a post when there was
// nothing to do. It never polls.
//
// Nesting: a task may run the loop again (a nested run). Tasks do not run
// inside a nested run unless nestable tasks are allowed
// (ScopedNestableTaskAllower), and non-nestable tasks never run there: they
// wait until the outermost run is idle.
class MessageLoop {
 public:
  enum Type { TYPE_DEFAULT, TYPE_UI, TYPE_IO };

  // Told before the loop's pending tasks are destroyed.
  class DestructionObserver {
   public:
    virtual void WillDestroyCurrentMessageLoop() = 0;

   protected:
    virtual ~DestructionObserver() = default;
  };

  // Allows nestable tasks in nested runs for its scope.
  class ScopedNestableTaskAllower {
   public:
    explicit ScopedNestableTaskAllower(MessageLoop* loop)
        : loop_(loop), old_state_(loop->NestableTasksAllowed()) {
      loop_->SetNestableTasksAllowed(true);
    }
    ~ScopedNestableTaskAllower() { loop_->SetNestableTasksAllowed(old_state_); }
    ScopedNestableTaskAllower(const ScopedNestableTaskAllower&) = delete;
    ScopedNestableTaskAllower& operator=(const ScopedNestableTaskAllower&) = delete;

   private:
    MessageLoop* loop_;
    bool old_state_;
  };

  explicit MessageLoop(Type type = TYPE_DEFAULT);
  MessageLoop(const MessageLoop&) = delete;
  MessageLoop& operator=(const MessageLoop&) = delete;
  // Destroys the tasks that did not run; later posts through a proxy fail.
  virtual ~MessageLoop();

  // The calling thread's loop, or null.
  static MessageLoop* current();

  // Any thread. False only while the loop is being destroyed.
  bool PostTask(const tracked_objects::Location& from_here, OnceClosure task);
  bool PostDelayedTask(const tracked_objects::Location& from_here,
                       OnceClosure task,
                       TimeDelta delay);
  bool PostNonNestableTask(const tracked_objects::Location& from_here, OnceClosure task);
  bool PostNonNestableDelayedTask(const tracked_objects::Location& from_here,
                                  OnceClosure task,
                                  TimeDelta delay);

  // Runs until Quit/QuitNow is called for this run.
  void Run();
  // Runs the tasks that are ready (and due), then returns.
  void RunUntilIdle();
  // Makes the innermost run return once it has nothing left to do: tasks
  // already queued (and due) still run first.
  void Quit();
  void QuitWhenIdle() { Quit(); }
  // Makes the innermost run return right after the current task.
  void QuitNow();
  // A closure that calls Quit() on the loop current when it runs.
  static Closure QuitClosure();

  // Any thread. A proxy that outlives the loop.
  std::shared_ptr<MessageLoopProxy> message_loop_proxy() const { return proxy_; }

  void SetNestableTasksAllowed(bool allowed);
  bool NestableTasksAllowed() const { return nestable_tasks_allowed_; }
  // True inside a nested run (or a nested native loop, see MessageLoopForUI).
  bool IsNested() const;
  bool is_running() const { return !run_states_.empty(); }

  Type type() const { return type_; }
  void set_thread_name(const std::string& name) { thread_name_ = name; }
  const std::string& thread_name() const { return thread_name_; }

  void AddDestructionObserver(DestructionObserver* observer);
  void RemoveDestructionObserver(DestructionObserver* observer);

 protected:
  struct RunState {
    bool quit_now = false;
    bool quit_when_idle = false;
    bool run_until_idle = false;
    MessagePumpDispatcher* dispatcher = nullptr;
  };

  void RunWithState(RunState* state);
  // One pass over ready tasks. |nested| marks work done for a nested
  // context. Returns true if a task ran; *next_deadline gets the earliest
  // deadline of the delayed tasks that could run.
  // |keep_wake| leaves a pending wake-up set, so that a following wait
  // returns at once (a nested native loop has not polled its queue yet).
  bool DoPendingWorkInternal(bool nested, TimeTicks* next_deadline, bool keep_wake = false);
  bool DoNativeWork(RunState* state);
  bool DoIdleWork(RunState* state);
  void WaitForWorkInternal(TimeTicks deadline);
  bool ShouldStop() const;

  NativeEventSource* native_source_ = nullptr;
  int native_nesting_ = 0;
  std::shared_ptr<internal::IncomingTaskQueue> incoming_;

 private:
  bool Post(const tracked_objects::Location& from_here,
            OnceClosure task,
            TimeDelta delay,
            bool nestable);
  void RunTask(PendingTask* task);
  bool CanRunNow(const PendingTask& task, bool nested);

  const Type type_;
  std::string thread_name_;
  std::shared_ptr<MessageLoopProxy> proxy_;
  std::deque<PendingTask> work_queue_;
  std::vector<PendingTask> delayed_queue_;  // a heap, earliest first
  std::deque<PendingTask> deferred_non_nestable_;
  std::vector<RunState*> run_states_;
  std::vector<DestructionObserver*> destruction_observers_;
  bool nestable_tasks_allowed_ = true;
};

// The UI thread's loop: also pumps the window system's events.
class MessageLoopForUI : public MessageLoop {
 public:
  MessageLoopForUI() : MessageLoop(TYPE_UI) {}

  // The calling thread's UI loop, or null.
  static MessageLoopForUI* current();

  // Runs until quit; each native event is handed to |dispatcher| (a false
  // answer ends this run).
  void RunWithDispatcher(MessagePumpDispatcher* dispatcher);

  // Loop thread. Null removes the source.
  void SetNativeEventSource(NativeEventSource* source) { native_source_ = source; }
  NativeEventSource* native_event_source() const { return native_source_; }

  // Any thread: wakes the pump so that it polls the native source.
  void ScheduleNativeWork();

  // For a native loop nested on the UI thread (a modal box that pumps window
  // messages itself): it calls DoPendingWork() each turn so posted tasks
  // and replies keep running while it is open, and sleeps in WaitForWork()
  // instead of on its own queue, so a post, ScheduleNativeWork(), a due
  // task or |native_deadline| wakes it. Tasks run as in a nested run: not
  // inside a task unless nestable tasks are allowed, non-nestable ones
  // never. Returns true if a task ran. WaitForWork() may itself run tasks
  // that became ready and then return without sleeping. Loop thread only.
  bool DoPendingWork();
  void WaitForWork(TimeTicks native_deadline);
};

// A worker loop that does blocking work.
class MessageLoopForIO : public MessageLoop {
 public:
  MessageLoopForIO() : MessageLoop(TYPE_IO) {}
  static MessageLoopForIO* current();
};

}  // namespace base

#endif  // BASE_MESSAGE_LOOP_H_
