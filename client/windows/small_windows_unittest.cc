// The hidden parent window and the customer-service window, headless.
#include <gtest/gtest.h>

#include "base/message_loop.h"
#include "client/windows/frame_test_util.h"
#include "client/windows/parent_hwnd.h"
#include "client/windows/qq_wechat_wnd.h"

namespace {

int CountVisible(const wchar_t* window_class) {
  struct Search {
    const wchar_t* window_class;
    int count;
  } search{window_class, 0};
  EnumWindows(
      [](HWND hwnd, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        wchar_t name[64] = {};
        GetClassNameW(hwnd, name, 64);
        if (std::wstring(name) == s->window_class && IsWindowVisible(hwnd))
          ++s->count;
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.count;
}

class SmallWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SetUpClientSkinForTesting()); }
  base::MessageLoopForUI loop_;
};

TEST_F(SmallWindowsTest, RestoringTheParentClearsItsFlag) {
  ParentHWND parent;
  ASSERT_TRUE(parent.Create(nullptr, L"Tern智能加速器", UI_WNDSTYLE_DIALOG & ~WS_VISIBLE,
                            WS_EX_WINDOWEDGE));
  EXPECT_FALSE(IsWindowVisible(parent.GetHWND()));
  RECT rc;
  GetClientRect(parent.GetHWND(), &rc);
  EXPECT_EQ(rc.right - rc.left, 20);
  EXPECT_EQ(rc.bottom - rc.top, 20);
  parent.set_flag(true);
  SendMessageW(parent.GetHWND(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(parent.flag());  // only a restore clears it
  SendMessageW(parent.GetHWND(), WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_FALSE(parent.flag());
}

TEST_F(SmallWindowsTest, EveryOpeningIsAWindowOfItsOwnThatHidesOnClose) {
  ParentHWND owner;
  ASSERT_TRUE(owner.Create(nullptr, L"Tern智能加速器", UI_WNDSTYLE_DIALOG, WS_EX_WINDOWEDGE));
  QQWechatWnd* first = QQWechatWnd::Open(owner.GetHWND());
  QQWechatWnd* second = QQWechatWnd::Open(owner.GetHWND());
  ASSERT_TRUE(first && second);
  EXPECT_NE(first->GetHWND(), second->GetHWND());
  EXPECT_EQ(CountVisible(L"QQWechatWnd"), 2);
  EXPECT_EQ(GetWindow(first->GetHWND(), GW_OWNER), owner.GetHWND());
  wchar_t title[64] = {L'x'};
  GetWindowTextW(first->GetHWND(), title, 64);
  EXPECT_STREQ(title, L"");
  DuiLib::CControlUI* qq = first->GetPaintManager()->FindControl(L"qrcode_qq_name");
  ASSERT_NE(qq, nullptr);
  EXPECT_EQ(qq->GetText().str(), L"玩家QQ群");

  // The close button hides; the window stays until it is destroyed, and the
  // object then deletes itself (the sanitizer build would see a leak).
  DuiLib::CControlUI* close = first->GetPaintManager()->FindControl(L"close_btn");
  ASSERT_NE(close, nullptr);
  first->GetPaintManager()->SendNotify(close, DUI_MSGTYPE_CLICK);
  EXPECT_EQ(CountVisible(L"QQWechatWnd"), 1);
  HWND hidden = first->GetHWND();
  EXPECT_TRUE(IsWindow(hidden));
  DestroyWindow(hidden);
  DestroyWindow(second->GetHWND());
  EXPECT_EQ(CountVisible(L"QQWechatWnd"), 0);
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
}

}  // namespace
