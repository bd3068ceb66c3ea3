// Process snapshots.
#ifndef WIN32_TOOLHELP_H_
#define WIN32_TOOLHELP_H_

#include "win32/types.h"

#define TH32CS_SNAPPROCESS 0x00000002

typedef struct tagPROCESSENTRY32W {
  DWORD dwSize;
  DWORD cntUsage;
  DWORD th32ProcessID;
  ULONG_PTR th32DefaultHeapID;
  DWORD th32ModuleID;
  DWORD cntThreads;
  DWORD th32ParentProcessID;
  LONG pcPriClassBase;
  DWORD dwFlags;
  WCHAR szExeFile[MAX_PATH];  // the file name the process was started from
} PROCESSENTRY32W, *PPROCESSENTRY32W, *LPPROCESSENTRY32W;

// Only TH32CS_SNAPPROCESS is supported.
HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD process_id);
BOOL Process32FirstW(HANDLE snapshot, LPPROCESSENTRY32W entry);
BOOL Process32NextW(HANDLE snapshot, LPPROCESSENTRY32W entry);

#endif  // WIN32_TOOLHELP_H_
