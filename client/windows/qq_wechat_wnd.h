// The customer-service window ("QrCodeWnd.xml"): the players' QQ group and
// the WeChat account as two QR images. A new object per opening; it deletes
// itself when its window is finally destroyed. UI thread.
#ifndef CLIENT_WINDOWS_QQ_WECHAT_WND_H_
#define CLIENT_WINDOWS_QQ_WECHAT_WND_H_

#include "duilib/UIlib.h"

class QQWechatWnd : public DuiLib::WindowImplBase {
 public:
  // Creates a window owned by |owner| (the slide-out window), with an empty
  // title, centred and shown; returns the object, which owns itself.
  static QQWechatWnd* Open(HWND owner);

 protected:
  QQWechatWnd() = default;
  ~QQWechatWnd() override = default;
  const wchar_t* GetWindowClassName() const override { return L"QQWechatWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"QrCodeWnd.xml"; }
  void InitWindow() override;
  void OnFinalMessage(HWND hwnd) override;
  LRESULT OnDestroy(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled) override;

  DUI_DECLARE_MESSAGE_MAP()
  void OnClose(DuiLib::TNotifyUI& msg);

 private:
  DuiLib::CButtonUI* close_btn_ = nullptr;
};

#endif  // CLIENT_WINDOWS_QQ_WECHAT_WND_H_
