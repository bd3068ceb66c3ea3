#include "uninstal/main_wnd.h"

#include "base/logging.h"
#include "installer/process_ending.h"
#include "installer/product_layout.h"
#include "uninstal/uninstall_worker.h"
#include "win32/shell_execute.h"

using namespace DuiLib;

namespace {

constexpr int kFinishedWidth = 550;
constexpr int kFinishedHeight = 550;
// The maker's customer-service chat (the shipped window file has no button
// for it).
constexpr wchar_t kCustomerServicePage[] = L"https://127.0.0.1:8443/";

}  // namespace

DUI_BEGIN_MESSAGE_MAP(CMainWnd, WindowImplBase)
DUI_ON_CLICK_CTRNAME(L"closebtn", OnClose)
DUI_ON_CLICK_CTRNAME(L"cancel", OnClose)
DUI_ON_CLICK_CTRNAME(L"finish", OnClose)
DUI_ON_CLICK_CTRNAME(L"uninstall", OnUninstall)
DUI_ON_CLICK_CTRNAME(L"question", OnQuestion)
DUI_END_MESSAGE_MAP()

CMainWnd::CMainWnd() = default;

CMainWnd::~CMainWnd() {
  WaitForUninstall();
}

void CMainWnd::WaitForUninstall() {
  if (worker_.joinable())
    worker_.join();
}

void CMainWnd::InitWindow() {
  progress_tab_ = static_cast<CTabLayoutUI*>(m_pm.FindControl(L"progress_tab"));
  progress_ = static_cast<CProgressUI*>(m_pm.FindControl(L"progress"));
}

void CMainWnd::Notify(TNotifyUI& msg) {
  if (msg.sType == DUI_MSGTYPE_KILLFOCUS && msg.pSender && msg.pSender->GetName() == L"otherEdit") {
    if (auto* label = static_cast<CLabelUI*>(m_pm.FindControl(L"otherLabel")))
      label->SetTextColor(msg.pSender->GetText().IsEmpty() ? 0xFFBBBBBB : 0xFF101010);
  }
}

void CMainWnd::OnClose(TNotifyUI&) {
  Close(IDOK);
}

void CMainWnd::OnUninstall(TNotifyUI&) {
  if (worker_.joinable())
    return;
  tern_install::KillProcessByName(tern_install::kClientProgram,
                                  tern_install::OwnProgramDirectory());
  if (progress_tab_)
    progress_tab_->SelectItem(1);
  HWND window = m_hWnd;
  worker_ = std::thread([window] { RunUninstall(window); });
}

void CMainWnd::OnQuestion(TNotifyUI&) {
  ShellExecuteW(nullptr, L"open", kCustomerServicePage, nullptr, nullptr, SW_SHOWNORMAL);
}

void CMainWnd::OnProgress(int percent) {
  LOG(INFO) << "Uninstall progress " << percent;
  if (percent < 100) {
    if (progress_)
      progress_->SetValue(percent);
    return;
  }
  if (progress_)
    progress_->SetValue(100);
  if (progress_tab_)
    progress_tab_->SelectItem(kFinishedPage);
  // The design resizes from the worker; windows belong to this thread.
  RECT rect = {};
  GetWindowRect(m_hWnd, &rect);
  SetWindowPos(m_hWnd, nullptr, rect.left, rect.top, kFinishedWidth, kFinishedHeight,
               SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
}

LRESULT CMainWnd::HandleCustomMessage(UINT msg, WPARAM wparam, LPARAM, BOOL& handled) {
  handled = FALSE;
  if (msg == kProgressMessage) {
    handled = TRUE;
    OnProgress(static_cast<int>(wparam));
  }
  return 0;
}
