// The system message box. The UI library draws it once it is set up; before
// that (or without it) the box is an undrawn window that still runs modally
// and answers keys, WM_COMMAND and automation.
#ifndef WIN32_MESSAGE_BOX_H_
#define WIN32_MESSAGE_BOX_H_

#include <string>

#include "win32/types.h"
#include "win32/window.h"

#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_ICONHAND 0x00000010L
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONASTERISK 0x00000040L
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_TOPMOST 0x00040000L
#define IDOK 1
#define IDCANCEL 2

// The window class of every message box.
#define WC_MESSAGEBOX L"#32770"

// Called on a UI thread; runs a modal loop until the box is answered.
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
#define MessageBox MessageBoxW

namespace win32 {

using MessageBoxImpl = int (*)(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
void SetMessageBoxImplementation(MessageBoxImpl impl);

// The text of a box window, whichever implementation made it.
BOOL GetMessageBoxText(HWND box, std::wstring* text);
void SetMessageBoxTextForWindow(HWND box, const std::wstring& text);

}  // namespace win32

#endif  // WIN32_MESSAGE_BOX_H_
