// Containers and layouts: children, inset, child padding, fixed and
// stretched sizes, float positions, vertical scrolling and tab pages.
#ifndef DUILIB_CONTAINER_UI_H_
#define DUILIB_CONTAINER_UI_H_

#include <vector>

#include "duilib/control_ui.h"

namespace DuiLib {

class IContainerUI {
 public:
  virtual ~IContainerUI() = default;
  virtual CControlUI* GetItemAt(int index) const = 0;
  virtual int GetItemIndex(CControlUI* control) const = 0;
  virtual bool SetItemIndex(CControlUI* control, int index) = 0;
  virtual int GetCount() const = 0;
  virtual bool Add(CControlUI* control) = 0;
  virtual bool AddAt(CControlUI* control, int index) = 0;
  virtual bool Remove(CControlUI* control, bool do_not_destroy = false) = 0;
  virtual bool RemoveAt(int index, bool do_not_destroy = false) = 0;
  virtual void RemoveAll() = 0;
};

// Lays its children over each other in the inset rectangle (the base of the
// layouts). Owns its children.
class CContainerUI : public CControlUI, public IContainerUI {
 public:
  CContainerUI();
  ~CContainerUI() override;

  const wchar_t* GetClass() const override { return L"ContainerUI"; }
  void* GetInterface(const wchar_t* name) override;

  CControlUI* GetItemAt(int index) const override;
  int GetItemIndex(CControlUI* control) const override;
  bool SetItemIndex(CControlUI* control, int index) override;
  int GetCount() const override { return static_cast<int>(m_items.size()); }
  bool Add(CControlUI* control) override;
  bool AddAt(CControlUI* control, int index) override;
  bool Remove(CControlUI* control, bool do_not_destroy = false) override;
  bool RemoveAt(int index, bool do_not_destroy = false) override;
  void RemoveAll() override;

  RECT GetInset() const { return m_rcInset; }
  void SetInset(RECT inset);
  int GetChildPadding() const { return m_iChildPadding; }
  void SetChildPadding(int padding);
  bool IsMouseChildEnabled() const { return m_bMouseChildEnabled; }
  void SetMouseChildEnabled(bool enable = true) { m_bMouseChildEnabled = enable; }
  void SetAutoDestroy(bool auto_destroy) { m_bAutoDestroy = auto_destroy; }

  // Vertical scrolling (attribute vscrollbar="true"; lists always scroll).
  bool IsVScrollEnabled() const { return m_bVScroll; }
  void EnableScrollBar(bool vertical = true, bool horizontal = false);
  int GetScrollPos() const { return m_nScrollPos; }
  int GetScrollRange() const;
  void SetScrollPos(int pos);
  void LineUp();
  void LineDown();
  // Scrolls so that the control is fully in view.
  void EnsureVisible(CControlUI* control);
  // The scroll bar's thumb; empty when there is nothing to scroll.
  RECT GetScrollThumbRect() const;
  // Dragging the thumb: the scroll position for a thumb moved by `dy` pixels
  // from where a drag started at scroll position `start_pos`.
  int ScrollPosForThumbDrag(int start_pos, int dy) const;

  void SetVisible(bool visible = true) override;
  void SetInternVisible(bool visible = true) override;
  void SetEnabled(bool enabled = true) override;
  void SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init = true) override;
  void SetPos(RECT rc, bool need_invalidate = true) override;
  void DoEvent(TEventUI& event) override;
  bool SetAttribute(const wchar_t* name, const wchar_t* value) override;
  bool DoPaint(HDC hdc, const RECT& paint, CControlUI* stop = nullptr) override;
  CControlUI* FindControl(FINDCONTROLPROC proc, LPVOID data, UINT flags) override;

  CControlUI* FindSubControl(const wchar_t* name);

 protected:
  void SetFloatPos(int index);
  // The rectangle left for children.
  RECT InsetRect() const;
  void PaintScrollBar(HDC hdc);

  std::vector<CControlUI*> m_items;
  RECT m_rcInset = {0, 0, 0, 0};
  int m_iChildPadding = 0;
  bool m_bAutoDestroy = true;
  bool m_bMouseChildEnabled = true;
  bool m_bVScroll = false;
  int m_nScrollPos = 0;
  int m_nContentHeight = 0;
  UINT m_iChildAlign = DT_LEFT;
  UINT m_iChildVAlign = DT_TOP;
};

class CVerticalLayoutUI : public CContainerUI {
 public:
  const wchar_t* GetClass() const override { return L"VerticalLayoutUI"; }
  void* GetInterface(const wchar_t* name) override;
  void SetPos(RECT rc, bool need_invalidate = true) override;
};

class CHorizontalLayoutUI : public CContainerUI {
 public:
  const wchar_t* GetClass() const override { return L"HorizontalLayoutUI"; }
  void* GetInterface(const wchar_t* name) override;
  void SetPos(RECT rc, bool need_invalidate = true) override;
};

// Shows one child at a time.
class CTabLayoutUI : public CContainerUI {
 public:
  const wchar_t* GetClass() const override { return L"TabLayoutUI"; }
  void* GetInterface(const wchar_t* name) override;
  bool Add(CControlUI* control) override;
  bool AddAt(CControlUI* control, int index) override;
  bool Remove(CControlUI* control, bool do_not_destroy = false) override;
  void RemoveAll() override;
  int GetCurSel() const { return m_iCurSel; }
  bool SelectItem(int index);
  bool SelectItem(CControlUI* control);
  void SetPos(RECT rc, bool need_invalidate = true) override;
  bool SetAttribute(const wchar_t* name, const wchar_t* value) override;

 protected:
  int m_iCurSel = -1;
  int m_iInitSel = -1;
};

}  // namespace DuiLib

#endif  // DUILIB_CONTAINER_UI_H_
