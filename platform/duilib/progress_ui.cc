#include "duilib/progress_ui.h"

#include <algorithm>
#include <cwchar>

#include "duilib/paint_manager_ui.h"
#include "duilib/render_engine.h"

namespace DuiLib {

CProgressUI::CProgressUI() {
  m_uTextStyle = DT_SINGLELINE | DT_CENTER | DT_VCENTER;
}

void* CProgressUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"Progress") == 0)
    return this;
  return CLabelUI::GetInterface(name);
}

void CProgressUI::SetHorizontal(bool horizontal) {
  m_bHorizontal = horizontal;
  Invalidate();
}

void CProgressUI::SetMinValue(int min) {
  m_nMin = min;
  m_nValue = std::max(m_nValue, m_nMin);
  Invalidate();
}

void CProgressUI::SetMaxValue(int max) {
  m_nMax = max;
  m_nValue = std::min(m_nValue, m_nMax);
  Invalidate();
}

void CProgressUI::SetValue(int value) {
  value = std::clamp(value, std::min(m_nMin, m_nMax), std::max(m_nMin, m_nMax));
  if (value == m_nValue)
    return;
  m_nValue = value;
  Invalidate();
}

void CProgressUI::SetForeImage(const wchar_t* image) {
  m_sForeImage = image;
  Invalidate();
}

bool CProgressUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  std::wstring n = name;
  DWORD color;
  if (n == L"hor") {
    SetHorizontal(ParseBool(value));
  } else if (n == L"min") {
    SetMinValue(static_cast<int>(std::wcstol(value, nullptr, 10)));
  } else if (n == L"max") {
    SetMaxValue(static_cast<int>(std::wcstol(value, nullptr, 10)));
  } else if (n == L"value") {
    SetValue(static_cast<int>(std::wcstol(value, nullptr, 10)));
  } else if (n == L"foreimage") {
    SetForeImage(value);
  } else if (n == L"forecolor") {
    if (!ParseColor(value, &color))
      return false;
    m_dwForeColor = color;
  } else if (n == L"isstretchfore") {
    // Accepted; the fore image is always clipped, never stretched.
  } else {
    return CLabelUI::SetAttribute(name, value);
  }
  return true;
}

RECT CProgressUI::DoneRect() const {
  RECT rc = m_rcItem;
  int range = m_nMax - m_nMin;
  if (range <= 0)
    return {rc.left, rc.top, rc.left, rc.bottom};
  double done = static_cast<double>(m_nValue - m_nMin) / range;
  if (m_bHorizontal)
    rc.right = rc.left + static_cast<LONG>((rc.right - rc.left) * done);
  else
    rc.top = rc.bottom - static_cast<LONG>((rc.bottom - rc.top) * done);
  return rc;
}

void CProgressUI::PaintForeColor(HDC hdc) {
  if (m_dwForeColor >> 24)
    CRenderEngine::DrawColor(hdc, DoneRect(), m_dwForeColor);
}

void CProgressUI::PaintStatusImage(HDC hdc) {
  if (m_sForeImage.IsEmpty() || !m_pManager)
    return;
  RECT done = DoneRect();
  if (IsRectEmpty(&done))
    return;
  cairo_t* cr = CRenderEngine::Cairo(hdc);
  cairo_save(cr);
  cairo_rectangle(cr, done.left, done.top, done.right - done.left, done.bottom - done.top);
  cairo_clip(cr);
  DrawImage(hdc, m_sForeImage);
  cairo_restore(cr);
}

}  // namespace DuiLib
