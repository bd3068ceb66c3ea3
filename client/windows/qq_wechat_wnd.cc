#include "client/windows/qq_wechat_wnd.h"

using namespace DuiLib;

DUI_BEGIN_MESSAGE_MAP(QQWechatWnd, WindowImplBase)
DUI_ON_CLICK_CTRNAME(L"close_btn", OnClose)
DUI_END_MESSAGE_MAP()

// static
QQWechatWnd* QQWechatWnd::Open(HWND owner) {
  auto* wnd = new QQWechatWnd();
  if (!wnd->Create(owner, L"", UI_WNDSTYLE_DIALOG, WS_EX_WINDOWEDGE)) {
    delete wnd;
    return nullptr;
  }
  wnd->CenterWindow();
  wnd->ShowWindow(true);
  return wnd;
}

void QQWechatWnd::InitWindow() {
  close_btn_ = static_cast<CButtonUI*>(m_pm.FindControl(L"close_btn"));
}

void QQWechatWnd::OnClose(TNotifyUI&) {
  ShowWindow(false);
}

LRESULT QQWechatWnd::OnDestroy(UINT, WPARAM, LPARAM, BOOL& handled) {
  // Like every window that follows sign-in, its end ends the UI loop.
  PostQuitMessage(0);
  handled = FALSE;
  return 0;
}

void QQWechatWnd::OnFinalMessage(HWND hwnd) {
  WindowImplBase::OnFinalMessage(hwnd);
  delete this;
}
