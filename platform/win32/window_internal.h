// Shared state of the window manager (window table, z-order, thread queues).
// Private to platform/win32.
#ifndef WIN32_WINDOW_INTERNAL_H_
#define WIN32_WINDOW_INTERNAL_H_

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "win32/message_queue.h"
#include "win32/window.h"

namespace win32::internal {

using Clock = std::chrono::steady_clock;

struct ThreadQueue;

struct Window {
  HWND hwnd = nullptr;
  std::wstring class_name;
  std::wstring title;
  WNDPROC proc = nullptr;
  LONG_PTR user_data = 0;
  DWORD style = 0;
  DWORD ex_style = 0;
  HWND parent = nullptr;
  HWND owner = nullptr;
  RECT rect = {0, 0, 0, 0};
  bool visible = false;
  bool enabled = true;
  bool minimized = false;
  // Hidden because its owner was minimised; shown again on restore.
  bool hidden_by_owner = false;
  bool topmost = false;
  bool destroying = false;
  std::shared_ptr<ThreadQueue> queue;  // null for system windows without a thread
};

struct SentMessage {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wparam = 0;
  LPARAM lparam = 0;
  LRESULT result = 0;
  bool done = false;
  // Set when the receiving thread ended or left its loop before handling it.
  bool failed = false;
  // A call carried out on the window's thread in place of the procedure.
  std::function<LRESULT()> call;
  std::shared_ptr<ThreadQueue> sender;
};

struct Timer {
  HWND hwnd = nullptr;
  UINT_PTR id = 0;
  UINT period_ms = 0;
  TIMERPROC proc = nullptr;
  Clock::time_point due;
};

// One per thread. `mu` guards every field; the condition wakes a thread that
// waits for messages or for the answer to its own SendMessage.
struct ThreadQueue {
  DWORD thread_id = 0;
  std::mutex mu;
  std::condition_variable cv;
  std::deque<MSG> posted;
  std::deque<std::shared_ptr<SentMessage>> sent;
  std::vector<Timer> timers;
  bool quit = false;
  int quit_code = 0;
  bool alive = true;
  // Set when the thread took WM_QUIT or its base loop ended, cleared when it
  // asks for messages again: sends to it then fail at once instead of
  // waiting for a loop that may never run again.
  bool loop_left = false;
  LONG last_message_time = 0;
  // Wakes the thread's base UI loop when one is attached; set on that thread.
  std::function<void()> wake_loop;

  void WakeLocked() {
    cv.notify_all();
    if (wake_loop)
      wake_loop();
  }
};

// The calling thread's queue, created on first use.
std::shared_ptr<ThreadQueue> CurrentQueue();
std::shared_ptr<ThreadQueue> QueueForThread(DWORD thread_id);

std::shared_ptr<Window> FindWindowData(HWND hwnd);
// The lock that guards every field of every Window (the window table's).
std::mutex& WindowFieldsLock();
WNDPROC WindowProcOf(const std::shared_ptr<Window>& w);
// Calls the window procedure directly; the caller is on the window's thread.
LRESULT CallProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
// Handles every message that other threads sent to this thread. Returns true
// when it handled at least one.
bool ServiceSentMessages(ThreadQueue* queue);
// From a thread that does not own `w`, carries `call` out on the owning
// thread and waits for it (as a sent message): returns true and sets
// `result` (0 with ERROR_NOT_READY when that thread has left its loop).
// Returns false on the owning thread, where the caller goes on itself.
bool ForwardToOwner(const std::shared_ptr<Window>& w,
                    std::function<LRESULT()> call,
                    LRESULT* result);
// The queue's thread leaves its loop: pending senders fail at once.
void LeaveLoop(ThreadQueue* queue);
// Drops the timers of a window that is going away.
void RemoveWindowTimers(HWND hwnd);
// Forgets the windows of a thread that ends.
void ForgetThreadWindows(DWORD thread_id);
DWORD NowMs();

}  // namespace win32::internal

#endif  // WIN32_WINDOW_INTERNAL_H_
