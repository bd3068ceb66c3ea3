#include "duilib/container_ui.h"

#include <algorithm>
#include <cwchar>

#include "duilib/paint_manager_ui.h"
#include "duilib/render_engine.h"

namespace DuiLib {
namespace {

constexpr int kScrollLine = 24;

SIZE Clamp(const CControlUI* c, SIZE sz) {
  if (sz.cx) {
    sz.cx = std::max<LONG>(sz.cx, c->GetMinWidth());
    sz.cx = std::min<LONG>(sz.cx, c->GetMaxWidth());
  }
  if (sz.cy) {
    sz.cy = std::max<LONG>(sz.cy, c->GetMinHeight());
    sz.cy = std::min<LONG>(sz.cy, c->GetMaxHeight());
  }
  return sz;
}

// How a box layout shares its main axis: the space taken by fixed-size
// children, paddings and gaps, and how many children stretch to fill the rest.
struct AxisShare {
  int expand = 0;     // size given to each stretched child
  int remainder = 0;  // left over, given to the last stretched child
  int adjustables = 0;
  int counted = 0;
};

AxisShare ShareMainAxis(const std::vector<CControlUI*>& items,
                        SIZE avail,
                        int child_padding,
                        bool vertical) {
  AxisShare share;
  int fixed = 0;
  for (CControlUI* c : items) {
    if (!c->IsVisible() || c->IsFloat())
      continue;
    SIZE sz = Clamp(c, c->EstimateSize(avail));
    RECT pad = c->GetPadding();
    int main = vertical ? sz.cy : sz.cx;
    if (main == 0)
      ++share.adjustables;
    fixed += main + (vertical ? pad.top + pad.bottom : pad.left + pad.right);
    ++share.counted;
  }
  if (share.counted > 1)
    fixed += (share.counted - 1) * child_padding;
  int room = vertical ? avail.cy : avail.cx;
  if (share.adjustables) {
    share.expand = std::max(0, (room - fixed) / share.adjustables);
    share.remainder = std::max(0, room - fixed) - share.expand * share.adjustables;
  }
  return share;
}

}  // namespace

CContainerUI::CContainerUI() = default;

CContainerUI::~CContainerUI() {
  RemoveAll();
}

void* CContainerUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"IContainer") == 0)
    return static_cast<IContainerUI*>(this);
  if (std::wcscmp(name, L"Container") == 0)
    return this;
  return CControlUI::GetInterface(name);
}

CControlUI* CContainerUI::GetItemAt(int index) const {
  if (index < 0 || index >= GetCount())
    return nullptr;
  return m_items[index];
}

int CContainerUI::GetItemIndex(CControlUI* control) const {
  auto it = std::find(m_items.begin(), m_items.end(), control);
  return it == m_items.end() ? -1 : static_cast<int>(it - m_items.begin());
}

bool CContainerUI::SetItemIndex(CControlUI* control, int index) {
  int old = GetItemIndex(control);
  if (old < 0 || index < 0 || index >= GetCount())
    return false;
  m_items.erase(m_items.begin() + old);
  m_items.insert(m_items.begin() + index, control);
  NeedUpdate();
  return true;
}

bool CContainerUI::Add(CControlUI* control) {
  return AddAt(control, GetCount());
}

bool CContainerUI::AddAt(CControlUI* control, int index) {
  if (!control || index < 0 || index > GetCount())
    return false;
  m_items.insert(m_items.begin() + index, control);
  if (m_pManager)
    m_pManager->InitControls(control, this);
  else
    control->SetManager(nullptr, this, false);
  if (!IsVisible())
    control->SetInternVisible(false);
  NeedUpdate();
  return true;
}

bool CContainerUI::Remove(CControlUI* control, bool do_not_destroy) {
  int index = GetItemIndex(control);
  if (index < 0)
    return false;
  return RemoveAt(index, do_not_destroy);
}

bool CContainerUI::RemoveAt(int index, bool do_not_destroy) {
  CControlUI* c = GetItemAt(index);
  if (!c)
    return false;
  m_items.erase(m_items.begin() + index);
  if (m_pManager)
    m_pManager->ReapObjects(c);
  if (!do_not_destroy && m_bAutoDestroy)
    delete c;
  NeedUpdate();
  return true;
}

void CContainerUI::RemoveAll() {
  std::vector<CControlUI*> items;
  items.swap(m_items);
  for (CControlUI* c : items) {
    if (m_pManager)
      m_pManager->ReapObjects(c);
    if (m_bAutoDestroy)
      delete c;
  }
  m_nScrollPos = 0;
  NeedUpdate();
}

void CContainerUI::SetInset(RECT inset) {
  m_rcInset = inset;
  NeedUpdate();
}

void CContainerUI::SetChildPadding(int padding) {
  m_iChildPadding = padding;
  NeedUpdate();
}

void CContainerUI::EnableScrollBar(bool vertical, bool) {
  m_bVScroll = vertical;
  NeedUpdate();
}

int CContainerUI::GetScrollRange() const {
  RECT rc = InsetRect();
  return std::max<int>(0, m_nContentHeight - (rc.bottom - rc.top));
}

void CContainerUI::SetScrollPos(int pos) {
  pos = std::clamp(pos, 0, GetScrollRange());
  if (pos == m_nScrollPos)
    return;
  m_nScrollPos = pos;
  SetPos(m_rcItem, true);
}

void CContainerUI::LineUp() {
  SetScrollPos(m_nScrollPos - kScrollLine);
}

void CContainerUI::LineDown() {
  SetScrollPos(m_nScrollPos + kScrollLine);
}

void CContainerUI::EnsureVisible(CControlUI* control) {
  if (!m_bVScroll || GetItemIndex(control) < 0)
    return;
  RECT view = InsetRect();
  RECT item = control->GetPos();
  if (item.top < view.top)
    SetScrollPos(m_nScrollPos - (view.top - item.top));
  else if (item.bottom > view.bottom)
    SetScrollPos(m_nScrollPos + (item.bottom - view.bottom));
}

void CContainerUI::SetVisible(bool visible) {
  if (ForwardToWindowThread([&] { SetVisible(visible); }))
    return;
  if (m_bVisible == visible)
    return;
  CControlUI::SetVisible(visible);
  for (CControlUI* c : m_items)
    c->SetInternVisible(IsVisible());
}

void CContainerUI::SetInternVisible(bool visible) {
  CControlUI::SetInternVisible(visible);
  for (CControlUI* c : m_items)
    c->SetInternVisible(IsVisible());
}

void CContainerUI::SetEnabled(bool enabled) {
  if (ForwardToWindowThread([&] { SetEnabled(enabled); }))
    return;
  CControlUI::SetEnabled(enabled);
}

void CContainerUI::SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init) {
  for (CControlUI* c : m_items)
    c->SetManager(manager, this, init);
  CControlUI::SetManager(manager, parent, init);
}

RECT CContainerUI::InsetRect() const {
  RECT rc = m_rcItem;
  rc.left += m_rcInset.left;
  rc.top += m_rcInset.top;
  rc.right -= m_rcInset.right;
  rc.bottom -= m_rcInset.bottom;
  if (rc.right < rc.left)
    rc.right = rc.left;
  if (rc.bottom < rc.top)
    rc.bottom = rc.top;
  return rc;
}

void CContainerUI::SetFloatPos(int index) {
  CControlUI* c = GetItemAt(index);
  if (!c || !c->IsVisible() || !c->IsFloat())
    return;
  SIZE xy = c->GetFixedXY();
  RECT rc = {m_rcItem.left + xy.cx, m_rcItem.top + xy.cy, 0, 0};
  rc.right = rc.left + c->GetFixedWidth();
  rc.bottom = rc.top + c->GetFixedHeight();
  c->SetPos(rc, false);
}

void CContainerUI::SetPos(RECT rc, bool need_invalidate) {
  CControlUI::SetPos(rc, need_invalidate);
  RECT inner = InsetRect();
  int max_bottom = inner.top;
  for (int i = 0; i < GetCount(); ++i) {
    CControlUI* c = m_items[i];
    if (!c->IsVisible())
      continue;
    if (c->IsFloat()) {
      SetFloatPos(i);
      continue;
    }
    RECT pad = c->GetPadding();
    SIZE sz = Clamp(c, c->EstimateSize({inner.right - inner.left, inner.bottom - inner.top}));
    RECT pos = {inner.left + pad.left, inner.top + pad.top - m_nScrollPos,
                sz.cx ? inner.left + pad.left + sz.cx : inner.right - pad.right,
                sz.cy ? inner.top + pad.top + sz.cy - m_nScrollPos : inner.bottom - pad.bottom};
    c->SetPos(pos, false);
    max_bottom = std::max<int>(max_bottom, pos.bottom + pad.bottom + m_nScrollPos);
  }
  m_nContentHeight = max_bottom - inner.top;
}

void CContainerUI::DoEvent(TEventUI& event) {
  if (event.Type == UIEVENT_SCROLLWHEEL && m_bVScroll && GetScrollRange() > 0) {
    if (static_cast<short>(event.wParam) > 0)
      LineUp();
    else
      LineDown();
    return;
  }
  CControlUI::DoEvent(event);
}

bool CContainerUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  std::wstring n = name;
  RECT rc;
  if (n == L"inset") {
    if (!ParseRect(value, &rc))
      return false;
    SetInset(rc);
  } else if (n == L"childpadding") {
    SetChildPadding(std::wcstol(value, nullptr, 10));
  } else if (n == L"mousechild") {
    SetMouseChildEnabled(ParseBool(value));
  } else if (n == L"vscrollbar") {
    EnableScrollBar(ParseBool(value));
  } else if (n == L"hscrollbar" || n == L"vscrollbarstyle" || n == L"hscrollbarstyle") {
    // Accepted; only vertical scrolling is drawn.
  } else if (n == L"childalign") {
    std::wstring v = value;
    m_iChildAlign = v == L"center" ? DT_CENTER : v == L"right" ? DT_RIGHT : DT_LEFT;
  } else if (n == L"childvalign") {
    std::wstring v = value;
    m_iChildVAlign = v == L"vcenter" ? DT_VCENTER : v == L"bottom" ? DT_BOTTOM : DT_TOP;
  } else {
    return CControlUI::SetAttribute(name, value);
  }
  return true;
}

bool CContainerUI::DoPaint(HDC hdc, const RECT& paint, CControlUI* stop) {
  RECT tmp;
  if (!IntersectRect(&tmp, &paint, &m_rcItem))
    return true;
  CControlUI::DoPaint(hdc, paint, stop);
  cairo_t* cr = CRenderEngine::Cairo(hdc);
  cairo_save(cr);
  cairo_rectangle(cr, tmp.left, tmp.top, tmp.right - tmp.left, tmp.bottom - tmp.top);
  cairo_clip(cr);
  RECT inner = InsetRect();
  RECT child_clip;
  bool has_inner = IntersectRect(&child_clip, &tmp, &inner);
  for (CControlUI* c : m_items) {
    if (!c->IsVisible())
      continue;
    RECT pos = c->GetPos();
    if (c->IsFloat()) {
      if (IntersectRect(&pos, &pos, &tmp))
        c->DoPaint(hdc, tmp, stop);
      continue;
    }
    if (!has_inner || !IntersectRect(&pos, &pos, &child_clip))
      continue;
    cairo_save(cr);
    cairo_rectangle(cr, child_clip.left, child_clip.top, child_clip.right - child_clip.left,
                    child_clip.bottom - child_clip.top);
    cairo_clip(cr);
    c->DoPaint(hdc, child_clip, stop);
    cairo_restore(cr);
  }
  PaintScrollBar(hdc);
  cairo_restore(cr);
  return true;
}

RECT CContainerUI::GetScrollThumbRect() const {
  int range = GetScrollRange();
  if (!m_bVScroll || range <= 0)
    return {0, 0, 0, 0};
  RECT inner = InsetRect();
  int view = inner.bottom - inner.top;
  int thumb = std::max(12, view * view / std::max(1, m_nContentHeight));
  int top = inner.top + (view - thumb) * m_nScrollPos / range;
  return {inner.right - 6, top, inner.right - 2, top + thumb};
}

int CContainerUI::ScrollPosForThumbDrag(int start_pos, int dy) const {
  int range = GetScrollRange();
  RECT thumb = GetScrollThumbRect();
  RECT inner = InsetRect();
  int travel = (inner.bottom - inner.top) - (thumb.bottom - thumb.top);
  if (range <= 0 || travel <= 0)
    return 0;
  return std::clamp(start_pos + dy * range / travel, 0, range);
}

void CContainerUI::PaintScrollBar(HDC hdc) {
  RECT bar = GetScrollThumbRect();
  if (!IsRectEmpty(&bar))
    CRenderEngine::DrawColor(hdc, bar, 0x80909090);
}

CControlUI* CContainerUI::FindControl(FINDCONTROLPROC proc, LPVOID data, UINT flags) {
  if ((flags & UIFIND_VISIBLE) && !IsVisible())
    return nullptr;
  if ((flags & UIFIND_ENABLED) && !IsEnabled())
    return nullptr;
  if (flags & UIFIND_HITTEST) {
    POINT pt = *static_cast<POINT*>(data);
    if (!PtInRect(&m_rcItem, pt))
      return nullptr;
    if (!m_bMouseChildEnabled) {
      return m_bMouseEnabled ? proc(this, data) : nullptr;
    }
  }
  if (flags & UIFIND_ME_FIRST) {
    if (CControlUI* me = proc(this, data))
      return me;
  }
  if (flags & UIFIND_HITTEST) {
    // Later children are drawn above earlier ones; floats above the flow.
    for (int pass = 0; pass < 2; ++pass) {
      for (int i = GetCount() - 1; i >= 0; --i) {
        CControlUI* c = m_items[i];
        if (c->IsFloat() != (pass == 0))
          continue;
        if (!c->IsFloat()) {
          RECT inner = InsetRect();
          if (!PtInRect(&inner, *static_cast<POINT*>(data)))
            continue;
        }
        if (CControlUI* found = c->FindControl(proc, data, flags))
          return found;
      }
    }
  } else {
    for (CControlUI* c : m_items) {
      if (CControlUI* found = c->FindControl(proc, data, flags))
        return found;
    }
  }
  if ((flags & UIFIND_HITTEST) && !m_bMouseEnabled)
    return nullptr;
  return (flags & UIFIND_ME_FIRST) ? nullptr : proc(this, data);
}

CControlUI* CContainerUI::FindSubControl(const wchar_t* name) {
  return m_pManager ? m_pManager->FindSubControlByName(this, name) : nullptr;
}

void* CVerticalLayoutUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"VerticalLayout") == 0)
    return this;
  return CContainerUI::GetInterface(name);
}

void CVerticalLayoutUI::SetPos(RECT rc, bool need_invalidate) {
  CControlUI::SetPos(rc, need_invalidate);
  RECT inner = InsetRect();
  SIZE avail = {inner.right - inner.left, inner.bottom - inner.top};
  AxisShare share = ShareMainAxis(m_items, avail, m_iChildPadding, true);
  const int adjustables = share.adjustables;
  const int counted = share.counted;
  const int expand = share.expand;
  const int remainder = share.remainder;
  int y = inner.top - m_nScrollPos;
  int seen_adjustable = 0;
  for (int i = 0; i < GetCount(); ++i) {
    CControlUI* c = m_items[i];
    if (!c->IsVisible())
      continue;
    if (c->IsFloat()) {
      SetFloatPos(i);
      continue;
    }
    RECT pad = c->GetPadding();
    SIZE sz = Clamp(c, c->EstimateSize(avail));
    if (sz.cy == 0) {
      ++seen_adjustable;
      sz.cy = expand + (seen_adjustable == adjustables ? remainder : 0);
      sz.cy = std::clamp<LONG>(sz.cy, c->GetMinHeight(), c->GetMaxHeight());
    }
    int width = sz.cx ? sz.cx : std::max<int>(0, avail.cx - pad.left - pad.right);
    int x = inner.left + pad.left;
    if (sz.cx && m_iChildAlign == DT_CENTER)
      x = inner.left + (avail.cx - width) / 2;
    else if (sz.cx && m_iChildAlign == DT_RIGHT)
      x = inner.right - pad.right - width;
    RECT pos = {x, y + pad.top, x + width, y + pad.top + sz.cy};
    c->SetPos(pos, false);
    y += pad.top + sz.cy + pad.bottom + m_iChildPadding;
  }
  m_nContentHeight = y + m_nScrollPos - inner.top - (counted ? m_iChildPadding : 0);
  if (m_nScrollPos > GetScrollRange()) {
    m_nScrollPos = GetScrollRange();
    SetPos(rc, false);
  }
}

void* CHorizontalLayoutUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"HorizontalLayout") == 0)
    return this;
  return CContainerUI::GetInterface(name);
}

void CHorizontalLayoutUI::SetPos(RECT rc, bool need_invalidate) {
  CControlUI::SetPos(rc, need_invalidate);
  RECT inner = InsetRect();
  SIZE avail = {inner.right - inner.left, inner.bottom - inner.top};
  AxisShare share = ShareMainAxis(m_items, avail, m_iChildPadding, false);
  const int adjustables = share.adjustables;
  const int expand = share.expand;
  const int remainder = share.remainder;
  int x = inner.left;
  int seen_adjustable = 0;
  for (int i = 0; i < GetCount(); ++i) {
    CControlUI* c = m_items[i];
    if (!c->IsVisible())
      continue;
    if (c->IsFloat()) {
      SetFloatPos(i);
      continue;
    }
    RECT pad = c->GetPadding();
    SIZE sz = Clamp(c, c->EstimateSize(avail));
    if (sz.cx == 0) {
      ++seen_adjustable;
      sz.cx = expand + (seen_adjustable == adjustables ? remainder : 0);
      sz.cx = std::clamp<LONG>(sz.cx, c->GetMinWidth(), c->GetMaxWidth());
    }
    int height = sz.cy ? sz.cy : std::max<int>(0, avail.cy - pad.top - pad.bottom);
    int y = inner.top + pad.top;
    if (sz.cy && m_iChildVAlign == DT_VCENTER)
      y = inner.top + (avail.cy - height) / 2;
    else if (sz.cy && m_iChildVAlign == DT_BOTTOM)
      y = inner.bottom - pad.bottom - height;
    RECT pos = {x + pad.left, y, x + pad.left + sz.cx, y + height};
    c->SetPos(pos, false);
    x += pad.left + sz.cx + pad.right + m_iChildPadding;
  }
  m_nContentHeight = avail.cy;
}

void* CTabLayoutUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"TabLayout") == 0)
    return this;
  return CContainerUI::GetInterface(name);
}

bool CTabLayoutUI::Add(CControlUI* control) {
  return AddAt(control, GetCount());
}

bool CTabLayoutUI::AddAt(CControlUI* control, int index) {
  if (!CContainerUI::AddAt(control, index))
    return false;
  int at = GetItemIndex(control);
  if (m_iCurSel >= at)
    ++m_iCurSel;
  bool wanted = m_iInitSel >= 0 ? at == m_iInitSel : (m_iCurSel == -1 && control->IsVisible());
  if (wanted) {
    if (m_iCurSel >= 0)
      GetItemAt(m_iCurSel)->SetVisible(false);
    m_iCurSel = at;
  } else {
    control->SetVisible(false);
  }
  return true;
}

bool CTabLayoutUI::Remove(CControlUI* control, bool do_not_destroy) {
  int index = GetItemIndex(control);
  if (!CContainerUI::Remove(control, do_not_destroy))
    return false;
  if (index == m_iCurSel) {
    m_iCurSel = -1;
    if (GetCount() > 0)
      SelectItem(std::min(index, GetCount() - 1));
  } else if (index < m_iCurSel) {
    --m_iCurSel;
  }
  return true;
}

void CTabLayoutUI::RemoveAll() {
  m_iCurSel = -1;
  CContainerUI::RemoveAll();
}

bool CTabLayoutUI::SelectItem(int index) {
  if (index < 0 || index >= GetCount())
    return false;
  if (index == m_iCurSel)
    return true;
  int old = m_iCurSel;
  m_iCurSel = index;
  for (int i = 0; i < GetCount(); ++i)
    m_items[i]->SetVisible(i == index);
  NeedUpdate();
  if (m_pManager) {
    m_pManager->SetFocus(nullptr);
    m_pManager->SendNotify(this, DUI_MSGTYPE_TABSELECT, m_iCurSel, old);
  }
  return true;
}

bool CTabLayoutUI::SelectItem(CControlUI* control) {
  int index = GetItemIndex(control);
  return index >= 0 && SelectItem(index);
}

void CTabLayoutUI::SetPos(RECT rc, bool need_invalidate) {
  CControlUI::SetPos(rc, need_invalidate);
  RECT inner = InsetRect();
  for (int i = 0; i < GetCount(); ++i) {
    CControlUI* c = m_items[i];
    if (!c->IsVisible())
      continue;
    if (c->IsFloat()) {
      SetFloatPos(i);
      continue;
    }
    RECT pad = c->GetPadding();
    RECT pos = {inner.left + pad.left, inner.top + pad.top, inner.right - pad.right,
                inner.bottom - pad.bottom};
    c->SetPos(pos, false);
  }
}

bool CTabLayoutUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  if (std::wcscmp(name, L"selectedid") == 0) {
    int index = static_cast<int>(std::wcstol(value, nullptr, 10));
    // Pages are usually added after this attribute is read.
    if (index >= GetCount())
      m_iInitSel = index;
    else
      SelectItem(index);
    return true;
  }
  return CContainerUI::SetAttribute(name, value);
}

}  // namespace DuiLib
