#include "client/windows/main_wnd.h"

#include "client/windows/parent_hwnd.h"

using namespace DuiLib;

namespace {
constexpr wchar_t kProductName[] = L"Tern智能加速器";
}  // namespace

DUI_BEGIN_MESSAGE_MAP(CMainWnd, WindowImplBase)
DUI_ON_CLICK_CTRNAME(L"main_wnd_min", OnMinimize)
DUI_ON_CLICK_CTRNAME(L"main_wnd_close", OnClose)
DUI_END_MESSAGE_MAP()

CMainWnd::CMainWnd(AbstractLoginMain* login_window) : login_window_(login_window) {}

CMainWnd::~CMainWnd() {
  if (::IsWindow(m_hWnd))
    ::DestroyWindow(m_hWnd);
}

void CMainWnd::InitWindow() {
  if (CControlUI* label = m_pm.FindControl(L"version_label"))
    label->SetText(kProductName);
  if (CControlUI* title = m_pm.FindControl(L"pop_wnd_tile"))
    title->SetText(kProductName);
}

void CMainWnd::initMainWndData(const std::wstring& account) {
  account_ = account;
}

void CMainWnd::OnMinimize(TNotifyUI&) {
  HWND target = parent_ && ::IsWindow(parent_->GetHWND()) ? parent_->GetHWND() : m_hWnd;
  ::SendMessageW(target, WM_SYSCOMMAND, SC_MINIMIZE, 0);
}

void CMainWnd::OnClose(TNotifyUI&) {
  // Until the tray exists, closing the main window ends the client.
  Close(IDOK);
}

LRESULT CMainWnd::OnDestroy(UINT, WPARAM, LPARAM, BOOL& handled) {
  PostQuitMessage(0);
  handled = FALSE;
  return 0;
}
