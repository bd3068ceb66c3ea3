#include "client/windows/my_message_box.h"

MyMessageBox::MyMessageBox(const std::wstring& text) : text_(text) {}

MyMessageBox::~MyMessageBox() {
  // A modal run ended by WM_QUIT leaves the window alive.
  if (::IsWindow(m_hWnd))
    ::DestroyWindow(m_hWnd);
}

int MyMessageBox::show(HWND parent, const std::wstring& text) {
  MyMessageBox box(text);
  if (!box.Create(parent, L"MyMessageBox", UI_WNDSTYLE_DIALOG & ~WS_VISIBLE, WS_EX_WINDOWEDGE))
    return kClosed;
  box.CenterWindow();
  // Only the confirm paths close with kConfirmed; the system close, a quit
  // or a failed run all count as closing.
  return box.ShowModal() == kConfirmed ? kConfirmed : kClosed;
}

void MyMessageBox::InitWindow() {
  if (auto* tips = m_pm.FindControl(L"tips_rich_edit"))
    tips->SetText(text_.c_str());
  if (auto* title = m_pm.FindControl(L"version_label"))
    title->SetText(L"Tern智能加速器");
}

void MyMessageBox::Notify(DuiLib::TNotifyUI& msg) {
  if (msg.sType != DUI_MSGTYPE_CLICK || !msg.pSender)
    return;
  DuiLib::CDuiString name = msg.pSender->GetName();
  if (name == L"confirm_button")
    Close(kConfirmed);
  else if (name == L"close_button")
    Close(kClosed);
}

LRESULT MyMessageBox::MessageHandler(UINT msg, WPARAM wparam, LPARAM, bool& handled) {
  if (msg != WM_KEYDOWN)
    return FALSE;
  if (wparam == VK_RETURN) {
    Close(kConfirmed);
    handled = true;
    return TRUE;
  }
  if (wparam == VK_ESCAPE) {
    Close(kClosed);
    handled = true;
    return TRUE;
  }
  return FALSE;
}
