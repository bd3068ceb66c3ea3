#include "win32/window.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "win32/last_error.h"
#include "win32/message_box.h"
#include "win32/message_queue.h"
#include "win32/resource.h"
#include "win32/screen_metrics.h"

namespace {

std::vector<std::pair<HWND, UINT>>* g_log = nullptr;

LRESULT CALLBACK LoggingProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (g_log)
    g_log->push_back({hwnd, message});
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static bool registered = [] {
      WNDCLASSEXW wc = {};
      wc.cbSize = sizeof(wc);
      wc.lpfnWndProc = LoggingProc;
      wc.lpszClassName = L"TestWindow";
      return RegisterClassExW(&wc) != 0;
    }();
    ASSERT_TRUE(registered);
    g_log = &log_;
  }
  void TearDown() override {
    for (HWND h : created_) {
      if (IsWindow(h))
        DestroyWindow(h);
    }
    g_log = nullptr;
  }
  HWND Make(HWND owner = nullptr, DWORD ex_style = 0, const wchar_t* title = L"t") {
    HWND h = CreateWindowExW(ex_style, L"TestWindow", title, WS_POPUP, 10, 20, 300, 200, owner,
                             nullptr, nullptr, nullptr);
    created_.push_back(h);
    return h;
  }
  std::vector<UINT> MessagesOf(HWND h) const {
    std::vector<UINT> out;
    for (auto& [w, m] : log_) {
      if (w == h)
        out.push_back(m);
    }
    return out;
  }

  std::vector<std::pair<HWND, UINT>> log_;
  std::vector<HWND> created_;
};

TEST_F(WindowTest, LifecycleMessagesAndOwnedWindowsGoFirst) {
  HWND owner = Make();
  HWND owned = Make(owner);
  ASSERT_TRUE(owner && owned);
  EXPECT_EQ(GetParent(owned), owner);
  EXPECT_EQ(GetWindow(owned, GW_OWNER), owner);
  std::vector<UINT> created = MessagesOf(owner);
  ASSERT_GE(created.size(), 2u);
  EXPECT_EQ(created[0], static_cast<UINT>(WM_NCCREATE));
  EXPECT_EQ(created[1], static_cast<UINT>(WM_CREATE));

  log_.clear();
  ASSERT_TRUE(DestroyWindow(owner));
  EXPECT_FALSE(IsWindow(owner));
  EXPECT_FALSE(IsWindow(owned));
  std::vector<std::pair<HWND, UINT>> expected = {
      {owned, WM_DESTROY}, {owned, WM_NCDESTROY}, {owner, WM_DESTROY}, {owner, WM_NCDESTROY}};
  EXPECT_EQ(log_, expected);
  // A dead handle is refused with the Windows error code.
  EXPECT_FALSE(PostMessageW(owner, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(WindowTest, UnknownClassFails) {
  EXPECT_EQ(
      CreateWindowExW(0, L"NoSuchClass", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
      nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST));
}

TEST_F(WindowTest, PlacementVisibilityAndSystemCommands) {
  HWND h = Make();
  RECT r;
  ASSERT_TRUE(GetWindowRect(h, &r));
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.bottom, 220);
  ASSERT_TRUE(MoveWindow(h, 5, 6, 100, 50, TRUE));
  ASSERT_TRUE(GetClientRect(h, &r));
  EXPECT_EQ(r.right, 100);
  EXPECT_EQ(r.bottom, 50);
  POINT p = {1, 2};
  ClientToScreen(h, &p);
  EXPECT_EQ(p.x, 6);
  EXPECT_EQ(p.y, 8);

  EXPECT_FALSE(IsWindowVisible(h));
  EXPECT_FALSE(ShowWindow(h, SW_SHOW));  // previous state: hidden
  EXPECT_TRUE(IsWindowVisible(h));
  SendMessageW(h, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(IsIconic(h));
  SendMessageW(h, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_FALSE(IsIconic(h));
  EnableWindow(h, FALSE);
  EXPECT_FALSE(IsWindowEnabled(h));
  EXPECT_TRUE(EnableWindow(h, TRUE));  // was disabled
  SetWindowTextW(h, L"标题");
  wchar_t title[16];
  EXPECT_EQ(GetWindowTextW(h, title, 16), 2);
  EXPECT_EQ(std::wstring(title), L"标题");
  // SC_CLOSE goes through WM_CLOSE, whose default destroys the window.
  SendMessageW(h, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_FALSE(IsWindow(h));
}

// Minimising a window hides the windows it owns (a hidden one stays hidden)
// and restoring brings back exactly those it hid.
TEST_F(WindowTest, OwnedWindowsHideAndShowWithTheirMinimisedOwner) {
  HWND owner = Make();
  HWND shown = Make(owner);
  HWND hidden = Make(owner);
  ShowWindow(owner, SW_SHOW);
  ShowWindow(shown, SW_SHOW);
  SendMessageW(owner, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(IsIconic(owner));
  EXPECT_FALSE(IsWindowVisible(shown));
  SendMessageW(owner, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_FALSE(IsIconic(owner));
  EXPECT_TRUE(IsWindowVisible(shown));
  EXPECT_FALSE(IsWindowVisible(hidden));
  DestroyWindow(owner);
  EXPECT_FALSE(IsWindow(shown));
}

TEST_F(WindowTest, TopMostBandKeepsItsOrder) {
  HWND a = Make();
  HWND b = Make();
  HWND c = Make();
  auto order = [] {
    std::vector<HWND> out;
    EnumWindows(
        [](HWND h, LPARAM p) {
          reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&out));
    return out;
  };
  auto pos = [&](HWND h) {
    auto o = order();
    return std::find(o.begin(), o.end(), h) - o.begin();
  };
  EXPECT_LT(pos(c), pos(b));
  EXPECT_LT(pos(b), pos(a));
  SetWindowPos(a, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_LT(pos(a), pos(c));
  EXPECT_TRUE(GetWindowLongPtrW(a, GWL_EXSTYLE) & WS_EX_TOPMOST);
  // A normal window raised to the top still stays under the top-most one.
  SetWindowPos(b, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_LT(pos(a), pos(b));
  EXPECT_LT(pos(b), pos(c));
  SetWindowPos(a, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_FALSE(GetWindowLongPtrW(a, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_LT(pos(a), pos(b));
  // Position and size are kept when only the order changes.
  RECT r;
  GetWindowRect(a, &r);
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.right, 310);
}

TEST(ScreenMetricsTest, ScreenAndTaskbarFromEnvironment) {
  struct Case {
    const char* screen;
    const char* taskbar;
    int cx;
    int cy;
    RECT bar;
    RECT work;
  };
  const Case cases[] = {
      {nullptr, nullptr, 1920, 1080, {0, 1040, 1920, 1080}, {0, 0, 1920, 1040}},
      {"1280x720", "0,0,1280,30", 1280, 720, {0, 0, 1280, 30}, {0, 30, 1280, 720}},
      {"bogus", "1,2", 1920, 1080, {0, 1040, 1920, 1080}, {0, 0, 1920, 1040}},
  };
  for (const Case& c : cases) {
    if (c.screen)
      setenv("TERN_SCREEN_SIZE", c.screen, 1);
    else
      unsetenv("TERN_SCREEN_SIZE");
    if (c.taskbar)
      setenv("TERN_TASKBAR_RECT", c.taskbar, 1);
    else
      unsetenv("TERN_TASKBAR_RECT");
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), c.cx);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), c.cy);
    HWND bar = FindWindowW(L"Shell_TrayWnd", nullptr);
    ASSERT_NE(bar, nullptr);
    RECT r;
    ASSERT_TRUE(GetWindowRect(bar, &r));
    EXPECT_TRUE(EqualRect(&r, &c.bar)) << (c.taskbar ? c.taskbar : "default");
    RECT work;
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
    EXPECT_TRUE(EqualRect(&work, &c.work));
  }
  unsetenv("TERN_SCREEN_SIZE");
  unsetenv("TERN_TASKBAR_RECT");
}

}  // namespace

namespace {

TEST(ResourceTest, FindsRegisteredBytesByNameOrNumber) {
  static const char kZip[] = {'P', 'K', 3, 4, 'd', 'a', 't', 'a'};
  win32::RegisterResource(L"IDR_ZIPRES", L"ZIPRES", kZip, 8);
  win32::RegisterResource(MAKEINTRESOURCEW(139), L"ICON", kZip, 2);
  struct Case {
    LPCWSTR name;
    LPCWSTR type;
    DWORD size;
  };
  const Case cases[] = {{L"IDR_ZIPRES", L"ZIPRES", 8},
                        {MAKEINTRESOURCEW(139), L"ICON", 2},
                        {L"#139", L"ICON", 2},
                        {L"IDR_ZIPRES", L"xml", 0},
                        {L"IDR_RES", L"ZIPRES", 0}};
  for (const Case& c : cases) {
    HRSRC r = FindResourceW(nullptr, c.name, c.type);
    EXPECT_EQ(SizeofResource(nullptr, r), c.size);
    if (c.size) {
      EXPECT_EQ(LockResource(LoadResource(nullptr, r)), static_cast<const void*>(kZip));
    } else {
      EXPECT_EQ(r, nullptr);
    }
  }
}

TEST(MessageBoxTest, PlainBoxRunsModallyAndAnswersCommandsAndKeys) {
  struct Case {
    UINT type;
    UINT message;
    WPARAM wparam;
    int expected;
  };
  const Case cases[] = {{MB_OKCANCEL, WM_COMMAND, IDCANCEL, IDCANCEL},
                        {MB_OKCANCEL, WM_KEYDOWN, VK_RETURN, IDOK},
                        {MB_OKCANCEL, WM_KEYDOWN, VK_ESCAPE, IDCANCEL},
                        {MB_OK, WM_KEYDOWN, VK_ESCAPE, IDOK}};
  for (const Case& c : cases) {
    static const Case* current;
    current = &c;
    UINT_PTR timer = SetTimer(nullptr, 0, 10, [](HWND, UINT, UINT_PTR, DWORD) {
      HWND box = FindWindowW(WC_MESSAGEBOX, nullptr);
      std::wstring text;
      if (box && win32::GetMessageBoxText(box, &text) && text == L"更新?")
        PostMessageW(box, current->message, current->wparam, 0);
    });
    EXPECT_EQ(MessageBoxW(nullptr, L"更新?", L"更新提示", c.type), c.expected);
    KillTimer(nullptr, timer);
    EXPECT_EQ(FindWindowW(WC_MESSAGEBOX, nullptr), nullptr);
  }
}

}  // namespace
