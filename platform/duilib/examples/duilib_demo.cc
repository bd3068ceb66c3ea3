// duilib-demo: a skinned window built from the ZIP archive embedded in the
// program. Run it with a display to click it, or with TERN_HEADLESS=1 and
// TERN_AUTOMATION=<socket> to drive it with tern-automate.
#include <cstdio>
#include <string>

#include "base/message_loop.h"
#include "duilib/UIlib.h"
#include "win32/message_box.h"
#include "win32/resource.h"
#include "win32/screen_metrics.h"

namespace {

using namespace DuiLib;

class CDemoWnd : public WindowImplBase {
 protected:
  const wchar_t* GetWindowClassName() const override { return L"DemoWnd"; }
  CDuiString GetSkinFile() override { return L"DemoWnd.xml"; }

  void InitWindow() override {
    status_ = static_cast<CLabelUI*>(m_pm.FindControl(L"status_label"));
    account_ = static_cast<CEditUI*>(m_pm.FindControl(L"account_edit"));
    pages_ = static_cast<CTabLayoutUI*>(m_pm.FindControl(L"pages"));
    progress_ = static_cast<CProgressUI*>(m_pm.FindControl(L"progress"));
    if (auto* tips = m_pm.FindControl(L"tips_rich_edit"))
      tips->SetText(L"示例提示：这是只读的多行文本框。");
  }

  void SetStatus(const std::wstring& text) {
    if (status_)
      status_->SetText(text.c_str());
  }

  void Notify(TNotifyUI& msg) override {
    std::wstring name = msg.pSender ? msg.pSender->GetName().str() : L"";
    if (msg.sType == DUI_MSGTYPE_WINDOWINIT) {
      tray_.CreateTrayIcon(m_hWnd, 139, L"Tern 示例", kTrayMessage);
    } else if (msg.sType == DUI_MSGTYPE_SELECTCHANGED) {
      auto* option = static_cast<COptionUI*>(msg.pSender->GetInterface(L"Option"));
      if (option && option->IsSelected())
        SetStatus(L"选中:" + name);
    } else if (msg.sType == DUI_MSGTYPE_ITEMSELECT) {
      SetStatus(L"节点:" + std::to_wstring(msg.wParam));
    } else if (msg.sType == DUI_MSGTYPE_RETURN) {
      SetStatus(L"回车:" + name);
    }
  }

  DUI_DECLARE_MESSAGE_MAP()

  void OnOk(TNotifyUI&) {
    SetStatus(L"确定:" + (account_ ? account_->GetText().str() : std::wstring()));
    if (progress_)
      progress_->SetValue(progress_->GetValue() + 20);
  }
  void OnClose(TNotifyUI&) { Close(IDOK); }
  void OnTab(TNotifyUI&) {
    if (pages_)
      pages_->SelectItem(1 - pages_->GetCurSel());
  }
  void OnMsgBox(TNotifyUI&) {
    int answer = MessageBoxW(m_hWnd, L"确定要继续吗？", L"Tern", MB_OKCANCEL);
    SetStatus(answer == IDOK ? L"对话框:确定" : L"对话框:取消");
  }
  void OnMenu(TNotifyUI&) {
    POINT pt;
    GetCursorPos(&pt);
    CMenuWnd::CreateMenu(L"Menu.xml", pt, m_hWnd);
  }

  LRESULT HandleCustomMessage(UINT msg, WPARAM, LPARAM lparam, BOOL& handled) override {
    handled = FALSE;
    if (msg == kTrayMessage) {
      handled = TRUE;
      if (lparam == WM_LBUTTONUP || lparam == WM_LBUTTONDBLCLK) {
        ShowWindow(true);
        SetStatus(lparam == WM_LBUTTONUP ? L"托盘:单击" : L"托盘:双击");
      } else if (lparam == WM_RBUTTONUP) {
        POINT pt;
        GetCursorPos(&pt);
        CMenuWnd::CreateMenu(L"Menu.xml", {pt.x - 100, pt.y - 92}, m_hWnd);
      }
    } else if (msg == WM_MENUCLICK) {
      handled = TRUE;
      auto* cmd = reinterpret_cast<MenuCmd*>(lparam);
      std::wstring name = cmd->szName;
      delete cmd;
      SetStatus(L"菜单:" + name);
      if (name == L"exit")
        Close(IDOK);
    }
    return 0;
  }

  // Shows the minimise and restore commands the desktop sends.
  LRESULT OnSysCommand(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled) override {
    if ((wparam & 0xFFF0) == SC_MINIMIZE)
      SetStatus(L"系统:最小化");
    else if ((wparam & 0xFFF0) == SC_RESTORE)
      SetStatus(L"系统:还原");
    return WindowImplBase::OnSysCommand(msg, wparam, lparam, handled);
  }

  LRESULT OnDestroy(UINT, WPARAM, LPARAM, BOOL& handled) override {
    tray_.DeleteTrayIcon();
    PostQuitMessage(0);
    handled = FALSE;
    return 0;
  }

 private:
  static constexpr UINT kTrayMessage = WM_USER + 200;
  CLabelUI* status_ = nullptr;
  CEditUI* account_ = nullptr;
  CTabLayoutUI* pages_ = nullptr;
  CProgressUI* progress_ = nullptr;
  CTrayIcon tray_;
};

// A window that draws nothing (as the product's 20x20 transparent parent
// window): on the desktop it must not show as a square.
class CTransparentWnd : public WindowImplBase {
 protected:
  const wchar_t* GetWindowClassName() const override { return L"TransparentWnd"; }
  CDuiString GetSkinFile() override { return L"<Window size=\"20,20\"><Control/></Window>"; }
};

DUI_BEGIN_MESSAGE_MAP(CDemoWnd, WindowImplBase)
DUI_ON_CLICK_CTRNAME(L"ok_btn", OnOk)
DUI_ON_CLICK_CTRNAME(L"close_btn", OnClose)
DUI_ON_CLICK_CTRNAME(L"tab_btn", OnTab)
DUI_ON_CLICK_CTRNAME(L"msgbox_btn", OnMsgBox)
DUI_ON_CLICK_CTRNAME(L"menu_btn", OnMenu)
DUI_END_MESSAGE_MAP()

}  // namespace

int main(int argc, char** argv) {
  // duilib-demo --ask TEXT: a box before any window exists (as a program's
  // start-up checks do); the exit status is the button pressed.
  if (argc == 3 && std::string(argv[1]) == "--ask")
    return MessageBoxW(nullptr, FromUtf8(argv[2]).c_str(), L"Tern智能加速器", MB_OKCANCEL);
  base::MessageLoopForUI loop;
  CPaintManagerUI::SetInstance(GetModuleHandleW(nullptr));
  CPaintManagerUI::SetResourceType(UILIB_ZIPRESOURCE);
  HRSRC res = FindResourceW(CPaintManagerUI::GetResourceDll(), L"IDR_ZIPRES", L"ZIPRES");
  if (res && SizeofResource(CPaintManagerUI::GetResourceDll(), res) != 0) {
    HGLOBAL data = LoadResource(CPaintManagerUI::GetResourceDll(), res);
    CPaintManagerUI::SetResourceZip(LockResource(data),
                                    SizeofResource(CPaintManagerUI::GetResourceDll(), res));
  }
  CDemoWnd wnd;
  if (!wnd.Create(nullptr, L"Tern智能加速器", UI_WNDSTYLE_DIALOG & ~WS_VISIBLE, WS_EX_WINDOWEDGE))
    return 1;
  wnd.CenterWindow();
  wnd.ShowWindow(true);
  CTransparentWnd transparent;
  if (argc == 2 && std::string(argv[1]) == "--transparent" &&
      transparent.Create(nullptr, L"Tern智能加速器", UI_WNDSTYLE_DIALOG & ~WS_VISIBLE, 0)) {
    SetWindowPos(transparent.GetHWND(), nullptr, 100, 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    transparent.ShowWindow(true);
  }
  loop.Run();
  CResourceManager::GetInstance()->Release();
  std::fprintf(stderr, "duilib-demo: shut down\n");
  return 0;
}
