#include "win32/message_box.h"

#include <atomic>
#include <map>
#include <mutex>

#include "win32/message_queue.h"

namespace {

std::atomic<win32::MessageBoxImpl> g_impl{nullptr};

struct Texts {
  std::mutex mu;
  std::map<HWND, std::wstring> by_window;
};

Texts& GetTexts() {
  static Texts* texts = new Texts;
  return *texts;
}

struct PlainBox {
  UINT type = 0;
  int result = 0;
};

LRESULT CALLBACK PlainBoxProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* box = reinterpret_cast<PlainBox*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  switch (message) {
    case WM_NCCREATE: {
      auto* cs = reinterpret_cast<CREATESTRUCTW*>(lparam);
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
      return TRUE;
    }
    case WM_COMMAND:
      if (box && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
        box->result = LOWORD(wparam);
        DestroyWindow(hwnd);
      }
      return 0;
    case WM_KEYDOWN:
      if (wparam == VK_RETURN)
        PostMessageW(hwnd, WM_COMMAND, IDOK, 0);
      else if (wparam == VK_ESCAPE && box)
        PostMessageW(hwnd, WM_COMMAND, (box->type & 0xF) == MB_OKCANCEL ? IDCANCEL : IDOK, 0);
      return 0;
    case WM_CLOSE:
      if (box)
        PostMessageW(hwnd, WM_COMMAND, (box->type & 0xF) == MB_OKCANCEL ? IDCANCEL : IDOK, 0);
      return 0;
    case WM_NCDESTROY:
      win32::SetMessageBoxTextForWindow(hwnd, L"");
      return 0;
    default:
      return DefWindowProcW(hwnd, message, wparam, lparam);
  }
}

// The undrawn box: a real window with a modal loop, for programs that show a
// box before the UI library is set up.
int PlainMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  static std::once_flag once;
  std::call_once(once, [] {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = PlainBoxProc;
    wc.lpszClassName = WC_MESSAGEBOX;
    RegisterClassExW(&wc);
  });
  PlainBox box;
  box.type = type;
  HWND hwnd = CreateWindowExW((type & MB_TOPMOST) ? WS_EX_TOPMOST : 0, WC_MESSAGEBOX, caption,
                              WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, 400, 160, owner, nullptr,
                              nullptr, &box);
  if (!hwnd)
    return 0;
  win32::SetMessageBoxTextForWindow(hwnd, text ? text : L"");
  ShowWindow(hwnd, SW_SHOW);
  bool owner_enabled = owner && IsWindowEnabled(owner);
  if (owner_enabled)
    EnableWindow(owner, FALSE);
  MSG msg;
  bool quit = false;
  int quit_code = 0;
  while (IsWindow(hwnd)) {
    if (!GetMessageW(&msg, nullptr, 0, 0)) {
      quit = true;
      quit_code = static_cast<int>(msg.wParam);
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (owner_enabled)
    EnableWindow(owner, TRUE);
  if (IsWindow(hwnd))
    DestroyWindow(hwnd);
  if (quit)
    PostQuitMessage(quit_code);
  return box.result;
}

}  // namespace

namespace {

// The thread that shows a box asked for by a thread without windows: the
// owner's, else the thread of the topmost window of the process (the UI
// thread), else the caller itself.
HWND UiWindowFor(HWND owner) {
  if (owner)
    return IsWindow(owner) ? owner : nullptr;
  struct Search {
    DWORD self;
    bool self_has_window = false;
    HWND other = nullptr;
  } search{GetCurrentThreadId()};
  EnumWindows(
      [](HWND h, LPARAM p) {
        auto* s = reinterpret_cast<Search*>(p);
        DWORD thread = GetWindowThreadProcessId(h, nullptr);
        if (thread == 0)
          return TRUE;
        if (thread == s->self)
          s->self_has_window = true;
        else if (!s->other)
          s->other = h;
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.self_has_window ? nullptr : search.other;
}

}  // namespace

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  // A box asked for by a worker thread is shown and run by the UI thread,
  // which the worker waits for (the box needs a thread that pumps input).
  HWND ui = UiWindowFor(owner);
  if (ui && !win32::IsWindowThread(ui)) {
    std::wstring t = text ? text : L"";
    std::wstring c = caption ? caption : L"";
    int answer = 0;
    if (!win32::RunOnWindowThread(ui,
                                  [&] { answer = MessageBoxW(owner, t.c_str(), c.c_str(), type); }))
      return 0;
    return answer;
  }
  win32::MessageBoxImpl impl = g_impl.load();
  return impl ? impl(owner, text, caption, type) : PlainMessageBox(owner, text, caption, type);
}

namespace win32 {

void SetMessageBoxImplementation(MessageBoxImpl impl) {
  g_impl = impl;
}

BOOL GetMessageBoxText(HWND box, std::wstring* text) {
  auto& t = GetTexts();
  std::lock_guard<std::mutex> lock(t.mu);
  auto it = t.by_window.find(box);
  if (it == t.by_window.end())
    return FALSE;
  if (text)
    *text = it->second;
  return TRUE;
}

void SetMessageBoxTextForWindow(HWND box, const std::wstring& text) {
  auto& t = GetTexts();
  std::lock_guard<std::mutex> lock(t.mu);
  if (text.empty())
    t.by_window.erase(box);
  else
    t.by_window[box] = text;
}

}  // namespace win32
