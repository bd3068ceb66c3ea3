#include "base/message_loop.h"

#include <atomic>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "base/bind.h"
#include "base/lock.h"
#include "base/platform_thread.h"
#include "base/thread.h"
#include "base/waitable_event.h"
#include "gtest/gtest.h"

// The tests' own window message record; the real one lives in platform/win32.
struct tagMSG {
  int message;
  int value;
};

namespace base {
namespace {

constexpr int kTimerMessage = 0x113;

// Records whether it was destroyed, and where.
struct DestructionProbe {
  explicit DestructionProbe(std::atomic<int>* thread_id) : thread_id_(thread_id) {}
  DestructionProbe(DestructionProbe&& other) : thread_id_(other.thread_id_) {
    other.thread_id_ = nullptr;
  }
  ~DestructionProbe() {
    if (thread_id_)
      thread_id_->store(PlatformThread::CurrentId());
  }
  std::atomic<int>* thread_id_;
};

TEST(MessageLoopTest, ImmediateTasksRunInPostingOrderAndDelayedByDeadline) {
  MessageLoop loop;
  std::vector<std::string> order;
  TimeTicks start = TimeTicks::Now();
  std::vector<TimeDelta> ran_after;
  auto record = [&](std::string name) {
    return [&order, &ran_after, start, name] {
      order.push_back(name);
      ran_after.push_back(TimeTicks::Now() - start);
    };
  };
  loop.PostDelayedTask(FROM_HERE, record("d40"), TimeDelta::FromMilliseconds(40));
  loop.PostDelayedTask(FROM_HERE, record("d20a"), TimeDelta::FromMilliseconds(20));
  loop.PostTask(FROM_HERE, record("i1"));
  loop.PostDelayedTask(FROM_HERE, record("d20b"), TimeDelta::FromMilliseconds(20));
  loop.PostTask(FROM_HERE, record("i2"));
  loop.PostDelayedTask(FROM_HERE, record("d20c"), TimeDelta::FromMilliseconds(20));
  loop.PostDelayedTask(
      FROM_HERE, [&loop] { loop.Quit(); }, TimeDelta::FromMilliseconds(60));
  loop.Run();
  EXPECT_EQ(order, (std::vector<std::string>{"i1", "i2", "d20a", "d20b", "d20c", "d40"}));
  EXPECT_GE(ran_after[2], TimeDelta::FromMilliseconds(20));
  EXPECT_GE(ran_after[5], TimeDelta::FromMilliseconds(40));
}

TEST(MessageLoopTest, QuitRunsQueuedTasksButQuitNowStopsAtOnce) {
  MessageLoop loop;
  std::vector<int> ran;
  loop.PostTask(FROM_HERE, [&] {
    ran.push_back(1);
    MessageLoop::current()->Quit();
  });
  loop.PostTask(FROM_HERE, [&] { ran.push_back(2); });
  loop.Run();
  EXPECT_EQ(ran, (std::vector<int>{1, 2}));

  ran.clear();
  loop.PostTask(FROM_HERE, [&] {
    ran.push_back(3);
    MessageLoop::current()->QuitNow();
  });
  loop.PostTask(FROM_HERE, [&] { ran.push_back(4); });
  loop.Run();
  EXPECT_EQ(ran, (std::vector<int>{3}));
  loop.RunUntilIdle();
  EXPECT_EQ(ran, (std::vector<int>{3, 4}));
}

TEST(MessageLoopTest, NestedRunsRunNestableTasksOnlyWhenAllowed) {
  struct Case {
    bool allow_nestable;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      // Non-nestable tasks wait for the outer loop even when nesting is allowed.
      {true, {"outer-start", "nestable", "outer-end", "non-nestable"}},
      {false, {"outer-start", "outer-end", "non-nestable", "nestable"}},
  };
  for (const Case& c : cases) {
    MessageLoop loop;
    std::vector<std::string> order;
    bool nested_seen = false;
    loop.PostTask(FROM_HERE, [&] {
      order.push_back("outer-start");
      MessageLoop* current = MessageLoop::current();
      current->PostNonNestableTask(FROM_HERE, [&] { order.push_back("non-nestable"); });
      current->PostTask(FROM_HERE, [&] {
        nested_seen = MessageLoop::current()->IsNested();
        order.push_back("nestable");
      });
      if (c.allow_nestable) {
        MessageLoop::ScopedNestableTaskAllower allow(current);
        current->RunUntilIdle();
      } else {
        current->RunUntilIdle();
      }
      order.push_back("outer-end");
    });
    loop.RunUntilIdle();
    EXPECT_EQ(order, c.expected) << "allow_nestable=" << c.allow_nestable;
    EXPECT_EQ(nested_seen, c.allow_nestable);
    EXPECT_FALSE(loop.IsNested());
  }
}

TEST(MessageLoopTest, QuitEndsOnlyTheInnermostRun) {
  MessageLoop loop;
  std::vector<std::string> order;
  loop.PostTask(FROM_HERE, [&] {
    MessageLoop::ScopedNestableTaskAllower allow(MessageLoop::current());
    MessageLoop::current()->PostTask(FROM_HERE, [&] {
      order.push_back("inner-quit");
      MessageLoop::current()->Quit();
    });
    MessageLoop::current()->Run();
    order.push_back("inner-returned");
    MessageLoop::current()->PostTask(FROM_HERE, [&] {
      order.push_back("outer-quit");
      MessageLoop::current()->Quit();
    });
  });
  loop.Run();
  EXPECT_EQ(order, (std::vector<std::string>{"inner-quit", "inner-returned", "outer-quit"}));
}

TEST(MessageLoopTest, ProxyPostAfterLoopIsGoneFailsAndDropsTheTask) {
  std::shared_ptr<MessageLoopProxy> proxy;
  std::atomic<int> queued_destroyed_on{0};
  {
    MessageLoop loop;
    proxy = loop.message_loop_proxy();
    EXPECT_TRUE(proxy->RunsTasksOnCurrentThread());
    // Never run: destroyed with the loop.
    DestructionProbe probe(&queued_destroyed_on);
    loop.PostTask(FROM_HERE, [p = std::move(probe)] { ADD_FAILURE() << "ran"; });
  }
  EXPECT_EQ(queued_destroyed_on.load(), PlatformThread::CurrentId());
  EXPECT_FALSE(proxy->RunsTasksOnCurrentThread());
  std::atomic<int> dropped_on{0};
  DestructionProbe probe(&dropped_on);
  EXPECT_FALSE(proxy->PostTask(FROM_HERE, [p = std::move(probe)] { ADD_FAILURE() << "ran"; }));
  EXPECT_EQ(dropped_on.load(), PlatformThread::CurrentId());
  EXPECT_EQ(MessageLoopProxy::current(), nullptr);
}

TEST(MessageLoopTest, PostTaskAndReplyRepliesOnThePostingThread) {
  MessageLoop loop;
  Thread worker("worker");
  ASSERT_TRUE(worker.Start());
  int task_thread = 0;
  int reply_thread = 0;
  std::vector<std::string> order;
  ASSERT_TRUE(worker.message_loop_proxy()->PostTaskAndReply(
      FROM_HERE, [&] { task_thread = PlatformThread::CurrentId(); },
      [&] {
        reply_thread = PlatformThread::CurrentId();
        order.push_back("reply");
        MessageLoop::current()->Quit();
      }));
  loop.Run();
  EXPECT_EQ(task_thread, worker.thread_id());
  EXPECT_EQ(reply_thread, PlatformThread::CurrentId());
  EXPECT_EQ(order, std::vector<std::string>{"reply"});
}

TEST(MessageLoopTest, ReplyThatCannotGoHomeIsDestroyedOnTheTargetUnrun) {
  Thread origin("origin");
  Thread target("target");
  ASSERT_TRUE(origin.Start());
  ASSERT_TRUE(target.Start());
  WaitableEvent posted(false, false);
  WaitableEvent release_task(false, false);
  std::atomic<int> reply_destroyed_on{0};
  std::atomic<bool> reply_ran{false};
  origin.message_loop()->PostTask(FROM_HERE, [&] {
    DestructionProbe probe(&reply_destroyed_on);
    target.message_loop_proxy()->PostTaskAndReply(
        FROM_HERE, [&] { release_task.Wait(); },
        [&reply_ran, p = std::move(probe)] { reply_ran = true; });
    posted.Signal();
  });
  posted.Wait();
  origin.Stop();  // the reply's home is gone before the task ends
  release_task.Signal();
  target.Stop();
  EXPECT_FALSE(reply_ran);
  EXPECT_EQ(reply_destroyed_on.load(), target.thread_id());
}

TEST(MessageLoopTest, PostTaskAndReplyWithoutALoopFails) {
  Thread target("target");
  ASSERT_TRUE(target.Start());
  std::atomic<bool> ran{false};
  std::thread plain([&] {
    EXPECT_FALSE(target.message_loop_proxy()->PostTaskAndReply(
        FROM_HERE, [&] { ran = true; }, [] {}));
  });
  plain.join();
  target.Stop();
  EXPECT_FALSE(ran);
}

// A stand-in for the window system: a queue of messages and timers, with the
// calls the pump makes counted.
class FakeEventSource : public NativeEventSource {
 public:
  explicit FakeEventSource(MessageLoopForUI* loop) : loop_(loop) {}

  // Any thread, like PostMessage.
  void Post(int message, int value) {
    {
      AutoLock hold(lock_);
      queue_.push_back({message, value});
    }
    loop_->ScheduleNativeWork();
  }
  // Loop thread, like SetTimer with a single shot.
  void SetTimer(TimeDelta delay, int value) {
    timer_deadline_ = TimeTicks::Now() + delay;
    timer_value_ = value;
  }

  Result GetNativeEvent(NativeEvent* event) override {
    ++polls;
    if (!timer_deadline_.is_null() && TimeTicks::Now() >= timer_deadline_) {
      timer_deadline_ = TimeTicks();
      *event = {kTimerMessage, timer_value_};
      return Result::kEvent;
    }
    AutoLock hold(lock_);
    if (queue_.empty())
      return Result::kNone;
    *event = queue_.front();
    queue_.pop_front();
    return event->message == kQuitMessage ? Result::kQuit : Result::kEvent;
  }
  void DispatchNativeEvent(const NativeEvent& event) override {
    dispatched.push_back(event.value);
    if (on_dispatch)
      on_dispatch(event);
  }
  TimeTicks NextNativeDeadline() override { return timer_deadline_; }

  static constexpr int kQuitMessage = 0x12;
  std::vector<int> dispatched;
  std::function<void(const NativeEvent&)> on_dispatch;
  std::atomic<int> polls{0};

 private:
  MessageLoopForUI* loop_;
  Lock lock_;
  std::deque<NativeEvent> queue_;
  TimeTicks timer_deadline_;
  int timer_value_ = 0;
};

class RecordingDispatcher : public MessagePumpDispatcher {
 public:
  bool Dispatch(const NativeEvent& event) override {
    seen.push_back(event.value);
    return event.value != stop_value;
  }
  std::vector<int> seen;
  int stop_value = -1;
};

TEST(MessageLoopForUITest, NativeEventsReachTheDispatcherOrTheSource) {
  struct Case {
    bool with_dispatcher;
    bool end_with_quit_message;  // else the dispatcher refuses value 3
  };
  const Case cases[] = {{true, false}, {true, true}, {false, true}};
  for (const Case& c : cases) {
    MessageLoopForUI loop;
    EXPECT_EQ(MessageLoopForUI::current(), &loop);
    FakeEventSource source(&loop);
    loop.SetNativeEventSource(&source);
    RecordingDispatcher dispatcher;
    dispatcher.stop_value = c.end_with_quit_message ? -1 : 3;
    for (int v = 1; v <= 3; ++v)
      source.Post(1, v);
    if (c.end_with_quit_message)
      source.Post(FakeEventSource::kQuitMessage, 0);
    source.Post(1, 99);  // after the end: stays queued
    if (c.with_dispatcher)
      loop.RunWithDispatcher(&dispatcher);
    else
      loop.Run();
    const std::vector<int>& got = c.with_dispatcher ? dispatcher.seen : source.dispatched;
    EXPECT_EQ(got, (std::vector<int>{1, 2, 3}));
    loop.SetNativeEventSource(nullptr);
  }
}

TEST(MessageLoopForUITest, SleepingPumpWakesForPostsNativeWorkAndTimersWithoutPolling) {
  MessageLoopForUI loop;
  FakeEventSource source(&loop);
  loop.SetNativeEventSource(&source);
  RecordingDispatcher dispatcher;
  dispatcher.stop_value = 7;
  TimeTicks timer_set;
  TimeTicks timer_seen;
  std::vector<std::string> order;

  source.on_dispatch = nullptr;
  loop.PostTask(FROM_HERE, [&] {
    timer_set = TimeTicks::Now();
    source.SetTimer(TimeDelta::FromMilliseconds(50), 5);
  });
  std::thread other([&] {
    PlatformThread::Sleep(TimeDelta::FromMilliseconds(150));
    loop.message_loop_proxy()->PostTask(FROM_HERE, [&] { order.push_back("task"); });
    PlatformThread::Sleep(TimeDelta::FromMilliseconds(100));
    source.Post(1, 6);
    PlatformThread::Sleep(TimeDelta::FromMilliseconds(100));
    source.Post(1, 7);
  });
  struct TimerWatch : MessagePumpDispatcher {
    RecordingDispatcher* inner;
    TimeTicks* seen;
    bool Dispatch(const NativeEvent& e) override {
      if (e.message == kTimerMessage)
        *seen = TimeTicks::Now();
      return inner->Dispatch(e);
    }
  } watch;
  watch.inner = &dispatcher;
  watch.seen = &timer_seen;
  loop.RunWithDispatcher(&watch);
  other.join();

  EXPECT_EQ(dispatcher.seen, (std::vector<int>{5, 6, 7}));
  EXPECT_EQ(order, std::vector<std::string>{"task"});
  EXPECT_GE(timer_seen - timer_set, TimeDelta::FromMilliseconds(50));
  // About 400 ms passed; a polling pump would have asked thousands of times.
  EXPECT_LT(source.polls.load(), 40);
  loop.SetNativeEventSource(nullptr);
}

TEST(MessageLoopForUITest, NestedNativeLoopKeepsTasksRunningButDefersNonNestable) {
  MessageLoopForUI loop;
  FakeEventSource source(&loop);
  loop.SetNativeEventSource(&source);
  std::vector<std::string> order;
  bool modal_open = false;
  // The "modal box": pumps its own messages until it sees value 2.
  source.on_dispatch = [&](const NativeEvent& event) {
    if (event.value != 1)
      return;
    modal_open = true;
    order.push_back("modal-open");
    std::thread poster([&] {
      loop.message_loop_proxy()->PostNonNestableTask(FROM_HERE,
                                                     [&] { order.push_back("non-nestable"); });
      loop.message_loop_proxy()->PostTask(FROM_HERE, [&] {
        order.push_back(modal_open ? "task-in-modal" : "task-after");
        source.Post(1, 2);
      });
    });
    MessageLoopForUI* ui = MessageLoopForUI::current();
    for (;;) {
      ui->DoPendingWork();
      NativeEvent inner;
      if (source.GetNativeEvent(&inner) == NativeEventSource::Result::kEvent) {
        if (inner.value == 2)
          break;
        continue;
      }
      ui->WaitForWork(TimeTicks());
    }
    poster.join();
    modal_open = false;
    order.push_back("modal-closed");
    MessageLoop::current()->PostTask(FROM_HERE, [] { MessageLoop::current()->Quit(); });
  };
  source.Post(1, 1);
  loop.Run();
  EXPECT_EQ(order, (std::vector<std::string>{"modal-open", "task-in-modal", "modal-closed",
                                             "non-nestable"}));
  loop.SetNativeEventSource(nullptr);
}

TEST(MessageLoopForUITest, WaitForWorkReturnsForAWakeThatCameBeforeIt) {
  MessageLoopForUI loop;
  // A window message was queued (and the pump woken) after the modal loop
  // last looked at its queue; the wait must not swallow that wake-up.
  loop.DoPendingWork();
  loop.ScheduleNativeWork();
  std::atomic<bool> rescued{false};
  WaitableEvent returned(false, false);
  std::thread rescue([&] {
    if (!returned.TimedWait(TimeDelta::FromSeconds(2))) {
      rescued = true;
      loop.ScheduleNativeWork();
    }
  });
  TimeTicks start = TimeTicks::Now();
  loop.WaitForWork(TimeTicks());
  TimeDelta waited = TimeTicks::Now() - start;
  bool was_rescued = rescued;
  returned.Signal();
  rescue.join();
  EXPECT_FALSE(was_rescued) << "waited " << waited.InMilliseconds() << " ms";
}

}  // namespace
}  // namespace base
