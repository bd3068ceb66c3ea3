// Basic types of the UI library: strings, rectangles, notifications and
// control events.
#ifndef DUILIB_UI_BASE_H_
#define DUILIB_UI_BASE_H_

#include <string>
#include <vector>

#include "win32/message_queue.h"
#include "win32/types.h"
#include "win32/window.h"

namespace DuiLib {

class CControlUI;

// A wide string with the calls the programs use.
class CDuiString {
 public:
  CDuiString() = default;
  CDuiString(const wchar_t* s) : s_(s ? s : L"") {}  // NOLINT: implicit like the original
  CDuiString(const std::wstring& s) : s_(s) {}       // NOLINT
  CDuiString(const wchar_t* s, int len) : s_(s ? std::wstring(s, len < 0 ? 0 : len) : L"") {}

  const wchar_t* GetData() const { return s_.c_str(); }
  operator const wchar_t*() const { return s_.c_str(); }  // NOLINT
  int GetLength() const { return static_cast<int>(s_.size()); }
  bool IsEmpty() const { return s_.empty(); }
  void Empty() { s_.clear(); }
  wchar_t GetAt(int i) const { return s_[i]; }
  void Append(const wchar_t* s) { s_ += s ? s : L""; }
  void Assign(const wchar_t* s, int len = -1) {
    s_ = s ? (len < 0 ? std::wstring(s) : std::wstring(s, len)) : L"";
  }
  int Compare(const wchar_t* s) const { return s_.compare(s ? s : L""); }
  int CompareNoCase(const wchar_t* s) const;
  CDuiString Left(int n) const { return s_.substr(0, n < 0 ? 0 : n); }
  CDuiString Mid(int pos, int n = -1) const;
  CDuiString Right(int n) const;
  int Find(wchar_t ch, int start = 0) const;
  int Find(const wchar_t* s, int start = 0) const;
  int Replace(const wchar_t* from, const wchar_t* to);
  void MakeUpper();
  void MakeLower();
  int Format(const wchar_t* format, ...);
  const std::wstring& str() const { return s_; }

  CDuiString& operator=(const wchar_t* s) {
    s_ = s ? s : L"";
    return *this;
  }
  CDuiString& operator+=(const wchar_t* s) {
    s_ += s ? s : L"";
    return *this;
  }
  CDuiString& operator+=(wchar_t c) {
    s_ += c;
    return *this;
  }
  CDuiString operator+(const wchar_t* s) const { return s_ + (s ? s : L""); }
  bool operator==(const wchar_t* s) const { return s_ == (s ? s : L""); }
  bool operator!=(const wchar_t* s) const { return !(*this == s); }
  bool operator==(const CDuiString& s) const { return s_ == s.s_; }
  bool operator<(const CDuiString& s) const { return s_ < s.s_; }

 private:
  std::wstring s_;
};

class CDuiRect : public tagRECT {
 public:
  CDuiRect() { left = top = right = bottom = 0; }
  CDuiRect(const RECT& r) { *static_cast<RECT*>(this) = r; }  // NOLINT
  CDuiRect(int l, int t, int r, int b) {
    left = l;
    top = t;
    right = r;
    bottom = b;
  }
  int GetWidth() const { return right - left; }
  int GetHeight() const { return bottom - top; }
  bool IsNull() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
};

class CDuiSize : public tagSIZE {
 public:
  CDuiSize() { cx = cy = 0; }
  CDuiSize(int x, int y) {
    cx = x;
    cy = y;
  }
};

// Notification types, as the window code compares them.
#define DUI_MSGTYPE_WINDOWINIT L"windowinit"
#define DUI_MSGTYPE_CLICK L"click"
#define DUI_MSGTYPE_SELECTCHANGED L"selectchanged"
#define DUI_MSGTYPE_TEXTCHANGED L"textchanged"
#define DUI_MSGTYPE_SETFOCUS L"setfocus"
#define DUI_MSGTYPE_KILLFOCUS L"killfocus"
#define DUI_MSGTYPE_ITEMSELECT L"itemselect"
#define DUI_MSGTYPE_ITEMCLICK L"itemclick"
#define DUI_MSGTYPE_RETURN L"return"
#define DUI_MSGTYPE_TABSELECT L"tabselect"
#define DUI_MSGTYPE_TIMER L"timer"
#define DUI_MSGTYPE_MENU L"menu"
#define DUI_MSGTYPE_SCROLL L"scroll"
#define DUI_MSGTYPE_VALUECHANGED L"valuechanged"

struct TNotifyUI {
  CDuiString sType;
  CDuiString sVirtualWnd;
  CControlUI* pSender = nullptr;
  DWORD dwTimestamp = 0;
  POINT ptMouse = {0, 0};
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

class INotifyUI {
 public:
  virtual ~INotifyUI() = default;
  virtual void Notify(TNotifyUI& msg) = 0;
};

class IMessageFilterUI {
 public:
  virtual ~IMessageFilterUI() = default;
  virtual LRESULT MessageHandler(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) = 0;
};

enum EventType {
  UIEVENT__FIRST = 1,
  UIEVENT__KEYBEGIN,
  UIEVENT_KEYDOWN,
  UIEVENT_KEYUP,
  UIEVENT_CHAR,
  UIEVENT_SYSKEY,
  UIEVENT__KEYEND,
  UIEVENT__MOUSEBEGIN,
  UIEVENT_MOUSEMOVE,
  UIEVENT_MOUSELEAVE,
  UIEVENT_MOUSEENTER,
  UIEVENT_MOUSEHOVER,
  UIEVENT_BUTTONDOWN,
  UIEVENT_BUTTONUP,
  UIEVENT_RBUTTONDOWN,
  UIEVENT_RBUTTONUP,
  UIEVENT_DBLCLICK,
  UIEVENT_CONTEXTMENU,
  UIEVENT_SCROLLWHEEL,
  UIEVENT__MOUSEEND,
  UIEVENT_KILLFOCUS,
  UIEVENT_SETFOCUS,
  UIEVENT_WINDOWSIZE,
  UIEVENT_SETCURSOR,
  UIEVENT_TIMER,
  UIEVENT__LAST,
};

struct TEventUI {
  int Type = 0;
  CControlUI* pSender = nullptr;
  DWORD dwTimestamp = 0;
  POINT ptMouse = {0, 0};
  wchar_t chKey = 0;
  WORD wKeyState = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

// Control flags for FindControl.
#define UIFIND_ALL 0x00000000
#define UIFIND_VISIBLE 0x00000001
#define UIFIND_ENABLED 0x00000002
#define UIFIND_HITTEST 0x00000004
#define UIFIND_TOP_FIRST 0x00000008
#define UIFIND_ME_FIRST 0x80000000

#define UIFLAG_TABSTOP 0x00000001
#define UIFLAG_SETCURSOR 0x00000002
#define UIFLAG_WANTRETURN 0x00000004

// Text styles for the renderer.
#define DT_TOP 0x00000000
#define DT_LEFT 0x00000000
#define DT_CENTER 0x00000001
#define DT_RIGHT 0x00000002
#define DT_VCENTER 0x00000004
#define DT_BOTTOM 0x00000008
#define DT_WORDBREAK 0x00000010
#define DT_SINGLELINE 0x00000020
#define DT_NOPREFIX 0x00000800
#define DT_END_ELLIPSIS 0x00008000

// Parsing helpers shared by the controls and the builder.
bool ParseColor(const wchar_t* value, DWORD* argb);
bool ParseRect(const wchar_t* value, RECT* rect);
bool ParseSize(const wchar_t* value, SIZE* size);
bool ParseBool(const wchar_t* value);
// UTF-8 through the win32 layer's converter.
std::string ToUtf8(const std::wstring& s);
std::wstring FromUtf8(const std::string& s);

}  // namespace DuiLib

#endif  // DUILIB_UI_BASE_H_
