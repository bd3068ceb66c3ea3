// Sleeping and the tick counter.
#ifndef WIN32_SYSTEM_TIME_H_
#define WIN32_SYSTEM_TIME_H_

#include "win32/types.h"

void Sleep(DWORD milliseconds);  // INFINITE sleeps for ever
// Milliseconds since the system started; the 32-bit form wraps after 49.7 days.
DWORD GetTickCount();
ULONGLONG GetTickCount64();

#endif  // WIN32_SYSTEM_TIME_H_
