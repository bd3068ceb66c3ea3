#include "client/windows/window_drawer.h"

#include <gtest/gtest.h>

#include "client/windows/frame_test_util.h"

namespace {

class WindowDrawerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SetUpClientSkinForTesting());
    ASSERT_TRUE(parent_.Create(nullptr, L"parent", UI_WNDSTYLE_DIALOG & ~WS_VISIBLE, 0));
    // A child counts as visible only under a visible parent.
    ShowWindow(parent_.GetHWND(), SW_SHOWNOACTIVATE);
    ASSERT_TRUE(drawer_.Create(parent_.GetHWND(), L"", UI_WNDSTYLE_CHILD & ~WS_VISIBLE, 0));
    MoveWindow(drawer_.GetHWND(), 0, -WindowDrawer::kHeight, WindowDrawer::kWidth,
               WindowDrawer::kHeight, FALSE);
  }
  void TearDown() override { DestroyWindow(parent_.GetHWND()); }

  void Tick(int n) {
    for (int i = 0; i < n; ++i)
      SendMessageW(drawer_.GetHWND(), WM_TIMER, WindowDrawer::kSlideTimerId, 0);
  }
  RECT Rect() {
    RECT rc;
    GetWindowRect(drawer_.GetHWND(), &rc);
    RECT parent;
    GetWindowRect(parent_.GetHWND(), &parent);
    OffsetRect(&rc, -parent.left, -parent.top);
    return rc;
  }

  SkinFileWindow parent_{L"MainWnd.xml"};
  WindowDrawer drawer_;
};

TEST_F(WindowDrawerTest, SlidesDownOnePixelPerTickInFortyTicks) {
  drawer_.MotionMove(true);
  EXPECT_TRUE(IsWindowVisible(drawer_.GetHWND()));
  EXPECT_TRUE(drawer_.IsSliding());
  Tick(1);
  EXPECT_EQ(Rect().top, -39);
  Tick(38);
  EXPECT_EQ(Rect().top, -1);
  EXPECT_TRUE(drawer_.IsSliding());
  Tick(1);
  RECT rc = Rect();
  EXPECT_EQ(rc.left, 0);
  EXPECT_EQ(rc.top, 0);
  EXPECT_EQ(rc.right - rc.left, 360);
  EXPECT_EQ(rc.bottom - rc.top, 40);
  EXPECT_FALSE(drawer_.IsSliding());
  // A late tick after the slide changes nothing.
  Tick(1);
  EXPECT_EQ(Rect().top, 0);
}

TEST_F(WindowDrawerTest, RequestWhileSlidingIsIgnored) {
  drawer_.MotionMove(true);
  Tick(10);
  drawer_.MotionMove(false);
  Tick(30);
  EXPECT_EQ(Rect().top, 0) << "the slide down went on to the end";
  EXPECT_TRUE(IsWindowVisible(drawer_.GetHWND()));

  drawer_.MotionMove(false);
  Tick(20);
  EXPECT_EQ(Rect().top, -20);
  drawer_.MotionMove(true);
  Tick(19);
  EXPECT_EQ(Rect().top, -39);
  EXPECT_TRUE(IsWindowVisible(drawer_.GetHWND()));
  Tick(1);
  EXPECT_FALSE(IsWindowVisible(drawer_.GetHWND()));
  EXPECT_EQ(Rect().top, -40);
  EXPECT_FALSE(drawer_.IsSliding());
}

TEST_F(WindowDrawerTest, FindsItsBarAndLabel) {
  drawer_.SetMessageText(L"加速成功");
  DuiLib::CControlUI* label = drawer_.GetPaintManager()->FindControl(L"acc_msg_show");
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->GetText().str(), L"加速成功");
  EXPECT_NE(drawer_.GetPaintManager()->FindControl(L"acc_msg_wnd"), nullptr);
}

}  // namespace
