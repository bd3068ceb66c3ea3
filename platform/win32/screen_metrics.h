// Screen, work area, taskbar and cursor. The screen size comes from
// TERN_SCREEN_SIZE, else from the real display once one is open, else
// 1920x1080 and the taskbar rectangle from
// TERN_TASKBAR_RECT ("left,top,right,bottom"; default a 40-pixel strip along
// the bottom edge). Malformed values fall back to the defaults.
#ifndef WIN32_SCREEN_METRICS_H_
#define WIN32_SCREEN_METRICS_H_

#include "win32/types.h"
#include "win32/window.h"

#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define SM_CXVSCROLL 2
#define SM_CYHSCROLL 3
#define SM_CYCAPTION 4
#define SM_CXFULLSCREEN 16
#define SM_CYFULLSCREEN 17
#define SM_CXVIRTUALSCREEN 78
#define SM_CYVIRTUALSCREEN 79
#define SM_CMONITORS 80

#define SPI_GETWORKAREA 0x0030

int GetSystemMetrics(int index);
BOOL SystemParametersInfoW(UINT action, UINT param, PVOID out, UINT win_ini);
BOOL GetCursorPos(LPPOINT point);
BOOL SetCursorPos(int x, int y);

#define SystemParametersInfo SystemParametersInfoW

namespace win32 {

RECT ScreenRect();
RECT TaskbarRect();
// The size of the real display, once the window system has opened it; used
// when TERN_SCREEN_SIZE is not set. Any thread.
void SetDisplaySize(int width, int height);

}  // namespace win32

#endif  // WIN32_SCREEN_METRICS_H_
