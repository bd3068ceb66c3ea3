// Process tokens, privileges and the restart of the machine. The restart is
// recorded in the machine store (kind and reason); the host never restarts.
// Whether the process holds a privilege is a machine-store setting,
// "privilege.<name>" ("1" held, the default; "0" not held), so a test can
// refuse it.
#ifndef WIN32_PRIVILEGE_H_
#define WIN32_PRIVILEGE_H_

#include "win32/types.h"

#define TOKEN_ASSIGN_PRIMARY 0x0001
#define TOKEN_DUPLICATE 0x0002
#define TOKEN_IMPERSONATE 0x0004
#define TOKEN_QUERY 0x0008
#define TOKEN_QUERY_SOURCE 0x0010
#define TOKEN_ADJUST_PRIVILEGES 0x0020
#define TOKEN_ADJUST_GROUPS 0x0040
#define TOKEN_ADJUST_DEFAULT 0x0080
#define TOKEN_ALL_ACCESS 0x000F01FF

#define SE_PRIVILEGE_ENABLED_BY_DEFAULT 0x00000001L
#define SE_PRIVILEGE_ENABLED 0x00000002L
#define SE_PRIVILEGE_REMOVED 0x00000004L

#define SE_SHUTDOWN_NAME L"SeShutdownPrivilege"
#define SE_DEBUG_NAME L"SeDebugPrivilege"
#define SE_BACKUP_NAME L"SeBackupPrivilege"
#define SE_RESTORE_NAME L"SeRestorePrivilege"

#define ERROR_NOT_ALL_ASSIGNED 1300L
#define RPC_S_SERVER_UNAVAILABLE 1722L

// ExitWindowsEx flags.
#define EWX_LOGOFF 0x00000000
#define EWX_SHUTDOWN 0x00000001
#define EWX_REBOOT 0x00000002
#define EWX_FORCE 0x00000004
#define EWX_POWEROFF 0x00000008
#define EWX_FORCEIFHUNG 0x00000010

// Reason flags and codes (any value is recorded as given).
#define SHTDN_REASON_MAJOR_OTHER 0x00000000
#define SHTDN_REASON_MAJOR_HARDWARE 0x00010000
#define SHTDN_REASON_MAJOR_OPERATINGSYSTEM 0x00020000
#define SHTDN_REASON_MAJOR_SOFTWARE 0x00030000
#define SHTDN_REASON_MAJOR_APPLICATION 0x00040000
#define SHTDN_REASON_MINOR_OTHER 0x00000000
#define SHTDN_REASON_MINOR_RECONFIG 0x00000004
#define SHTDN_REASON_FLAG_PLANNED 0x80000000

typedef struct _LUID {
  DWORD LowPart;
  LONG HighPart;
} LUID, *PLUID;

typedef struct _LUID_AND_ATTRIBUTES {
  LUID Luid;
  DWORD Attributes;
} LUID_AND_ATTRIBUTES, *PLUID_AND_ATTRIBUTES;

typedef struct _TOKEN_PRIVILEGES {
  DWORD PrivilegeCount;
  LUID_AND_ATTRIBUTES Privileges[1];
} TOKEN_PRIVILEGES, *PTOKEN_PRIVILEGES;

// The pseudo handle of the calling process ((HANDLE)-1), valid wherever a
// process handle is asked for and never closed.
HANDLE GetCurrentProcess();

// A token handle of |process| (only the calling process); close it with
// CloseHandle.
BOOL OpenProcessToken(HANDLE process, DWORD desired_access, PHANDLE token);
// |system_name| must be null or empty (the local machine; another gives
// RPC_S_SERVER_UNAVAILABLE). Names match without regard to case;
// ERROR_NO_SUCH_PRIVILEGE for a name that is not a privilege.
BOOL LookupPrivilegeValueW(LPCWSTR system_name, LPCWSTR name, PLUID luid);
// Enables or disables privileges of the process. As on Windows the call
// succeeds when some privilege is not held, and the last error then is
// ERROR_NOT_ALL_ASSIGNED (else ERROR_SUCCESS). The token needs
// TOKEN_ADJUST_PRIVILEGES; |previous_state| receives the earlier states of the
// privileges named in |new_state|.
BOOL AdjustTokenPrivileges(HANDLE token,
                           BOOL disable_all_privileges,
                           PTOKEN_PRIVILEGES new_state,
                           DWORD buffer_length,
                           PTOKEN_PRIVILEGES previous_state,
                           PDWORD return_length);
// Records a restart request (kind from the flags: "logoff", "shutdown",
// "reboot" or "poweroff", then "|force" / "|forceifhung"; reason as
// "0x%08X") in the machine store. Shutting down, restarting and powering off
// need SeShutdownPrivilege enabled in this process's token, else FALSE with
// ERROR_PRIVILEGE_NOT_HELD. The call returns at once; nothing else happens.
BOOL ExitWindowsEx(UINT flags, DWORD reason);

#endif  // WIN32_PRIVILEGE_H_
