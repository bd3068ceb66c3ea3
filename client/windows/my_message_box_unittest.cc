#include "client/windows/my_message_box.h"

#include <gtest/gtest.h>

#include <functional>

#include "client/windows/frame_test_util.h"
#include "duilib/control_ui.h"

namespace {

// Runs once the box's modal loop is pumping.
std::function<void(HWND)>* g_answer = nullptr;
std::wstring* g_seen_text = nullptr;

VOID CALLBACK AnswerBox(HWND, UINT, UINT_PTR id, DWORD) {
  HWND box = FindWindowW(L"Message Box", nullptr);
  if (!box)
    return;  // not up yet; the timer fires again
  KillTimer(nullptr, id);
  if (g_seen_text) {
    auto* self = reinterpret_cast<DuiLib::WindowImplBase*>(GetWindowLongPtrW(box, GWLP_USERDATA));
    DuiLib::CControlUI* tips = self->GetPaintManager()->FindControl(L"tips_rich_edit");
    DuiLib::CControlUI* title = self->GetPaintManager()->FindControl(L"version_label");
    *g_seen_text =
        (tips ? tips->GetText().str() : L"?") + L"|" + (title ? title->GetText().str() : L"?");
  }
  (*g_answer)(box);
}

int ShowAndAnswer(std::function<void(HWND)> answer, std::wstring* seen = nullptr) {
  g_answer = &answer;
  g_seen_text = seen;
  SetTimer(nullptr, 0, 1, AnswerBox);
  int result = MyMessageBox::show(nullptr, L"温馨提示：登录过于频繁");
  g_answer = nullptr;
  g_seen_text = nullptr;
  return result;
}

void Click(HWND box, const wchar_t* name) {
  auto* self = reinterpret_cast<DuiLib::WindowImplBase*>(GetWindowLongPtrW(box, GWLP_USERDATA));
  DuiLib::CControlUI* button = self->GetPaintManager()->FindControl(name);
  ASSERT_NE(button, nullptr);
  ASSERT_TRUE(button->Activate());
}

TEST(MyMessageBoxTest, AnswersByKeyButtonAndClose) {
  ASSERT_TRUE(SetUpClientSkinForTesting());
  struct Case {
    const char* what;
    std::function<void(HWND)> answer;
    int expected;
  };
  const Case cases[] = {
      {"Enter", [](HWND box) { PostMessageW(box, WM_KEYDOWN, VK_RETURN, 0); }, 1},
      {"Escape", [](HWND box) { PostMessageW(box, WM_KEYDOWN, VK_ESCAPE, 0); }, 2},
      {"confirm_button", [](HWND box) { Click(box, L"confirm_button"); }, 1},
      {"close_button", [](HWND box) { Click(box, L"close_button"); }, 2},
      {"system close", [](HWND box) { PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0); }, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ShowAndAnswer(c.answer), c.expected);
    EXPECT_EQ(FindWindowW(L"Message Box", nullptr), nullptr) << "the box is gone";
  }
}

TEST(MyMessageBoxTest, ShowsTheTextUnderTheProductTitle) {
  ASSERT_TRUE(SetUpClientSkinForTesting());
  std::wstring seen;
  EXPECT_EQ(ShowAndAnswer([](HWND box) { PostMessageW(box, WM_KEYDOWN, VK_RETURN, 0); }, &seen), 1);
  EXPECT_EQ(seen, L"温馨提示：登录过于频繁|Tern智能加速器");
}

}  // namespace
