// Text input: a one-line edit with caret, selection, password mask and a
// character limit, and a multi-line rich edit (usually read-only).
#ifndef DUILIB_EDIT_UI_H_
#define DUILIB_EDIT_UI_H_

#include "duilib/label_ui.h"

namespace DuiLib {

class CEditUI : public CLabelUI {
 public:
  CEditUI();
  const wchar_t* GetClass() const override { return L"EditUI"; }
  void* GetInterface(const wchar_t* name) override;
  UINT GetControlFlags() const override;

  // Sets the text without a "textchanged" notification (only typing sends
  // one); the caret goes to the end.
  void SetText(const wchar_t* text) override;
  void SetMaxChar(UINT max) { m_uMaxChar = max; }
  UINT GetMaxChar() const { return m_uMaxChar; }
  void SetReadOnly(bool read_only);
  bool IsReadOnly() const { return m_bReadOnly; }
  void SetPasswordMode(bool password);
  bool IsPasswordMode() const { return m_bPasswordMode; }
  void SetPasswordChar(wchar_t c) { m_cPasswordChar = c; }
  void SetNumberOnly(bool number_only) { m_bNumberOnly = number_only; }
  void SetTipValue(const wchar_t* tip) { m_sTipValue = tip; }
  // Selection by character index; end -1 means the end of the text.
  void SetSel(int start, int end);
  void SetSelAll();
  void SetReplaceSel(const wchar_t* text);
  int GetCaret() const { return m_iCaret; }
  int GetSelStart() const { return std::min(m_iAnchor, m_iCaret); }
  int GetSelEnd() const { return std::max(m_iAnchor, m_iCaret); }
  // The text as drawn (masked in password mode).
  std::wstring GetDisplayText() const;
  // An input method's text still being composed (the pre-edit): drawn
  // underlined at the caret, not part of the text. Empty ends it.
  void SetComposition(const std::wstring& text);
  const std::wstring& GetComposition() const { return m_sComposition; }
  // Where the caret is drawn, in window pixels (for the input method's window).
  RECT GetCaretRect();
  // Inserts typed text as if it came from the keyboard (limit, digits-only
  // and read-only rules apply; "textchanged" when something changed).
  bool TypeText(const wchar_t* text);

  void DoEvent(TEventUI& event) override;
  bool SetAttribute(const wchar_t* name, const wchar_t* value) override;
  void PaintText(HDC hdc) override;
  void PaintBorder(HDC hdc) override;

 protected:
  bool InsertChar(wchar_t c);
  void DeleteSelection();
  int CaretFromX(int x);
  virtual bool WantsNewLine() const { return false; }

  UINT m_uMaxChar = 255;
  bool m_bReadOnly = false;
  bool m_bPasswordMode = false;
  bool m_bNumberOnly = false;
  wchar_t m_cPasswordChar = L'*';
  int m_iCaret = 0;
  std::wstring m_sComposition;
  int m_iAnchor = 0;
  CDuiString m_sTipValue;
  DWORD m_dwTipValueColor = 0xFFBAC0C5;
  DWORD m_dwNativeBkColor = 0;
};

class CRichEditUI : public CEditUI {
 public:
  CRichEditUI();
  const wchar_t* GetClass() const override { return L"RichEditUI"; }
  void* GetInterface(const wchar_t* name) override;
  bool SetAttribute(const wchar_t* name, const wchar_t* value) override;
  void PaintText(HDC hdc) override;
  SIZE EstimateSize(SIZE available) override;

 protected:
  bool WantsNewLine() const override { return m_bWantReturn && !m_bReadOnly; }
  bool m_bWantReturn = true;
};

}  // namespace DuiLib

#endif  // DUILIB_EDIT_UI_H_
