// Pop-up menus built from a menu file. Choosing an item posts WM_MENUCLICK
// to the owner window with a heap MenuCmd in lParam that the receiver
// deletes; the menu then closes (and deletes itself).
#ifndef DUILIB_MENU_WND_H_
#define DUILIB_MENU_WND_H_

#include "duilib/list_ui.h"
#include "duilib/window_impl_base.h"

namespace DuiLib {

#define WM_MENUCLICK (WM_USER + 121)

struct MenuCmd {
  wchar_t szName[256];
  wchar_t szUserData[1024];
  wchar_t szText[1024];
  BOOL bChecked;
};

class CMenuUI : public CListUI {
 public:
  const wchar_t* GetClass() const override { return L"MenuUI"; }
  void* GetInterface(const wchar_t* name) override;
};

class CMenuElementUI : public CListContainerElementUI {
 public:
  const wchar_t* GetClass() const override { return L"MenuElementUI"; }
  void* GetInterface(const wchar_t* name) override;
  SIZE EstimateSize(SIZE available) override;
  bool SetAttribute(const wchar_t* name, const wchar_t* value) override;
  void PaintText(HDC hdc) override;

 private:
  DWORD m_dwTextColor = 0;
  RECT m_rcTextPadding = {20, 0, 0, 0};
  int m_iFont = -1;
};

class CMenuWnd : public WindowImplBase {
 public:
  // Called on the owner's thread. Opens the menu with its top-left corner at
  // the screen point (moved inside the screen when needed); null when the
  // menu file cannot be built.
  static CMenuWnd* CreateMenu(const wchar_t* xml, POINT point, HWND owner);

 protected:
  CMenuWnd(const wchar_t* xml, HWND owner) : xml_(xml ? xml : L""), owner_(owner) {}
  const wchar_t* GetWindowClassName() const override { return L"MenuWnd"; }
  CDuiString GetSkinFile() override { return xml_.c_str(); }
  void Notify(TNotifyUI& msg) override;
  void OnFinalMessage(HWND hwnd) override;
  // A click elsewhere or the focus going to another program closes the menu.
  LRESULT HandleCustomMessage(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled) override;

 private:
  std::wstring xml_;
  HWND owner_;
};

}  // namespace DuiLib

#endif  // DUILIB_MENU_WND_H_
