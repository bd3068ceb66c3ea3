// The calling thread's last-error code, as the Win32 calls of this layer set it.
#ifndef WIN32_LAST_ERROR_H_
#define WIN32_LAST_ERROR_H_

#include "win32/types.h"

DWORD GetLastError();
void SetLastError(DWORD error);

#endif  // WIN32_LAST_ERROR_H_
