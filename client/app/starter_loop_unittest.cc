#include "client/app/starter_loop.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "base/message_loop.h"
#include "client/app/process_starter.h"
#include "client/notification/notification_service.h"
#include "client/threads/threads_manager.h"
#include "win32/message_queue.h"
#include "win32/window.h"

namespace {

// Records each phase and what the process looks like at that moment.
class RecordingDelegate : public StarterLoop::Delegate {
 public:
  std::vector<std::string> phases;
  bool io_up_when_started = false;
  bool io_up_when_stopped = true;
  bool bus_when_ready = false;
  std::function<void()> before_run;

  void OnStartup() override { phases.push_back("startup"); }
  void OnMessageLoopReady() override {
    phases.push_back("loop-ready");
    bus_when_ready = NotificationService::current() != nullptr &&
                     ThreadsManager::CurrentlyOn(ThreadsManager::UI);
  }
  void OnThreadsStarted() override {
    phases.push_back("threads-started");
    io_up_when_started = ThreadsManager::PostTask(ThreadsManager::IO, FROM_HERE, [] {});
  }
  void OnBeforeRun() override {
    phases.push_back("before-run");
    before_run();
  }
  void OnAfterRun() override { phases.push_back("after-run"); }
  void OnBeforeShutdown() override { phases.push_back("before-shutdown"); }
  void OnThreadsStopped() override {
    phases.push_back("threads-stopped");
    io_up_when_stopped = ThreadsManager::PostTask(ThreadsManager::IO, FROM_HERE, [] {});
  }
};

class WindowDispatcher : public base::MessagePumpDispatcher {
 public:
  bool Dispatch(const base::NativeEvent& event) override { return DispatchWindowMessage(event); }
};

LRESULT CALLBACK ThrowingProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_USER + 50)
    throw std::runtime_error("window procedure failed");
  return DefWindowProcW(hwnd, msg, wparam, lparam);
}

TEST(StarterLoopTest, RunsThePhasesInOrderAroundTheThreads) {
  RecordingDelegate delegate;
  // The loop quits from inside, once it runs; the IO thread still finishes
  // what was queued before it stops.
  bool queued_ran = false;
  delegate.before_run = [&] {
    ThreadsManager::PostTask(ThreadsManager::IO, FROM_HERE, [&] { queued_ran = true; });
    ThreadsManager::PostTask(ThreadsManager::UI, FROM_HERE,
                             [] { base::MessageLoop::current()->Quit(); });
  };
  {
    StarterLoop loop(&delegate);
    EXPECT_EQ(StarterLoop::current(), &loop);
    loop.Run();
  }
  EXPECT_EQ(StarterLoop::current(), nullptr);
  EXPECT_EQ(delegate.phases,
            (std::vector<std::string>{"startup", "loop-ready", "threads-started", "before-run",
                                      "after-run", "before-shutdown", "threads-stopped"}));
  EXPECT_TRUE(delegate.bus_when_ready);
  EXPECT_TRUE(delegate.io_up_when_started);
  EXPECT_FALSE(delegate.io_up_when_stopped);
  EXPECT_TRUE(queued_ran);
  EXPECT_EQ(NotificationService::current(), nullptr);
}

TEST(StarterLoopTest, AnExceptionInAWindowProcedureEndsTheLoopInOrder) {
  RecordingDelegate delegate;
  HWND window = nullptr;
  delegate.before_run = [&] {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &ThrowingProc;
    wc.lpszClassName = L"ThrowingWindow";
    RegisterClassExW(&wc);
    window = CreateWindowExW(0, L"ThrowingWindow", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                             nullptr, nullptr);
    PostMessageW(window, WM_USER + 50, 0, 0);
  };
  WindowDispatcher dispatcher;
  {
    StarterLoop loop(&delegate);
    loop.set_dispatcher(&dispatcher);
    loop.Run();
  }
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(delegate.phases.back(), "threads-stopped");
  EXPECT_EQ(delegate.phases.size(), 7u);
  DestroyWindow(window);
}

TEST(StarterLoopTest, ShutdownWithoutThreadsDoesNothing) {
  RecordingDelegate delegate;
  StarterLoop loop(&delegate);
  loop.ShutdownThreadsAndCleanUp();
  EXPECT_FALSE(ThreadsManager::PostTask(ThreadsManager::IO, FROM_HERE, [] {}));
}

}  // namespace
