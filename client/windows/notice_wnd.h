// The notice window ("NoticeWnd.xml", class "Notice Window"): a server
// notice sliding up from the taskbar at the bottom-right of the screen.
// Each notice shows once (the last shown id is kept in config.ini), none
// while a tunnel is up, and none more in this run after "no_more_remind".
// One window per process, created at the first sign-in. UI thread.
#ifndef CLIENT_WINDOWS_NOTICE_WND_H_
#define CLIENT_WINDOWS_NOTICE_WND_H_

#include <string>
#include <vector>

#include "base/weak_ptr.h"
#include "client/windows/abstract_communication.h"
#include "duilib/UIlib.h"
#include "servicebridge/service_bridge.h"

class CNoticeWnd : public DuiLib::WindowImplBase {
 public:
  static constexpr UINT kShowNoticeMessage = WM_USER + 111;
  static constexpr UINT_PTR kSlideTimer = 1;
  static constexpr UINT kSlideMs = 15;

  // After a sign-in: fetches the notice on the IO thread, adds it to the
  // list of the window (created on first use, owned by |owner|) and posts
  // kShowNoticeMessage to it.
  static void FetchAfterSignIn(HWND owner, AbstractCommunication* main_window);
  // The taskbar height the window slides above: above 60 or below 0 counts
  // as 40.
  static int TaskbarHeight(int height);

 protected:
  explicit CNoticeWnd(AbstractCommunication* main_window);
  ~CNoticeWnd() override;
  const wchar_t* GetWindowClassName() const override { return L"Notice Window"; }
  DuiLib::CDuiString GetSkinFile() override { return L"NoticeWnd.xml"; }
  void Notify(DuiLib::TNotifyUI& msg) override;
  LRESULT HandleCustomMessage(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled) override;
  LRESULT OnDestroy(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled) override;
  void OnFinalMessage(HWND hwnd) override;

 private:
  void AddNotice(const NoticeInfo& notice);
  void showNoticeWindow();
  void SlideStep();

  AbstractCommunication* main_window_;
  std::vector<NoticeInfo> notices_;
  std::wstring url_;
  bool sliding_ = false;
  int screen_width_ = 0;
  int bottom_ = 0;
  int step_ = -10;
};

#endif  // CLIENT_WINDOWS_NOTICE_WND_H_
