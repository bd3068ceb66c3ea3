#include "client/windows/notice_wnd.h"

#include <memory>

#include "base/logging.h"
#include "client/config/config_paths.h"
#include "client/config/profile_store.h"
#include "client/threads/threads_manager.h"
#include "client/windows/service_call_gate.h"
#include "win32/code_page.h"
#include "win32/screen_metrics.h"
#include "win32/shell_execute.h"

using namespace DuiLib;

namespace {
CNoticeWnd* g_window = nullptr;
// Set by "no_more_remind": no further notice until the client starts again.
bool g_no_more_notices = false;
}  // namespace

// static
int CNoticeWnd::TaskbarHeight(int height) {
  return height < 0 || height > 60 ? 40 : height;
}

// static
void CNoticeWnd::FetchAfterSignIn(HWND owner, AbstractCommunication* main_window) {
  if (!g_window) {
    auto* wnd = new CNoticeWnd(main_window);
    if (!wnd->Create(owner, L"", WS_POPUP, WS_EX_TOOLWINDOW)) {
      delete wnd;
      return;
    }
    g_window = wnd;
  }
  HWND window = g_window->GetHWND();
  CServiceBridgeVirtual* service = GetInterfaceLibraryInfo();
  auto notice = std::make_shared<NoticeInfo>();
  auto skipped = std::make_shared<bool>(false);
  ThreadsManager::PostTaskAndReply(
      ThreadsManager::IO, FROM_HERE_WITH_EXPLICIT_FUNCTION("CNoticeWnd::FetchAfterSignIn"),
      [service, notice, skipped] {
        if (ServiceCallsStopped()) {
          *skipped = true;
          return;
        }
        *notice = service->getNoticePopup();
      },
      [window, notice, skipped] {
        // The window may have gone with the main window meanwhile.
        if (*skipped || !g_window || g_window->GetHWND() != window)
          return;
        if (notice->status != 200 || notice->id == 0)
          return;
        g_window->AddNotice(*notice);
        ::PostMessageW(window, kShowNoticeMessage, 0, 0);
      });
}

CNoticeWnd::CNoticeWnd(AbstractCommunication* main_window) : main_window_(main_window) {
  RECT screen = win32::ScreenRect();
  screen_width_ = screen.right - screen.left;
  int height = -1;
  if (HWND taskbar = ::FindWindowW(L"Shell_TrayWnd", nullptr)) {
    RECT rect = {};
    if (::GetWindowRect(taskbar, &rect))
      height = rect.bottom - rect.top;
  }
  bottom_ = (screen.bottom - screen.top) - TaskbarHeight(height);
}

CNoticeWnd::~CNoticeWnd() {
  if (g_window == this)
    g_window = nullptr;
}

void CNoticeWnd::AddNotice(const NoticeInfo& notice) {
  for (const NoticeInfo& known : notices_) {
    if (known.id == notice.id)
      return;
  }
  notices_.push_back(notice);
}

void CNoticeWnd::Notify(TNotifyUI& msg) {
  if (msg.sType == L"click" && msg.pSender) {
    const std::wstring name = msg.pSender->GetName().str();
    if (name == L"close_btn") {
      ShowWindow(false);
      return;
    }
    if (name == L"no_more_remind") {
      g_no_more_notices = true;
      ShowWindow(false);
      return;
    }
    if (name == L"click_detail_btn") {
      if (!url_.empty()) {
        auto result = reinterpret_cast<intptr_t>(
            ShellExecuteW(nullptr, L"open", url_.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
        if (result <= 32)
          LOG(WARNING) << "notice page not opened: " << result;
      }
      return;
    }
  }
  WindowImplBase::Notify(msg);
}

LRESULT CNoticeWnd::HandleCustomMessage(UINT msg, WPARAM wparam, LPARAM, BOOL& handled) {
  handled = TRUE;
  if (msg == kShowNoticeMessage) {
    showNoticeWindow();
    return 0;
  }
  if (msg == WM_TIMER && wparam == kSlideTimer) {
    SlideStep();
    return 0;
  }
  handled = FALSE;
  return 0;
}

void CNoticeWnd::showNoticeWindow() {
  if (g_no_more_notices)
    return;
  const std::wstring config = GetConfigPath();
  for (const NoticeInfo& notice : notices_) {
    std::wstring stored = ReadProfileString(L"notice_msg", L"notice_id", L"", 32, config, true);
    int last = stored.empty() ? 0 : static_cast<int>(wcstol(stored.c_str(), nullptr, 10));
    if (notice.id == last)
      continue;
    bool accelerating = main_window_ && main_window_->accelerationState() == 2;
    if (::IsWindowVisible(m_hWnd) || accelerating || sliding_)
      continue;
    if (CControlUI* title = m_pm.FindControl(L"title"))
      title->SetText(win32::AnsiToWide(notice.title).c_str());
    if (CControlUI* content = m_pm.FindControl(L"content"))
      content->SetText(win32::AnsiToWide(notice.text).c_str());
    url_ = win32::AnsiToWide(notice.url);
    if (CControlUI* detail = m_pm.FindControl(L"click_detail_btn"))
      detail->SetVisible(!url_.empty());
    RECT rect = {};
    ::GetWindowRect(m_hWnd, &rect);
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    ::SetWindowPos(m_hWnd, HWND_TOPMOST, screen_width_ - width, bottom_, width, height,
                   SWP_NOACTIVATE);
    step_ = -10;
    sliding_ = true;
    ::SetTimer(m_hWnd, kSlideTimer, kSlideMs, nullptr);
    ShowWindow(true, false);
    WriteProfileString(L"notice_msg", L"notice_id", std::to_wstring(notice.id), config, true);
    LOG(INFO) << "notice " << notice.id << " shown";
  }
}

void CNoticeWnd::SlideStep() {
  RECT rect = {};
  ::GetWindowRect(m_hWnd, &rect);
  int width = rect.right - rect.left;
  int height = rect.bottom - rect.top;
  if (bottom_ - height < rect.top) {
    ::SetWindowPos(m_hWnd, HWND_TOPMOST, screen_width_ - width, rect.top + step_, width, height,
                   SWP_NOACTIVATE);
    return;
  }
  ::SetWindowPos(m_hWnd, HWND_NOTOPMOST, screen_width_ - width, bottom_ - height, width, height,
                 SWP_NOACTIVATE);
  ::KillTimer(m_hWnd, kSlideTimer);
  sliding_ = false;
}

LRESULT CNoticeWnd::OnDestroy(UINT, WPARAM, LPARAM, BOOL& handled) {
  PostQuitMessage(0);
  handled = FALSE;
  return 0;
}

void CNoticeWnd::OnFinalMessage(HWND hwnd) {
  WindowImplBase::OnFinalMessage(hwnd);
  delete this;
}
