#include "duilib/control_ui.h"

#include <cwchar>

#include "duilib/paint_manager_ui.h"
#include "duilib/render_engine.h"
#include "win32/message_queue.h"

namespace DuiLib {

constexpr double kPi = 3.14159265358979323846;

CControlUI::CControlUI() = default;

CControlUI::~CControlUI() {
  if (m_pManager)
    m_pManager->ReapObjects(this);
}

void* CControlUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"Control") == 0)
    return this;
  return nullptr;
}

void CControlUI::SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init) {
  m_pManager = manager;
  m_pParent = parent;
  if (init && m_pParent)
    Init();
}

bool CControlUI::ForwardToWindowThread(const std::function<void()>& fn) const {
  HWND hwnd = m_pManager ? m_pManager->GetPaintWindow() : nullptr;
  if (!hwnd || win32::IsWindowThread(hwnd) || !::IsWindow(hwnd))
    return false;
  win32::RunOnWindowThread(hwnd, fn);
  return true;
}

CDuiString CControlUI::GetText() const {
  CDuiString text;
  if (ForwardToWindowThread([&] { text = GetText(); }))
    return text;
  return m_sText;
}

void CControlUI::SetText(const wchar_t* text) {
  if (ForwardToWindowThread([&] { SetText(text); }))
    return;
  if (m_sText == text)
    return;
  m_sText = text;
  Invalidate();
}

void CControlUI::SetBkColor(DWORD color) {
  if (m_dwBackColor == color)
    return;
  m_dwBackColor = color;
  Invalidate();
}

void CControlUI::SetBorderColor(DWORD color) {
  if (m_dwBorderColor == color)
    return;
  m_dwBorderColor = color;
  Invalidate();
}

void CControlUI::SetFocusBorderColor(DWORD color) {
  if (m_dwFocusBorderColor == color)
    return;
  m_dwFocusBorderColor = color;
  Invalidate();
}

void CControlUI::SetBorderSize(int size) {
  m_nBorderSize = size;
  Invalidate();
}

void CControlUI::SetBorderRound(SIZE round) {
  m_cxyBorderRound = round;
  Invalidate();
}

void CControlUI::SetBkImage(const wchar_t* image) {
  if (m_sBkImage == image)
    return;
  m_sBkImage = image;
  Invalidate();
}

void CControlUI::SetPos(RECT rc, bool need_invalidate) {
  if (rc.right < rc.left)
    rc.right = rc.left;
  if (rc.bottom < rc.top)
    rc.bottom = rc.top;
  if (need_invalidate)
    Invalidate();
  m_rcItem = rc;
  m_bUpdateNeeded = false;
  if (need_invalidate)
    Invalidate();
}

void CControlUI::SetPadding(RECT padding) {
  m_rcPadding = padding;
  NeedParentUpdate();
}

void CControlUI::SetFixedXY(SIZE xy) {
  m_cXY = xy;
  NeedParentUpdate();
}

void CControlUI::SetFixedWidth(int cx) {
  if (cx < 0)
    return;
  m_cxyFixed.cx = cx;
  NeedParentUpdate();
}

void CControlUI::SetFixedHeight(int cy) {
  if (cy < 0)
    return;
  m_cxyFixed.cy = cy;
  NeedParentUpdate();
}

void CControlUI::SetMinWidth(int cx) {
  if (cx >= 0) {
    m_cxyMin.cx = cx;
    NeedParentUpdate();
  }
}

void CControlUI::SetMaxWidth(int cx) {
  if (cx >= 0) {
    m_cxyMax.cx = cx;
    NeedParentUpdate();
  }
}

void CControlUI::SetMinHeight(int cy) {
  if (cy >= 0) {
    m_cxyMin.cy = cy;
    NeedParentUpdate();
  }
}

void CControlUI::SetMaxHeight(int cy) {
  if (cy >= 0) {
    m_cxyMax.cy = cy;
    NeedParentUpdate();
  }
}

SIZE CControlUI::EstimateSize(SIZE) {
  return m_cxyFixed;
}

void CControlUI::SetFloat(bool is_float) {
  m_bFloat = is_float;
  NeedParentUpdate();
}

void CControlUI::SetVisible(bool visible) {
  if (ForwardToWindowThread([&] { SetVisible(visible); }))
    return;
  if (m_bVisible == visible)
    return;
  bool was_visible = IsVisible();
  m_bVisible = visible;
  if (m_bFocused && !visible && m_pManager)
    m_pManager->SetFocus(nullptr);
  if (was_visible != IsVisible()) {
    if (was_visible)
      Invalidate();
    NeedParentUpdate();
  }
}

void CControlUI::SetInternVisible(bool visible) {
  m_bInternVisible = visible;
  if (!visible && m_pManager && m_pManager->GetFocus() == this)
    m_pManager->SetFocus(nullptr);
}

void CControlUI::SetEnabled(bool enabled) {
  if (ForwardToWindowThread([&] { SetEnabled(enabled); }))
    return;
  if (m_bEnabled == enabled)
    return;
  m_bEnabled = enabled;
  Invalidate();
}

void CControlUI::SetFocus() {
  if (m_pManager)
    m_pManager->SetFocus(this);
}

bool CControlUI::Activate() {
  return IsVisible() && IsEnabled();
}

CControlUI* CControlUI::FindControl(FINDCONTROLPROC proc, LPVOID data, UINT flags) {
  if ((flags & UIFIND_VISIBLE) && !IsVisible())
    return nullptr;
  if ((flags & UIFIND_ENABLED) && !IsEnabled())
    return nullptr;
  if ((flags & UIFIND_HITTEST) &&
      (!m_bMouseEnabled || !PtInRect(&m_rcItem, *static_cast<POINT*>(data))))
    return nullptr;
  return proc(this, data);
}

void CControlUI::Invalidate() {
  if (!IsVisible() || !m_pManager)
    return;
  RECT rc = m_rcItem;
  for (CControlUI* p = m_pParent; p; p = p->GetParent()) {
    RECT parent = p->GetPos();
    if (!IntersectRect(&rc, &rc, &parent))
      return;
  }
  m_pManager->Invalidate(rc);
}

void CControlUI::NeedUpdate() {
  if (!IsVisible())
    return;
  m_bUpdateNeeded = true;
  Invalidate();
  if (m_pManager)
    m_pManager->NeedUpdate();
}

void CControlUI::NeedParentUpdate() {
  if (m_pParent) {
    m_pParent->NeedUpdate();
    m_pParent->Invalidate();
  } else {
    NeedUpdate();
  }
  if (m_pManager) {
    m_pManager->NeedUpdate();
    m_pManager->Invalidate();
  }
}

void CControlUI::Init() {
  DoInit();
}

void CControlUI::Event(TEventUI& event) {
  DoEvent(event);
}

void CControlUI::DoEvent(TEventUI& event) {
  switch (event.Type) {
    case UIEVENT_SETFOCUS:
      m_bFocused = true;
      Invalidate();
      return;
    case UIEVENT_KILLFOCUS:
      m_bFocused = false;
      Invalidate();
      return;
    case UIEVENT_TIMER:
      if (m_pManager)
        m_pManager->SendNotify(this, DUI_MSGTYPE_TIMER, event.wParam, event.lParam);
      return;
    case UIEVENT_CONTEXTMENU:
      if (m_pManager)
        m_pManager->SendNotify(this, DUI_MSGTYPE_MENU, event.wParam, event.lParam);
      return;
    default:
      break;
  }
  // Mouse and key events a plain control does not use go to its container,
  // so a click on a label inside a list item selects the item.
  if (m_pParent && event.Type > UIEVENT__KEYBEGIN && event.Type < UIEVENT__MOUSEEND)
    m_pParent->DoEvent(event);
}

bool CControlUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  std::wstring n = name;
  RECT rc;
  SIZE sz;
  DWORD color;
  if (n == L"name") {
    SetName(value);
  } else if (n == L"text") {
    SetText(value);
  } else if (n == L"tooltip") {
    SetToolTip(value);
  } else if (n == L"userdata") {
    SetUserData(value);
  } else if (n == L"pos") {
    if (!ParseRect(value, &rc))
      return false;
    m_rcFloatPos = rc;
    SetFixedXY({rc.left, rc.top});
    SetFixedWidth(rc.right - rc.left);
    SetFixedHeight(rc.bottom - rc.top);
  } else if (n == L"padding") {
    if (!ParseRect(value, &rc))
      return false;
    SetPadding(rc);
  } else if (n == L"bkcolor" || n == L"bkcolor1") {
    if (!ParseColor(value, &color))
      return false;
    SetBkColor(color);
  } else if (n == L"bordercolor") {
    if (!ParseColor(value, &color))
      return false;
    SetBorderColor(color);
  } else if (n == L"focusbordercolor") {
    if (!ParseColor(value, &color))
      return false;
    SetFocusBorderColor(color);
  } else if (n == L"bordersize") {
    SetBorderSize(std::wcstol(value, nullptr, 10));
  } else if (n == L"borderround") {
    if (!ParseSize(value, &sz))
      return false;
    SetBorderRound(sz);
  } else if (n == L"bkimage") {
    SetBkImage(value);
  } else if (n == L"width") {
    SetFixedWidth(std::wcstol(value, nullptr, 10));
  } else if (n == L"height") {
    SetFixedHeight(std::wcstol(value, nullptr, 10));
  } else if (n == L"minwidth") {
    SetMinWidth(std::wcstol(value, nullptr, 10));
  } else if (n == L"minheight") {
    SetMinHeight(std::wcstol(value, nullptr, 10));
  } else if (n == L"maxwidth") {
    SetMaxWidth(std::wcstol(value, nullptr, 10));
  } else if (n == L"maxheight") {
    SetMaxHeight(std::wcstol(value, nullptr, 10));
  } else if (n == L"float") {
    SetFloat(ParseBool(value));
  } else if (n == L"visible") {
    SetVisible(ParseBool(value));
  } else if (n == L"enabled") {
    SetEnabled(ParseBool(value));
  } else if (n == L"mouse") {
    SetMouseEnabled(ParseBool(value));
  } else if (n == L"keyboard") {
    SetKeyboardEnabled(ParseBool(value));
  } else {
    return false;
  }
  return true;
}

void CControlUI::ApplyAttributeList(const wchar_t* list) {
  // name="value" pairs, as in the Default entries of a window file.
  std::wstring s = list ? list : L"";
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && s[i] == L' ')
      ++i;
    size_t eq = s.find(L'=', i);
    if (eq == std::wstring::npos)
      return;
    std::wstring name = s.substr(i, eq - i);
    while (!name.empty() && name.back() == L' ')
      name.pop_back();
    size_t q = eq + 1;
    if (q >= s.size() || (s[q] != L'"' && s[q] != L'\''))
      return;
    wchar_t quote = s[q];
    size_t end = s.find(quote, q + 1);
    if (end == std::wstring::npos)
      return;
    SetAttribute(name.c_str(), s.substr(q + 1, end - q - 1).c_str());
    i = end + 1;
  }
}

bool CControlUI::DoPaint(HDC hdc, const RECT& paint, CControlUI*) {
  RECT tmp;
  if (!IntersectRect(&tmp, &paint, &m_rcItem))
    return true;
  cairo_t* cr = CRenderEngine::Cairo(hdc);
  cairo_save(cr);
  cairo_rectangle(cr, tmp.left, tmp.top, tmp.right - tmp.left, tmp.bottom - tmp.top);
  cairo_clip(cr);
  PaintBkColor(hdc);
  PaintBkImage(hdc);
  PaintStatusImage(hdc);
  PaintForeColor(hdc);
  PaintForeImage(hdc);
  PaintText(hdc);
  PaintBorder(hdc);
  cairo_restore(cr);
  return true;
}

void CControlUI::PaintBkColor(HDC hdc) {
  if (!(m_dwBackColor >> 24))
    return;
  if (m_cxyBorderRound.cx > 0 || m_cxyBorderRound.cy > 0) {
    cairo_t* cr = CRenderEngine::Cairo(hdc);
    double r = std::max(m_cxyBorderRound.cx, m_cxyBorderRound.cy) / 2.0;
    double x = m_rcItem.left, y = m_rcItem.top;
    double w = GetWidth(), h = GetHeight();
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
    cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
    cairo_arc(cr, x + r, y + r, r, kPi, 3 * kPi / 2);
    cairo_close_path(cr);
    CRenderEngine::SetSourceArgb(cr, m_dwBackColor);
    cairo_fill(cr);
    return;
  }
  CRenderEngine::DrawColor(hdc, m_rcItem, m_dwBackColor);
}

void CControlUI::PaintBkImage(HDC hdc) {
  if (!m_sBkImage.IsEmpty())
    DrawImage(hdc, m_sBkImage);
}

void CControlUI::PaintStatusImage(HDC) {}
void CControlUI::PaintForeColor(HDC) {}
void CControlUI::PaintForeImage(HDC) {}
void CControlUI::PaintText(HDC) {}

void CControlUI::PaintBorder(HDC hdc) {
  DWORD color = (m_bFocused && m_dwFocusBorderColor) ? m_dwFocusBorderColor : m_dwBorderColor;
  if (m_nBorderSize <= 0 || !(color >> 24))
    return;
  if (m_cxyBorderRound.cx > 0 || m_cxyBorderRound.cy > 0)
    CRenderEngine::DrawRoundRect(hdc, m_rcItem, m_nBorderSize, m_cxyBorderRound.cx,
                                 m_cxyBorderRound.cy, color);
  else
    CRenderEngine::DrawRect(hdc, m_rcItem, m_nBorderSize, color);
}

bool CControlUI::DrawImage(HDC hdc, const wchar_t* image, const wchar_t* modify) {
  if (!image || !*image || !m_pManager)
    return false;
  TDrawInfo info;
  std::wstring desc = image;
  if (modify && *modify)
    desc += std::wstring(L" ") + modify;
  if (!info.Parse(desc.c_str()))
    return false;
  return CRenderEngine::DrawImage(hdc, m_pManager, m_rcItem, m_rcItem, info);
}

}  // namespace DuiLib
