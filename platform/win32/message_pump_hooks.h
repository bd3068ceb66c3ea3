// Glue between the window message queue and the base UI loop. Private to the
// window system (platform/win32 and the UI library).
#ifndef WIN32_MESSAGE_PUMP_HOOKS_H_
#define WIN32_MESSAGE_PUMP_HOOKS_H_

#include <chrono>
#include <optional>

#include "win32/window.h"

namespace win32 {

// On a thread whose base UI loop has the window source attached, runs that
// loop nested until window work is waiting and returns true; returns false
// at once elsewhere (the caller then sleeps on the queue itself).
bool RunNestedLoopUntilNativeWork();

// A filter that sees each message the base loop takes from the queue before
// TranslateMessage/DispatchMessage; returning true swallows it. One per
// thread; the UI library installs its own. Called on that thread.
using PreTranslateFilter = bool (*)(const MSG* msg);
void SetPreTranslateFilter(PreTranslateFilter filter);
bool RunPreTranslateFilter(const MSG* msg);

}  // namespace win32

namespace win32::internal {

struct ThreadQueue;
bool TakeMessage(ThreadQueue* q, MSG* msg, HWND hwnd, UINT min, UINT max, bool remove);
std::optional<std::chrono::steady_clock::time_point> NextTimerDue(ThreadQueue* q);
void WaitForWork(ThreadQueue* q);

}  // namespace win32::internal

#endif  // WIN32_MESSAGE_PUMP_HOOKS_H_
