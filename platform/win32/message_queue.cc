#include "win32/message_queue.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>

#include "win32/last_error.h"
#include "win32/message_pump_hooks.h"
#include "win32/screen_metrics.h"
#include "win32/window_internal.h"

namespace win32::internal {
namespace {

struct QueueRegistry {
  std::mutex mu;
  std::map<DWORD, std::shared_ptr<ThreadQueue>> queues;
  UINT_PTR next_thread_timer = 0x7F00;
};

QueueRegistry& Registry() {
  static QueueRegistry* registry = new QueueRegistry;
  return *registry;
}

void FailSent(std::deque<std::shared_ptr<SentMessage>>& pending) {
  for (auto& s : pending) {
    std::lock_guard<std::mutex> lock(s->sender->mu);
    s->done = true;
    s->failed = true;
    s->sender->cv.notify_all();
  }
}

// Ends the thread's queue when the thread exits: pending senders get 0 and
// the thread's windows disappear.
struct QueueHolder {
  std::shared_ptr<ThreadQueue> queue;
  ~QueueHolder() {
    if (!queue)
      return;
    std::deque<std::shared_ptr<SentMessage>> pending;
    {
      std::lock_guard<std::mutex> lock(queue->mu);
      queue->alive = false;
      queue->wake_loop = nullptr;
      pending.swap(queue->sent);
    }
    FailSent(pending);
    {
      auto& r = Registry();
      std::lock_guard<std::mutex> lock(r.mu);
      r.queues.erase(queue->thread_id);
    }
    ForgetThreadWindows(queue->thread_id);
  }
};

thread_local QueueHolder t_holder;

MSG MakeMsg(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  MSG m = {};
  m.hwnd = hwnd;
  m.message = message;
  m.wParam = wparam;
  m.lParam = lparam;
  m.time = NowMs();
  GetCursorPos(&m.pt);
  return m;
}

bool Matches(const MSG& m, HWND hwnd, UINT min, UINT max) {
  if (hwnd && m.hwnd != hwnd)
    return false;
  if (min == 0 && max == 0)
    return true;
  return m.message >= min && m.message <= max;
}

BOOL PostTo(const std::shared_ptr<ThreadQueue>& q, const MSG& m) {
  std::lock_guard<std::mutex> lock(q->mu);
  if (!q->alive)
    return FALSE;
  q->posted.push_back(m);
  q->WakeLocked();
  return TRUE;
}

}  // namespace

DWORD NowMs() {
  return static_cast<DWORD>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
          .count());
}

std::shared_ptr<ThreadQueue> CurrentQueue() {
  if (!t_holder.queue) {
    auto q = std::make_shared<ThreadQueue>();
    q->thread_id = GetCurrentThreadId();
    auto& r = Registry();
    std::lock_guard<std::mutex> lock(r.mu);
    r.queues[q->thread_id] = q;
    t_holder.queue = q;
  }
  return t_holder.queue;
}

std::shared_ptr<ThreadQueue> QueueForThread(DWORD thread_id) {
  auto& r = Registry();
  std::lock_guard<std::mutex> lock(r.mu);
  auto it = r.queues.find(thread_id);
  return it == r.queues.end() ? nullptr : it->second;
}

bool ServiceSentMessages(ThreadQueue* queue) {
  bool any = false;
  for (;;) {
    std::shared_ptr<SentMessage> s;
    {
      std::lock_guard<std::mutex> lock(queue->mu);
      if (queue->sent.empty())
        return any;
      s = queue->sent.front();
      queue->sent.pop_front();
    }
    any = true;
    LRESULT result = s->call ? s->call() : CallProc(s->hwnd, s->message, s->wparam, s->lparam);
    std::lock_guard<std::mutex> lock(s->sender->mu);
    s->result = result;
    s->done = true;
    s->sender->cv.notify_all();
  }
}

void RemoveWindowTimers(HWND hwnd) {
  auto q = CurrentQueue();
  std::lock_guard<std::mutex> lock(q->mu);
  q->timers.erase(std::remove_if(q->timers.begin(), q->timers.end(),
                                 [&](const Timer& t) { return t.hwnd == hwnd; }),
                  q->timers.end());
  // Messages still queued for the window would reach a dead handle.
  q->posted.erase(std::remove_if(q->posted.begin(), q->posted.end(),
                                 [&](const MSG& m) { return m.hwnd == hwnd; }),
                  q->posted.end());
}

void LeaveLoop(ThreadQueue* q) {
  std::deque<std::shared_ptr<SentMessage>> pending;
  {
    std::lock_guard<std::mutex> lock(q->mu);
    q->loop_left = true;
    pending.swap(q->sent);
  }
  FailSent(pending);
}

bool TakeMessage(ThreadQueue* q, MSG* msg, HWND hwnd, UINT min, UINT max, bool remove) {
  {
    std::lock_guard<std::mutex> lock(q->mu);
    q->loop_left = false;
  }
  ServiceSentMessages(q);
  std::unique_lock<std::mutex> lock(q->mu);
  for (auto it = q->posted.begin(); it != q->posted.end(); ++it) {
    if (!Matches(*it, hwnd, min, max))
      continue;
    *msg = *it;
    q->last_message_time = static_cast<LONG>(msg->time);
    if (remove) {
      q->posted.erase(it);
      if (msg->message == WM_QUIT) {
        lock.unlock();
        LeaveLoop(q);
      }
    }
    return true;
  }
  if (q->quit && !hwnd) {
    *msg = MakeMsg(nullptr, WM_QUIT, static_cast<WPARAM>(q->quit_code), 0);
    if (remove) {
      q->quit = false;
      lock.unlock();
      LeaveLoop(q);
    }
    return true;
  }
  auto now = Clock::now();
  Timer* due = nullptr;
  for (auto& t : q->timers) {
    if (t.due <= now && (!hwnd || t.hwnd == hwnd) && (!due || t.due < due->due))
      due = &t;
  }
  if (due && Matches(MakeMsg(due->hwnd, WM_TIMER, 0, 0), hwnd, min, max)) {
    *msg = MakeMsg(due->hwnd, WM_TIMER, due->id, reinterpret_cast<LPARAM>(due->proc));
    // A late timer fires once, not once per missed period.
    if (remove)
      due->due = now + std::chrono::milliseconds(due->period_ms);
    return true;
  }
  return false;
}

std::optional<Clock::time_point> NextTimerDue(ThreadQueue* q) {
  std::lock_guard<std::mutex> lock(q->mu);
  std::optional<Clock::time_point> next;
  for (auto& t : q->timers) {
    if (!next || t.due < *next)
      next = t.due;
  }
  return next;
}

bool HasWork(ThreadQueue* q) {
  // Called with q->mu held.
  if (!q->posted.empty() || !q->sent.empty() || q->quit)
    return true;
  auto now = Clock::now();
  for (auto& t : q->timers) {
    if (t.due <= now)
      return true;
  }
  return false;
}

void WaitForWork(ThreadQueue* q) {
  std::unique_lock<std::mutex> lock(q->mu);
  while (!HasWork(q)) {
    std::optional<Clock::time_point> next;
    for (auto& t : q->timers) {
      if (!next || t.due < *next)
        next = t.due;
    }
    if (next)
      q->cv.wait_until(lock, *next);
    else
      q->cv.wait(lock);
  }
}

}  // namespace win32::internal

using namespace win32::internal;

DWORD GetCurrentThreadId() {
  static thread_local DWORD id = static_cast<DWORD>(syscall(SYS_gettid));
  return id;
}

LONG GetMessageTime() {
  auto q = CurrentQueue();
  std::lock_guard<std::mutex> lock(q->mu);
  return q->last_message_time;
}

BOOL PostMessageW(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (!hwnd)
    return PostTo(CurrentQueue(), MakeMsg(nullptr, message, wparam, lparam));
  auto w = FindWindowData(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (!w->queue)
    return TRUE;  // System windows swallow what they are sent.
  return PostTo(w->queue, MakeMsg(hwnd, message, wparam, lparam));
}

BOOL PostThreadMessageW(DWORD thread_id, UINT message, WPARAM wparam, LPARAM lparam) {
  auto q = QueueForThread(thread_id);
  if (!q) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return PostTo(q, MakeMsg(nullptr, message, wparam, lparam));
}

namespace win32::internal {
namespace {

// Queues `s` for `target` and waits for the answer, serving what others send
// to this thread meanwhile. False when `target` no longer runs its loop.
bool SendAndWait(const std::shared_ptr<ThreadQueue>& target,
                 const std::shared_ptr<SentMessage>& s,
                 LRESULT* result) {
  auto self = CurrentQueue();
  s->sender = self;
  {
    std::lock_guard<std::mutex> lock(target->mu);
    if (!target->alive || target->loop_left) {
      SetLastError(ERROR_NOT_READY);
      return false;
    }
    target->sent.push_back(s);
    target->WakeLocked();
  }
  for (;;) {
    ServiceSentMessages(self.get());
    std::unique_lock<std::mutex> lock(self->mu);
    if (s->done) {
      if (s->failed) {
        SetLastError(ERROR_NOT_READY);
        return false;
      }
      *result = s->result;
      return true;
    }
    if (!self->sent.empty())
      continue;
    self->cv.wait(lock);
  }
}

}  // namespace

bool ForwardToOwner(const std::shared_ptr<Window>& w,
                    std::function<LRESULT()> call,
                    LRESULT* result) {
  if (!w->queue || w->queue->thread_id == GetCurrentThreadId())
    return false;
  auto s = std::make_shared<SentMessage>();
  s->hwnd = w->hwnd;
  s->call = std::move(call);
  if (!SendAndWait(w->queue, s, result))
    *result = 0;
  return true;
}

}  // namespace win32::internal

LRESULT SendMessageW(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto w = FindWindowData(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (!w->queue)
    return 0;
  if (w->queue->thread_id == GetCurrentThreadId()) {
    WNDPROC proc = WindowProcOf(w);
    return proc ? proc(hwnd, message, wparam, lparam) : 0;
  }
  auto s = std::make_shared<SentMessage>();
  s->hwnd = hwnd;
  s->message = message;
  s->wparam = wparam;
  s->lparam = lparam;
  LRESULT result = 0;
  return SendAndWait(w->queue, s, &result) ? result : 0;
}

namespace win32 {

bool RunOnWindowThread(HWND hwnd, const std::function<void()>& fn) {
  auto w = FindWindowData(hwnd);
  if (!w || !w->queue)
    return false;
  if (w->queue->thread_id == GetCurrentThreadId()) {
    fn();
    return true;
  }
  auto s = std::make_shared<SentMessage>();
  s->hwnd = hwnd;
  // The window may go away while the call waits in the queue.
  s->call = [hwnd, &fn]() -> LRESULT {
    if (!IsWindow(hwnd))
      return 0;
    fn();
    return 1;
  };
  LRESULT result = 0;
  return SendAndWait(w->queue, s, &result) && result == 1;
}

bool IsWindowThread(HWND hwnd) {
  auto w = FindWindowData(hwnd);
  return w && w->queue && w->queue->thread_id == GetCurrentThreadId();
}

}  // namespace win32

void PostQuitMessage(int exit_code) {
  auto q = CurrentQueue();
  std::lock_guard<std::mutex> lock(q->mu);
  q->quit = true;
  q->quit_code = exit_code;
  q->WakeLocked();
}

BOOL PeekMessageW(LPMSG msg, HWND hwnd, UINT filter_min, UINT filter_max, UINT remove) {
  auto q = CurrentQueue();
  MSG m;
  if (!TakeMessage(q.get(), &m, hwnd, filter_min, filter_max, (remove & PM_REMOVE) != 0))
    return FALSE;
  if (msg)
    *msg = m;
  return TRUE;
}

BOOL GetMessageW(LPMSG msg, HWND hwnd, UINT filter_min, UINT filter_max) {
  auto q = CurrentQueue();
  MSG m;
  for (;;) {
    if (TakeMessage(q.get(), &m, hwnd, filter_min, filter_max, true))
      break;
    // With a base UI loop on this thread, wait inside it so that posted tasks
    // and replies keep running while a modal loop waits here.
    if (!win32::RunNestedLoopUntilNativeWork())
      WaitForWork(q.get());
  }
  if (msg)
    *msg = m;
  return m.message != WM_QUIT;
}

BOOL WaitMessage() {
  auto q = CurrentQueue();
  if (!win32::RunNestedLoopUntilNativeWork())
    WaitForWork(q.get());
  return TRUE;
}

BOOL TranslateMessage(const MSG* msg) {
  if (!msg || msg->message != WM_KEYDOWN)
    return FALSE;
  // Printable characters arrive as WM_CHAR from text input; only the keys
  // that produce control characters are translated here.
  switch (msg->wParam) {
    case VK_RETURN:
    case VK_BACK:
    case VK_ESCAPE:
    case VK_TAB:
      return PostMessageW(msg->hwnd, WM_CHAR, msg->wParam, msg->lParam);
    default:
      return FALSE;
  }
}

LRESULT DispatchMessageW(const MSG* msg) {
  if (!msg)
    return 0;
  if (msg->message == WM_TIMER && msg->lParam) {
    reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, msg->time);
    return 0;
  }
  if (!msg->hwnd)
    return 0;
  auto w = FindWindowData(msg->hwnd);
  if (!w || !w->queue || w->queue->thread_id != GetCurrentThreadId())
    return 0;
  WNDPROC proc = WindowProcOf(w);
  return proc ? proc(msg->hwnd, msg->message, msg->wParam, msg->lParam) : 0;
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse_ms, TIMERPROC proc) {
  std::shared_ptr<ThreadQueue> q;
  if (hwnd) {
    auto w = FindWindowData(hwnd);
    if (!w || !w->queue) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    q = w->queue;
  } else {
    q = CurrentQueue();
    auto& r = Registry();
    std::lock_guard<std::mutex> lock(r.mu);
    id = ++r.next_thread_timer;
  }
  // Windows clamps tiny periods to about 10 ms.
  UINT period = std::max<UINT>(elapse_ms, 10);
  std::lock_guard<std::mutex> lock(q->mu);
  Timer t;
  t.hwnd = hwnd;
  t.id = id;
  t.period_ms = period;
  t.proc = proc;
  t.due = Clock::now() + std::chrono::milliseconds(period);
  auto it = std::find_if(q->timers.begin(), q->timers.end(),
                         [&](const Timer& x) { return x.hwnd == hwnd && x.id == id; });
  if (it != q->timers.end())
    *it = t;
  else
    q->timers.push_back(t);
  q->WakeLocked();
  return hwnd ? (id ? id : 1) : id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
  std::shared_ptr<ThreadQueue> q;
  if (hwnd) {
    auto w = FindWindowData(hwnd);
    if (!w || !w->queue)
      return FALSE;
    q = w->queue;
  } else {
    q = CurrentQueue();
  }
  std::lock_guard<std::mutex> lock(q->mu);
  auto it = std::find_if(q->timers.begin(), q->timers.end(),
                         [&](const Timer& x) { return x.hwnd == hwnd && x.id == id; });
  if (it == q->timers.end())
    return FALSE;
  q->timers.erase(it);
  // A WM_TIMER already taken from the queue is not recalled, as on Windows.
  return TRUE;
}
