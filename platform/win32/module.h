// The running program's own file.
#ifndef WIN32_MODULE_H_
#define WIN32_MODULE_H_

#include "win32/types.h"

// The program's full path (/proc/self/exe) whatever the module handle. When
// the buffer is too small the path is cut to size - 1 characters, size is
// returned and the last error is ERROR_INSUFFICIENT_BUFFER.
DWORD GetModuleFileNameW(HMODULE module, LPWSTR file_name, DWORD size);
DWORD GetModuleFileNameA(HMODULE module, LPSTR file_name, DWORD size);

#endif  // WIN32_MODULE_H_
