// Kernel-object handles: closing, inheritance, waiting.
#ifndef WIN32_HANDLE_H_
#define WIN32_HANDLE_H_

#include "win32/types.h"

#define HANDLE_FLAG_INHERIT 0x00000001
#define HANDLE_FLAG_PROTECT_FROM_CLOSE 0x00000002

BOOL CloseHandle(HANDLE object);
BOOL SetHandleInformation(HANDLE object, DWORD mask, DWORD flags);
BOOL GetHandleInformation(HANDLE object, LPDWORD flags);
// Processes (signalled when they end) and mutexes (signalled when free).
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

#endif  // WIN32_HANDLE_H_
