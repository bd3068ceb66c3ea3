// The updater's window: the download's status text and progress bar.
#ifndef UPDATER_MAIN_WND_H_
#define UPDATER_MAIN_WND_H_

#include <string>
#include <thread>

#include "duilib/UIlib.h"
#include "updater/download_progress.h"

class CMainWnd : public DuiLib::WindowImplBase {
 public:
  CMainWnd();
  ~CMainWnd() override;

  // Tells a running download to stop and waits for its thread. Called on the
  // UI thread once the message loop has ended.
  void StopDownload();

 protected:
  const wchar_t* GetWindowClassName() const override { return L"UpgraderMainFrame"; }
  DuiLib::CDuiString GetSkinFile() override { return L"UpgraderMainWnd.xml"; }
  void InitWindow() override;
  LRESULT HandleCustomMessage(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled) override;
  LRESULT OnDestroy(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled) override;

  DUI_DECLARE_MESSAGE_MAP()

 private:
  static constexpr UINT_PTR kQuitTimer = 1;
  static constexpr UINT kQuitDelayMs = 500;

  void OnClose(DuiLib::TNotifyUI& msg);
  void OnProgress(int value);
  void StartInstaller();
  void SetStatus(const wchar_t* text);

  DuiLib::CLabelUI* status_label_ = nullptr;
  DuiLib::CProgressUI* progress_ = nullptr;
  std::wstring program_dir_;  // with its trailing "/"
  DownloadAbort abort_;
  std::thread download_;
};

#endif  // UPDATER_MAIN_WND_H_
