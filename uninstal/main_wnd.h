// The uninstaller's window: confirmation, progress and the farewell page.
#ifndef UNINSTAL_MAIN_WND_H_
#define UNINSTAL_MAIN_WND_H_

#include <thread>

#include "duilib/UIlib.h"

class CMainWnd : public DuiLib::WindowImplBase {
 public:
  CMainWnd();
  ~CMainWnd() override;

  // Waits for a running uninstall to finish its steps. Called on the UI
  // thread after the window's modal run has ended.
  void WaitForUninstall();

 protected:
  const wchar_t* GetWindowClassName() const override { return L"Uninstall"; }
  DuiLib::CDuiString GetSkinFile() override { return L"UninstallMainWnd.xml"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  LRESULT HandleCustomMessage(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled) override;

  DUI_DECLARE_MESSAGE_MAP()

 private:
  static constexpr int kFinishedPage = 2;

  void OnClose(DuiLib::TNotifyUI& msg);
  void OnUninstall(DuiLib::TNotifyUI& msg);
  void OnQuestion(DuiLib::TNotifyUI& msg);
  void OnProgress(int percent);

  DuiLib::CTabLayoutUI* progress_tab_ = nullptr;
  DuiLib::CProgressUI* progress_ = nullptr;
  std::thread worker_;
};

#endif  // UNINSTAL_MAIN_WND_H_
