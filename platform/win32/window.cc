#include "win32/window.h"

#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cstring>

#include "win32/last_error.h"
#include "win32/screen_metrics.h"
#include "win32/window_internal.h"

namespace win32::internal {
namespace {

struct ClassEntry {
  WNDCLASSEXW wc;
  std::wstring name;
};

struct WindowTable {
  std::mutex mu;
  std::map<std::wstring, ClassEntry> classes;
  std::map<HWND, std::shared_ptr<Window>> windows;
  // Top-level windows, the top of the z-order first.
  std::vector<HWND> zorder;
  uintptr_t next_handle = 0x10000;
  HWND foreground = nullptr;
  HWND taskbar = nullptr;
};

WindowTable& Table() {
  static WindowTable* table = new WindowTable;
  return *table;
}

thread_local HWND t_focus = nullptr;
thread_local HWND t_capture = nullptr;
thread_local HWND t_active = nullptr;

bool IsTopLevel(const Window& w) {
  return !(w.style & WS_CHILD);
}

// Places a top-level window at the top of its band (top-most or normal).
void RaiseLocked(WindowTable& t, HWND hwnd, bool topmost) {
  t.zorder.erase(std::remove(t.zorder.begin(), t.zorder.end(), hwnd), t.zorder.end());
  auto pos = t.zorder.begin();
  if (!topmost) {
    pos = std::find_if(t.zorder.begin(), t.zorder.end(), [&](HWND h) {
      auto it = t.windows.find(h);
      return it == t.windows.end() || !it->second->topmost;
    });
  }
  t.zorder.insert(pos, hwnd);
}

HWND NewHandle(WindowTable& t) {
  t.next_handle += 4;
  return reinterpret_cast<HWND>(t.next_handle);
}

// The taskbar stands for the shell's window; it has no thread of its own.
HWND TaskbarLocked(WindowTable& t) {
  if (t.taskbar)
    return t.taskbar;
  auto w = std::make_shared<Window>();
  w->hwnd = NewHandle(t);
  w->class_name = L"Shell_TrayWnd";
  w->style = WS_POPUP | WS_VISIBLE;
  w->ex_style = WS_EX_TOPMOST | WS_EX_TOOLWINDOW;
  w->rect = win32::TaskbarRect();
  w->visible = true;
  w->topmost = true;
  t.windows[w->hwnd] = w;
  t.zorder.insert(t.zorder.begin(), w->hwnd);
  t.taskbar = w->hwnd;
  return t.taskbar;
}

void SendSized(HWND hwnd, const RECT& r, WPARAM kind) {
  SendMessageW(hwnd, WM_SIZE, kind, MAKELPARAM(r.right - r.left, r.bottom - r.top));
}

}  // namespace

std::shared_ptr<Window> FindWindowData(HWND hwnd) {
  WindowTable& t = Table();
  std::lock_guard<std::mutex> lock(t.mu);
  if (hwnd == t.taskbar && t.taskbar)
    t.windows[hwnd]->rect = win32::TaskbarRect();
  auto it = t.windows.find(hwnd);
  return it == t.windows.end() ? nullptr : it->second;
}

std::mutex& WindowFieldsLock() {
  return Table().mu;
}

WNDPROC WindowProcOf(const std::shared_ptr<Window>& w) {
  std::lock_guard<std::mutex> lock(Table().mu);
  return w->proc;
}

LRESULT CallProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto w = FindWindowData(hwnd);
  WNDPROC proc = w ? WindowProcOf(w) : nullptr;
  return proc ? proc(hwnd, message, wparam, lparam) : 0;
}

void ForgetThreadWindows(DWORD thread_id) {
  WindowTable& t = Table();
  std::lock_guard<std::mutex> lock(t.mu);
  for (auto it = t.windows.begin(); it != t.windows.end();) {
    if (it->second->queue && it->second->queue->thread_id == thread_id) {
      HWND h = it->first;
      t.zorder.erase(std::remove(t.zorder.begin(), t.zorder.end(), h), t.zorder.end());
      if (t.foreground == h)
        t.foreground = nullptr;
      it = t.windows.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace win32::internal

using namespace win32::internal;

ATOM RegisterClassExW(const WNDCLASSEXW* wc) {
  if (!wc || !wc->lpszClassName || !wc->lpfnWndProc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  auto& t = Table();
  std::lock_guard<std::mutex> lock(t.mu);
  std::wstring name = wc->lpszClassName;
  if (t.classes.count(name)) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  auto& entry = t.classes[name];
  entry.wc = *wc;
  entry.name = name;
  entry.wc.lpszClassName = entry.name.c_str();
  entry.wc.lpszMenuName = nullptr;
  return static_cast<ATOM>(0xC000 + t.classes.size());
}

BOOL UnregisterClassW(LPCWSTR class_name, HINSTANCE) {
  auto& t = Table();
  std::lock_guard<std::mutex> lock(t.mu);
  if (!class_name || !t.classes.erase(class_name)) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  return TRUE;
}

BOOL GetClassInfoExW(HINSTANCE, LPCWSTR class_name, WNDCLASSEXW* wc) {
  auto& t = Table();
  std::lock_guard<std::mutex> lock(t.mu);
  auto it = class_name ? t.classes.find(class_name) : t.classes.end();
  if (it == t.classes.end()) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  if (wc)
    *wc = it->second.wc;
  return TRUE;
}

HWND CreateWindowExW(DWORD ex_style,
                     LPCWSTR class_name,
                     LPCWSTR window_name,
                     DWORD style,
                     int x,
                     int y,
                     int width,
                     int height,
                     HWND parent,
                     HMENU menu,
                     HINSTANCE instance,
                     LPVOID param) {
  auto& t = Table();
  auto w = std::make_shared<Window>();
  // A message-only window: no owner, never listed, found or shown.
  bool message_only = parent == HWND_MESSAGE;
  if (message_only)
    parent = nullptr;
  {
    std::lock_guard<std::mutex> lock(t.mu);
    auto it = class_name ? t.classes.find(class_name) : t.classes.end();
    if (it == t.classes.end()) {
      SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
      return nullptr;
    }
    if (parent && !t.windows.count(parent)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
    w->hwnd = NewHandle(t);
    w->class_name = class_name;
    w->title = window_name ? window_name : L"";
    w->proc = it->second.wc.lpfnWndProc;
    w->style = style & ~WS_VISIBLE;
    w->ex_style = ex_style;
    w->topmost = (ex_style & WS_EX_TOPMOST) != 0;
    w->enabled = !(style & WS_DISABLED);
    // A child's parent is its parent; a top-level window's "parent" is its owner.
    if (style & WS_CHILD)
      w->parent = parent;
    else
      w->owner = parent;
    if (x == CW_USEDEFAULT) {
      x = 0;
      y = 0;
    }
    if (width == CW_USEDEFAULT) {
      width = 0;
      height = 0;
    }
    w->rect = {x, y, x + std::max(width, 0), y + std::max(height, 0)};
    w->queue = win32::internal::CurrentQueue();
    t.windows[w->hwnd] = w;
    if (!(style & WS_CHILD) && !message_only)
      RaiseLocked(t, w->hwnd, w->topmost);
  }
  win32::AttachMessageQueueToCurrentLoop();
  std::wstring cls = class_name;
  CREATESTRUCTW cs = {param, instance, menu,        parent,      height,      width,
                      y,     x,        LONG(style), window_name, cls.c_str(), ex_style};
  HWND hwnd = w->hwnd;
  WNDPROC proc = w->proc;
  if (!proc(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
    DestroyWindow(hwnd);
    SetLastError(ERROR_CANTOPEN);
    return nullptr;
  }
  if (!IsWindow(hwnd))
    return nullptr;
  if (WindowProcOf(w)(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    DestroyWindow(hwnd);
    SetLastError(ERROR_CANTOPEN);
    return nullptr;
  }
  if (!IsWindow(hwnd))
    return nullptr;
  if (style & WS_VISIBLE)
    ShowWindow(hwnd, SW_SHOW);
  return hwnd;
}

BOOL DestroyWindow(HWND hwnd) {
  auto w = FindWindowData(hwnd);
  if (!w || !w->queue) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (w->queue->thread_id != GetCurrentThreadId()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  bool was_visible;
  {
    std::lock_guard<std::mutex> lock(Table().mu);
    if (w->destroying)
      return TRUE;
    w->destroying = true;
    was_visible = w->visible;
  }
  // Owned and child windows go first, as on Windows.
  std::vector<HWND> dependents;
  {
    auto& t = Table();
    std::lock_guard<std::mutex> lock(t.mu);
    for (auto& [h, other] : t.windows) {
      if (other->owner == hwnd || other->parent == hwnd)
        dependents.push_back(h);
    }
  }
  if (was_visible)
    ShowWindow(hwnd, SW_HIDE);
  for (HWND h : dependents)
    DestroyWindow(h);
  WindowProcOf(w)(hwnd, WM_DESTROY, 0, 0);
  win32::internal::RemoveWindowTimers(hwnd);
  if (t_focus == hwnd)
    t_focus = nullptr;
  if (t_capture == hwnd)
    t_capture = nullptr;
  if (t_active == hwnd)
    t_active = nullptr;
  WindowProcOf(w)(hwnd, WM_NCDESTROY, 0, 0);
  auto& t = Table();
  std::lock_guard<std::mutex> lock(t.mu);
  t.windows.erase(hwnd);
  t.zorder.erase(std::remove(t.zorder.begin(), t.zorder.end(), hwnd), t.zorder.end());
  if (t.foreground == hwnd)
    t.foreground = nullptr;
  return TRUE;
}

LRESULT DefWindowProcW(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_NCCREATE:
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_NCHITTEST:
      return HTCLIENT;
    case WM_SYSCOMMAND:
      switch (wparam & 0xFFF0) {
        case SC_MINIMIZE:
          ShowWindow(hwnd, SW_MINIMIZE);
          return 0;
        case SC_RESTORE:
          ShowWindow(hwnd, SW_RESTORE);
          return 0;
        case SC_CLOSE:
          SendMessageW(hwnd, WM_CLOSE, 0, 0);
          return 0;
        default:
          return 0;
      }
    case WM_GETTEXT: {
      auto w = FindWindowData(hwnd);
      if (!w || wparam == 0)
        return 0;
      auto* out = reinterpret_cast<LPWSTR>(lparam);
      std::lock_guard<std::mutex> lock(WindowFieldsLock());
      size_t n = std::min<size_t>(w->title.size(), wparam - 1);
      std::wmemcpy(out, w->title.data(), n);
      out[n] = 0;
      return static_cast<LRESULT>(n);
    }
    case WM_SETTEXT: {
      auto w = FindWindowData(hwnd);
      if (!w)
        return FALSE;
      std::lock_guard<std::mutex> lock(WindowFieldsLock());
      w->title = lparam ? reinterpret_cast<LPCWSTR>(lparam) : L"";
      return TRUE;
    }
    default:
      (void)lparam;
      return 0;
  }
}

LRESULT CallWindowProcW(WNDPROC proc, HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  return proc ? proc(hwnd, message, wparam, lparam) : 0;
}

BOOL IsWindow(HWND hwnd) {
  return hwnd && FindWindowData(hwnd) != nullptr;
}

BOOL IsWindowVisible(HWND hwnd) {
  // Visible only when every ancestor is visible too.
  for (int depth = 0; hwnd && depth < 64; ++depth) {
    auto w = FindWindowData(hwnd);
    if (!w)
      return FALSE;
    std::lock_guard<std::mutex> lock(WindowFieldsLock());
    if (!w->visible)
      return FALSE;
    hwnd = w->parent;
  }
  return TRUE;
}

BOOL IsWindowEnabled(HWND hwnd) {
  auto w = FindWindowData(hwnd);
  std::lock_guard<std::mutex> lock(WindowFieldsLock());
  return w && w->enabled;
}

BOOL IsIconic(HWND hwnd) {
  auto w = FindWindowData(hwnd);
  std::lock_guard<std::mutex> lock(WindowFieldsLock());
  return w && w->minimized;
}

BOOL IsZoomed(HWND) {
  return FALSE;
}

BOOL ShowWindow(HWND hwnd, int cmd) {
  auto w = FindWindowData(hwnd);
  if (!w)
    return FALSE;
  LRESULT forwarded;
  if (ForwardToOwner(
          w, [=] { return ShowWindow(hwnd, cmd); }, &forwarded))
    return static_cast<BOOL>(forwarded);
  bool show = cmd != SW_HIDE;
  BOOL was_visible;
  bool was_minimized, minimized, topmost;
  RECT r;
  {
    std::lock_guard<std::mutex> lock(WindowFieldsLock());
    was_visible = w->visible;
    was_minimized = w->minimized;
    if (cmd == SW_MINIMIZE || cmd == SW_SHOWMINIMIZED || cmd == SW_SHOWMINNOACTIVE)
      w->minimized = true;
    else if (cmd == SW_RESTORE || cmd == SW_SHOWNORMAL || cmd == SW_SHOWMAXIMIZED)
      w->minimized = false;
    minimized = w->minimized;
    topmost = w->topmost;
    w->visible = show;
    r = w->rect;
  }
  if (show != static_cast<bool>(was_visible))
    SendMessageW(hwnd, WM_SHOWWINDOW, show, 0);
  if (was_minimized != minimized) {
    SendSized(hwnd, r, minimized ? SIZE_MINIMIZED : SIZE_RESTORED);
    // Owned windows hide with their minimised owner and come back with it.
    std::vector<HWND> owned;
    {
      auto& t = Table();
      std::lock_guard<std::mutex> lock(t.mu);
      for (auto& [h, other] : t.windows) {
        if (other->owner != hwnd)
          continue;
        if (minimized && other->visible) {
          other->hidden_by_owner = true;
          owned.push_back(h);
        } else if (!minimized && other->hidden_by_owner) {
          other->hidden_by_owner = false;
          owned.push_back(h);
        }
      }
    }
    for (HWND h : owned)
      ShowWindow(h, minimized ? SW_HIDE : SW_SHOWNA);
  }
  bool activate = show && cmd != SW_SHOWNA && cmd != SW_SHOWNOACTIVATE &&
                  cmd != SW_SHOWMINNOACTIVE && cmd != SW_MINIMIZE;
  if (activate && !(w->style & WS_CHILD)) {
    auto& t = Table();
    std::lock_guard<std::mutex> lock(t.mu);
    RaiseLocked(t, hwnd, topmost);
    t.foreground = hwnd;
    t_active = hwnd;
  }
  return was_visible;
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
  auto w = FindWindowData(hwnd);
  if (!w)
    return FALSE;
  LRESULT forwarded;
  if (ForwardToOwner(
          w, [=] { return EnableWindow(hwnd, enable); }, &forwarded))
    return static_cast<BOOL>(forwarded);
  BOOL was_disabled;
  {
    std::lock_guard<std::mutex> lock(WindowFieldsLock());
    was_disabled = !w->enabled;
    w->enabled = enable;
  }
  if (static_cast<bool>(was_disabled) == static_cast<bool>(enable))
    SendMessageW(hwnd, WM_ENABLE, enable, 0);
  return was_disabled;
}

BOOL SetWindowPos(HWND hwnd, HWND insert_after, int x, int y, int cx, int cy, UINT flags) {
  auto w = FindWindowData(hwnd);
  if (!w || !w->queue) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  LRESULT forwarded;
  if (ForwardToOwner(
          w, [=] { return SetWindowPos(hwnd, insert_after, x, y, cx, cy, flags); }, &forwarded))
    return static_cast<BOOL>(forwarded);
  DWORD style = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
  if (!(flags & SWP_NOSIZE) && ((style & WS_THICKFRAME) || !(style & (WS_POPUP | WS_CHILD)))) {
    // A sizable or overlapped window keeps its own limits, as Windows does;
    // popups (the skinned dialogs) take the size their code gives them.
    RECT screen = win32::ScreenRect();
    MINMAXINFO mmi = {};
    mmi.ptMaxSize = {screen.right, screen.bottom};
    mmi.ptMaxTrackSize = {screen.right + 100, screen.bottom + 100};
    SendMessageW(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
    cx = std::max<int>(cx, mmi.ptMinTrackSize.x);
    cy = std::max<int>(cy, mmi.ptMinTrackSize.y);
    if (mmi.ptMaxTrackSize.x > 0)
      cx = std::min<int>(cx, mmi.ptMaxTrackSize.x);
    if (mmi.ptMaxTrackSize.y > 0)
      cy = std::min<int>(cy, mmi.ptMaxTrackSize.y);
  }
  std::unique_lock<std::mutex> fields(WindowFieldsLock());
  RECT old = w->rect;
  RECT r = old;
  if (!(flags & SWP_NOMOVE)) {
    OffsetRect(&r, x - r.left, y - r.top);
  }
  if (!(flags & SWP_NOSIZE)) {
    r.right = r.left + std::max(cx, 0);
    r.bottom = r.top + std::max(cy, 0);
  }
  w->rect = r;
  bool minimized = w->minimized;
  if (!(flags & SWP_NOZORDER) && IsTopLevel(*w)) {
    auto& t = Table();
    if (insert_after == HWND_TOPMOST) {
      w->topmost = true;
      w->ex_style |= WS_EX_TOPMOST;
      RaiseLocked(t, hwnd, true);
    } else if (insert_after == HWND_NOTOPMOST) {
      w->topmost = false;
      w->ex_style &= ~WS_EX_TOPMOST;
      RaiseLocked(t, hwnd, false);
    } else if (insert_after == HWND_TOP) {
      RaiseLocked(t, hwnd, w->topmost);
    } else if (insert_after == HWND_BOTTOM) {
      w->topmost = false;
      w->ex_style &= ~WS_EX_TOPMOST;
      t.zorder.erase(std::remove(t.zorder.begin(), t.zorder.end(), hwnd), t.zorder.end());
      t.zorder.push_back(hwnd);
    } else {
      auto after = std::find(t.zorder.begin(), t.zorder.end(), insert_after);
      if (after != t.zorder.end() && insert_after != hwnd) {
        t.zorder.erase(std::remove(t.zorder.begin(), t.zorder.end(), hwnd), t.zorder.end());
        after = std::find(t.zorder.begin(), t.zorder.end(), insert_after);
        t.zorder.insert(after + 1, hwnd);
      }
    }
  }
  fields.unlock();
  if (r.left != old.left || r.top != old.top)
    SendMessageW(hwnd, WM_MOVE, 0, MAKELPARAM(r.left, r.top));
  if ((r.right - r.left) != (old.right - old.left) || (r.bottom - r.top) != (old.bottom - old.top))
    SendSized(hwnd, r, minimized ? SIZE_MINIMIZED : SIZE_RESTORED);
  if (flags & SWP_SHOWWINDOW)
    ShowWindow(hwnd, (flags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
  if (flags & SWP_HIDEWINDOW)
    ShowWindow(hwnd, SW_HIDE);
  return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL) {
  return SetWindowPos(hwnd, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL GetWindowRect(HWND hwnd, LPRECT rect) {
  auto w = FindWindowData(hwnd);
  if (!w || !rect) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  auto& t = Table();
  std::lock_guard<std::mutex> lock(t.mu);
  *rect = w->rect;
  // Child rectangles are kept relative to the parent; report screen ones.
  HWND p = w->parent;
  for (int depth = 0; p && depth < 64; ++depth) {
    auto it = t.windows.find(p);
    if (it == t.windows.end())
      break;
    OffsetRect(rect, it->second->rect.left, it->second->rect.top);
    p = it->second->parent;
  }
  return TRUE;
}

BOOL GetClientRect(HWND hwnd, LPRECT rect) {
  auto w = FindWindowData(hwnd);
  if (!w || !rect) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  // Our windows have no frame: the client area is the whole window.
  std::lock_guard<std::mutex> lock(WindowFieldsLock());
  *rect = {0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
  return TRUE;
}

BOOL ClientToScreen(HWND hwnd, LPPOINT point) {
  RECT r;
  if (!point || !GetWindowRect(hwnd, &r))
    return FALSE;
  point->x += r.left;
  point->y += r.top;
  return TRUE;
}

BOOL ScreenToClient(HWND hwnd, LPPOINT point) {
  RECT r;
  if (!point || !GetWindowRect(hwnd, &r))
    return FALSE;
  point->x -= r.left;
  point->y -= r.top;
  return TRUE;
}

HWND GetParent(HWND hwnd) {
  auto w = FindWindowData(hwnd);
  if (!w)
    return nullptr;
  std::lock_guard<std::mutex> lock(WindowFieldsLock());
  return (w->style & WS_CHILD) ? w->parent : w->owner;
}

HWND SetParent(HWND hwnd, HWND new_parent) {
  auto w = FindWindowData(hwnd);
  if (!w)
    return nullptr;
  HWND old = GetParent(hwnd);
  std::lock_guard<std::mutex> lock(WindowFieldsLock());
  if (w->style & WS_CHILD)
    w->parent = new_parent;
  else
    w->owner = new_parent;
  return old;
}

HWND GetWindow(HWND hwnd, UINT relation) {
  auto w = FindWindowData(hwnd);
  if (!w)
    return nullptr;
  auto& t = Table();
  std::lock_guard<std::mutex> lock(t.mu);
  if (relation == GW_OWNER)
    return w->owner;
  if (relation == GW_CHILD) {
    for (auto& [h, other] : t.windows) {
      if (other->parent == hwnd)
        return h;
    }
    return nullptr;
  }
  auto it = std::find(t.zorder.begin(), t.zorder.end(), hwnd);
  if (it == t.zorder.end() || t.zorder.empty())
    return nullptr;
  switch (relation) {
    case GW_HWNDFIRST:
      return t.zorder.front();
    case GW_HWNDLAST:
      return t.zorder.back();
    case GW_HWNDNEXT:
      return (it + 1) == t.zorder.end() ? nullptr : *(it + 1);
    case GW_HWNDPREV:
      return it == t.zorder.begin() ? nullptr : *(it - 1);
    default:
      return nullptr;
  }
}

HWND GetTopWindow(HWND hwnd) {
  if (hwnd)
    return GetWindow(hwnd, GW_CHILD);
  auto& t = Table();
  std::lock_guard<std::mutex> lock(t.mu);
  return t.zorder.empty() ? nullptr : t.zorder.front();
}

HWND GetDesktopWindow() {
  return nullptr;
}

LONG_PTR GetWindowLongPtrW(HWND hwnd, int index) {
  auto w = FindWindowData(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  std::lock_guard<std::mutex> lock(WindowFieldsLock());
  switch (index) {
    case GWLP_USERDATA:
      return w->user_data;
    case GWL_STYLE:
      return static_cast<LONG_PTR>(w->style | (w->visible ? WS_VISIBLE : 0) |
                                   (w->enabled ? 0 : WS_DISABLED));
    case GWL_EXSTYLE:
      return static_cast<LONG_PTR>(w->ex_style);
    case GWLP_WNDPROC:
      return reinterpret_cast<LONG_PTR>(w->proc);
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
  }
}

LONG_PTR SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value) {
  auto w = FindWindowData(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  LONG_PTR old = GetWindowLongPtrW(hwnd, index);
  std::lock_guard<std::mutex> lock(WindowFieldsLock());
  switch (index) {
    case GWLP_USERDATA:
      w->user_data = value;
      break;
    case GWL_STYLE:
      w->style = static_cast<DWORD>(value) & ~(WS_VISIBLE | WS_DISABLED);
      break;
    case GWL_EXSTYLE:
      w->ex_style = static_cast<DWORD>(value);
      w->topmost = (w->ex_style & WS_EX_TOPMOST) != 0;
      break;
    case GWLP_WNDPROC:
      w->proc = reinterpret_cast<WNDPROC>(value);
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
  }
  return old;
}

LONG GetWindowLongW(HWND hwnd, int index) {
  return static_cast<LONG>(GetWindowLongPtrW(hwnd, index));
}

LONG SetWindowLongW(HWND hwnd, int index, LONG value) {
  return static_cast<LONG>(SetWindowLongPtrW(hwnd, index, value));
}

BOOL SetWindowTextW(HWND hwnd, LPCWSTR text) {
  if (!IsWindow(hwnd))
    return FALSE;
  return static_cast<BOOL>(SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)));
}

int GetWindowTextW(HWND hwnd, LPWSTR buffer, int max_count) {
  if (!buffer || max_count <= 0)
    return 0;
  auto w = FindWindowData(hwnd);
  if (!w) {
    buffer[0] = 0;
    return 0;
  }
  std::lock_guard<std::mutex> lock(WindowFieldsLock());
  size_t n = std::min<size_t>(w->title.size(), static_cast<size_t>(max_count - 1));
  std::wmemcpy(buffer, w->title.data(), n);
  buffer[n] = 0;
  return static_cast<int>(n);
}

int GetWindowTextLengthW(HWND hwnd) {
  auto w = FindWindowData(hwnd);
  std::lock_guard<std::mutex> lock(WindowFieldsLock());
  return w ? static_cast<int>(w->title.size()) : 0;
}

int GetClassNameW(HWND hwnd, LPWSTR buffer, int max_count) {
  auto w = FindWindowData(hwnd);
  if (!w || !buffer || max_count <= 0)
    return 0;
  size_t n = std::min<size_t>(w->class_name.size(), static_cast<size_t>(max_count - 1));
  std::wmemcpy(buffer, w->class_name.data(), n);
  buffer[n] = 0;
  return static_cast<int>(n);
}

HWND FindWindowW(LPCWSTR class_name, LPCWSTR window_name) {
  auto& t = Table();
  std::lock_guard<std::mutex> lock(t.mu);
  if (class_name && std::wstring(class_name) == L"Shell_TrayWnd")
    TaskbarLocked(t);
  for (HWND h : t.zorder) {
    auto& w = t.windows[h];
    if (class_name && w->class_name != class_name)
      continue;
    if (window_name && w->title != window_name)
      continue;
    if (h == t.taskbar)
      w->rect = win32::TaskbarRect();
    return h;
  }
  return nullptr;
}

BOOL EnumWindows(WNDENUMPROC proc, LPARAM param) {
  std::vector<HWND> order;
  {
    auto& t = Table();
    std::lock_guard<std::mutex> lock(t.mu);
    order = t.zorder;
  }
  for (HWND h : order) {
    if (IsWindow(h) && !proc(h, param))
      return FALSE;
  }
  return TRUE;
}

DWORD GetWindowThreadProcessId(HWND hwnd, LPDWORD process_id) {
  auto w = FindWindowData(hwnd);
  if (!w)
    return 0;
  if (process_id)
    *process_id = static_cast<DWORD>(getpid());
  return w->queue ? w->queue->thread_id : 0;
}

BOOL SetForegroundWindow(HWND hwnd) {
  auto w = FindWindowData(hwnd);
  if (!w)
    return FALSE;
  auto& t = Table();
  std::lock_guard<std::mutex> lock(t.mu);
  t.foreground = hwnd;
  if (IsTopLevel(*w))
    RaiseLocked(t, hwnd, w->topmost);
  return TRUE;
}

HWND GetForegroundWindow() {
  auto& t = Table();
  std::lock_guard<std::mutex> lock(t.mu);
  return t.foreground;
}

HWND GetActiveWindow() {
  return IsWindow(win32::internal::t_active) ? win32::internal::t_active : nullptr;
}

HWND SetActiveWindow(HWND hwnd) {
  HWND old = GetActiveWindow();
  if (IsWindow(hwnd))
    win32::internal::t_active = hwnd;
  return old;
}

HWND SetFocus(HWND hwnd) {
  HWND old = IsWindow(win32::internal::t_focus) ? win32::internal::t_focus : nullptr;
  if (hwnd && !IsWindow(hwnd))
    return nullptr;
  if (old == hwnd)
    return old;
  win32::internal::t_focus = hwnd;
  if (old)
    SendMessageW(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
  if (hwnd)
    SendMessageW(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
  return old;
}

HWND GetFocus() {
  return IsWindow(win32::internal::t_focus) ? win32::internal::t_focus : nullptr;
}

HWND SetCapture(HWND hwnd) {
  HWND old = GetCapture();
  win32::internal::t_capture = hwnd;
  return old;
}

BOOL ReleaseCapture() {
  win32::internal::t_capture = nullptr;
  return TRUE;
}

HWND GetCapture() {
  return IsWindow(win32::internal::t_capture) ? win32::internal::t_capture : nullptr;
}

BOOL BringWindowToTop(HWND hwnd) {
  return SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

BOOL InvalidateRect(HWND hwnd, const RECT*, BOOL) {
  // The UI library tracks its own dirty region; a post makes it repaint.
  if (!IsWindow(hwnd))
    return FALSE;
  return PostMessageW(hwnd, WM_PAINT, 0, 0);
}

BOOL UpdateWindow(HWND hwnd) {
  if (!IsWindow(hwnd))
    return FALSE;
  SendMessageW(hwnd, WM_PAINT, 0, 0);
  return TRUE;
}

HICON LoadIconW(HINSTANCE, LPCWSTR name) {
  // Icons are identified by their resource number; no pixels are kept.
  return reinterpret_cast<HICON>(const_cast<LPWSTR>(name));
}

BOOL SetRect(LPRECT rect, int left, int top, int right, int bottom) {
  if (!rect)
    return FALSE;
  *rect = {left, top, right, bottom};
  return TRUE;
}

BOOL SetRectEmpty(LPRECT rect) {
  return SetRect(rect, 0, 0, 0, 0);
}

BOOL IsRectEmpty(const RECT* rect) {
  return !rect || rect->right <= rect->left || rect->bottom <= rect->top;
}

BOOL PtInRect(const RECT* rect, POINT p) {
  return rect && p.x >= rect->left && p.x < rect->right && p.y >= rect->top && p.y < rect->bottom;
}

BOOL IntersectRect(LPRECT dst, const RECT* a, const RECT* b) {
  if (!dst || !a || !b)
    return FALSE;
  RECT r = {std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
            std::min(a->bottom, b->bottom)};
  if (IsRectEmpty(&r)) {
    SetRectEmpty(dst);
    return FALSE;
  }
  *dst = r;
  return TRUE;
}

BOOL UnionRect(LPRECT dst, const RECT* a, const RECT* b) {
  if (!dst || !a || !b)
    return FALSE;
  if (IsRectEmpty(a)) {
    *dst = *b;
  } else if (IsRectEmpty(b)) {
    *dst = *a;
  } else {
    *dst = {std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right),
            std::max(a->bottom, b->bottom)};
  }
  return !IsRectEmpty(dst);
}

BOOL OffsetRect(LPRECT rect, int dx, int dy) {
  if (!rect)
    return FALSE;
  rect->left += dx;
  rect->right += dx;
  rect->top += dy;
  rect->bottom += dy;
  return TRUE;
}

BOOL InflateRect(LPRECT rect, int dx, int dy) {
  if (!rect)
    return FALSE;
  rect->left -= dx;
  rect->right += dx;
  rect->top -= dy;
  rect->bottom += dy;
  return TRUE;
}

BOOL EqualRect(const RECT* a, const RECT* b) {
  return a && b && a->left == b->left && a->top == b->top && a->right == b->right &&
         a->bottom == b->bottom;
}
