// Text controls: a one-line label and a multi-line text.
#ifndef DUILIB_LABEL_UI_H_
#define DUILIB_LABEL_UI_H_

#include "duilib/control_ui.h"

namespace DuiLib {

class CLabelUI : public CControlUI {
 public:
  CLabelUI();
  const wchar_t* GetClass() const override { return L"LabelUI"; }
  void* GetInterface(const wchar_t* name) override;

  void SetTextStyle(UINT style);
  UINT GetTextStyle() const { return m_uTextStyle; }
  void SetTextColor(DWORD color);
  DWORD GetTextColor() const { return m_dwTextColor; }
  void SetDisabledTextColor(DWORD color);
  DWORD GetDisabledTextColor() const { return m_dwDisabledTextColor; }
  void SetFont(int index);
  int GetFont() const { return m_iFont; }
  RECT GetTextPadding() const { return m_rcTextPadding; }
  void SetTextPadding(RECT rc);
  bool IsShowHtml() const { return m_bShowHtml; }
  void SetShowHtml(bool show = true);

  SIZE EstimateSize(SIZE available) override;
  bool SetAttribute(const wchar_t* name, const wchar_t* value) override;
  void PaintText(HDC hdc) override;

 protected:
  // Draws `text` in the text rectangle with the label's style.
  void DrawLabelText(HDC hdc, const wchar_t* text, DWORD color);

  UINT m_uTextStyle = DT_VCENTER | DT_SINGLELINE;
  DWORD m_dwTextColor = 0;
  DWORD m_dwDisabledTextColor = 0;
  int m_iFont = -1;
  RECT m_rcTextPadding = {0, 0, 0, 0};
  bool m_bShowHtml = false;
  bool m_bAutoCalcWidth = false;
};

// Multi-line text that wraps at word boundaries.
class CTextUI : public CLabelUI {
 public:
  CTextUI();
  const wchar_t* GetClass() const override { return L"TextUI"; }
  void* GetInterface(const wchar_t* name) override;
  SIZE EstimateSize(SIZE available) override;
};

}  // namespace DuiLib

#endif  // DUILIB_LABEL_UI_H_
