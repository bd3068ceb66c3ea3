// The client's own modal message box ("MessageBox.xml"): the message in red
// in a read-only rich edit under the blue title strip, a confirm button and
// a close button. UI thread only.
#ifndef CLIENT_WINDOWS_MY_MESSAGE_BOX_H_
#define CLIENT_WINDOWS_MY_MESSAGE_BOX_H_

#include <string>

#include "duilib/window_impl_base.h"

class MyMessageBox : public DuiLib::WindowImplBase {
 public:
  static constexpr int kConfirmed = 1;
  static constexpr int kClosed = 2;

  explicit MyMessageBox(const std::wstring& text);
  ~MyMessageBox() override;

  // Shows `text` in a box owned by `parent`, centred, and waits for the
  // answer: kConfirmed for "confirm_button" or Enter, kClosed for
  // "close_button", Escape or any other way the box goes away.
  static int show(HWND parent, const std::wstring& text);

 protected:
  const wchar_t* GetWindowClassName() const override { return L"Message Box"; }
  DuiLib::CDuiString GetSkinFile() override { return L"MessageBox.xml"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  LRESULT MessageHandler(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) override;

 private:
  std::wstring text_;
};

#endif  // CLIENT_WINDOWS_MY_MESSAGE_BOX_H_
