#include <gtest/gtest.h>

#include <cairo.h>

#include <atomic>
#include <memory>
#include <thread>

#include "base/scoped_temp_dir.h"
#include "duilib/UIlib.h"
#include "duilib/presenter.h"
#include "duilib/test_window_for_testing.h"
#include "win32/message_box.h"
#include "win32/tray.h"

namespace DuiLib {
namespace {

constexpr UINT kFromWorker = WM_USER + 5;

const wchar_t kSimple[] =
    LR"(<Window size="120,80" caption="0,0,0,20">
  <VerticalLayout name="root" bkcolor="#FF0000FF">
    <Label name="top" height="20" bkcolor="#FFFF0000"/>
    <HorizontalLayout>
      <Control name="left" width="60" bkcolor="#FF00FF00"/>
      <Button name="ok"/>
    </HorizontalLayout>
  </VerticalLayout>
</Window>)";

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (!CPaintManagerUI::TranslateMessage(&msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

TEST(WindowTest, ModalLoopReturnsCloseCodeAndServesWorkerSends) {
  TestWindowForTesting owner(kSimple, L"OwnerWnd");
  ASSERT_NE(owner.CreateHidden(), nullptr);
  TestWindowForTesting modal(kSimple, L"ModalWnd");
  ASSERT_NE(modal.CreateHidden(owner.GetHWND()), nullptr);
  HWND modal_hwnd = modal.GetHWND();
  std::atomic<bool> owner_was_disabled{false};
  std::thread worker([&] {
    // Blocks until the UI thread, inside the modal loop, has handled it.
    SendMessageW(modal_hwnd, kFromWorker, 0, 42);
    owner_was_disabled = !IsWindowEnabled(owner.GetHWND());
    PostMessageW(modal_hwnd, WM_CLOSE, 7, 0);
  });
  UINT result = modal.ShowModal();
  worker.join();
  EXPECT_EQ(result, 7u);
  EXPECT_TRUE(owner_was_disabled);
  EXPECT_TRUE(IsWindowEnabled(owner.GetHWND()));
  ASSERT_EQ(modal.custom.size(), 1u);
  EXPECT_EQ(modal.custom[0], (std::pair<UINT, LPARAM>{kFromWorker, 42}));
  EXPECT_FALSE(IsWindow(modal_hwnd));
  DestroyWindow(owner.GetHWND());
}

// WM_QUIT ends the modal run with 0 (not IDOK), is posted again for the
// outer loop, and a later close of the still-open window writes nowhere.
TEST(WindowTest, QuitEndsModalRunWithoutAnAnswer) {
  TestWindowForTesting modal(kSimple, L"ModalWnd");
  ASSERT_NE(modal.CreateHidden(), nullptr);
  PostQuitMessage(3);
  EXPECT_EQ(modal.ShowModal(), 0u);
  ASSERT_TRUE(IsWindow(modal.GetHWND()));
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 3u);
  // Under ASan a write into the ended run's result is a stack-use-after-return.
  SendMessageW(modal.GetHWND(), WM_CLOSE, 9, 0);
  EXPECT_FALSE(IsWindow(modal.GetHWND()));
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
}

// The window file's "mininfo" and "maxinfo" bound the size of a sizable
// window (WM_GETMINMAXINFO).
TEST(WindowTest, MinAndMaxInfoLimitTheWindowSize) {
  TestWindowForTesting wnd(
      L"<Window size=\"200,150\" mininfo=\"120,100\" maxinfo=\"300,250\"><Control/></Window>");
  ASSERT_NE(wnd.CreateHidden(), nullptr);
  // A sizable window; a fixed popup takes any size its code sets.
  LONG style = GetWindowLongW(wnd.GetHWND(), GWL_STYLE);
  MoveWindow(wnd.GetHWND(), 0, 0, 50, 50, TRUE);
  RECT popup;
  GetClientRect(wnd.GetHWND(), &popup);
  EXPECT_EQ(popup.right, 50);
  SetWindowLongW(wnd.GetHWND(), GWL_STYLE, style | WS_THICKFRAME);
  struct Case {
    int cx, cy, want_cx, want_cy;
  };
  for (const Case& c :
       {Case{50, 50, 120, 100}, Case{500, 400, 300, 250}, Case{160, 90, 160, 100}}) {
    MoveWindow(wnd.GetHWND(), 0, 0, c.cx, c.cy, TRUE);
    RECT r;
    GetClientRect(wnd.GetHWND(), &r);
    EXPECT_EQ(r.right, c.want_cx) << c.cx;
    EXPECT_EQ(r.bottom, c.want_cy) << c.cy;
  }
  DestroyWindow(wnd.GetHWND());
}

TEST(WindowTest, CaptionDragsExceptOverButtonsAndCenteringUsesTheWorkArea) {
  TestWindowForTesting wnd(kSimple);
  HWND hwnd = wnd.CreateHidden();
  ASSERT_NE(hwnd, nullptr);
  RECT r;
  GetWindowRect(hwnd, &r);
  EXPECT_EQ(r.right - r.left, 120);  // from the window file's size
  wnd.CenterWindow();
  GetWindowRect(hwnd, &r);
  EXPECT_EQ(r.left, (1920 - 120) / 2);
  EXPECT_EQ(r.top, (1040 - 80) / 2);
  wnd.pm().PaintNow();
  auto hit = [&](int x, int y) {
    return SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(r.left + x, r.top + y));
  };
  EXPECT_EQ(hit(10, 10), HTCAPTION);
  EXPECT_EQ(hit(10, 30), HTCLIENT);
  DestroyWindow(hwnd);
}

TEST(WindowTest, RendersItsFileToPng) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  TestWindowForTesting wnd(kSimple);
  ASSERT_NE(wnd.CreateHidden(), nullptr);
  std::string path = (dir.GetPath() / "w.png").string();
  ASSERT_TRUE(wnd.pm().SaveToPng(FromUtf8(path).c_str()));
  cairo_surface_t* png = cairo_image_surface_create_from_png(path.c_str());
  ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
  EXPECT_EQ(cairo_image_surface_get_width(png), 120);
  auto pixel = [&](int x, int y) {
    auto* row = cairo_image_surface_get_data(png) + y * cairo_image_surface_get_stride(png);
    return reinterpret_cast<uint32_t*>(row)[x];
  };
  struct Case {
    int x, y;
    uint32_t argb;
  };
  const Case cases[] = {
      {5, 5, 0xFFFF0000}, {30, 50, 0xFF00FF00}, {100, 50, 0xFF0000FF}, {119, 79, 0xFF0000FF}};
  for (const Case& c : cases)
    EXPECT_EQ(pixel(c.x, c.y), c.argb) << c.x << "," << c.y;
  cairo_surface_destroy(png);
  DestroyWindow(wnd.GetHWND());
}

TEST(WindowTest, MenuReportsTheChosenItemToItsOwner) {
  TestWindowForTesting owner(kSimple, L"OwnerWnd");
  ASSERT_NE(owner.CreateHidden(), nullptr);
  CMenuWnd* menu = CMenuWnd::CreateMenu(
      L"<Window size='100,60'><Menu name='m'><MenuElement name='open_main_wnd' text='打开'/>"
      L"<MenuElement name='exit' text='退出'/></Menu></Window>",
      {1900, 1070}, owner.GetHWND());
  ASSERT_NE(menu, nullptr);
  HWND menu_hwnd = menu->GetHWND();
  RECT r;
  GetWindowRect(menu_hwnd, &r);
  EXPECT_EQ(r.right, 1920);  // kept on the screen
  EXPECT_TRUE(GetWindowLongPtrW(menu_hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
  CPaintManagerUI* pm = nullptr;
  for (CPaintManagerUI* m : CPaintManagerUI::GetPaintManagers()) {
    if (m->GetPaintWindow() == menu_hwnd)
      pm = m;
  }
  ASSERT_NE(pm, nullptr);
  pm->PaintNow();
  RECT item = pm->FindControl(L"exit")->GetPos();
  LPARAM at = MAKELPARAM(item.left + 5, item.top + 5);
  SendMessageW(menu_hwnd, WM_LBUTTONDOWN, 0, at);
  SendMessageW(menu_hwnd, WM_LBUTTONUP, 0, at);
  Pump();
  EXPECT_FALSE(IsWindow(menu_hwnd));
  ASSERT_EQ(owner.custom.size(), 1u);
  EXPECT_EQ(owner.custom[0].first, static_cast<UINT>(WM_MENUCLICK));
  auto* cmd = reinterpret_cast<MenuCmd*>(owner.custom[0].second);
  EXPECT_EQ(std::wstring(cmd->szName), L"exit");
  EXPECT_EQ(std::wstring(cmd->szText), L"退出");
  delete cmd;
  DestroyWindow(owner.GetHWND());
}

TEST(WindowTest, TrayEventsReachTheWindow) {
  TestWindowForTesting wnd(kSimple);
  ASSERT_NE(wnd.CreateHidden(), nullptr);
  {
    CTrayIcon tray;
    ASSERT_TRUE(tray.CreateTrayIcon(wnd.GetHWND(), 139, L"Tern智能加速器 1.1.4", WM_USER + 9));
    auto icons = win32::ListTrayIcons();
    ASSERT_EQ(icons.size(), 1u);
    EXPECT_EQ(icons[0].tip, L"Tern智能加速器 1.1.4");
    for (UINT event : {WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONUP})
      EXPECT_TRUE(win32::SendTrayEvent(wnd.GetHWND(), 139, event));
    Pump();
    std::vector<std::pair<UINT, LPARAM>> expected = {
        {WM_USER + 9, WM_LBUTTONUP}, {WM_USER + 9, WM_LBUTTONDBLCLK}, {WM_USER + 9, WM_RBUTTONUP}};
    EXPECT_EQ(wnd.custom, expected);
  }
  // The icon goes with its owner object.
  EXPECT_TRUE(win32::ListTrayIcons().empty());
  EXPECT_FALSE(win32::SendTrayEvent(wnd.GetHWND(), 139, WM_LBUTTONUP));
  DestroyWindow(wnd.GetHWND());
}

TEST(WindowTest, MessageBoxAnswersByKeyButtonAndCommand) {
  CPresenter::InstallMessageBox();
  struct Case {
    UINT type;
    std::function<void(HWND)> answer;
    int expected;
  };
  auto key = [](WPARAM vk) {
    return [vk](HWND box) {
      MSG m = {box, WM_KEYDOWN, vk, 0, 0, {0, 0}};
      if (!CPaintManagerUI::TranslateMessage(&m))
        DispatchMessageW(&m);
    };
  };
  auto click = [](const wchar_t* name) {
    return [name](HWND box) {
      for (CPaintManagerUI* m : CPaintManagerUI::GetPaintManagers()) {
        if (m->GetPaintWindow() != box)
          continue;
        m->PaintNow();
        RECT r = m->FindControl(name)->GetPos();
        LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        SendMessageW(box, WM_LBUTTONDOWN, 0, at);
        SendMessageW(box, WM_LBUTTONUP, 0, at);
      }
    };
  };
  const Case cases[] = {
      {MB_OKCANCEL, key(VK_RETURN), IDOK},
      {MB_OKCANCEL, key(VK_ESCAPE), IDCANCEL},
      {MB_OK, key(VK_ESCAPE), IDOK},
      {MB_OKCANCEL, click(L"msgbox_cancel"), IDCANCEL},
      {MB_OKCANCEL, click(L"msgbox_ok"), IDOK},
      {MB_OKCANCEL, [](HWND box) { PostMessageW(box, WM_COMMAND, IDCANCEL, 0); }, IDCANCEL},
  };
  for (const Case& c : cases) {
    // The answer comes from a timer inside the modal loop, as a user would.
    static const Case* current;
    current = &c;
    UINT_PTR timer = SetTimer(nullptr, 0, 10, [](HWND, UINT, UINT_PTR, DWORD) {
      HWND box = FindWindowW(WC_MESSAGEBOX, nullptr);
      std::wstring text;
      if (box && win32::GetMessageBoxText(box, &text) && text == L"继续吗？")
        current->answer(box);
    });
    EXPECT_EQ(MessageBoxW(nullptr, L"继续吗？", L"Tern", c.type), c.expected);
    KillTimer(nullptr, timer);
    EXPECT_EQ(FindWindowW(WC_MESSAGEBOX, nullptr), nullptr);
  }
  win32::SetMessageBoxImplementation(nullptr);
}

}  // namespace
}  // namespace DuiLib
