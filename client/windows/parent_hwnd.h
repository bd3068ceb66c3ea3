// The hidden parent of the signed-in windows ("ParentFree.xml", 20x20,
// transparent): the slide-out window is its child and the main window the
// slide-out window's, so they share one taskbar entry and icon. UI thread.
#ifndef CLIENT_WINDOWS_PARENT_HWND_H_
#define CLIENT_WINDOWS_PARENT_HWND_H_

#include "duilib/UIlib.h"

class ParentHWND : public DuiLib::WindowImplBase {
 public:
  ParentHWND() = default;
  ~ParentHWND() override;

  // Cleared when the program is restored from the taskbar; the main window
  // sets it and reads it.
  bool flag() const { return flag_ != 0; }
  void set_flag(bool flag) { flag_ = flag ? 1 : 0; }

 protected:
  const wchar_t* GetWindowClassName() const override { return L"ParentFree wnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"ParentFree.xml"; }
  void InitWindow() override;
  // WM_SYSCOMMAND reaches the window here (the UI library's base handles it
  // before any custom message handling).
  LRESULT OnSysCommand(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled) override;

 private:
  unsigned char flag_ = 0;
};

#endif  // CLIENT_WINDOWS_PARENT_HWND_H_
