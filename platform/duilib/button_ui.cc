#include "duilib/button_ui.h"

#include <cwchar>
#include <vector>

#include "duilib/paint_manager_ui.h"
#include "duilib/render_engine.h"

namespace DuiLib {

CButtonUI::CButtonUI() {
  m_uTextStyle = DT_SINGLELINE | DT_VCENTER | DT_CENTER;
}

void* CButtonUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"Button") == 0)
    return this;
  return CLabelUI::GetInterface(name);
}

UINT CButtonUI::GetControlFlags() const {
  return (IsKeyboardEnabled() ? UIFLAG_TABSTOP : 0) | (IsEnabled() ? UIFLAG_SETCURSOR : 0);
}

bool CButtonUI::Activate() {
  if (!CControlUI::Activate())
    return false;
  if (m_pManager)
    m_pManager->SendNotify(this, DUI_MSGTYPE_CLICK);
  return true;
}

void CButtonUI::SetEnabled(bool enabled) {
  if (ForwardToWindowThread([&] { SetEnabled(enabled); }))
    return;
  CControlUI::SetEnabled(enabled);
  if (!IsEnabled())
    m_uButtonState = 0;
}

void CButtonUI::DoEvent(TEventUI& event) {
  if (!IsMouseEnabled() && event.Type > UIEVENT__MOUSEBEGIN && event.Type < UIEVENT__MOUSEEND) {
    if (m_pParent)
      m_pParent->DoEvent(event);
    else
      CLabelUI::DoEvent(event);
    return;
  }
  switch (event.Type) {
    case UIEVENT_SETFOCUS:
    case UIEVENT_KILLFOCUS:
      CLabelUI::DoEvent(event);
      return;
    case UIEVENT_KEYDOWN:
      if (IsKeyboardEnabled() && (event.chKey == VK_SPACE || event.chKey == VK_RETURN)) {
        Activate();
        return;
      }
      break;
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_DBLCLICK:
      if (PtInRect(&m_rcItem, event.ptMouse) && IsEnabled()) {
        m_uButtonState |= UISTATE_PUSHED | UISTATE_CAPTURED;
        Invalidate();
      }
      return;
    case UIEVENT_MOUSEMOVE:
      if (m_uButtonState & UISTATE_CAPTURED) {
        bool inside = PtInRect(&m_rcItem, event.ptMouse);
        UINT before = m_uButtonState;
        if (inside)
          m_uButtonState |= UISTATE_PUSHED;
        else
          m_uButtonState &= ~UISTATE_PUSHED;
        if (before != m_uButtonState)
          Invalidate();
      }
      return;
    case UIEVENT_BUTTONUP:
      if (m_uButtonState & UISTATE_CAPTURED) {
        m_uButtonState &= ~(UISTATE_PUSHED | UISTATE_CAPTURED);
        Invalidate();
        if (PtInRect(&m_rcItem, event.ptMouse))
          Activate();
      }
      return;
    case UIEVENT_MOUSEENTER:
      if (IsEnabled()) {
        m_uButtonState |= UISTATE_HOT;
        Invalidate();
      }
      return;
    case UIEVENT_MOUSELEAVE:
      if (m_uButtonState & UISTATE_HOT) {
        m_uButtonState &= ~UISTATE_HOT;
        Invalidate();
      }
      return;
    default:
      break;
  }
  CLabelUI::DoEvent(event);
}

void CButtonUI::SetNormalImage(const wchar_t* image) {
  m_sNormalImage = image;
  Invalidate();
}

void CButtonUI::SetHotImage(const wchar_t* image) {
  m_sHotImage = image;
  Invalidate();
}

void CButtonUI::SetPushedImage(const wchar_t* image) {
  m_sPushedImage = image;
  Invalidate();
}

void CButtonUI::SetDisabledImage(const wchar_t* image) {
  m_sDisabledImage = image;
  Invalidate();
}

bool CButtonUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  std::wstring n = name;
  DWORD color;
  auto color_attr = [&](DWORD* field) {
    if (!ParseColor(value, &color))
      return false;
    *field = color;
    Invalidate();
    return true;
  };
  if (n == L"normalimage")
    SetNormalImage(value);
  else if (n == L"hotimage")
    SetHotImage(value);
  else if (n == L"pushedimage")
    SetPushedImage(value);
  else if (n == L"focusedimage")
    m_sFocusedImage = value;
  else if (n == L"disabledimage")
    SetDisabledImage(value);
  else if (n == L"foreimage")
    m_sForeImage = value;
  else if (n == L"hotforeimage")
    m_sHotForeImage = value;
  else if (n == L"hottextcolor")
    return color_attr(&m_dwHotTextColor);
  else if (n == L"pushedtextcolor")
    return color_attr(&m_dwPushedTextColor);
  else if (n == L"focusedtextcolor")
    return color_attr(&m_dwFocusedTextColor);
  else if (n == L"hotbkcolor")
    return color_attr(&m_dwHotBkColor);
  else if (n == L"pushedbkcolor")
    return color_attr(&m_dwPushedBkColor);
  else if (n == L"disabledbkcolor")
    return color_attr(&m_dwDisabledBkColor);
  else
    return CLabelUI::SetAttribute(name, value);
  return true;
}

void CButtonUI::PaintBkColor(HDC hdc) {
  DWORD saved = m_dwBackColor;
  if (!IsEnabled() && m_dwDisabledBkColor)
    m_dwBackColor = m_dwDisabledBkColor;
  else if ((m_uButtonState & UISTATE_PUSHED) && m_dwPushedBkColor)
    m_dwBackColor = m_dwPushedBkColor;
  else if ((m_uButtonState & UISTATE_HOT) && m_dwHotBkColor)
    m_dwBackColor = m_dwHotBkColor;
  CLabelUI::PaintBkColor(hdc);
  m_dwBackColor = saved;
}

void CButtonUI::PaintText(HDC hdc) {
  if (!m_pManager)
    return;
  DWORD color = m_dwTextColor ? m_dwTextColor : m_pManager->GetDefaultFontColor();
  if (!IsEnabled())
    color = m_dwDisabledTextColor ? m_dwDisabledTextColor : m_pManager->GetDefaultDisabledColor();
  else if ((m_uButtonState & UISTATE_PUSHED) && m_dwPushedTextColor)
    color = m_dwPushedTextColor;
  else if ((m_uButtonState & UISTATE_HOT) && m_dwHotTextColor)
    color = m_dwHotTextColor;
  else if (IsFocused() && m_dwFocusedTextColor)
    color = m_dwFocusedTextColor;
  DrawLabelText(hdc, m_sText, color);
}

void CButtonUI::PaintStatusImage(HDC hdc) {
  const CDuiString* image = &m_sNormalImage;
  if (!IsEnabled() && !m_sDisabledImage.IsEmpty())
    image = &m_sDisabledImage;
  else if ((m_uButtonState & UISTATE_PUSHED) && !m_sPushedImage.IsEmpty())
    image = &m_sPushedImage;
  else if ((m_uButtonState & UISTATE_HOT) && !m_sHotImage.IsEmpty())
    image = &m_sHotImage;
  else if (IsFocused() && !m_sFocusedImage.IsEmpty())
    image = &m_sFocusedImage;
  if (!image->IsEmpty())
    DrawImage(hdc, *image);
  const CDuiString& fore = ((m_uButtonState & UISTATE_HOT) && !m_sHotForeImage.IsEmpty())
                               ? m_sHotForeImage
                               : m_sForeImage;
  if (!fore.IsEmpty())
    DrawImage(hdc, fore);
}

COptionUI::~COptionUI() = default;

void* COptionUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"Option") == 0)
    return this;
  return CButtonUI::GetInterface(name);
}

void COptionUI::SetGroup(const wchar_t* group) {
  m_sGroupName = group;
}

namespace {

CControlUI* CALLBACK CollectOptions(CControlUI* control, LPVOID data) {
  if (control->GetInterface(L"Option"))
    static_cast<std::vector<COptionUI*>*>(data)->push_back(static_cast<COptionUI*>(control));
  return nullptr;
}

}  // namespace

void COptionUI::Selected(bool selected, bool trigger_event) {
  if (m_bSelected == selected)
    return;
  m_bSelected = selected;
  if (m_bSelected)
    m_uButtonState |= UISTATE_SELECTED;
  else
    m_uButtonState &= ~UISTATE_SELECTED;
  if (m_pManager && !m_sGroupName.IsEmpty() && m_bSelected && m_pManager->GetRoot()) {
    std::vector<COptionUI*> options;
    m_pManager->GetRoot()->FindControl(CollectOptions, &options, UIFIND_ALL);
    for (COptionUI* other : options) {
      if (other != this && other->m_sGroupName == m_sGroupName)
        other->Selected(false, trigger_event);
    }
  }
  if (m_pManager && trigger_event)
    m_pManager->SendNotify(this, DUI_MSGTYPE_SELECTCHANGED);
  Invalidate();
}

bool COptionUI::Activate() {
  if (!CButtonUI::Activate())
    return false;
  if (!m_sGroupName.IsEmpty())
    Selected(true);
  else
    Selected(!m_bSelected);
  return true;
}

bool COptionUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  std::wstring n = name;
  DWORD color;
  if (n == L"group") {
    SetGroup(value);
  } else if (n == L"selected") {
    Selected(ParseBool(value), false);
  } else if (n == L"selectedimage") {
    m_sSelectedImage = value;
  } else if (n == L"selectedhotimage") {
    m_sSelectedHotImage = value;
  } else if (n == L"selectedbkcolor") {
    if (!ParseColor(value, &color))
      return false;
    m_dwSelectedBkColor = color;
  } else if (n == L"selectedtextcolor") {
    if (!ParseColor(value, &color))
      return false;
    m_dwSelectedTextColor = color;
  } else {
    return CButtonUI::SetAttribute(name, value);
  }
  return true;
}

void COptionUI::PaintBkColor(HDC hdc) {
  if (m_bSelected && m_dwSelectedBkColor) {
    CRenderEngine::DrawColor(hdc, m_rcItem, m_dwSelectedBkColor);
    return;
  }
  CButtonUI::PaintBkColor(hdc);
}

void COptionUI::PaintStatusImage(HDC hdc) {
  if (m_bSelected) {
    const CDuiString& image = ((m_uButtonState & UISTATE_HOT) && !m_sSelectedHotImage.IsEmpty())
                                  ? m_sSelectedHotImage
                                  : m_sSelectedImage;
    if (!image.IsEmpty()) {
      DrawImage(hdc, image);
      if (!m_sForeImage.IsEmpty())
        DrawImage(hdc, m_sForeImage);
      return;
    }
  }
  CButtonUI::PaintStatusImage(hdc);
}

void COptionUI::PaintText(HDC hdc) {
  if (m_bSelected && m_dwSelectedTextColor && IsEnabled()) {
    DrawLabelText(hdc, m_sText, m_dwSelectedTextColor);
    return;
  }
  CButtonUI::PaintText(hdc);
}

void* CCheckBoxUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"CheckBox") == 0)
    return this;
  return COptionUI::GetInterface(name);
}

}  // namespace DuiLib
