#include "win32/window_end_session.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <thread>
#include <vector>

#include "base/logging.h"
#include "win32/message_queue.h"
#include "win32/window.h"

namespace win32 {
namespace {

constexpr UINT kEndSession = WM_APP + 0x3F30;

int g_pipe[2] = {-1, -1};
HWND g_window = nullptr;

// Async-signal-safe: only write(2) and sigaction(2).
void OnSignal(int signo) {
  int saved = errno;
  unsigned char s = static_cast<unsigned char>(signo);
  if (write(g_pipe[1], &s, 1) < 0) {
    // Nothing to do: the pipe is full of earlier signals already.
  }
  // The next one takes the default action.
  struct sigaction dfl = {};
  dfl.sa_handler = SIG_DFL;
  sigaction(SIGTERM, &dfl, nullptr);
  sigaction(SIGINT, &dfl, nullptr);
  errno = saved;
}

LRESULT CALLBACK EndSessionProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg != kEndSession)
    return DefWindowProcW(hwnd, msg, wparam, lparam);
  LOG(INFO) << "Signal " << wparam << " received; closing the windows and quitting";
  struct Mine {
    DWORD thread;
    std::vector<HWND> windows;
  } mine{GetCurrentThreadId(), {}};
  EnumWindows(
      [](HWND h, LPARAM p) {
        auto* m = reinterpret_cast<Mine*>(p);
        if (GetWindowThreadProcessId(h, nullptr) == m->thread)
          m->windows.push_back(h);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&mine));
  // Owners before the windows they own would destroy those twice; IsWindow
  // skips what an earlier destruction already took.
  for (HWND h : mine.windows) {
    if (IsWindow(h) && !GetWindow(h, GW_OWNER))
      DestroyWindow(h);
  }
  for (HWND h : mine.windows) {
    if (IsWindow(h))
      DestroyWindow(h);
  }
  PostQuitMessage(0);
  return 0;
}

// Sleeps in read(2) until a signal arrives; no wake-ups otherwise.
void Watch(HWND target) {
  for (;;) {
    unsigned char s = 0;
    ssize_t n = read(g_pipe[0], &s, 1);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return;
    if (!PostMessageW(target, kEndSession, s, 0)) {
      // The UI thread is gone: nothing is left to close in order.
      _exit(128 + s);
    }
  }
}

}  // namespace

void EndSessionOnSignals() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (pipe2(g_pipe, O_CLOEXEC) != 0) {
      PLOG(ERROR) << "Cannot watch for SIGTERM";
      return;
    }
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = EndSessionProc;
    wc.lpszClassName = L"TernEndSession";
    RegisterClassExW(&wc);
    g_window = CreateWindowExW(0, L"TernEndSession", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               nullptr, nullptr);
    std::thread(Watch, g_window).detach();
    struct sigaction sa = {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
  });
}

}  // namespace win32
