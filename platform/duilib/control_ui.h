// The base of every control: position, size rules, colours, images, text,
// state and event handling. Controls belong to one window and live on that
// window's thread; the text, visibility and enabled state may be set or read
// from any thread: such a call is carried out on the window's thread while
// the caller waits (it does nothing once that thread has left its loop).
#ifndef DUILIB_CONTROL_UI_H_
#define DUILIB_CONTROL_UI_H_

#include <functional>
#include <map>

#include "duilib/ui_base.h"

namespace DuiLib {

class CPaintManagerUI;

class CControlUI {
 public:
  CControlUI();
  virtual ~CControlUI();

  virtual CDuiString GetName() const { return m_sName; }
  virtual void SetName(const wchar_t* name) { m_sName = name; }
  virtual const wchar_t* GetClass() const { return L"ControlUI"; }
  // The interface names answer for the control and its bases ("Control",
  // "Label", "Button", ...); the result is the control or null.
  virtual void* GetInterface(const wchar_t* name);
  virtual UINT GetControlFlags() const { return 0; }

  virtual CPaintManagerUI* GetManager() const { return m_pManager; }
  virtual void SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init = true);
  virtual CControlUI* GetParent() const { return m_pParent; }

  // Text.
  virtual CDuiString GetText() const;
  virtual void SetText(const wchar_t* text);
  CDuiString GetToolTip() const { return m_sToolTip; }
  void SetToolTip(const wchar_t* text) { m_sToolTip = text; }
  CDuiString GetUserData() const { return m_sUserData; }
  void SetUserData(const wchar_t* text) { m_sUserData = text; }
  UINT_PTR GetTag() const { return m_pTag; }
  void SetTag(UINT_PTR tag) { m_pTag = tag; }

  // Look.
  DWORD GetBkColor() const { return m_dwBackColor; }
  void SetBkColor(DWORD color);
  DWORD GetBorderColor() const { return m_dwBorderColor; }
  void SetBorderColor(DWORD color);
  DWORD GetFocusBorderColor() const { return m_dwFocusBorderColor; }
  void SetFocusBorderColor(DWORD color);
  int GetBorderSize() const { return m_nBorderSize; }
  void SetBorderSize(int size);
  SIZE GetBorderRound() const { return m_cxyBorderRound; }
  void SetBorderRound(SIZE round);
  const wchar_t* GetBkImage() const { return m_sBkImage.GetData(); }
  void SetBkImage(const wchar_t* image);

  // Position and size rules.
  virtual const RECT& GetPos() const { return m_rcItem; }
  virtual void SetPos(RECT rc, bool need_invalidate = true);
  virtual int GetWidth() const { return m_rcItem.right - m_rcItem.left; }
  virtual int GetHeight() const { return m_rcItem.bottom - m_rcItem.top; }
  virtual RECT GetPadding() const { return m_rcPadding; }
  virtual void SetPadding(RECT padding);
  virtual SIZE GetFixedXY() const { return m_cXY; }
  virtual void SetFixedXY(SIZE xy);
  virtual int GetFixedWidth() const { return m_cxyFixed.cx; }
  virtual void SetFixedWidth(int cx);
  virtual int GetFixedHeight() const { return m_cxyFixed.cy; }
  virtual void SetFixedHeight(int cy);
  virtual int GetMinWidth() const { return m_cxyMin.cx; }
  virtual void SetMinWidth(int cx);
  virtual int GetMaxWidth() const { return m_cxyMax.cx; }
  virtual void SetMaxWidth(int cx);
  virtual int GetMinHeight() const { return m_cxyMin.cy; }
  virtual void SetMinHeight(int cy);
  virtual int GetMaxHeight() const { return m_cxyMax.cy; }
  virtual void SetMaxHeight(int cy);
  virtual SIZE EstimateSize(SIZE available);
  virtual bool IsFloat() const { return m_bFloat; }
  virtual void SetFloat(bool is_float = true);

  // State.
  virtual bool IsVisible() const { return m_bVisible && m_bInternVisible; }
  virtual void SetVisible(bool visible = true);
  // Visibility inherited from the containers above.
  virtual void SetInternVisible(bool visible = true);
  virtual bool IsEnabled() const { return m_bEnabled; }
  virtual void SetEnabled(bool enabled = true);
  virtual bool IsMouseEnabled() const { return m_bMouseEnabled; }
  virtual void SetMouseEnabled(bool enabled = true) { m_bMouseEnabled = enabled; }
  virtual bool IsKeyboardEnabled() const { return m_bKeyboardEnabled; }
  virtual void SetKeyboardEnabled(bool enabled = true) { m_bKeyboardEnabled = enabled; }
  virtual bool IsFocused() const { return m_bFocused; }
  virtual void SetFocus();
  virtual void Activate_() {}
  virtual bool Activate();

  // Hit testing: the topmost control under the point that passes the flags.
  typedef CControlUI*(CALLBACK* FINDCONTROLPROC)(CControlUI*, LPVOID);
  virtual CControlUI* FindControl(FINDCONTROLPROC proc, LPVOID data, UINT flags);

  void Invalidate();
  bool IsUpdateNeeded() const { return m_bUpdateNeeded; }
  void NeedUpdate();
  void NeedParentUpdate();

  virtual void Init();
  virtual void DoInit() {}
  virtual void Event(TEventUI& event);
  virtual void DoEvent(TEventUI& event);

  // Reads one attribute of the window file; an unknown name is reported by
  // the builder (returns false).
  virtual bool SetAttribute(const wchar_t* name, const wchar_t* value);
  void ApplyAttributeList(const wchar_t* list);

  // The HDC handed to the paint methods is the window's cairo context.
  virtual bool DoPaint(HDC hdc, const RECT& paint, CControlUI* stop = nullptr);
  virtual void PaintBkColor(HDC hdc);
  virtual void PaintBkImage(HDC hdc);
  virtual void PaintStatusImage(HDC hdc);
  virtual void PaintForeColor(HDC hdc);
  virtual void PaintForeImage(HDC hdc);
  virtual void PaintText(HDC hdc);
  virtual void PaintBorder(HDC hdc);
  virtual void DoPostPaint(HDC, const RECT&) {}

  // Draws an image description ("file='x.png' source='...' dest='...'
  // corner='...' fade='...'" or a plain path) into the control's rectangle.
  bool DrawImage(HDC hdc, const wchar_t* image, const wchar_t* modify = nullptr);

 protected:
  // True when the caller is not on the window's thread: `fn` was then run
  // there (or dropped because that thread left its loop).
  bool ForwardToWindowThread(const std::function<void()>& fn) const;

  CPaintManagerUI* m_pManager = nullptr;
  CControlUI* m_pParent = nullptr;
  CDuiString m_sName;
  CDuiString m_sText;
  CDuiString m_sToolTip;
  CDuiString m_sUserData;
  UINT_PTR m_pTag = 0;
  bool m_bUpdateNeeded = true;
  bool m_bVisible = true;
  bool m_bInternVisible = true;
  bool m_bEnabled = true;
  bool m_bMouseEnabled = true;
  bool m_bKeyboardEnabled = true;
  bool m_bFocused = false;
  bool m_bFloat = false;
  bool m_bSetPos = false;
  RECT m_rcItem = {0, 0, 0, 0};
  RECT m_rcPadding = {0, 0, 0, 0};
  SIZE m_cXY = {0, 0};
  SIZE m_cxyFixed = {0, 0};
  SIZE m_cxyMin = {0, 0};
  SIZE m_cxyMax = {9999, 9999};
  RECT m_rcFloatPos = {0, 0, 0, 0};
  DWORD m_dwBackColor = 0;
  DWORD m_dwBorderColor = 0;
  DWORD m_dwFocusBorderColor = 0;
  int m_nBorderSize = 0;
  SIZE m_cxyBorderRound = {0, 0};
  CDuiString m_sBkImage;
};

}  // namespace DuiLib

#endif  // DUILIB_CONTROL_UI_H_
