// The main window ("MainWnd.xml"): the window the user lives in after
// sign-in. Created hidden by the login window during its set-up, as the
// child of the slide-out window, and shown after sign-in. UI thread.
//
// Only the frame is here: the window, its links to the login, slide-out and
// parent windows, the signed-in account, minimise and close. Acceleration,
// the tray and the pages are filled in by the main-window work.
#ifndef CLIENT_WINDOWS_MAIN_WND_H_
#define CLIENT_WINDOWS_MAIN_WND_H_

#include <string>

#include "client/windows/abstract_communication.h"
#include "client/windows/abstract_login_main.h"
#include "duilib/UIlib.h"

class CSliderWnd;
class ParentHWND;

class CMainWnd : public DuiLib::WindowImplBase, public AbstractCommunication {
 public:
  explicit CMainWnd(AbstractLoginMain* login_window);
  ~CMainWnd() override;

  void SetSliderWnd(CSliderWnd* slider) { slider_ = slider; }
  void SetParentWnd(ParentHWND* parent) { parent_ = parent; }

  // After a successful sign-in, before the window is shown: takes the
  // signed-in account.
  void initMainWndData(const std::wstring& account);
  const std::wstring& account() const { return account_; }

 protected:
  const wchar_t* GetWindowClassName() const override { return L"MainWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"MainWnd.xml"; }
  void InitWindow() override;
  LRESULT OnDestroy(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled) override;

  DUI_DECLARE_MESSAGE_MAP()
  void OnMinimize(DuiLib::TNotifyUI& msg);
  void OnClose(DuiLib::TNotifyUI& msg);

 private:
  AbstractLoginMain* login_window_;
  CSliderWnd* slider_ = nullptr;
  ParentHWND* parent_ = nullptr;
  std::wstring account_;
};

#endif  // CLIENT_WINDOWS_MAIN_WND_H_
