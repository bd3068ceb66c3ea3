#include "duilib/window_impl_base.h"

#include <algorithm>
#include <cwchar>

#include "base/logging.h"
#include "win32/screen_metrics.h"

namespace DuiLib {

bool CWindowWnd::RegisterWindowClass() {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  if (GetClassInfoExW(nullptr, GetWindowClassName(), &wc))
    return true;
  wc.style = GetClassStyle();
  wc.lpfnWndProc = &CWindowWnd::WindowProc;
  wc.hInstance = CPaintManagerUI::GetInstance();
  wc.lpszClassName = GetWindowClassName();
  return RegisterClassExW(&wc) != 0;
}

HWND CWindowWnd::Create(HWND parent,
                        const wchar_t* name,
                        DWORD style,
                        DWORD ex_style,
                        const RECT rc,
                        HMENU menu) {
  return Create(parent, name, style, ex_style, rc.left, rc.top, rc.right - rc.left,
                rc.bottom - rc.top, menu);
}

HWND CWindowWnd::Create(HWND parent,
                        const wchar_t* name,
                        DWORD style,
                        DWORD ex_style,
                        int x,
                        int y,
                        int cx,
                        int cy,
                        HMENU menu) {
  if (!RegisterWindowClass())
    return nullptr;
  m_hWnd = CreateWindowExW(ex_style, GetWindowClassName(), name, style, x, y, cx, cy, parent, menu,
                           CPaintManagerUI::GetInstance(), this);
  return m_hWnd;
}

HWND CWindowWnd::CreateDuiWindow(HWND parent, const wchar_t* title, DWORD style, DWORD ex_style) {
  return Create(parent, title, style ? style : UI_WNDSTYLE_DIALOG, ex_style, 0, 0, 0, 0, nullptr);
}

void CWindowWnd::ShowWindow(bool show, bool take_focus) {
  if (!::IsWindow(m_hWnd))
    return;
  ::ShowWindow(m_hWnd, show ? (take_focus ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE) : SW_HIDE);
}

UINT CWindowWnd::ShowModal() {
  HWND hwnd = m_hWnd;
  if (!::IsWindow(hwnd))
    return 0;
  UINT result = IDOK;
  m_pModalResult = &result;
  HWND owner = ::GetWindow(hwnd, GW_OWNER);
  ::ShowWindow(hwnd, SW_SHOWNORMAL);
  bool owner_was_enabled = owner && ::IsWindowEnabled(owner);
  if (owner_was_enabled)
    ::EnableWindow(owner, FALSE);
  MSG msg = {};
  bool quit = false;
  while (::IsWindow(hwnd)) {
    if (!::GetMessageW(&msg, nullptr, 0, 0)) {
      quit = true;
      break;
    }
    if (!CPaintManagerUI::TranslateMessage(&msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
  if (owner_was_enabled && ::IsWindow(owner)) {
    ::EnableWindow(owner, TRUE);
    ::SetFocus(owner);
  }
  // The window object may be gone (it may delete itself when destroyed);
  // only locals are used from here. A window that outlived the loop (WM_QUIT)
  // must not write into `result` when it is closed later.
  if (::IsWindow(hwnd) && m_pModalResult == &result)
    m_pModalResult = nullptr;
  if (quit) {
    // The outer loop ends too, as it would have without the modal run.
    ::PostQuitMessage(static_cast<int>(msg.wParam));
    return 0;
  }
  return result;
}

void CWindowWnd::Close(UINT ret) {
  if (::IsWindow(m_hWnd))
    ::PostMessageW(m_hWnd, WM_CLOSE, ret, 0);
}

void CWindowWnd::CenterWindow() {
  if (!::IsWindow(m_hWnd))
    return;
  RECT rc;
  ::GetWindowRect(m_hWnd, &rc);
  RECT area;
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  RECT center = area;
  HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
  if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner))
    ::GetWindowRect(owner, &center);
  int w = rc.right - rc.left;
  int h = rc.bottom - rc.top;
  int x = (center.left + center.right - w) / 2;
  int y = (center.top + center.bottom - h) / 2;
  x = std::max<int>(area.left, std::min<int>(x, area.right - w));
  y = std::max<int>(area.top, std::min<int>(y, area.bottom - h));
  ::SetWindowPos(m_hWnd, nullptr, x, y, -1, -1, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWindowWnd::SetIcon(UINT) {}

LRESULT CWindowWnd::SendMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  return ::SendMessageW(m_hWnd, msg, wparam, lparam);
}

LRESULT CWindowWnd::PostMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  return ::PostMessageW(m_hWnd, msg, wparam, lparam);
}

void CWindowWnd::ResizeClient(int cx, int cy) {
  RECT rc;
  if (!::GetClientRect(m_hWnd, &rc))
    return;
  if (cx >= 0)
    rc.right = cx;
  if (cy >= 0)
    rc.bottom = cy;
  ::SetWindowPos(m_hWnd, nullptr, 0, 0, rc.right, rc.bottom,
                 SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
}

LRESULT CWindowWnd::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  return ::DefWindowProcW(m_hWnd, msg, wparam, lparam);
}

LRESULT CALLBACK CWindowWnd::WindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  CWindowWnd* self = nullptr;
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lparam);
    self = static_cast<CWindowWnd*>(cs->lpCreateParams);
    self->m_hWnd = hwnd;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<CWindowWnd*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  if (!self)
    return ::DefWindowProcW(hwnd, msg, wparam, lparam);
  if (msg == WM_CLOSE && self->m_pModalResult)
    *self->m_pModalResult = static_cast<UINT>(wparam);
  if (msg == WM_NCDESTROY) {
    LRESULT r = self->HandleMessage(msg, wparam, lparam);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->m_hWnd = nullptr;
    self->m_pModalResult = nullptr;
    self->OnFinalMessage(hwnd);
    return r;
  }
  return self->HandleMessage(msg, wparam, lparam);
}

bool CNotifyPump::NotifyPump(TNotifyUI& msg) {
  if (!map_built_) {
    map_built_ = true;
    RegisterMessageMap(map_);
  }
  std::wstring name = msg.pSender ? msg.pSender->GetName().str() : L"";
  // Entries for the control by name win over entries for the type alone.
  for (auto& e : map_.entries_) {
    if (e.type == msg.sType.str() && !e.name.empty() && e.name == name) {
      e.handler(msg);
      return true;
    }
  }
  for (auto& e : map_.entries_) {
    if (e.type == msg.sType.str() && e.name.empty()) {
      e.handler(msg);
      return true;
    }
  }
  return false;
}

WindowImplBase::WindowImplBase() = default;

WindowImplBase::~WindowImplBase() = default;

void WindowImplBase::OnFinalMessage(HWND) {
  m_pm.RemovePreMessageFilter(this);
  m_pm.RemoveNotifier(&bridge_);
}

void WindowImplBase::Notify(TNotifyUI&) {}

LONG WindowImplBase::GetStyle() {
  LONG style = ::GetWindowLongW(m_hWnd, GWL_STYLE);
  return style & ~WS_CAPTION;
}

LRESULT WindowImplBase::ResponseDefaultKeyEvent(WPARAM wparam) {
  if (wparam == VK_RETURN)
    return FALSE;
  if (wparam == VK_ESCAPE) {
    Close(IDCANCEL);
    return TRUE;
  }
  return FALSE;
}

LRESULT WindowImplBase::MessageHandler(UINT msg, WPARAM wparam, LPARAM, bool& handled) {
  if (msg == WM_KEYDOWN && (wparam == VK_RETURN || wparam == VK_ESCAPE)) {
    LRESULT r = ResponseDefaultKeyEvent(wparam);
    handled = r != FALSE;
    return r;
  }
  return FALSE;
}

LRESULT WindowImplBase::OnCreate(UINT, WPARAM, LPARAM, BOOL& handled) {
  ::SetWindowLongW(m_hWnd, GWL_STYLE, GetStyle());
  m_pm.Init(m_hWnd, GetWindowClassName());
  m_pm.AddPreMessageFilter(this);
  CDuiString folder = GetSkinFolder();
  if (!folder.IsEmpty() && CPaintManagerUI::GetResourceZip().IsEmpty() &&
      CPaintManagerUI::GetResourcePath().IsEmpty())
    CPaintManagerUI::SetResourcePath(CPaintManagerUI::GetInstancePath() + folder);
  CDialogBuilder builder;
  CDuiString file = GetSkinFile();
  CControlUI* root = builder.Create(file, nullptr, this, &m_pm);
  if (!root) {
    LOG(ERROR) << "Window " << ToUtf8(GetWindowClassName()) << " cannot be built from "
               << ToUtf8(file.str());
    handled = TRUE;
    return -1;
  }
  m_pm.AttachDialog(root);
  m_pm.AddNotifier(&bridge_);
  SIZE size = m_pm.GetInitSize();
  if (size.cx > 0 && size.cy > 0)
    ResizeClient(size.cx, size.cy);
  InitWindow();
  handled = TRUE;
  return 0;
}

LRESULT WindowImplBase::OnClose(UINT, WPARAM, LPARAM, BOOL& handled) {
  handled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnDestroy(UINT, WPARAM, LPARAM, BOOL& handled) {
  handled = FALSE;
  return 0;
}

namespace {

bool IsClickable(CControlUI* c) {
  return c->GetInterface(L"Button") || c->GetInterface(L"Edit") || c->GetInterface(L"List") ||
         c->GetInterface(L"ListItem") ||
         (c->GetParent() && c->GetParent()->GetInterface(L"ListItem"));
}

}  // namespace

LRESULT WindowImplBase::OnNcHitTest(UINT, WPARAM, LPARAM lparam, BOOL& handled) {
  handled = TRUE;
  POINT pt = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  ::ScreenToClient(m_hWnd, &pt);
  RECT client;
  ::GetClientRect(m_hWnd, &client);
  RECT caption = m_pm.GetCaptionRect();
  if (pt.x >= client.left + caption.left && pt.x < client.right - caption.right &&
      pt.y >= caption.top && pt.y < caption.bottom) {
    CControlUI* c = m_pm.FindControl(pt);
    if (c && !IsClickable(c))
      return HTCAPTION;
  }
  return HTCLIENT;
}

LRESULT WindowImplBase::OnSysCommand(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled) {
  if ((wparam & 0xFFF0) == SC_CLOSE) {
    handled = TRUE;
    SendMessage(WM_CLOSE);
    return 0;
  }
  handled = TRUE;
  return ::DefWindowProcW(m_hWnd, msg, wparam, lparam);
}

LRESULT WindowImplBase::OnKeyDown(UINT, WPARAM, LPARAM, BOOL& handled) {
  handled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnKillFocus(UINT, WPARAM, LPARAM, BOOL& handled) {
  handled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnSetFocus(UINT, WPARAM, LPARAM, BOOL& handled) {
  handled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnSize(UINT, WPARAM, LPARAM, BOOL& handled) {
  handled = FALSE;
  return 0;
}

LRESULT WindowImplBase::HandleCustomMessage(UINT, WPARAM, LPARAM, BOOL& handled) {
  handled = FALSE;
  return 0;
}

LRESULT WindowImplBase::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  LRESULT result = 0;
  BOOL handled = TRUE;
  switch (msg) {
    case WM_CREATE:
      result = OnCreate(msg, wparam, lparam, handled);
      break;
    case WM_CLOSE:
      result = OnClose(msg, wparam, lparam, handled);
      break;
    case WM_DESTROY:
      result = OnDestroy(msg, wparam, lparam, handled);
      break;
    case WM_NCHITTEST:
      result = OnNcHitTest(msg, wparam, lparam, handled);
      break;
    case WM_SYSCOMMAND:
      result = OnSysCommand(msg, wparam, lparam, handled);
      break;
    case WM_KEYDOWN:
      result = OnKeyDown(msg, wparam, lparam, handled);
      break;
    case WM_KILLFOCUS:
      result = OnKillFocus(msg, wparam, lparam, handled);
      break;
    case WM_SETFOCUS:
      result = OnSetFocus(msg, wparam, lparam, handled);
      break;
    case WM_SIZE:
      result = OnSize(msg, wparam, lparam, handled);
      break;
    default:
      handled = FALSE;
      break;
  }
  if (handled)
    return result;
  result = HandleCustomMessage(msg, wparam, lparam, handled);
  if (handled)
    return result;
  if (m_pm.MessageHandler(msg, wparam, lparam, result))
    return result;
  return CWindowWnd::HandleMessage(msg, wparam, lparam);
}

}  // namespace DuiLib
