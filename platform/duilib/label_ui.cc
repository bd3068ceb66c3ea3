#include "duilib/label_ui.h"

#include <cwchar>

#include "duilib/paint_manager_ui.h"
#include "duilib/render_engine.h"

namespace DuiLib {

CLabelUI::CLabelUI() = default;

void* CLabelUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"Label") == 0)
    return this;
  return CControlUI::GetInterface(name);
}

void CLabelUI::SetTextStyle(UINT style) {
  m_uTextStyle = style;
  Invalidate();
}

void CLabelUI::SetTextColor(DWORD color) {
  m_dwTextColor = color;
  Invalidate();
}

void CLabelUI::SetDisabledTextColor(DWORD color) {
  m_dwDisabledTextColor = color;
  Invalidate();
}

void CLabelUI::SetFont(int index) {
  m_iFont = index;
  Invalidate();
}

void CLabelUI::SetTextPadding(RECT rc) {
  m_rcTextPadding = rc;
  Invalidate();
}

void CLabelUI::SetShowHtml(bool show) {
  m_bShowHtml = show;
  Invalidate();
}

SIZE CLabelUI::EstimateSize(SIZE available) {
  SIZE sz = m_cxyFixed;
  if (m_bAutoCalcWidth && m_pManager) {
    SIZE text = CRenderEngine::GetTextSize(m_pManager, m_sText, m_iFont);
    sz.cx = text.cx + m_rcTextPadding.left + m_rcTextPadding.right;
  }
  // A multi-line label without a height is as high as its wrapped text at
  // the width it gets; a single-line one is one text line high.
  if (sz.cy == 0 && m_pManager && (m_uTextStyle & DT_WORDBREAK) && !m_sText.IsEmpty()) {
    int width = (sz.cx ? sz.cx : available.cx) - m_rcTextPadding.left - m_rcTextPadding.right;
    SIZE text = CRenderEngine::GetTextSize(m_pManager, m_sText, m_iFont, std::max(1, width));
    sz.cy = text.cy + m_rcTextPadding.top + m_rcTextPadding.bottom;
  } else if (sz.cy == 0 && m_pManager) {
    SIZE text = CRenderEngine::GetTextSize(m_pManager, L"Ay", m_iFont);
    sz.cy = text.cy + 4 + m_rcTextPadding.top + m_rcTextPadding.bottom;
  }
  return sz;
}

bool CLabelUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  std::wstring n = name;
  std::wstring v = value;
  DWORD color;
  RECT rc;
  if (n == L"align") {
    m_uTextStyle &= ~(DT_LEFT | DT_CENTER | DT_RIGHT);
    if (v.find(L"center") != std::wstring::npos)
      m_uTextStyle |= DT_CENTER;
    else if (v.find(L"right") != std::wstring::npos)
      m_uTextStyle |= DT_RIGHT;
    if (v.find(L"top") != std::wstring::npos)
      m_uTextStyle &= ~(DT_VCENTER | DT_BOTTOM);
    if (v.find(L"bottom") != std::wstring::npos)
      m_uTextStyle = (m_uTextStyle & ~DT_VCENTER) | DT_BOTTOM;
  } else if (n == L"valign") {
    m_uTextStyle &= ~(DT_VCENTER | DT_BOTTOM);
    if (v == L"vcenter" || v == L"center")
      m_uTextStyle |= DT_VCENTER;
    else if (v == L"bottom")
      m_uTextStyle |= DT_BOTTOM;
  } else if (n == L"endellipsis") {
    m_uTextStyle =
        ParseBool(value) ? (m_uTextStyle | DT_END_ELLIPSIS) : (m_uTextStyle & ~DT_END_ELLIPSIS);
  } else if (n == L"wordbreak" || n == L"multiline") {
    if (ParseBool(value))
      m_uTextStyle = (m_uTextStyle & ~DT_SINGLELINE) | DT_WORDBREAK;
    else
      m_uTextStyle = (m_uTextStyle & ~DT_WORDBREAK) | DT_SINGLELINE;
  } else if (n == L"font") {
    SetFont(static_cast<int>(std::wcstol(value, nullptr, 10)));
  } else if (n == L"textcolor") {
    if (!ParseColor(value, &color))
      return false;
    SetTextColor(color);
  } else if (n == L"disabledtextcolor") {
    if (!ParseColor(value, &color))
      return false;
    SetDisabledTextColor(color);
  } else if (n == L"textpadding") {
    if (!ParseRect(value, &rc))
      return false;
    SetTextPadding(rc);
  } else if (n == L"showhtml") {
    SetShowHtml(ParseBool(value));
  } else if (n == L"autocalcwidth") {
    m_bAutoCalcWidth = ParseBool(value);
  } else {
    return CControlUI::SetAttribute(name, value);
  }
  return true;
}

void CLabelUI::DrawLabelText(HDC hdc, const wchar_t* text, DWORD color) {
  if (!text || !*text || !m_pManager)
    return;
  RECT rc = m_rcItem;
  rc.left += m_rcTextPadding.left;
  rc.right -= m_rcTextPadding.right;
  rc.top += m_rcTextPadding.top;
  rc.bottom -= m_rcTextPadding.bottom;
  if (m_bShowHtml)
    CRenderEngine::DrawHtmlText(hdc, m_pManager, rc, text, color, m_iFont, m_uTextStyle);
  else
    CRenderEngine::DrawText(hdc, m_pManager, rc, text, color, m_iFont, m_uTextStyle);
}

void CLabelUI::PaintText(HDC hdc) {
  if (!m_pManager)
    return;
  DWORD color = m_dwTextColor ? m_dwTextColor : m_pManager->GetDefaultFontColor();
  if (!IsEnabled())
    color = m_dwDisabledTextColor ? m_dwDisabledTextColor : m_pManager->GetDefaultDisabledColor();
  DrawLabelText(hdc, m_sText, color);
}

CTextUI::CTextUI() {
  m_uTextStyle = DT_WORDBREAK;
}

void* CTextUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"Text") == 0)
    return this;
  return CLabelUI::GetInterface(name);
}

SIZE CTextUI::EstimateSize(SIZE available) {
  if (m_cxyFixed.cy != 0 || !m_pManager)
    return m_cxyFixed;
  int width =
      (m_cxyFixed.cx ? m_cxyFixed.cx : available.cx) - m_rcTextPadding.left - m_rcTextPadding.right;
  SIZE text = CRenderEngine::GetTextSize(m_pManager, m_sText, m_iFont, std::max(1, width));
  return {m_cxyFixed.cx, text.cy + m_rcTextPadding.top + m_rcTextPadding.bottom};
}

}  // namespace DuiLib
