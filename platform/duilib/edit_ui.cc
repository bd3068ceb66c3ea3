#include "duilib/edit_ui.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>

#include "duilib/paint_manager_ui.h"
#include "duilib/presenter.h"
#include "duilib/render_engine.h"

namespace DuiLib {

CEditUI::CEditUI() {
  m_uTextStyle = DT_SINGLELINE | DT_VCENTER | DT_LEFT;
  m_rcTextPadding = {4, 3, 4, 3};
  m_dwBackColor = 0xFFFFFFFF;
}

void* CEditUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"Edit") == 0)
    return this;
  return CLabelUI::GetInterface(name);
}

UINT CEditUI::GetControlFlags() const {
  return IsEnabled() ? (UIFLAG_SETCURSOR | UIFLAG_TABSTOP) : 0;
}

void CEditUI::SetText(const wchar_t* text) {
  if (ForwardToWindowThread([&] { SetText(text); }))
    return;
  m_sText = text;
  m_iCaret = m_iAnchor = m_sText.GetLength();
  Invalidate();
}

void CEditUI::SetReadOnly(bool read_only) {
  m_bReadOnly = read_only;
  Invalidate();
}

void CEditUI::SetPasswordMode(bool password) {
  m_bPasswordMode = password;
  Invalidate();
}

void CEditUI::SetSel(int start, int end) {
  int len = m_sText.GetLength();
  if (end < 0 || end > len)
    end = len;
  m_iAnchor = std::clamp(start, 0, len);
  m_iCaret = std::clamp(end, 0, len);
  Invalidate();
}

void CEditUI::SetSelAll() {
  SetSel(0, -1);
}

void CEditUI::SetReplaceSel(const wchar_t* text) {
  DeleteSelection();
  std::wstring s = m_sText.str();
  std::wstring add = text ? text : L"";
  s.insert(m_iCaret, add);
  m_sText = s;
  m_iCaret += static_cast<int>(add.size());
  m_iAnchor = m_iCaret;
  Invalidate();
}

std::wstring CEditUI::GetDisplayText() const {
  if (m_bPasswordMode)
    return std::wstring(m_sText.GetLength(), m_cPasswordChar);
  return m_sText.str();
}

void CEditUI::SetComposition(const std::wstring& text) {
  // A password is typed blind: no pre-edit shows there.
  std::wstring shown = m_bPasswordMode ? std::wstring() : text;
  if (shown == m_sComposition)
    return;
  m_sComposition = shown;
  Invalidate();
}

RECT CEditUI::GetCaretRect() {
  RECT rc = m_rcItem;
  if (!m_pManager)
    return rc;
  rc.left += m_rcTextPadding.left;
  SIZE line = CRenderEngine::GetTextSize(m_pManager, L"Ay", m_iFont);
  int inner_top = m_rcItem.top + m_rcTextPadding.top;
  int inner_bottom = m_rcItem.bottom - m_rcTextPadding.bottom;
  int top = inner_top + ((inner_bottom - inner_top) - line.cy) / 2;
  std::wstring shown = GetDisplayText();
  int x = CRenderEngine::GetTextSize(m_pManager, shown.substr(0, m_iCaret).c_str(), m_iFont).cx;
  return {rc.left + x, top, rc.left + x + 1, top + line.cy};
}

void CEditUI::DeleteSelection() {
  int a = GetSelStart();
  int b = GetSelEnd();
  if (a == b)
    return;
  std::wstring s = m_sText.str();
  s.erase(a, b - a);
  m_sText = s;
  m_iCaret = m_iAnchor = a;
}

bool CEditUI::InsertChar(wchar_t c) {
  if (m_bNumberOnly && !(c >= L'0' && c <= L'9'))
    return false;
  int selected = GetSelEnd() - GetSelStart();
  if (m_uMaxChar > 0 && static_cast<UINT>(m_sText.GetLength() - selected) >= m_uMaxChar)
    return false;
  DeleteSelection();
  std::wstring s = m_sText.str();
  s.insert(s.begin() + m_iCaret, c);
  m_sText = s;
  m_iAnchor = ++m_iCaret;
  return true;
}

bool CEditUI::TypeText(const wchar_t* text) {
  if (m_bReadOnly || !IsEnabled() || !text)
    return false;
  bool changed = false;
  for (const wchar_t* p = text; *p; ++p) {
    if (*p == L'\n' || *p == L'\r') {
      if (!WantsNewLine())
        continue;
    } else if (*p < 0x20 || *p == 0x7F) {
      continue;
    }
    changed |= InsertChar(*p == L'\r' ? L'\n' : *p);
  }
  if (changed) {
    Invalidate();
    if (m_pManager)
      m_pManager->SendNotify(this, DUI_MSGTYPE_TEXTCHANGED);
  }
  return changed;
}

int CEditUI::CaretFromX(int x) {
  if (!m_pManager)
    return m_sText.GetLength();
  std::wstring shown = GetDisplayText();
  int left = m_rcItem.left + m_rcTextPadding.left;
  for (size_t i = 0; i < shown.size(); ++i) {
    SIZE before = CRenderEngine::GetTextSize(m_pManager, shown.substr(0, i).c_str(), m_iFont);
    SIZE after = CRenderEngine::GetTextSize(m_pManager, shown.substr(0, i + 1).c_str(), m_iFont);
    if (x < left + (before.cx + after.cx) / 2)
      return static_cast<int>(i);
  }
  return static_cast<int>(shown.size());
}

void CEditUI::DoEvent(TEventUI& event) {
  if (event.Type == UIEVENT_KILLFOCUS)
    m_sComposition.clear();  // the input method ends its composition too
  if (!IsMouseEnabled() && event.Type > UIEVENT__MOUSEBEGIN && event.Type < UIEVENT__MOUSEEND) {
    CLabelUI::DoEvent(event);
    return;
  }
  switch (event.Type) {
    case UIEVENT_SETFOCUS:
      m_bFocused = true;
      Invalidate();
      return;
    case UIEVENT_KILLFOCUS:
      m_bFocused = false;
      m_iAnchor = m_iCaret;
      Invalidate();
      return;
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_DBLCLICK:
      if (IsEnabled()) {
        m_iCaret = m_iAnchor = CaretFromX(event.ptMouse.x);
        if (event.Type == UIEVENT_DBLCLICK)
          SetSelAll();
        Invalidate();
      }
      return;
    case UIEVENT_MOUSEMOVE:
    case UIEVENT_BUTTONUP:
    case UIEVENT_MOUSEENTER:
    case UIEVENT_MOUSELEAVE:
      return;
    case UIEVENT_CHAR: {
      if (!IsEnabled())
        return;
      wchar_t c = event.chKey;
      if (c == L'\r' || c == L'\n') {
        if (WantsNewLine()) {
          TypeText(L"\n");
        } else if (m_pManager) {
          m_pManager->SendNotify(this, DUI_MSGTYPE_RETURN);
        }
        return;
      }
      if (c == 0x08) {
        if (m_bReadOnly)
          return;
        if (GetSelStart() == GetSelEnd() && m_iCaret > 0)
          m_iAnchor = m_iCaret - 1;
        if (GetSelStart() != GetSelEnd()) {
          DeleteSelection();
          Invalidate();
          if (m_pManager)
            m_pManager->SendNotify(this, DUI_MSGTYPE_TEXTCHANGED);
        }
        return;
      }
      wchar_t buf[2] = {c, 0};
      TypeText(buf);
      return;
    }
    case UIEVENT_KEYDOWN: {
      if (!IsEnabled())
        return;
      bool shift = (event.wKeyState & MK_SHIFT) != 0;
      bool ctrl = (event.wKeyState & MK_CONTROL) != 0;
      int len = m_sText.GetLength();
      int caret = m_iCaret;
      switch (event.chKey) {
        case VK_LEFT:
          caret = std::max(0, m_iCaret - 1);
          break;
        case VK_RIGHT:
          caret = std::min(len, m_iCaret + 1);
          break;
        case VK_HOME:
          caret = 0;
          break;
        case VK_END:
          caret = len;
          break;
        case VK_DELETE:
          if (m_bReadOnly)
            return;
          if (GetSelStart() == GetSelEnd() && m_iCaret < len)
            m_iAnchor = m_iCaret + 1;
          if (GetSelStart() != GetSelEnd()) {
            DeleteSelection();
            Invalidate();
            if (m_pManager)
              m_pManager->SendNotify(this, DUI_MSGTYPE_TEXTCHANGED);
          }
          return;
        case 'A':
          if (ctrl)
            SetSelAll();
          return;
        case 'C':
        case 'X': {
          // A password never leaves its edit.
          if (!ctrl || m_bPasswordMode || GetSelStart() == GetSelEnd())
            return;
          std::wstring all = m_sText.str();
          CPresenter::SetClipboardText(all.substr(GetSelStart(), GetSelEnd() - GetSelStart()));
          if (event.chKey == 'X' && !m_bReadOnly) {
            DeleteSelection();
            Invalidate();
            if (m_pManager)
              m_pManager->SendNotify(this, DUI_MSGTYPE_TEXTCHANGED);
          }
          return;
        }
        case 'V': {
          if (!ctrl || m_bReadOnly)
            return;
          std::wstring text = CPresenter::GetClipboardText();
          // A single-line edit takes the first line only.
          if (!WantsNewLine())
            text = text.substr(0, text.find_first_of(L"\r\n"));
          if (!text.empty())
            TypeText(text.c_str());
          return;
        }
        default:
          return;
      }
      m_iCaret = caret;
      if (!shift)
        m_iAnchor = caret;
      Invalidate();
      return;
    }
    default:
      break;
  }
  CLabelUI::DoEvent(event);
}

bool CEditUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  std::wstring n = name;
  DWORD color;
  if (n == L"readonly") {
    SetReadOnly(ParseBool(value));
  } else if (n == L"password") {
    SetPasswordMode(ParseBool(value));
  } else if (n == L"passwordchar") {
    if (value && *value)
      SetPasswordChar(*value);
  } else if (n == L"maxchar") {
    SetMaxChar(static_cast<UINT>(std::wcstoul(value, nullptr, 10)));
  } else if (n == L"numberonly") {
    SetNumberOnly(ParseBool(value));
  } else if (n == L"tipvalue") {
    SetTipValue(value);
  } else if (n == L"tipvaluecolor") {
    if (!ParseColor(value, &color))
      return false;
    m_dwTipValueColor = color;
  } else if (n == L"nativebkcolor") {
    if (!ParseColor(value, &color))
      return false;
    m_dwNativeBkColor = color;
  } else {
    return CLabelUI::SetAttribute(name, value);
  }
  return true;
}

void CEditUI::PaintText(HDC hdc) {
  if (!m_pManager)
    return;
  RECT rc = m_rcItem;
  rc.left += m_rcTextPadding.left;
  rc.right -= m_rcTextPadding.right;
  rc.top += m_rcTextPadding.top;
  rc.bottom -= m_rcTextPadding.bottom;
  std::wstring shown = GetDisplayText();
  int caret_index = m_iCaret;
  int composition_end = m_iCaret;
  if (!m_sComposition.empty() && m_bFocused) {
    shown.insert(static_cast<size_t>(std::min<int>(m_iCaret, shown.size())), m_sComposition);
    composition_end = caret_index + static_cast<int>(m_sComposition.size());
  }
  if (shown.empty() && !m_bFocused && !m_sTipValue.IsEmpty()) {
    CRenderEngine::DrawText(hdc, m_pManager, rc, m_sTipValue, m_dwTipValueColor, m_iFont,
                            m_uTextStyle);
    return;
  }
  SIZE line = CRenderEngine::GetTextSize(m_pManager, L"Ay", m_iFont);
  int top = rc.top + ((rc.bottom - rc.top) - line.cy) / 2;
  if (m_bFocused && GetSelStart() != GetSelEnd()) {
    int x0 =
        CRenderEngine::GetTextSize(m_pManager, shown.substr(0, GetSelStart()).c_str(), m_iFont).cx;
    int x1 =
        CRenderEngine::GetTextSize(m_pManager, shown.substr(0, GetSelEnd()).c_str(), m_iFont).cx;
    RECT sel = {rc.left + x0, top, rc.left + x1, top + line.cy};
    CRenderEngine::DrawColor(hdc, sel, m_pManager->GetDefaultSelectedBkColor());
  }
  DWORD color = m_dwTextColor ? m_dwTextColor : m_pManager->GetDefaultFontColor();
  if (!IsEnabled())
    color = m_dwDisabledTextColor ? m_dwDisabledTextColor : m_pManager->GetDefaultDisabledColor();
  CRenderEngine::DrawText(hdc, m_pManager, rc, shown.c_str(), color, m_iFont,
                          DT_SINGLELINE | DT_VCENTER | DT_LEFT);
  if (composition_end > caret_index) {
    // The pre-edit is underlined, as input methods show it.
    int x0 =
        CRenderEngine::GetTextSize(m_pManager, shown.substr(0, caret_index).c_str(), m_iFont).cx;
    int x1 =
        CRenderEngine::GetTextSize(m_pManager, shown.substr(0, composition_end).c_str(), m_iFont)
            .cx;
    RECT underline = {rc.left + x0, top + line.cy - 1, rc.left + x1, top + line.cy};
    CRenderEngine::DrawColor(hdc, underline, color);
  }
  if (m_bFocused && !m_bReadOnly) {
    int x =
        CRenderEngine::GetTextSize(m_pManager, shown.substr(0, composition_end).c_str(), m_iFont)
            .cx;
    RECT caret = {rc.left + x, top, rc.left + x + 1, top + line.cy};
    CRenderEngine::DrawColor(hdc, caret, color);
  }
}

void CEditUI::PaintBorder(HDC hdc) {
  CLabelUI::PaintBorder(hdc);
}

CRichEditUI::CRichEditUI() {
  m_uTextStyle = DT_WORDBREAK | DT_LEFT | DT_TOP;
  m_uMaxChar = 0;
}

SIZE CRichEditUI::EstimateSize(SIZE) {
  // Without a fixed height it takes the room its layout gives it, so a long
  // text wraps over several lines instead of being cut to one.
  return m_cxyFixed;
}

void* CRichEditUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"RichEdit") == 0)
    return this;
  return CEditUI::GetInterface(name);
}

bool CRichEditUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  std::wstring n = name;
  if (n == L"multiline") {
    return true;
  } else if (n == L"wantreturn") {
    m_bWantReturn = ParseBool(value);
    return true;
  } else if (n == L"autovscroll" || n == L"autohscroll" || n == L"rich" || n == L"vscrollbar" ||
             n == L"hscrollbar" || n == L"transparent") {
    return true;
  }
  return CEditUI::SetAttribute(name, value);
}

void CRichEditUI::PaintText(HDC hdc) {
  if (!m_pManager)
    return;
  RECT rc = m_rcItem;
  rc.left += m_rcTextPadding.left;
  rc.right -= m_rcTextPadding.right;
  rc.top += m_rcTextPadding.top;
  rc.bottom -= m_rcTextPadding.bottom;
  DWORD color = m_dwTextColor ? m_dwTextColor : m_pManager->GetDefaultFontColor();
  UINT style = (m_uTextStyle & ~DT_SINGLELINE) | DT_WORDBREAK;
  CRenderEngine::DrawText(hdc, m_pManager, rc, GetDisplayText().c_str(), color, m_iFont, style);
}

}  // namespace DuiLib
