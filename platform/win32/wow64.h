// Looking up optional system calls at run time, and the WOW64 query.
#ifndef WIN32_WOW64_H_
#define WIN32_WOW64_H_

#include "win32/types.h"

// void(*)() converts to any function pointer type without a cast warning.
typedef void (*FARPROC)();

// A program here is one module: every name gives a handle for it, and
// GetProcAddress finds the calls below through any handle.
HMODULE GetModuleHandleA(LPCSTR module_name);

// The system calls this layer lets programs look up: "IsWow64Process".
// Other names fail with ERROR_PROC_NOT_FOUND.
FARPROC GetProcAddress(HMODULE module, LPCSTR proc_name);

// Our programs stand in for 32-bit Windows programs, so they report running
// under WOW64 exactly when the kernel is a 64-bit one. |process| may be any
// non-null process handle.
BOOL IsWow64Process(HANDLE process, PBOOL wow64_process);
typedef BOOL(WINAPI* LPFN_ISWOW64PROCESS)(HANDLE, PBOOL);

#endif  // WIN32_WOW64_H_
