#include "duilib/menu_wnd.h"

#include <algorithm>
#include <cwchar>

#include "duilib/render_engine.h"
#include "win32/screen_metrics.h"

namespace DuiLib {
namespace {

void CopyText(wchar_t* dst, size_t size, const std::wstring& src) {
  size_t n = std::min(size - 1, src.size());
  std::wmemcpy(dst, src.data(), n);
  dst[n] = 0;
}

}  // namespace

void* CMenuUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"Menu") == 0)
    return this;
  return CListUI::GetInterface(name);
}

void* CMenuElementUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"MenuElement") == 0)
    return this;
  return CListContainerElementUI::GetInterface(name);
}

SIZE CMenuElementUI::EstimateSize(SIZE available) {
  SIZE sz = CListContainerElementUI::EstimateSize(available);
  if (sz.cy == 0)
    sz.cy = 28;
  return sz;
}

bool CMenuElementUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  std::wstring n = name;
  DWORD color;
  RECT rc;
  if (n == L"textcolor") {
    if (!ParseColor(value, &color))
      return false;
    m_dwTextColor = color;
  } else if (n == L"textpadding") {
    if (!ParseRect(value, &rc))
      return false;
    m_rcTextPadding = rc;
  } else if (n == L"font") {
    m_iFont = static_cast<int>(std::wcstol(value, nullptr, 10));
  } else if (n == L"icon" || n == L"iconsize" || n == L"checked" || n == L"linetype" ||
             n == L"expland") {
    // Accepted; menus here have no icons or sub-menus.
  } else {
    return CListContainerElementUI::SetAttribute(name, value);
  }
  return true;
}

void CMenuElementUI::PaintText(HDC hdc) {
  if (!m_pManager || m_sText.IsEmpty())
    return;
  RECT rc = m_rcItem;
  rc.left += m_rcTextPadding.left;
  rc.right -= m_rcTextPadding.right;
  rc.top += m_rcTextPadding.top;
  rc.bottom -= m_rcTextPadding.bottom;
  DWORD color = m_dwTextColor ? m_dwTextColor : m_pManager->GetDefaultFontColor();
  CRenderEngine::DrawText(hdc, m_pManager, rc, m_sText, color, m_iFont,
                          DT_SINGLELINE | DT_VCENTER | DT_LEFT);
}

CMenuWnd* CMenuWnd::CreateMenu(const wchar_t* xml, POINT point, HWND owner) {
  auto* menu = new CMenuWnd(xml, owner);
  if (!menu->Create(owner, L"", WS_POPUP, WS_EX_TOOLWINDOW | WS_EX_TOPMOST)) {
    delete menu;
    return nullptr;
  }
  RECT r;
  GetWindowRect(menu->GetHWND(), &r);
  int w = r.right - r.left;
  int h = r.bottom - r.top;
  RECT screen = win32::ScreenRect();
  int x = std::max<int>(0, std::min<int>(point.x, screen.right - w));
  int y = std::max<int>(0, std::min<int>(point.y, screen.bottom - h));
  SetWindowPos(menu->GetHWND(), HWND_TOPMOST, x, y, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
  SetForegroundWindow(menu->GetHWND());
  return menu;
}

void CMenuWnd::Notify(TNotifyUI& msg) {
  if (msg.sType != DUI_MSGTYPE_ITEMCLICK && msg.sType != DUI_MSGTYPE_CLICK)
    return;
  CControlUI* item = msg.pSender;
  if (!item || !item->GetInterface(L"MenuElement"))
    return;
  auto* cmd = new MenuCmd();
  CopyText(cmd->szName, 256, item->GetName().str());
  CopyText(cmd->szUserData, 1024, item->GetUserData().str());
  CopyText(cmd->szText, 1024, item->GetText().str());
  cmd->bChecked = FALSE;
  if (!IsWindow(owner_) || !::PostMessageW(owner_, WM_MENUCLICK, 0, reinterpret_cast<LPARAM>(cmd)))
    delete cmd;
  Close(IDOK);
}

LRESULT CMenuWnd::HandleCustomMessage(UINT msg, WPARAM wparam, LPARAM, BOOL& handled) {
  handled = FALSE;
  if (msg == WM_ACTIVATE && LOWORD(wparam) == WA_INACTIVE)
    Close(IDCANCEL);
  return 0;
}

void CMenuWnd::OnFinalMessage(HWND hwnd) {
  WindowImplBase::OnFinalMessage(hwnd);
  delete this;
}

}  // namespace DuiLib
