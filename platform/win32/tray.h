// Notification-area icons. The shell is ours: icons live in a process-wide
// list that the UI library shows and automation can click.
#ifndef WIN32_TRAY_H_
#define WIN32_TRAY_H_

#include <string>
#include <vector>

#include "win32/types.h"
#include "win32/window.h"

#define NIM_ADD 0x00000000
#define NIM_MODIFY 0x00000001
#define NIM_DELETE 0x00000002
#define NIF_MESSAGE 0x00000001
#define NIF_ICON 0x00000002
#define NIF_TIP 0x00000004

typedef struct _NOTIFYICONDATAW {
  DWORD cbSize;
  HWND hWnd;
  UINT uID;
  UINT uFlags;
  UINT uCallbackMessage;
  HICON hIcon;
  WCHAR szTip[128];
} NOTIFYICONDATAW, NOTIFYICONDATA, *PNOTIFYICONDATAW;

BOOL Shell_NotifyIconW(DWORD message, PNOTIFYICONDATAW data);
#define Shell_NotifyIcon Shell_NotifyIconW

namespace win32 {

struct TrayIconInfo {
  HWND hwnd = nullptr;
  UINT id = 0;
  UINT callback_message = 0;
  HICON icon = nullptr;
  std::wstring tip;
};

std::vector<TrayIconInfo> ListTrayIcons();
// Told of every icon added (NIM_ADD), changed (NIM_MODIFY) or removed
// (NIM_DELETE), on the thread that changed it, after the change. The desktop
// tray (the UI library's StatusNotifierItem bridge) installs one.
using TrayObserver = void (*)(DWORD message, const TrayIconInfo& icon);
void SetTrayObserver(TrayObserver observer);
// Delivers a mouse event (WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONUP, ...)
// to the icon's window as the shell does: the callback message with the icon
// id in wParam and the mouse message in lParam. Posted, so any thread.
BOOL SendTrayEvent(HWND hwnd, UINT id, UINT mouse_message);

}  // namespace win32

#endif  // WIN32_TRAY_H_
