// The system message box drawn by this library (MessageBoxW once the
// library is set up). Its look is built in, so it works without a skin.
#ifndef DUILIB_MESSAGE_BOX_WND_H_
#define DUILIB_MESSAGE_BOX_WND_H_

#include "duilib/window_impl_base.h"

namespace DuiLib {

class CMessageBoxWnd : public WindowImplBase {
 public:
  // Called on a UI thread; returns IDOK or IDCANCEL.
  static int Show(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

 protected:
  CMessageBoxWnd(const wchar_t* text, const wchar_t* caption, UINT type);
  const wchar_t* GetWindowClassName() const override { return WC_MESSAGEBOX; }
  CDuiString GetSkinFile() override;
  void InitWindow() override;
  void Notify(TNotifyUI& msg) override;
  LRESULT MessageHandler(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) override;
  LRESULT HandleCustomMessage(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled) override;
  LRESULT OnDestroy(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled) override;

 private:
  UINT CancelCode() const;
  std::wstring text_;
  std::wstring caption_;
  UINT type_;
};

}  // namespace DuiLib

#endif  // DUILIB_MESSAGE_BOX_WND_H_
