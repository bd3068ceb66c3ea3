// Feeds each UI thread's window messages into its base::MessageLoopForUI.
#include <atomic>

#include "base/message_loop.h"
#include "base/message_pump_dispatcher.h"
#include "win32/message_pump_hooks.h"
#include "win32/message_queue.h"
#include "win32/window_internal.h"

static_assert(sizeof(MSG) <= base::kNativeEventStorageSize, "MSG must fit the pump's buffer");

namespace win32 {
namespace {

using internal::ThreadQueue;

base::TimeTicks ToTicks(internal::Clock::time_point due) {
  auto wait = std::chrono::duration_cast<std::chrono::microseconds>(due - internal::Clock::now());
  return base::TimeTicks::Now() +
         base::TimeDelta::FromMicroseconds(std::max<int64_t>(0, wait.count()));
}

thread_local PreTranslateFilter t_filter = nullptr;

// One per UI thread; lives as long as the loop it is attached to.
class WindowEventSource : public base::NativeEventSource,
                          public base::MessageLoop::DestructionObserver {
 public:
  WindowEventSource(base::MessageLoopForUI* loop, std::shared_ptr<ThreadQueue> queue)
      : loop_(loop), queue_(std::move(queue)) {
    {
      std::lock_guard<std::mutex> lock(queue_->mu);
      queue_->wake_loop = [loop] { loop->ScheduleNativeWork(); };
    }
    loop_->SetNativeEventSource(this);
    loop_->AddDestructionObserver(this);
  }

  base::MessageLoopForUI* loop() const { return loop_; }

  Result GetNativeEvent(base::NativeEvent* event) override {
    MSG m;
    if (!internal::TakeMessage(queue_.get(), &m, nullptr, 0, 0, true))
      return Result::kNone;
    *event = m;
    return m.message == WM_QUIT ? Result::kQuit : Result::kEvent;
  }

  void DispatchNativeEvent(const base::NativeEvent& event) override {
    if (RunPreTranslateFilter(&event))
      return;
    TranslateMessage(&event);
    DispatchMessageW(&event);
  }

  base::TimeTicks NextNativeDeadline() override {
    auto due = internal::NextTimerDue(queue_.get());
    return due ? ToTicks(*due) : base::TimeTicks();
  }

  void WillDestroyCurrentMessageLoop() override;

 private:
  base::MessageLoopForUI* loop_;
  std::shared_ptr<ThreadQueue> queue_;
};

thread_local WindowEventSource* t_source = nullptr;

void WindowEventSource::WillDestroyCurrentMessageLoop() {
  {
    std::lock_guard<std::mutex> lock(queue_->mu);
    queue_->wake_loop = nullptr;
  }
  internal::LeaveLoop(queue_.get());
  // The loop is being destroyed; its UI part is already gone, so it is not
  // called back here.
  if (t_source == this)
    t_source = nullptr;
  delete this;
}

// The source of this thread, if its current UI loop has one of ours.
WindowEventSource* CurrentSource() {
  base::MessageLoopForUI* loop = base::MessageLoopForUI::current();
  if (!loop || !t_source || t_source->loop() != loop)
    return nullptr;
  return t_source;
}

}  // namespace

void AttachMessageQueueToCurrentLoop() {
  base::MessageLoopForUI* loop = base::MessageLoopForUI::current();
  if (!loop || CurrentSource())
    return;
  if (loop->native_event_source())
    return;  // Someone else's source (a test's) owns this loop.
  t_source = new WindowEventSource(loop, internal::CurrentQueue());
}

bool RunNestedLoopUntilNativeWork() {
  AttachMessageQueueToCurrentLoop();
  WindowEventSource* source = CurrentSource();
  if (!source)
    return false;
  base::MessageLoopForUI* loop = source->loop();
  auto queue = internal::CurrentQueue();
  loop->DoPendingWork();
  {
    std::lock_guard<std::mutex> lock(queue->mu);
    if (!queue->posted.empty() || !queue->sent.empty() || queue->quit)
      return true;
  }
  auto due = internal::NextTimerDue(queue.get());
  loop->WaitForWork(due ? ToTicks(*due) : base::TimeTicks());
  return true;
}

void SetPreTranslateFilter(PreTranslateFilter filter) {
  t_filter = filter;
}

bool RunPreTranslateFilter(const MSG* msg) {
  return t_filter && t_filter(msg);
}

}  // namespace win32
