// Processes: starting them with redirected standard handles, waiting,
// exit codes, opening and ending them.
#ifndef WIN32_PROCESS_H_
#define WIN32_PROCESS_H_

#include <string>
#include <vector>

#include "win32/types.h"

// Creation flags (accepted; there are no console windows here).
#define CREATE_NEW_CONSOLE 0x00000010
#define CREATE_NO_WINDOW 0x08000000
#define CREATE_UNICODE_ENVIRONMENT 0x00000400
#define DETACHED_PROCESS 0x00000008
#define NORMAL_PRIORITY_CLASS 0x00000020

#define STARTF_USESHOWWINDOW 0x00000001
#define STARTF_USESTDHANDLES 0x00000100

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOWMAXIMIZED 3
#define SW_MAXIMIZE 3
#define SW_SHOWNOACTIVATE 4
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_SHOWMINNOACTIVE 7
#define SW_SHOWNA 8
#define SW_RESTORE 9
#define SW_SHOWDEFAULT 10

#define PROCESS_TERMINATE 0x0001
#define PROCESS_QUERY_INFORMATION 0x0400
#define PROCESS_QUERY_LIMITED_INFORMATION 0x1000
#define PROCESS_ALL_ACCESS 0x001FFFFF

typedef struct _STARTUPINFOW {
  DWORD cb;
  LPWSTR lpReserved;
  LPWSTR lpDesktop;
  LPWSTR lpTitle;
  DWORD dwX;
  DWORD dwY;
  DWORD dwXSize;
  DWORD dwYSize;
  DWORD dwXCountChars;
  DWORD dwYCountChars;
  DWORD dwFillAttribute;
  DWORD dwFlags;
  WORD wShowWindow;
  WORD cbReserved2;
  LPBYTE lpReserved2;
  HANDLE hStdInput;
  HANDLE hStdOutput;
  HANDLE hStdError;
} STARTUPINFOW, *LPSTARTUPINFOW;

typedef struct _PROCESS_INFORMATION {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
} PROCESS_INFORMATION, *PPROCESS_INFORMATION, *LPPROCESS_INFORMATION;

// Without an application name the first word of the command line names the
// program, looked up in the program directory, the current directory, then
// $PATH, letter case ignored, ".exe" appended when it has no extension (a
// Linux program without the extension is found too). Arguments are split by
// the Windows command-line rules. With STARTF_USESTDHANDLES and inheritance
// on, the standard handles are redirected (a handle that is not inheritable
// becomes /dev/null); only inheritable handles reach the child.
BOOL CreateProcessW(LPCWSTR application_name,
                    LPWSTR command_line,
                    LPSECURITY_ATTRIBUTES process_attributes,
                    LPSECURITY_ATTRIBUTES thread_attributes,
                    BOOL inherit_handles,
                    DWORD creation_flags,
                    LPVOID environment,
                    LPCWSTR current_directory,
                    LPSTARTUPINFOW startup_info,
                    LPPROCESS_INFORMATION process_information);

// STILL_ACTIVE while it runs.
BOOL GetExitCodeProcess(HANDLE process, LPDWORD exit_code);
HANDLE OpenProcess(DWORD desired_access, BOOL inherit_handle, DWORD process_id);
BOOL TerminateProcess(HANDLE process, UINT exit_code);
DWORD GetCurrentProcessId();
DWORD GetProcessId(HANDLE process);

namespace win32 {

// The Windows command-line rules: whitespace separates arguments, "..."
// groups, 2n backslashes before a quote give n and the quote toggles, 2n+1
// give n and a literal quote, "" inside quotes is a literal quote. The first
// word ends at the next quote or blank with no backslash rules.
std::vector<std::wstring> SplitCommandLine(const std::wstring& command_line);

// The path the program name resolves to (see CreateProcessW), "" if none.
std::string FindProgram(const std::string& name);

}  // namespace win32

#endif  // WIN32_PROCESS_H_
