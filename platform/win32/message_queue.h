// Per-thread message queues: posted and sent messages, timers and the quit
// flag. A thread gets its queue the first time it creates a window, posts to
// itself or asks for a message. When the thread runs a base::MessageLoopForUI
// the queue feeds that loop's pump, so one pump serves both tasks and window
// messages and sleeps until the next event or timer.
#ifndef WIN32_MESSAGE_QUEUE_H_
#define WIN32_MESSAGE_QUEUE_H_

#include <functional>

#include "win32/types.h"
#include "win32/window.h"

typedef VOID(CALLBACK* TIMERPROC)(HWND, UINT, UINT_PTR, DWORD);

#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

// Any thread. Returns FALSE with ERROR_INVALID_WINDOW_HANDLE for a dead window.
BOOL PostMessageW(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
BOOL PostThreadMessageW(DWORD thread_id, UINT message, WPARAM wparam, LPARAM lparam);
// Any thread. From another thread it blocks until the window's thread has
// handled the message; while blocked it still handles messages sent to its
// own windows, so two threads sending to each other do not deadlock. When the
// window's thread has left its message loop (took WM_QUIT, its loop ended,
// the thread ended) it returns 0 at once with ERROR_NOT_READY.
LRESULT SendMessageW(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
// The calling thread's queue.
void PostQuitMessage(int exit_code);
BOOL GetMessageW(LPMSG msg, HWND hwnd, UINT filter_min, UINT filter_max);
BOOL PeekMessageW(LPMSG msg, HWND hwnd, UINT filter_min, UINT filter_max, UINT remove);
BOOL WaitMessage();
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageW(const MSG* msg);
// A timer of a window fires on that window's thread; hwnd null makes a thread
// timer with a fresh identifier.
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse_ms, TIMERPROC proc);
BOOL KillTimer(HWND hwnd, UINT_PTR id);
DWORD GetCurrentThreadId();
LONG GetMessageTime();

#define PostMessage PostMessageW
#define SendMessage SendMessageW
#define GetMessage GetMessageW
#define PeekMessage PeekMessageW
#define DispatchMessage DispatchMessageW

namespace win32 {

// Installs the window message source into the calling thread's
// base::MessageLoopForUI (done automatically when the thread creates its
// first window). Called on the loop's thread.
void AttachMessageQueueToCurrentLoop();

// Any thread. Runs `fn` on the thread that owns `hwnd` and waits for it, as a
// sent message does (directly when the caller owns the window). The safe way
// for a worker thread to touch a window's controls. False, without running
// `fn`, when the window is gone or its thread has left its message loop.
bool RunOnWindowThread(HWND hwnd, const std::function<void()>& fn);
// Any thread. True when the calling thread owns `hwnd`.
bool IsWindowThread(HWND hwnd);

}  // namespace win32

#endif  // WIN32_MESSAGE_QUEUE_H_
