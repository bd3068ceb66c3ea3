// A skinned window built from inline XML that records what it is told; for
// the library's own tests.
#ifndef DUILIB_TEST_WINDOW_FOR_TESTING_H_
#define DUILIB_TEST_WINDOW_FOR_TESTING_H_

#include <string>
#include <utility>
#include <vector>

#include "duilib/UIlib.h"

namespace DuiLib {

class TestWindowForTesting : public WindowImplBase {
 public:
  explicit TestWindowForTesting(std::wstring xml, std::wstring class_name = L"TestWnd")
      : xml_(std::move(xml)), class_name_(std::move(class_name)) {}

  HWND CreateHidden(HWND owner = nullptr) {
    return Create(owner, L"test", UI_WNDSTYLE_DIALOG & ~WS_VISIBLE, 0);
  }
  // "type:control" for every notification, in order.
  std::vector<std::wstring> events;
  std::vector<std::pair<UINT, LPARAM>> custom;
  std::vector<std::wstring> map_hits;
  CControlUI* Find(const wchar_t* name) { return m_pm.FindControl(name); }
  CPaintManagerUI& pm() { return m_pm; }
  // Sends a left click at the control's centre through the window.
  void ClickAt(const wchar_t* name) {
    m_pm.PaintNow();
    RECT r = Find(name)->GetPos();
    LPARAM lp = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    ::SendMessageW(m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, lp);
    ::SendMessageW(m_hWnd, WM_LBUTTONUP, 0, lp);
  }

 protected:
  const wchar_t* GetWindowClassName() const override { return class_name_.c_str(); }
  CDuiString GetSkinFile() override { return xml_.c_str(); }
  void Notify(TNotifyUI& msg) override {
    events.push_back(msg.sType.str() + L":" + (msg.pSender ? msg.pSender->GetName().str() : L""));
  }
  LRESULT HandleCustomMessage(UINT msg, WPARAM, LPARAM lparam, BOOL& handled) override {
    handled = FALSE;
    if (msg >= WM_USER && msg < WM_APP) {
      custom.push_back({msg, lparam});
      handled = TRUE;
    }
    return 0;
  }
  DUI_DECLARE_MESSAGE_MAP()
  void OnMapped(TNotifyUI& msg) { map_hits.push_back(msg.pSender->GetName().str()); }

 private:
  std::wstring xml_;
  std::wstring class_name_;
};

inline DUI_BEGIN_MESSAGE_MAP(TestWindowForTesting, WindowImplBase)
    DUI_ON_CLICK_CTRNAME(L"mapped_btn", OnMapped) DUI_END_MESSAGE_MAP()

}  // namespace DuiLib

#endif  // DUILIB_TEST_WINDOW_FOR_TESTING_H_
