#include "duilib/message_box_wnd.h"

#include "duilib/automation_server.h"
#include "duilib/button_ui.h"
#include "duilib/label_ui.h"

namespace DuiLib {
namespace {

const wchar_t kLayout[] =
    LR"(<Window size="360,170" caption="0,0,0,32">
  <VerticalLayout bkcolor="#FFFFFFFF" bordersize="1" bordercolor="#FF2B88D8">
    <Label name="msgbox_title" height="32" bkcolor="#FF2B88D8" textcolor="#FFFFFFFF" textpadding="10,0,10,0"/>
    <Text name="msgbox_text" textpadding="16,16,16,8" textcolor="#FF333333"/>
    <HorizontalLayout height="44" inset="0,6,12,10" childpadding="10">
      <Control/>
      <Button name="msgbox_ok" text="确定" width="80" bkcolor="#FF2B88D8" hotbkcolor="#FF1E6FB5" textcolor="#FFFFFFFF"/>
      <Button name="msgbox_cancel" text="取消" width="80" bkcolor="#FFE5E5E5" hotbkcolor="#FFD0D0D0" textcolor="#FF333333"/>
    </HorizontalLayout>
  </VerticalLayout>
</Window>)";

// Boxes asked for before the library is set up (the start-up boxes, shown
// before any window exists) are drawn and reachable as well.
[[maybe_unused]] const bool g_installed = [] {
  win32::SetMessageBoxImplementation(&CMessageBoxWnd::Show);
  return true;
}();

}  // namespace

CMessageBoxWnd::CMessageBoxWnd(const wchar_t* text, const wchar_t* caption, UINT type)
    : text_(text ? text : L""), caption_(caption ? caption : L""), type_(type) {}

int CMessageBoxWnd::Show(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  automation::StartFromEnvironment();
  CMessageBoxWnd box(text, caption, type);
  if (!box.Create(owner, caption, UI_WNDSTYLE_DIALOG & ~WS_VISIBLE,
                  (type & MB_TOPMOST) ? WS_EX_TOPMOST : 0))
    return 0;
  box.CenterWindow();
  return static_cast<int>(box.ShowModal());
}

CDuiString CMessageBoxWnd::GetSkinFile() {
  return kLayout;
}

UINT CMessageBoxWnd::CancelCode() const {
  return (type_ & 0xF) == MB_OKCANCEL ? IDCANCEL : IDOK;
}

void CMessageBoxWnd::InitWindow() {
  if (auto* title = m_pm.FindControl(L"msgbox_title"))
    title->SetText(caption_.c_str());
  if (auto* text = m_pm.FindControl(L"msgbox_text"))
    text->SetText(text_.c_str());
  if (auto* cancel = m_pm.FindControl(L"msgbox_cancel"))
    cancel->SetVisible((type_ & 0xF) == MB_OKCANCEL);
  win32::SetMessageBoxTextForWindow(m_hWnd, text_);
}

void CMessageBoxWnd::Notify(TNotifyUI& msg) {
  if (msg.sType != DUI_MSGTYPE_CLICK || !msg.pSender)
    return;
  if (msg.pSender->GetName() == L"msgbox_ok")
    Close(IDOK);
  else if (msg.pSender->GetName() == L"msgbox_cancel")
    Close(IDCANCEL);
}

LRESULT CMessageBoxWnd::MessageHandler(UINT msg, WPARAM wparam, LPARAM, bool& handled) {
  if (msg == WM_KEYDOWN && (wparam == VK_RETURN || wparam == VK_ESCAPE)) {
    Close(wparam == VK_RETURN ? IDOK : CancelCode());
    handled = true;
  }
  return 0;
}

LRESULT CMessageBoxWnd::HandleCustomMessage(UINT msg, WPARAM wparam, LPARAM, BOOL& handled) {
  handled = FALSE;
  if (msg == WM_COMMAND && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
    Close(LOWORD(wparam));
    handled = TRUE;
  }
  return 0;
}

LRESULT CMessageBoxWnd::OnDestroy(UINT, WPARAM, LPARAM, BOOL& handled) {
  win32::SetMessageBoxTextForWindow(m_hWnd, L"");
  handled = FALSE;
  return 0;
}

}  // namespace DuiLib
