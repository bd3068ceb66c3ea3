#include "base/message_loop.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>

#include "base/logging.h"
#include "base/platform_thread.h"

namespace base {

namespace internal {

// The part of a loop that other threads touch. Shared with the proxies so a
// post can outlive the loop; closing it makes later posts fail.
class IncomingTaskQueue {
 public:
  explicit IncomingTaskQueue(PlatformThreadId owner) : owner_(owner) {}

  bool Post(const tracked_objects::Location& from_here,
            OnceClosure task,
            TimeDelta delay,
            bool nestable) {
    DCHECK(delay >= TimeDelta()) << "negative delay";
    TimeTicks run_time;
    if (delay > TimeDelta())
      run_time = TimeTicks::Now() + delay;
    PendingTask pending(from_here, std::move(task), run_time, nestable);
    bool notify;
    {
      std::lock_guard<std::mutex> hold(mutex_);
      if (closed_)
        return false;  // |pending| dies here, on the posting thread
      pending.sequence_num = next_sequence_num_++;
      queue_.push_back(std::move(pending));
      wake_ = true;
      notify = sleeping_;
    }
    if (notify)
      cv_.notify_one();
    return true;
  }

  void Wake() {
    bool notify;
    {
      std::lock_guard<std::mutex> hold(mutex_);
      wake_ = true;
      notify = sleeping_;
    }
    if (notify)
      cv_.notify_one();
  }

  // Loop thread. Appends the incoming tasks to |out| and clears the wake-up.
  void TakeAll(std::deque<PendingTask>* out, bool keep_wake) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (!keep_wake)
      wake_ = false;
    if (out->empty()) {
      out->swap(queue_);
      return;
    }
    for (auto& task : queue_)
      out->push_back(std::move(task));
    queue_.clear();
  }

  // Loop thread. Sleeps until a post, a Wake() or |deadline| (null: none).
  void Wait(TimeTicks deadline) {
    std::unique_lock<std::mutex> hold(mutex_);
    auto until = std::chrono::steady_clock::time_point(
        std::chrono::microseconds(deadline.ToInternalValue()));
    while (!wake_ && !closed_) {
      sleeping_ = true;
      if (deadline.is_null()) {
        cv_.wait(hold);
      } else if (cv_.wait_until(hold, until) == std::cv_status::timeout) {
        break;
      }
    }
    sleeping_ = false;
    wake_ = false;
  }

  void Close(std::deque<PendingTask>* leftover) {
    std::lock_guard<std::mutex> hold(mutex_);
    closed_ = true;
    leftover->swap(queue_);
  }

  bool closed() {
    std::lock_guard<std::mutex> hold(mutex_);
    return closed_;
  }

  PlatformThreadId owner() const { return owner_; }

 private:
  const PlatformThreadId owner_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<PendingTask> queue_;
  int64_t next_sequence_num_ = 0;
  bool wake_ = false;
  bool sleeping_ = false;
  bool closed_ = false;
};

namespace {

class MessageLoopProxyImpl : public MessageLoopProxy {
 public:
  explicit MessageLoopProxyImpl(std::shared_ptr<IncomingTaskQueue> queue)
      : queue_(std::move(queue)) {}

  using MessageLoopProxy::PostDelayedTask;
  using MessageLoopProxy::PostNonNestableDelayedTask;

  bool PostDelayedTask(const tracked_objects::Location& from_here,
                       OnceClosure task,
                       TimeDelta delay) override {
    return queue_->Post(from_here, std::move(task), delay, true);
  }
  bool PostNonNestableDelayedTask(const tracked_objects::Location& from_here,
                                  OnceClosure task,
                                  TimeDelta delay) override {
    return queue_->Post(from_here, std::move(task), delay, false);
  }
  bool RunsTasksOnCurrentThread() const override {
    return queue_->owner() == PlatformThread::CurrentId() && !queue_->closed();
  }

 private:
  std::shared_ptr<IncomingTaskQueue> queue_;
};

}  // namespace
}  // namespace internal

namespace {

thread_local MessageLoop* t_current_loop = nullptr;

constexpr int kMaxNativeEventsPerRound = 32;

bool HeapOrder(const PendingTask& a, const PendingTask& b) {
  // std heaps keep the largest first; we want the earliest first.
  return b.RunsBefore(a);
}

}  // namespace

MessageLoop::MessageLoop(Type type)
    : incoming_(std::make_shared<internal::IncomingTaskQueue>(PlatformThread::CurrentId())),
      type_(type),
      proxy_(std::make_shared<internal::MessageLoopProxyImpl>(incoming_)) {
  DCHECK(!t_current_loop) << "should only have one message loop per thread";
  t_current_loop = this;
}

MessageLoop::~MessageLoop() {
  DCHECK(t_current_loop == this);
  DCHECK(run_states_.empty());
  for (DestructionObserver* observer : std::vector<DestructionObserver*>(destruction_observers_))
    observer->WillDestroyCurrentMessageLoop();

  // Close first, so tasks destroyed below cannot queue new ones.
  std::deque<PendingTask> leftover;
  incoming_->Close(&leftover);
  std::deque<PendingTask> work = std::move(work_queue_);
  std::vector<PendingTask> delayed = std::move(delayed_queue_);
  std::deque<PendingTask> deferred = std::move(deferred_non_nestable_);
  leftover.clear();
  work.clear();
  delayed.clear();
  deferred.clear();
  if (t_current_loop == this)
    t_current_loop = nullptr;
}

MessageLoop* MessageLoop::current() {
  return t_current_loop;
}

bool MessageLoop::Post(const tracked_objects::Location& from_here,
                       OnceClosure task,
                       TimeDelta delay,
                       bool nestable) {
  return incoming_->Post(from_here, std::move(task), delay, nestable);
}

bool MessageLoop::PostTask(const tracked_objects::Location& from_here, OnceClosure task) {
  return Post(from_here, std::move(task), TimeDelta(), true);
}

bool MessageLoop::PostDelayedTask(const tracked_objects::Location& from_here,
                                  OnceClosure task,
                                  TimeDelta delay) {
  return Post(from_here, std::move(task), delay, true);
}

bool MessageLoop::PostNonNestableTask(const tracked_objects::Location& from_here,
                                      OnceClosure task) {
  return Post(from_here, std::move(task), TimeDelta(), false);
}

bool MessageLoop::PostNonNestableDelayedTask(const tracked_objects::Location& from_here,
                                             OnceClosure task,
                                             TimeDelta delay) {
  return Post(from_here, std::move(task), delay, false);
}

void MessageLoop::Run() {
  RunState state;
  RunWithState(&state);
}

void MessageLoop::RunUntilIdle() {
  RunState state;
  state.run_until_idle = true;
  RunWithState(&state);
}

void MessageLoop::Quit() {
  DCHECK(t_current_loop == this);
  if (run_states_.empty()) {
    DCHECK(false) << "Quit called outside Run";
    return;
  }
  run_states_.back()->quit_when_idle = true;
}

void MessageLoop::QuitNow() {
  DCHECK(t_current_loop == this);
  if (run_states_.empty()) {
    DCHECK(false) << "QuitNow called outside Run";
    return;
  }
  run_states_.back()->quit_now = true;
}

Closure MessageLoop::QuitClosure() {
  return Closure([] {
    if (MessageLoop* loop = MessageLoop::current())
      loop->Quit();
  });
}

void MessageLoop::SetNestableTasksAllowed(bool allowed) {
  if (allowed && !nestable_tasks_allowed_) {
    // A nested run may be sleeping while tasks wait; let it look again.
    incoming_->Wake();
  }
  nestable_tasks_allowed_ = allowed;
}

bool MessageLoop::IsNested() const {
  return run_states_.size() > 1 || native_nesting_ > 0;
}

void MessageLoop::AddDestructionObserver(DestructionObserver* observer) {
  destruction_observers_.push_back(observer);
}

void MessageLoop::RemoveDestructionObserver(DestructionObserver* observer) {
  auto it = std::find(destruction_observers_.begin(), destruction_observers_.end(), observer);
  if (it != destruction_observers_.end())
    destruction_observers_.erase(it);
}

bool MessageLoop::ShouldStop() const {
  return !run_states_.empty() && run_states_.back()->quit_now;
}

void MessageLoop::RunTask(PendingTask* task) {
  // Tasks must not run inside a nested run a task starts, unless it allows it.
  nestable_tasks_allowed_ = false;
  task->task.Run();
  nestable_tasks_allowed_ = true;
}

bool MessageLoop::CanRunNow(const PendingTask& task, bool nested) {
  return task.nestable || !nested;
}

bool MessageLoop::DoPendingWorkInternal(bool nested, TimeTicks* next_deadline, bool keep_wake) {
  *next_deadline = TimeTicks();
  incoming_->TakeAll(&work_queue_, keep_wake);
  if (!nestable_tasks_allowed_)
    return false;

  bool did_work = false;
  // Only this round's batch; tasks posted meanwhile wait for the next round.
  for (size_t n = work_queue_.size(); n > 0 && !work_queue_.empty(); --n) {
    PendingTask task = std::move(work_queue_.front());
    work_queue_.pop_front();
    if (!task.delayed_run_time.is_null()) {
      delayed_queue_.push_back(std::move(task));
      std::push_heap(delayed_queue_.begin(), delayed_queue_.end(), HeapOrder);
      continue;
    }
    if (!CanRunNow(task, nested)) {
      deferred_non_nestable_.push_back(std::move(task));
      continue;
    }
    RunTask(&task);
    did_work = true;
    if (ShouldStop())
      return true;
  }

  if (!delayed_queue_.empty()) {
    TimeTicks now = TimeTicks::Now();
    while (!delayed_queue_.empty() && delayed_queue_.front().delayed_run_time <= now) {
      std::pop_heap(delayed_queue_.begin(), delayed_queue_.end(), HeapOrder);
      PendingTask task = std::move(delayed_queue_.back());
      delayed_queue_.pop_back();
      if (!CanRunNow(task, nested)) {
        deferred_non_nestable_.push_back(std::move(task));
        continue;
      }
      RunTask(&task);
      did_work = true;
      if (ShouldStop())
        return true;
    }
    if (!delayed_queue_.empty())
      *next_deadline = delayed_queue_.front().delayed_run_time;
  }
  return did_work;
}

bool MessageLoop::DoNativeWork(RunState* state) {
  if (!native_source_)
    return false;
  bool did_work = false;
  for (int i = 0; i < kMaxNativeEventsPerRound; ++i) {
    alignas(alignof(std::max_align_t)) unsigned char storage[kNativeEventStorageSize];
    NativeEvent* event = reinterpret_cast<NativeEvent*>(storage);
    NativeEventSource::Result result = native_source_->GetNativeEvent(event);
    if (result == NativeEventSource::Result::kNone)
      break;
    did_work = true;
    if (result == NativeEventSource::Result::kQuit) {
      state->quit_now = true;
      break;
    }
    if (state->dispatcher) {
      if (!state->dispatcher->Dispatch(*event)) {
        state->quit_now = true;
        break;
      }
    } else {
      native_source_->DispatchNativeEvent(*event);
    }
    if (state->quit_now || !native_source_)
      break;
  }
  return did_work;
}

bool MessageLoop::DoIdleWork(RunState* /*state*/) {
  if (IsNested() || !nestable_tasks_allowed_ || deferred_non_nestable_.empty())
    return false;
  PendingTask task = std::move(deferred_non_nestable_.front());
  deferred_non_nestable_.pop_front();
  RunTask(&task);
  return true;
}

void MessageLoop::WaitForWorkInternal(TimeTicks deadline) {
  if (native_source_) {
    TimeTicks native = native_source_->NextNativeDeadline();
    if (!native.is_null() && (deadline.is_null() || native < deadline))
      deadline = native;
  }
  incoming_->Wait(deadline);
}

void MessageLoop::RunWithState(RunState* state) {
  DCHECK(t_current_loop == this) << "a loop runs only on its own thread";
  run_states_.push_back(state);
  for (;;) {
    // The wake-up is cleared here, before the native source is polled below,
    // so a ScheduleNativeWork() is never lost.
    TimeTicks next_deadline;
    bool did_work = DoPendingWorkInternal(IsNested(), &next_deadline);
    if (state->quit_now)
      break;
    did_work |= DoNativeWork(state);
    if (state->quit_now)
      break;
    if (did_work)
      continue;
    did_work = DoIdleWork(state);
    if (state->quit_now)
      break;
    if (did_work)
      continue;
    if (state->quit_when_idle || state->run_until_idle)
      break;
    WaitForWorkInternal(next_deadline);
  }
  run_states_.pop_back();
}

MessageLoopForUI* MessageLoopForUI::current() {
  return dynamic_cast<MessageLoopForUI*>(MessageLoop::current());
}

void MessageLoopForUI::RunWithDispatcher(MessagePumpDispatcher* dispatcher) {
  RunState state;
  state.dispatcher = dispatcher;
  RunWithState(&state);
}

void MessageLoopForUI::ScheduleNativeWork() {
  // Callable from any thread: only the shared queue is touched.
  incoming_->Wake();
}

bool MessageLoopForUI::DoPendingWork() {
  ++native_nesting_;
  TimeTicks next_deadline;
  bool did_work = DoPendingWorkInternal(true, &next_deadline);
  --native_nesting_;
  return did_work;
}

void MessageLoopForUI::WaitForWork(TimeTicks native_deadline) {
  ++native_nesting_;
  TimeTicks next_deadline;
  // Sorts newly posted delayed tasks so their deadlines count.
  bool did_work = DoPendingWorkInternal(true, &next_deadline, /*keep_wake=*/true);
  --native_nesting_;
  if (did_work)
    return;
  TimeTicks deadline = native_deadline;
  if (!next_deadline.is_null() && (deadline.is_null() || next_deadline < deadline))
    deadline = next_deadline;
  incoming_->Wait(deadline);
}

MessageLoopForIO* MessageLoopForIO::current() {
  return dynamic_cast<MessageLoopForIO*>(MessageLoop::current());
}

std::shared_ptr<MessageLoopProxy> MessageLoopProxy::current() {
  MessageLoop* loop = MessageLoop::current();
  return loop ? loop->message_loop_proxy() : nullptr;
}

}  // namespace base
