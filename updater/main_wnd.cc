#include "updater/main_wnd.h"

#include "base/logging.h"
#include "installer/process_ending.h"
#include "installer/product_layout.h"
#include "updater/update_download.h"
#include "win32/code_page.h"
#include "win32/shell_execute.h"

using namespace DuiLib;

DUI_BEGIN_MESSAGE_MAP(CMainWnd, WindowImplBase)
DUI_ON_CLICK_CTRNAME(L"close_btn", OnClose)
DUI_END_MESSAGE_MAP()

CMainWnd::CMainWnd() = default;

CMainWnd::~CMainWnd() {
  StopDownload();
}

void CMainWnd::StopDownload() {
  abort_.Abort();
  if (download_.joinable())
    download_.join();
}

void CMainWnd::InitWindow() {
  status_label_ = static_cast<CLabelUI*>(m_pm.FindControl(L"status_label"));
  progress_ = static_cast<CProgressUI*>(m_pm.FindControl(L"progress"));
  program_dir_ = tern_install::OwnProgramDirectory() + L"/";
  HWND window = m_hWnd;
  std::wstring config = program_dir_ + L"config.ini";
  std::wstring dir = program_dir_;
  download_ =
      std::thread([window, config, dir, this] { RunUpdateDownload(window, config, dir, &abort_); });
}

void CMainWnd::OnClose(TNotifyUI&) {
  Close(IDOK);
}

void CMainWnd::SetStatus(const wchar_t* text) {
  if (status_label_)
    status_label_->SetText(text);
}

void CMainWnd::OnProgress(int value) {
  LOG(INFO) << "Download progress " << value;
  if (progress_)
    progress_->SetValue(value < 99 ? value : 100);
  if (value == kDownloadComplete)
    StartInstaller();
}

void CMainWnd::StartInstaller() {
  const std::wstring installer = program_dir_ + tern_install::kInstallerProgram;
  // Quoted, so that a folder with blanks arrives as one argument.
  const std::wstring parameters = L"\"" + program_dir_ + L"\"";
  HINSTANCE started = ShellExecuteW(nullptr, L"open", installer.c_str(), parameters.c_str(),
                                    nullptr, SW_SHOWNORMAL);
  if (reinterpret_cast<INT_PTR>(started) <= 32) {
    // The design quit here as if all went well.
    LOG(ERROR) << "Cannot start " << win32::WideToUtf8(installer);
    SetStatus(FailureText(UpdateFailure::kUnknown));
    return;
  }
  SetTimer(m_hWnd, kQuitTimer, kQuitDelayMs, nullptr);
}

LRESULT CMainWnd::HandleCustomMessage(UINT msg, WPARAM wparam, LPARAM, BOOL& handled) {
  handled = TRUE;
  switch (msg) {
    case kProgressMessage:
      OnProgress(static_cast<int>(wparam));
      return 0;
    case kFailureMessage:
      // The design set the text from the download thread; controls belong
      // to this one.
      SetStatus(FailureText(static_cast<UpdateFailure>(wparam)));
      return 0;
    case WM_TIMER:
      if (wparam == kQuitTimer) {
        KillTimer(m_hWnd, kQuitTimer);
        PostQuitMessage(0);
        return 0;
      }
      break;
  }
  handled = FALSE;
  return 0;
}

LRESULT CMainWnd::OnDestroy(UINT, WPARAM, LPARAM, BOOL& handled) {
  abort_.Abort();
  PostQuitMessage(0);
  handled = FALSE;
  return 0;
}
