#include <cairo.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "duilib/UIlib.h"
#include "duilib/presenter.h"
#include "duilib/test_window_for_testing.h"

namespace DuiLib {
namespace {

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (!CPaintManagerUI::TranslateMessage(&msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

const wchar_t kForm[] =
    LR"(<Window size="300,400" caption="0,0,0,30">
  <VerticalLayout name="root">
    <Label name="title" height="30" text="t"/>
    <Edit name="account_edit" height="30" maxchar="5"/>
    <Edit name="passwd_edit" height="30" password="true"/>
    <HorizontalLayout height="30">
      <Option name="a" group="g" selected="true"/>
      <Option name="b" group="g"/>
      <CheckBox name="check"/>
    </HorizontalLayout>
    <HorizontalLayout height="30">
      <Button name="btn"/>
      <Button name="mapped_btn"/>
      <Button name="off_btn" enabled="false"/>
    </HorizontalLayout>
    <List name="list" height="60">
      <ListLabelElement name="i0" text="zero" height="24"/>
      <ListLabelElement name="i1" text="one" height="24"/>
      <ListLabelElement name="i2" text="two" height="24"/>
      <ListLabelElement name="i3" text="three" height="24"/>
    </List>
    <TabLayout name="tabs"><Control name="p0"/><Control name="p1"/></TabLayout>
  </VerticalLayout>
</Window>)";

class ControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wnd_ = std::make_unique<TestWindowForTesting>(kForm);
    ASSERT_NE(wnd_->CreateHidden(), nullptr);
    wnd_->ShowWindow(true);
    Pump();
    wnd_->events.clear();
  }
  void TearDown() override {
    if (IsWindow(wnd_->GetHWND()))
      DestroyWindow(wnd_->GetHWND());
  }
  std::vector<std::wstring> Take() {
    std::vector<std::wstring> out;
    out.swap(wnd_->events);
    return out;
  }
  std::unique_ptr<TestWindowForTesting> wnd_;
};

TEST_F(ControlsTest, WindowInitComesFirstWithTheRootAsSender) {
  TestWindowForTesting other(kForm, L"OtherWnd");
  ASSERT_NE(other.CreateHidden(), nullptr);
  Pump();
  EXPECT_TRUE(other.events.empty()) << "a hidden window has not painted";
  other.ShowWindow(true);
  Pump();
  ASSERT_FALSE(other.events.empty());
  EXPECT_EQ(other.events.front(), L"windowinit:root");
  DestroyWindow(other.GetHWND());
}

TEST_F(ControlsTest, ClickNotifiesFocusThenClickAndSkipsDisabled) {
  wnd_->ClickAt(L"btn");
  EXPECT_EQ(Take(), (std::vector<std::wstring>{L"setfocus:btn", L"click:btn"}));
  wnd_->ClickAt(L"off_btn");
  EXPECT_TRUE(Take().empty());
  // Pressing, moving off and releasing elsewhere is no click.
  RECT r = wnd_->Find(L"btn")->GetPos();
  SendMessageW(wnd_->GetHWND(), WM_LBUTTONDOWN, 0, MAKELPARAM(r.left + 2, r.top + 2));
  SendMessageW(wnd_->GetHWND(), WM_LBUTTONUP, 0, MAKELPARAM(r.left + 2, r.bottom + 50));
  EXPECT_TRUE(Take().empty());
}

TEST_F(ControlsTest, ClickMapIsConsultedBeforeNotify) {
  wnd_->ClickAt(L"mapped_btn");
  EXPECT_EQ(wnd_->map_hits, (std::vector<std::wstring>{L"mapped_btn"}));
  // The mapped click does not reach Notify; the focus change does.
  EXPECT_EQ(Take(), (std::vector<std::wstring>{L"setfocus:mapped_btn"}));
}

TEST_F(ControlsTest, OptionGroupsAreExclusive) {
  auto* a = static_cast<COptionUI*>(wnd_->Find(L"a"));
  auto* b = static_cast<COptionUI*>(wnd_->Find(L"b"));
  auto* check = static_cast<CCheckBoxUI*>(wnd_->Find(L"check"));
  wnd_->ClickAt(L"b");
  EXPECT_FALSE(a->IsSelected());
  EXPECT_TRUE(b->IsSelected());
  // Click comes before the change; the cleared option reports first.
  EXPECT_EQ(Take(), (std::vector<std::wstring>{L"setfocus:b", L"click:b", L"selectchanged:a",
                                               L"selectchanged:b"}));
  // Clicking the selected option of a group keeps it selected.
  wnd_->ClickAt(L"b");
  EXPECT_TRUE(b->IsSelected());
  EXPECT_EQ(Take(), (std::vector<std::wstring>{L"click:b"}));
  // A check box toggles and leaves the group alone.
  wnd_->ClickAt(L"check");
  wnd_->ClickAt(L"check");
  EXPECT_FALSE(check->GetCheck());
  EXPECT_TRUE(b->IsSelected());
  EXPECT_EQ(Take(), (std::vector<std::wstring>{L"killfocus:b", L"setfocus:check", L"click:check",
                                               L"selectchanged:check", L"click:check",
                                               L"selectchanged:check"}));
}

TEST_F(ControlsTest, EditTypingLimitsPasswordAndReturn) {
  auto* edit = static_cast<CEditUI*>(wnd_->Find(L"account_edit"));
  auto* pass = static_cast<CEditUI*>(wnd_->Find(L"passwd_edit"));
  wnd_->ClickAt(L"account_edit");
  for (wchar_t c : std::wstring(L"1234567"))
    SendMessageW(wnd_->GetHWND(), WM_CHAR, c, 0);
  EXPECT_EQ(edit->GetText().str(), L"12345");  // maxchar 5
  SendMessageW(wnd_->GetHWND(), WM_KEYDOWN, VK_LEFT, 0);
  SendMessageW(wnd_->GetHWND(), WM_CHAR, VK_BACK, 0);
  EXPECT_EQ(edit->GetText().str(), L"1235");
  EXPECT_EQ(edit->GetCaret(), 3);
  SendMessageW(wnd_->GetHWND(), WM_CHAR, L'\r', 0);
  std::vector<std::wstring> events = Take();
  std::vector<std::wstring> expected = {L"setfocus:account_edit"};
  for (int i = 0; i < 5; ++i)
    expected.push_back(L"textchanged:account_edit");
  expected.push_back(L"textchanged:account_edit");  // the backspace
  expected.push_back(L"return:account_edit");
  EXPECT_EQ(events, expected);
  // SetText does not notify; selection is replaced by typing.
  edit->SetText(L"abc");
  edit->SetSel(0, 2);
  SendMessageW(wnd_->GetHWND(), WM_CHAR, L'x', 0);
  EXPECT_EQ(edit->GetText().str(), L"xc");
  // Passwords are masked when drawn, kept when read.
  wnd_->ClickAt(L"passwd_edit");
  for (wchar_t c : std::wstring(L"秘密pw"))
    SendMessageW(wnd_->GetHWND(), WM_CHAR, c, 0);
  EXPECT_EQ(pass->GetText().str(), L"秘密pw");
  EXPECT_EQ(pass->GetDisplayText(), L"****");
  EXPECT_FALSE(edit->IsFocused());
  // Read-only and disabled edits ignore typing.
  pass->SetReadOnly(true);
  SendMessageW(wnd_->GetHWND(), WM_CHAR, L'z', 0);
  EXPECT_EQ(pass->GetText().str(), L"秘密pw");
}

TEST_F(ControlsTest, ListSelectionAndScrolling) {
  auto* list = static_cast<CListUI*>(wnd_->Find(L"list"));
  wnd_->ClickAt(L"i1");
  EXPECT_EQ(list->GetCurSel(), 1);
  std::vector<std::wstring> events = Take();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events[1], L"itemselect:list");
  // Selecting an item below the view scrolls it into view.
  EXPECT_TRUE(list->SelectItem(3));
  wnd_->pm().PaintNow();
  RECT view = list->GetPos();
  RECT item = list->GetItemAt(3)->GetPos();
  EXPECT_LE(item.bottom, view.bottom);
  EXPECT_GE(item.top, view.top);
  EXPECT_GT(list->GetScrollPos(), 0);
  // Out of range changes nothing.
  EXPECT_FALSE(list->SelectItem(9));
  EXPECT_EQ(list->GetCurSel(), 3);
  list->RemoveAt(3);
  EXPECT_EQ(list->GetCurSel(), -1);
  EXPECT_EQ(static_cast<IListItemUI*>(list->GetItemAt(2)->GetInterface(L"ListItem"))->GetIndex(),
            2);
}

TEST_F(ControlsTest, TabSwitchNotifiesAndMovesFocusAway) {
  auto* tabs = static_cast<CTabLayoutUI*>(wnd_->Find(L"tabs"));
  wnd_->ClickAt(L"btn");
  Take();
  tabs->SelectItem(1);
  EXPECT_EQ(Take(), (std::vector<std::wstring>{L"killfocus:btn", L"tabselect:tabs"}));
  EXPECT_TRUE(wnd_->Find(L"p1")->IsVisible());
  EXPECT_FALSE(wnd_->Find(L"p0")->IsVisible());
}

TEST_F(ControlsTest, ControlTimersTickUntilKilled) {
  CControlUI* title = wnd_->Find(L"title");
  ASSERT_TRUE(wnd_->pm().SetTimer(title, 101, 10));
  EXPECT_TRUE(wnd_->pm().HasTimerForTesting(title, 101));
  MSG msg;
  int ticks = 0;
  while (ticks < 3 && GetMessageW(&msg, nullptr, 0, 0)) {
    DispatchMessageW(&msg);
    for (auto& e : Take())
      ticks += e == L"timer:title";
  }
  EXPECT_EQ(ticks, 3);
  EXPECT_TRUE(wnd_->pm().KillTimer(title, 101));
  EXPECT_FALSE(wnd_->pm().KillTimer(title, 101));
  // Removing a control drops its timers.
  wnd_->pm().SetTimer(wnd_->Find(L"i0"), 7, 10);
  static_cast<CListUI*>(wnd_->Find(L"list"))->RemoveAt(0);
  EXPECT_FALSE(wnd_->pm().HasTimerForTesting(nullptr, 7));
}

TEST_F(ControlsTest, OnlyTheInvalidatedControlIsRepainted) {
  wnd_->pm().PaintNow();
  int before = wnd_->pm().PaintCountForTesting();
  CControlUI* title = wnd_->Find(L"title");
  title->SetText(L"changed");
  Pump();
  EXPECT_EQ(wnd_->pm().PaintCountForTesting(), before + 1);
  RECT painted = wnd_->pm().LastPaintRectForTesting();
  RECT pos = title->GetPos();
  EXPECT_TRUE(EqualRect(&painted, &pos));
  // Nothing changed, nothing painted.
  Pump();
  EXPECT_EQ(wnd_->pm().PaintCountForTesting(), before + 1);
}

// Texts that do not fit one line: a rich edit without a height takes the room
// of its layout, a word-breaking label grows to its wrapped lines, and both
// are taller than a single-line label.
TEST(TextLayoutTest, MultiLineTextsAreNotCutToOneLine) {
  const wchar_t kBox[] =
      LR"(<Window size="400,186">
  <VerticalLayout>
    <Label name="one_line" text="x"/>
    <Label name="wrapped" wordbreak="true" width="300"/>
    <HorizontalLayout inset="22,16,22,0" childpadding="14">
      <Control width="40" height="40"/>
      <RichEdit name="tips" readonly="true" multiline="true"/>
    </HorizontalLayout>
    <Control height="54"/>
  </VerticalLayout>
</Window>)";
  TestWindowForTesting wnd(kBox);
  ASSERT_NE(wnd.CreateHidden(), nullptr);
  const wchar_t kLong[] =
      L"温馨提示：登录过于频繁，请使用手机短信验证码进行验证登录，点击确定将跳转到短信验证登录界面"
      L"。";
  wnd.Find(L"wrapped")->SetText(kLong);
  wnd.Find(L"tips")->SetText(kLong);
  wnd.pm().PaintNow();
  RECT one = wnd.Find(L"one_line")->GetPos();
  RECT wrapped = wnd.Find(L"wrapped")->GetPos();
  RECT tips = wnd.Find(L"tips")->GetPos();
  int line = one.bottom - one.top;
  EXPECT_GT(wrapped.bottom - wrapped.top, line + line / 2);
  EXPECT_EQ(tips.bottom, 186 - 54);
  // The whole text wraps into the rich edit's width and fits its height.
  SIZE need = CRenderEngine::GetTextSize(&wnd.pm(), kLong, -1, tips.right - tips.left);
  EXPECT_GT(need.cy, line);
  EXPECT_LE(need.cy, tips.bottom - tips.top);
  DestroyWindow(wnd.GetHWND());
}

TEST(TextLayoutTest, LatinTextUsesALatinFaceAndChineseTheCjkFace) {
  TestWindowForTesting wnd(
      L"<Window size=\"10,10\"><Font id=\"0\" name=\"微软雅黑\" size=\"12\" "
      L"default=\"true\"/><Control/></Window>");
  ASSERT_NE(wnd.CreateHidden(), nullptr);
  EXPECT_EQ(CRenderEngine::FontFamiliesForTesting(&wnd.pm(), L"Tern", 0),
            (std::vector<std::string>{"DejaVu Sans"}));
  std::vector<std::string> mixed =
      CRenderEngine::FontFamiliesForTesting(&wnd.pm(), L"小Tern加速", 0);
  ASSERT_EQ(mixed.size(), 3u);
  EXPECT_EQ(mixed[0], "WenQuanYi Zen Hei");
  EXPECT_EQ(mixed[1], "DejaVu Sans");
  EXPECT_EQ(mixed[2], "WenQuanYi Zen Hei");
  DestroyWindow(wnd.GetHWND());
}

// A worker thread that sets or reads controls has the work done on the
// window's thread, waiting for it; once that thread left its loop the call
// does nothing instead of hanging.
TEST_F(ControlsTest, WorkerThreadControlCallsRunOnTheWindowThread) {
  CControlUI* title = wnd_->Find(L"title");
  CControlUI* edit = wnd_->Find(L"account_edit");
  edit->SetText(L"12");
  std::wstring read;
  std::thread worker([&] {
    title->SetText(L"from worker");
    edit->SetEnabled(false);
    read = edit->GetText().str();
    PostMessageW(wnd_->GetHWND(), WM_NULL, 0, 0);
  });
  MSG msg;
  while (read.empty() && GetMessageW(&msg, nullptr, 0, 0))
    DispatchMessageW(&msg);
  worker.join();
  EXPECT_EQ(read, L"12");
  EXPECT_EQ(title->GetText(), L"from worker");
  EXPECT_FALSE(edit->IsEnabled());
  // Leaving the loop: the worker's call returns at once and changes nothing.
  PostQuitMessage(0);
  while (GetMessageW(&msg, nullptr, 0, 0))
    DispatchMessageW(&msg);
  std::thread late([&] { title->SetText(L"late"); });
  late.join();
  EXPECT_EQ(title->GetText(), L"from worker");
  // Asking for messages again takes sends again (for the tests that follow).
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
}

// Tab and Shift+Tab walk the tab stops in the window file's order, wrapping;
// a tab character never reaches an edit.
TEST_F(ControlsTest, TabMovesFocusInTheWindowsOrder) {
  HWND h = wnd_->GetHWND();
  auto key = [&](bool shift) {
    LPARAM mods = shift ? (static_cast<LPARAM>(MK_SHIFT) << 24) : 0;
    SendMessageW(h, WM_KEYDOWN, VK_TAB, mods);
    SendMessageW(h, WM_CHAR, L'\t', mods);
  };
  wnd_->Find(L"account_edit")->SetFocus();
  key(false);
  EXPECT_EQ(wnd_->pm().GetFocus(), wnd_->Find(L"passwd_edit"));
  EXPECT_EQ(wnd_->Find(L"account_edit")->GetText(), L"");
  key(false);
  EXPECT_EQ(wnd_->pm().GetFocus(), wnd_->Find(L"a"));
  key(true);
  key(true);
  EXPECT_EQ(wnd_->pm().GetFocus(), wnd_->Find(L"account_edit"));
  // Backwards from the first stop wraps to the last enabled one.
  key(true);
  EXPECT_EQ(wnd_->pm().GetFocus(), wnd_->Find(L"mapped_btn"));
}

// Copy and paste through the clipboard between two windows; a password edit
// never copies or cuts, but takes a paste.
TEST_F(ControlsTest, ClipboardRoundTripAndPasswordsNeverCopy) {
  TestWindowForTesting other(kForm, L"OtherWnd");
  ASSERT_NE(other.CreateHidden(), nullptr);
  auto ctrl = [](HWND h, wchar_t key) {
    SendMessageW(h, WM_KEYDOWN, key, static_cast<LPARAM>(MK_CONTROL) << 24);
  };
  auto* from = static_cast<CEditUI*>(wnd_->Find(L"account_edit"));
  from->SetText(L"13800");
  from->SetFocus();
  ctrl(wnd_->GetHWND(), 'A');
  ctrl(wnd_->GetHWND(), 'C');
  auto* to = other.Find(L"account_edit");
  to->SetFocus();
  ctrl(other.GetHWND(), 'V');
  EXPECT_EQ(to->GetText(), L"13800");

  auto* secret = wnd_->Find(L"passwd_edit");
  secret->SetText(L"hunter2");
  secret->SetFocus();
  ctrl(wnd_->GetHWND(), 'A');
  ctrl(wnd_->GetHWND(), 'C');
  ctrl(wnd_->GetHWND(), 'X');
  EXPECT_EQ(secret->GetText(), L"hunter2");
  EXPECT_EQ(CPresenter::GetClipboardText(), L"13800");
  // Cut from a normal edit moves the text; a paste into the password edit works.
  from->SetFocus();
  ctrl(wnd_->GetHWND(), 'A');
  ctrl(wnd_->GetHWND(), 'X');
  EXPECT_EQ(from->GetText(), L"");
  secret->SetFocus();
  ctrl(wnd_->GetHWND(), 'A');
  ctrl(wnd_->GetHWND(), 'V');
  EXPECT_EQ(secret->GetText(), L"13800");
  DestroyWindow(other.GetHWND());
}

// Chinese input: the pre-edit shows at the caret (drawn, not typed), the
// caret rectangle for the input method follows it, and the composed text
// arrives as ordinary characters. A password edit shows no pre-edit.
TEST_F(ControlsTest, InputMethodPreEditShowsAtTheCaret) {
  auto* edit = static_cast<CEditUI*>(wnd_->Find(L"account_edit"));
  edit->SetText(L"ab");
  edit->SetFocus();
  RECT window;
  GetWindowRect(wnd_->GetHWND(), &window);
  // Text pixels right of the caret, in the caret's line.
  auto inked_after_caret = [&](RECT caret) {
    wnd_->pm().PaintNow();
    cairo_surface_t* s = wnd_->pm().GetSurface();
    const unsigned char* data = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    int inked = 0;
    for (int y = caret.top - window.top; y < caret.bottom - window.top; ++y) {
      for (int x = caret.left - window.left + 2; x < caret.left - window.left + 40; ++x) {
        const unsigned char* px = data + y * stride + x * 4;
        if (px[3] > 0 && px[0] < 128 && px[1] < 128 && px[2] < 128)
          ++inked;
      }
    }
    return inked;
  };
  RECT before = wnd_->pm().SetComposition(L"");
  EXPECT_EQ(inked_after_caret(before), 0);
  RECT caret = wnd_->pm().SetComposition(L"zhong");
  EXPECT_EQ(edit->GetComposition(), L"zhong");
  EXPECT_EQ(edit->GetText(), L"ab");
  EXPECT_EQ(caret.left, before.left);
  EXPECT_GT(inked_after_caret(caret), 20);
  wnd_->pm().SetComposition(L"");
  SendMessageW(wnd_->GetHWND(), WM_CHAR, L'中', 0);
  EXPECT_EQ(edit->GetText(), L"ab中");
  EXPECT_TRUE(edit->GetComposition().empty());

  auto* secret = static_cast<CEditUI*>(wnd_->Find(L"passwd_edit"));
  secret->SetFocus();
  wnd_->pm().SetComposition(L"mima");
  EXPECT_TRUE(secret->GetComposition().empty());
}

// Dragging the list's scroll bar thumb scrolls it in proportion, clamped to
// the range, and the press does not select the row beneath.
TEST_F(ControlsTest, ScrollBarThumbDrags) {
  auto* list = static_cast<CListUI*>(wnd_->Find(L"list")->GetInterface(L"List"));
  wnd_->pm().PaintNow();
  ASSERT_GT(list->GetScrollRange(), 0);
  RECT thumb = list->GetScrollThumbRect();
  ASSERT_FALSE(IsRectEmpty(&thumb));
  int x = (thumb.left + thumb.right) / 2;
  int y = (thumb.top + thumb.bottom) / 2;
  int selected = list->GetCurSel();
  HWND h = wnd_->GetHWND();
  SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
  SendMessageW(h, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, y + 10));
  int mid = list->GetScrollPos();
  EXPECT_GT(mid, 0);
  EXPECT_LT(mid, list->GetScrollRange());
  SendMessageW(h, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, y + 500));
  EXPECT_EQ(list->GetScrollPos(), list->GetScrollRange());
  SendMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(x, y + 500));
  SendMessageW(h, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
  EXPECT_EQ(list->GetScrollPos(), list->GetScrollRange());  // the drag ended
  EXPECT_EQ(list->GetCurSel(), selected);
}

}  // namespace
}  // namespace DuiLib
