#include "win32/message_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "base/callback.h"
#include "base/location.h"
#include "base/message_loop.h"
#include "win32/last_error.h"
#include "win32/window.h"

namespace {

constexpr UINT kPing = WM_USER + 1;
constexpr UINT kCallBack = WM_USER + 2;
constexpr UINT kQuitModal = WM_USER + 3;

struct Counters {
  std::atomic<int> timers{0};
  std::vector<UINT> order;
  HWND peer = nullptr;
};

Counters* g_counters = nullptr;

LRESULT CALLBACK QueueProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case kPing:
      if (g_counters)
        g_counters->order.push_back(static_cast<UINT>(wparam));
      return static_cast<LRESULT>(wparam * 2);
    case kCallBack:
      // Sends back to the other thread's window while that thread waits for
      // us: both sides must keep serving sent messages.
      return SendMessageW(reinterpret_cast<HWND>(lparam), kPing, wparam, 0) + 1;
    case WM_TIMER:
      if (g_counters)
        ++g_counters->timers;
      return 0;
    default:
      return DefWindowProcW(hwnd, message, wparam, lparam);
  }
}

HWND MakeWindow() {
  static bool registered = [] {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = QueueProc;
    wc.lpszClassName = L"QueueTestWindow";
    return RegisterClassExW(&wc) != 0;
  }();
  EXPECT_TRUE(registered);
  return CreateWindowExW(0, L"QueueTestWindow", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                         nullptr, nullptr);
}

TEST(MessageQueueTest, PostedMessagesComeInOrderAndQuitComesLast) {
  Counters counters;
  g_counters = &counters;
  HWND h = MakeWindow();
  PostMessageW(h, kPing, 1, 0);
  PostQuitMessage(7);
  PostMessageW(h, kPing, 2, 0);
  MSG msg;
  int loops = 0;
  while (GetMessageW(&msg, nullptr, 0, 0)) {
    DispatchMessageW(&msg);
    ++loops;
  }
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 7u);
  EXPECT_EQ(loops, 2);
  EXPECT_EQ(counters.order, (std::vector<UINT>{1, 2}));
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  DestroyWindow(h);
  g_counters = nullptr;
}

TEST(MessageQueueTest, TimersRepeatUntilKilled) {
  Counters counters;
  g_counters = &counters;
  HWND h = MakeWindow();
  ASSERT_EQ(SetTimer(h, 42, 10, nullptr), 42u);
  MSG msg;
  while (counters.timers < 3 && GetMessageW(&msg, nullptr, 0, 0)) {
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
    EXPECT_EQ(msg.wParam, 42u);
    DispatchMessageW(&msg);
  }
  EXPECT_TRUE(KillTimer(h, 42));
  EXPECT_FALSE(KillTimer(h, 42));
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  // A thread timer calls its procedure from DispatchMessage.
  static std::atomic<int> fired{0};
  UINT_PTR id = SetTimer(nullptr, 0, 10, [](HWND, UINT, UINT_PTR, DWORD) { ++fired; });
  ASSERT_NE(id, 0u);
  while (fired == 0 && GetMessageW(&msg, nullptr, 0, 0))
    DispatchMessageW(&msg);
  KillTimer(nullptr, id);
  DestroyWindow(h);
  g_counters = nullptr;
}

// The window's thread waits in its own SendMessage to a worker window whose
// procedure sends back: both sends complete.
TEST(MessageQueueTest, SendMessageBothWaysDoesNotDeadlock) {
  Counters counters;
  g_counters = &counters;
  HWND ui = MakeWindow();
  std::promise<HWND> worker_window;
  std::promise<void> stop;
  std::thread worker([&] {
    HWND w = MakeWindow();
    worker_window.set_value(w);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0))
      DispatchMessageW(&msg);
    DestroyWindow(w);
  });
  HWND w = worker_window.get_future().get();
  // wparam 5: the worker sends kPing(5) back to us (answer 10) and adds 1.
  EXPECT_EQ(SendMessageW(w, kCallBack, 5, reinterpret_cast<LPARAM>(ui)), 11);
  EXPECT_EQ(counters.order, (std::vector<UINT>{5}));
  PostMessageW(w, WM_QUIT, 0, 0);
  PostThreadMessageW(GetWindowThreadProcessId(w, nullptr), WM_NULL, 0, 0);
  worker.join();
  DestroyWindow(ui);
  g_counters = nullptr;
}

// A worker's SendMessage is answered while the window's thread sits in a
// modal loop, and base tasks posted to the UI loop run inside it too.
TEST(MessageQueueTest, ModalLoopServesSendsAndTasks) {
  base::MessageLoopForUI loop;
  Counters counters;
  g_counters = &counters;
  HWND ui = MakeWindow();
  std::atomic<bool> task_ran{false};
  std::atomic<LRESULT> answer{0};
  std::thread worker([&] {
    answer = SendMessageW(ui, kPing, 21, 0);
    loop.PostTask(FROM_HERE, base::OnceClosure([&task_ran] { task_ran = true; }));
    PostMessageW(ui, kQuitModal, 0, 0);
  });
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0)) {
    if (msg.message == kQuitModal)
      break;
    DispatchMessageW(&msg);
  }
  worker.join();
  EXPECT_EQ(answer.load(), 42);
  // The task may have been posted after the last wake; give the loop a turn.
  loop.RunUntilIdle();
  EXPECT_TRUE(task_ran);
  DestroyWindow(ui);
  g_counters = nullptr;
}

// With a UI loop running, window messages and timers are dispatched by the
// loop's own pump, and PostQuitMessage ends Run().
TEST(MessageQueueTest, BaseLoopPumpsWindowMessages) {
  base::MessageLoopForUI loop;
  Counters counters;
  g_counters = &counters;
  HWND ui = MakeWindow();
  SetTimer(ui, 1, 10, nullptr);
  std::thread poster([&] {
    for (UINT i = 1; i <= 3; ++i)
      PostMessageW(ui, kPing, i, 0);
  });
  poster.join();
  loop.PostDelayedTask(FROM_HERE, base::OnceClosure([] { PostQuitMessage(0); }),
                       base::TimeDelta::FromMilliseconds(60));
  loop.Run();
  EXPECT_EQ(counters.order, (std::vector<UINT>{1, 2, 3}));
  EXPECT_GE(counters.timers.load(), 2);
  DestroyWindow(ui);
  g_counters = nullptr;
}

// Worker threads touch windows through the owning thread: the placement and
// visibility calls and RunOnWindowThread run there, while the caller waits.
TEST(MessageQueueTest, WorkerCallsRunOnTheOwningThread) {
  HWND ui = MakeWindow();
  DWORD ui_thread = GetCurrentThreadId();
  std::atomic<DWORD> ran_on{0};
  std::atomic<bool> done{false};
  std::thread worker([&] {
    EXPECT_FALSE(win32::IsWindowThread(ui));
    EXPECT_TRUE(SetWindowPos(ui, nullptr, 30, 40, 200, 100, SWP_NOZORDER));
    ShowWindow(ui, SW_SHOW);
    EXPECT_TRUE(win32::RunOnWindowThread(ui, [&] { ran_on = GetCurrentThreadId(); }));
    done = true;
    PostMessageW(ui, kQuitModal, 0, 0);
  });
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) && msg.message != kQuitModal)
    DispatchMessageW(&msg);
  worker.join();
  EXPECT_TRUE(done);
  EXPECT_EQ(ran_on.load(), ui_thread);
  RECT r;
  GetWindowRect(ui, &r);
  EXPECT_EQ(r.left, 30);
  EXPECT_EQ(r.bottom, 140);
  EXPECT_TRUE(IsWindowVisible(ui));
  // On the owning thread the call runs at once.
  bool direct = false;
  EXPECT_TRUE(win32::RunOnWindowThread(ui, [&] { direct = true; }));
  EXPECT_TRUE(direct);
  DestroyWindow(ui);
  EXPECT_FALSE(win32::RunOnWindowThread(ui, [] { ADD_FAILURE() << "dead window"; }));
}

// The shutdown order of a program: the UI thread leaves its loop (WM_QUIT)
// and then waits for the IO thread, whose task sends to a window. The send
// fails at once instead of hanging both threads.
TEST(MessageQueueTest, SendToThreadThatLeftItsLoopFailsAtOnce) {
  HWND ui = MakeWindow();
  PostQuitMessage(0);
  MSG msg;
  // Took WM_QUIT: from here on this thread only joins.
  EXPECT_FALSE(GetMessageW(&msg, nullptr, 0, 0));
  std::atomic<LRESULT> late{-1};
  std::atomic<bool> ran{false};
  std::atomic<DWORD> error{0};
  std::thread io([&] {
    late = SendMessageW(ui, kPing, 9, 0);
    error = GetLastError();
    EXPECT_FALSE(win32::RunOnWindowThread(ui, [&] { ran = true; }));
  });
  io.join();
  EXPECT_EQ(late.load(), 0);
  EXPECT_EQ(error.load(), static_cast<DWORD>(ERROR_NOT_READY));
  EXPECT_FALSE(ran);
  // Asking for messages again opens the door.
  std::thread again([&] {
    late = SendMessageW(ui, kPing, 3, 0);
    PostMessageW(ui, WM_NULL, 0, 0);
  });
  while (late.load() != 6 && GetMessageW(&msg, nullptr, 0, 0))
    DispatchMessageW(&msg);
  again.join();
  EXPECT_EQ(late.load(), 6);
  DestroyWindow(ui);
}

}  // namespace
