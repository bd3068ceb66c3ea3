// A scrolling list of selectable items: plain text items and items that
// hold other controls.
#ifndef DUILIB_LIST_UI_H_
#define DUILIB_LIST_UI_H_

#include "duilib/container_ui.h"
#include "duilib/label_ui.h"

namespace DuiLib {

class CListUI;

class IListItemUI {
 public:
  virtual ~IListItemUI() = default;
  virtual int GetIndex() const = 0;
  virtual void SetIndex(int index) = 0;
  virtual CListUI* GetOwner() = 0;
  virtual void SetOwner(CListUI* owner) = 0;
  virtual bool IsSelected() const = 0;
  virtual bool Select(bool select = true, bool trigger_event = true) = 0;
};

struct TListInfoUI {
  DWORD dwBkColor = 0;
  DWORD dwHotBkColor = 0xFFE9F5FF;
  DWORD dwSelectedBkColor = 0xFFC1E3FF;
  DWORD dwTextColor = 0;
  DWORD dwSelectedTextColor = 0;
  int nFont = -1;
  UINT uTextStyle = DT_VCENTER | DT_SINGLELINE | DT_LEFT;
  RECT rcTextPadding = {0, 0, 0, 0};
};

class CListUI : public CVerticalLayoutUI {
 public:
  CListUI();
  const wchar_t* GetClass() const override { return L"ListUI"; }
  void* GetInterface(const wchar_t* name) override;

  bool Add(CControlUI* control) override;
  bool AddAt(CControlUI* control, int index) override;
  bool Remove(CControlUI* control, bool do_not_destroy = false) override;
  bool RemoveAt(int index, bool do_not_destroy = false) override;
  void RemoveAll() override;

  int GetCurSel() const { return m_iCurSel; }
  // Selects the item and sends "itemselect" (wParam new index, lParam the
  // old one); an index out of range changes nothing and returns false.
  bool SelectItem(int index, bool take_focus = false, bool trigger_event = true);
  TListInfoUI* GetListInfo() { return &m_ListInfo; }

  bool SetAttribute(const wchar_t* name, const wchar_t* value) override;

 protected:
  void Reindex();
  int m_iCurSel = -1;
  TListInfoUI m_ListInfo;
};

// An item that holds other controls laid out side by side.
class CListContainerElementUI : public CHorizontalLayoutUI, public IListItemUI {
 public:
  const wchar_t* GetClass() const override { return L"ListContainerElementUI"; }
  void* GetInterface(const wchar_t* name) override;
  int GetIndex() const override { return m_iIndex; }
  void SetIndex(int index) override { m_iIndex = index; }
  CListUI* GetOwner() override { return m_pOwner; }
  void SetOwner(CListUI* owner) override { m_pOwner = owner; }
  bool IsSelected() const override { return m_bSelected; }
  bool Select(bool select = true, bool trigger_event = true) override;
  void DoEvent(TEventUI& event) override;
  void PaintBkColor(HDC hdc) override;

 protected:
  int m_iIndex = -1;
  CListUI* m_pOwner = nullptr;
  bool m_bSelected = false;
  bool m_bHot = false;
};

// A one-line text item.
class CListLabelElementUI : public CLabelUI, public IListItemUI {
 public:
  const wchar_t* GetClass() const override { return L"ListLabelElementUI"; }
  void* GetInterface(const wchar_t* name) override;
  int GetIndex() const override { return m_iIndex; }
  void SetIndex(int index) override { m_iIndex = index; }
  CListUI* GetOwner() override { return m_pOwner; }
  void SetOwner(CListUI* owner) override { m_pOwner = owner; }
  bool IsSelected() const override { return m_bSelected; }
  bool Select(bool select = true, bool trigger_event = true) override;
  void DoEvent(TEventUI& event) override;
  void PaintBkColor(HDC hdc) override;
  void PaintText(HDC hdc) override;
  SIZE EstimateSize(SIZE available) override;

 protected:
  int m_iIndex = -1;
  CListUI* m_pOwner = nullptr;
  bool m_bSelected = false;
  bool m_bHot = false;
};

}  // namespace DuiLib

#endif  // DUILIB_LIST_UI_H_
