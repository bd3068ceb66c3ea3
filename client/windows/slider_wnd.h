// The slide-out window ("SlideWnd.xml"): acceleration settings, membership
// and toolbox pages beside the main window. Created hidden by the login
// window as the child of the hidden parent window. UI thread.
//
// Only the frame is here: the window, its class and skin, and its link to
// the main window. The pages are filled in by the settings work.
#ifndef CLIENT_WINDOWS_SLIDER_WND_H_
#define CLIENT_WINDOWS_SLIDER_WND_H_

#include "client/windows/abstract_communication.h"
#include "duilib/UIlib.h"

class CSliderWnd : public DuiLib::WindowImplBase {
 public:
  explicit CSliderWnd(AbstractCommunication* main_window);
  ~CSliderWnd() override;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"Slider Window"; }
  DuiLib::CDuiString GetSkinFile() override { return L"SlideWnd.xml"; }
  LRESULT OnDestroy(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled) override;

 private:
  AbstractCommunication* main_window_;
};

#endif  // CLIENT_WINDOWS_SLIDER_WND_H_
