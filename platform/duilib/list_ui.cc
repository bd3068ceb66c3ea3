#include "duilib/list_ui.h"

#include <cwchar>

#include "duilib/paint_manager_ui.h"
#include "duilib/render_engine.h"

namespace DuiLib {
namespace {

IListItemUI* AsItem(CControlUI* c) {
  return c ? static_cast<IListItemUI*>(c->GetInterface(L"ListItem")) : nullptr;
}

}  // namespace

CListUI::CListUI() {
  m_bVScroll = true;
}

void* CListUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"List") == 0)
    return this;
  return CVerticalLayoutUI::GetInterface(name);
}

void CListUI::Reindex() {
  for (int i = 0; i < GetCount(); ++i) {
    if (IListItemUI* item = AsItem(m_items[i])) {
      item->SetIndex(i);
      item->SetOwner(this);
    }
  }
}

bool CListUI::Add(CControlUI* control) {
  return AddAt(control, GetCount());
}

bool CListUI::AddAt(CControlUI* control, int index) {
  if (!CVerticalLayoutUI::AddAt(control, index))
    return false;
  if (m_iCurSel >= index)
    ++m_iCurSel;
  Reindex();
  return true;
}

bool CListUI::Remove(CControlUI* control, bool do_not_destroy) {
  int index = GetItemIndex(control);
  return index >= 0 && RemoveAt(index, do_not_destroy);
}

bool CListUI::RemoveAt(int index, bool do_not_destroy) {
  if (!CVerticalLayoutUI::RemoveAt(index, do_not_destroy))
    return false;
  if (index == m_iCurSel)
    m_iCurSel = -1;
  else if (index < m_iCurSel)
    --m_iCurSel;
  Reindex();
  return true;
}

void CListUI::RemoveAll() {
  m_iCurSel = -1;
  CVerticalLayoutUI::RemoveAll();
}

bool CListUI::SelectItem(int index, bool take_focus, bool trigger_event) {
  if (index < 0 || index >= GetCount())
    return false;
  if (index == m_iCurSel)
    return true;
  IListItemUI* item = AsItem(GetItemAt(index));
  if (!item)
    return false;
  int old = m_iCurSel;
  if (IListItemUI* previous = AsItem(GetItemAt(old)))
    previous->Select(false, false);
  m_iCurSel = index;
  item->Select(true, false);
  CControlUI* control = GetItemAt(index);
  if (!m_bUpdateNeeded)
    EnsureVisible(control);
  if (take_focus)
    control->SetFocus();
  if (m_pManager && trigger_event)
    m_pManager->SendNotify(this, DUI_MSGTYPE_ITEMSELECT, m_iCurSel, old);
  return true;
}

bool CListUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  std::wstring n = name;
  DWORD color;
  RECT rc;
  auto color_attr = [&](DWORD* field) {
    if (!ParseColor(value, &color))
      return false;
    *field = color;
    return true;
  };
  if (n == L"itembkcolor")
    return color_attr(&m_ListInfo.dwBkColor);
  if (n == L"itemhotbkcolor")
    return color_attr(&m_ListInfo.dwHotBkColor);
  if (n == L"itemselectedbkcolor")
    return color_attr(&m_ListInfo.dwSelectedBkColor);
  if (n == L"itemtextcolor")
    return color_attr(&m_ListInfo.dwTextColor);
  if (n == L"itemselectedtextcolor")
    return color_attr(&m_ListInfo.dwSelectedTextColor);
  if (n == L"itemfont") {
    m_ListInfo.nFont = static_cast<int>(std::wcstol(value, nullptr, 10));
    return true;
  }
  if (n == L"itemtextpadding") {
    if (!ParseRect(value, &rc))
      return false;
    m_ListInfo.rcTextPadding = rc;
    return true;
  }
  if (n == L"itemalign") {
    std::wstring v = value;
    m_ListInfo.uTextStyle &= ~(DT_LEFT | DT_CENTER | DT_RIGHT);
    m_ListInfo.uTextStyle |= v == L"center" ? DT_CENTER : v == L"right" ? DT_RIGHT : DT_LEFT;
    return true;
  }
  if (n == L"header" || n == L"itemshowhtml" || n == L"itemlinecolor" || n == L"multiexpanding") {
    return true;
  }
  return CVerticalLayoutUI::SetAttribute(name, value);
}

void* CListContainerElementUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"ListItem") == 0)
    return static_cast<IListItemUI*>(this);
  if (std::wcscmp(name, L"ListContainerElement") == 0)
    return this;
  return CHorizontalLayoutUI::GetInterface(name);
}

bool CListContainerElementUI::Select(bool select, bool trigger_event) {
  if (select == m_bSelected)
    return true;
  if (select && m_pOwner && m_pOwner->GetCurSel() != m_iIndex)
    return m_pOwner->SelectItem(m_iIndex, false, trigger_event);
  m_bSelected = select;
  Invalidate();
  return true;
}

void CListContainerElementUI::DoEvent(TEventUI& event) {
  switch (event.Type) {
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_RBUTTONDOWN:
      if (IsEnabled()) {
        Select();
        Invalidate();
      }
      return;
    case UIEVENT_BUTTONUP:
      if (IsEnabled() && m_pManager)
        m_pManager->SendNotify(this, DUI_MSGTYPE_ITEMCLICK);
      return;
    case UIEVENT_MOUSEENTER:
      m_bHot = true;
      Invalidate();
      return;
    case UIEVENT_MOUSELEAVE:
      m_bHot = false;
      Invalidate();
      return;
    default:
      break;
  }
  CHorizontalLayoutUI::DoEvent(event);
}

void CListContainerElementUI::PaintBkColor(HDC hdc) {
  TListInfoUI* info = m_pOwner ? m_pOwner->GetListInfo() : nullptr;
  DWORD color = m_dwBackColor;
  if (info) {
    if (m_bSelected && info->dwSelectedBkColor)
      color = info->dwSelectedBkColor;
    else if (m_bHot && info->dwHotBkColor)
      color = info->dwHotBkColor;
    else if (!color)
      color = info->dwBkColor;
  }
  if (color >> 24)
    CRenderEngine::DrawColor(hdc, m_rcItem, color);
}

void* CListLabelElementUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"ListItem") == 0)
    return static_cast<IListItemUI*>(this);
  if (std::wcscmp(name, L"ListLabelElement") == 0)
    return this;
  return CLabelUI::GetInterface(name);
}

bool CListLabelElementUI::Select(bool select, bool trigger_event) {
  if (select == m_bSelected)
    return true;
  if (select && m_pOwner && m_pOwner->GetCurSel() != m_iIndex)
    return m_pOwner->SelectItem(m_iIndex, false, trigger_event);
  m_bSelected = select;
  Invalidate();
  return true;
}

void CListLabelElementUI::DoEvent(TEventUI& event) {
  switch (event.Type) {
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_RBUTTONDOWN:
      if (IsEnabled())
        Select();
      return;
    case UIEVENT_BUTTONUP:
      if (IsEnabled() && m_pManager)
        m_pManager->SendNotify(this, DUI_MSGTYPE_ITEMCLICK);
      return;
    case UIEVENT_MOUSEENTER:
      m_bHot = true;
      Invalidate();
      return;
    case UIEVENT_MOUSELEAVE:
      m_bHot = false;
      Invalidate();
      return;
    default:
      break;
  }
  CLabelUI::DoEvent(event);
}

void CListLabelElementUI::PaintBkColor(HDC hdc) {
  TListInfoUI* info = m_pOwner ? m_pOwner->GetListInfo() : nullptr;
  DWORD color = m_dwBackColor;
  if (info) {
    if (m_bSelected && info->dwSelectedBkColor)
      color = info->dwSelectedBkColor;
    else if (m_bHot && info->dwHotBkColor)
      color = info->dwHotBkColor;
    else if (!color)
      color = info->dwBkColor;
  }
  if (color >> 24)
    CRenderEngine::DrawColor(hdc, m_rcItem, color);
}

void CListLabelElementUI::PaintText(HDC hdc) {
  TListInfoUI* info = m_pOwner ? m_pOwner->GetListInfo() : nullptr;
  if (!info || !m_pManager) {
    CLabelUI::PaintText(hdc);
    return;
  }
  DWORD color = m_dwTextColor       ? m_dwTextColor
                : info->dwTextColor ? info->dwTextColor
                                    : m_pManager->GetDefaultFontColor();
  if (m_bSelected && info->dwSelectedTextColor)
    color = info->dwSelectedTextColor;
  RECT rc = m_rcItem;
  rc.left += info->rcTextPadding.left;
  rc.right -= info->rcTextPadding.right;
  rc.top += info->rcTextPadding.top;
  rc.bottom -= info->rcTextPadding.bottom;
  CRenderEngine::DrawText(hdc, m_pManager, rc, m_sText, color, m_iFont >= 0 ? m_iFont : info->nFont,
                          info->uTextStyle);
}

SIZE CListLabelElementUI::EstimateSize(SIZE available) {
  SIZE sz = CLabelUI::EstimateSize(available);
  if (m_cxyFixed.cy == 0)
    sz.cy += 4;
  return sz;
}

}  // namespace DuiLib
