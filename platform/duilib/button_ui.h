// Buttons: a push button with state images and colours, an option with a
// selected state and an exclusive group, and a check box.
#ifndef DUILIB_BUTTON_UI_H_
#define DUILIB_BUTTON_UI_H_

#include "duilib/label_ui.h"

namespace DuiLib {

#define UISTATE_FOCUSED 0x00000001
#define UISTATE_SELECTED 0x00000002
#define UISTATE_DISABLED 0x00000004
#define UISTATE_HOT 0x00000008
#define UISTATE_PUSHED 0x00000010
#define UISTATE_CAPTURED 0x00000040

class CButtonUI : public CLabelUI {
 public:
  CButtonUI();
  const wchar_t* GetClass() const override { return L"ButtonUI"; }
  void* GetInterface(const wchar_t* name) override;
  UINT GetControlFlags() const override;

  bool Activate() override;
  void SetEnabled(bool enabled = true) override;
  void DoEvent(TEventUI& event) override;
  bool SetAttribute(const wchar_t* name, const wchar_t* value) override;
  void PaintText(HDC hdc) override;
  void PaintStatusImage(HDC hdc) override;
  void PaintBkColor(HDC hdc) override;

  UINT GetButtonState() const { return m_uButtonState; }
  void SetNormalImage(const wchar_t* image);
  void SetHotImage(const wchar_t* image);
  void SetPushedImage(const wchar_t* image);
  void SetDisabledImage(const wchar_t* image);
  void SetHotTextColor(DWORD color) { m_dwHotTextColor = color; }
  void SetPushedTextColor(DWORD color) { m_dwPushedTextColor = color; }
  void SetHotBkColor(DWORD color) { m_dwHotBkColor = color; }

 protected:
  UINT m_uButtonState = 0;
  DWORD m_dwHotTextColor = 0;
  DWORD m_dwPushedTextColor = 0;
  DWORD m_dwFocusedTextColor = 0;
  DWORD m_dwHotBkColor = 0;
  DWORD m_dwPushedBkColor = 0;
  DWORD m_dwDisabledBkColor = 0;
  CDuiString m_sNormalImage;
  CDuiString m_sHotImage;
  CDuiString m_sPushedImage;
  CDuiString m_sFocusedImage;
  CDuiString m_sDisabledImage;
  CDuiString m_sForeImage;
  CDuiString m_sHotForeImage;
};

class COptionUI : public CButtonUI {
 public:
  ~COptionUI() override;
  const wchar_t* GetClass() const override { return L"OptionUI"; }
  void* GetInterface(const wchar_t* name) override;

  const wchar_t* GetGroup() const { return m_sGroupName; }
  void SetGroup(const wchar_t* group);
  bool IsSelected() const { return m_bSelected; }
  // Changing the state sends "selectchanged"; selecting an option of a group
  // first clears the other options of that group in the same window.
  virtual void Selected(bool selected, bool trigger_event = true);

  bool Activate() override;
  bool SetAttribute(const wchar_t* name, const wchar_t* value) override;
  void PaintStatusImage(HDC hdc) override;
  void PaintText(HDC hdc) override;
  void PaintBkColor(HDC hdc) override;

 protected:
  bool m_bSelected = false;
  CDuiString m_sGroupName;
  DWORD m_dwSelectedBkColor = 0;
  DWORD m_dwSelectedTextColor = 0;
  CDuiString m_sSelectedImage;
  CDuiString m_sSelectedHotImage;
};

class CCheckBoxUI : public COptionUI {
 public:
  const wchar_t* GetClass() const override { return L"CheckBoxUI"; }
  void* GetInterface(const wchar_t* name) override;
  void SetCheck(bool check, bool trigger_event = true) { Selected(check, trigger_event); }
  bool GetCheck() const { return IsSelected(); }
};

}  // namespace DuiLib

#endif  // DUILIB_BUTTON_UI_H_
