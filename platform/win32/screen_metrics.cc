#include "win32/screen_metrics.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

std::atomic<LONG> g_cursor_x{0};
std::atomic<LONG> g_cursor_y{0};

}  // namespace

namespace win32 {

std::atomic<int> g_display_width{0};
std::atomic<int> g_display_height{0};

void SetDisplaySize(int width, int height) {
  if (width <= 0 || height <= 0)
    return;
  g_display_height = height;
  g_display_width = width;
}

RECT ScreenRect() {
  int w = 1920;
  int h = 1080;
  if (g_display_width > 0) {
    w = g_display_width;
    h = g_display_height;
  }
  if (const char* env = std::getenv("TERN_SCREEN_SIZE")) {
    int ew = 0;
    int eh = 0;
    char tail = 0;
    if (std::sscanf(env, "%dx%d%c", &ew, &eh, &tail) == 2 && ew > 0 && eh > 0) {
      w = ew;
      h = eh;
    }
  }
  return {0, 0, w, h};
}

RECT TaskbarRect() {
  RECT screen = ScreenRect();
  RECT r = {0, screen.bottom - 40, screen.right, screen.bottom};
  if (const char* env = std::getenv("TERN_TASKBAR_RECT")) {
    int l = 0, t = 0, rt = 0, b = 0;
    char tail = 0;
    if (std::sscanf(env, "%d,%d,%d,%d%c", &l, &t, &rt, &b, &tail) == 4 && rt >= l && b >= t)
      r = {l, t, rt, b};
  }
  return r;
}

}  // namespace win32

int GetSystemMetrics(int index) {
  RECT s = win32::ScreenRect();
  switch (index) {
    case SM_CXSCREEN:
    case SM_CXVIRTUALSCREEN:
      return s.right;
    case SM_CYSCREEN:
    case SM_CYVIRTUALSCREEN:
      return s.bottom;
    case SM_CXFULLSCREEN:
      return s.right;
    case SM_CYFULLSCREEN: {
      RECT t = win32::TaskbarRect();
      return s.bottom - (t.bottom - t.top);
    }
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
      return 17;
    case SM_CYCAPTION:
      return 23;
    case SM_CMONITORS:
      return 1;
    default:
      return 0;
  }
}

BOOL SystemParametersInfoW(UINT action, UINT, PVOID out, UINT) {
  if (action != SPI_GETWORKAREA || !out)
    return FALSE;
  RECT s = win32::ScreenRect();
  RECT t = win32::TaskbarRect();
  RECT work = s;
  // The work area is the screen less the taskbar on whichever edge it sits.
  if (t.right - t.left >= t.bottom - t.top) {
    if (t.top <= s.top)
      work.top = t.bottom;
    else
      work.bottom = t.top;
  } else {
    if (t.left <= s.left)
      work.left = t.right;
    else
      work.right = t.left;
  }
  *static_cast<RECT*>(out) = work;
  return TRUE;
}

BOOL GetCursorPos(LPPOINT point) {
  if (!point)
    return FALSE;
  point->x = g_cursor_x.load();
  point->y = g_cursor_y.load();
  return TRUE;
}

BOOL SetCursorPos(int x, int y) {
  RECT s = win32::ScreenRect();
  g_cursor_x = std::clamp<LONG>(x, s.left, s.right - 1);
  g_cursor_y = std::clamp<LONG>(y, s.top, s.bottom - 1);
  return TRUE;
}
