// The shell's "open": programs are started directly, everything else (web
// addresses, documents) is handed to xdg-open.
#ifndef WIN32_SHELL_EXECUTE_H_
#define WIN32_SHELL_EXECUTE_H_

#include "win32/types.h"
#include "win32/window.h"

// Failure results of ShellExecuteW (all 32 or less). 0 and the ERROR_* values
// ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND and ERROR_BAD_FORMAT are results
// too.
#define SE_ERR_FNF 2
#define SE_ERR_PNF 3
#define SE_ERR_ACCESSDENIED 5
#define SE_ERR_OOM 8
#define SE_ERR_SHARE 26
#define SE_ERR_ASSOCINCOMPLETE 27
#define SE_ERR_DDETIMEOUT 28
#define SE_ERR_DDEFAIL 29
#define SE_ERR_DDEBUSY 30
#define SE_ERR_NOASSOC 31
#define SE_ERR_DLLNOTFOUND 32

#define ERROR_NO_ASSOCIATION 1155L

// The environment variable through which a started program learns the show
// command it was given (the decimal SW_* value), as a Windows program reads it
// from its start-up information.
#define TERN_SHOW_COMMAND_VARIABLE "TERN_SHOW_COMMAND"

// Verb null, "open" or "runas". |file| is a program when its name ends in
// ".exe" or ".bat" (any case) or it has an executable bit, and it is an ELF
// file or begins with "#!"; it is started directly with |parameters| split by
// the Windows command-line rules, in |directory| (else the current one),
// detached (own session, not waited for). A program file without its
// executable bit (a downloaded installer) gets the owner's bit first. With
// SW_HIDE the program's standard handles are /dev/null; the show command is
// passed in TERN_SHOW_COMMAND. A name without "/" that is not found in
// |directory| is looked up like CreateProcessW does.
// Anything else ("scheme:..." addresses, documents, folders) goes to xdg-open
// from $PATH with "open"; xdg-open is started and not waited for.
// Results above 32 mean success. Failures: ERROR_FILE_NOT_FOUND (2) no such
// file, ERROR_PATH_NOT_FOUND (3) its folder or |directory| is missing,
// SE_ERR_ACCESSDENIED (5) it cannot be read or started, ERROR_BAD_FORMAT (11)
// a ".exe"/".bat" file that is neither ELF nor "#!", SE_ERR_NOASSOC (31) an
// unknown verb for a document or no xdg-open, SE_ERR_OOM (8) no process could
// be made, 0 a null or empty |file|. The last error is set to the matching
// ERROR_* code.
HINSTANCE ShellExecuteW(HWND owner,
                        LPCWSTR operation,
                        LPCWSTR file,
                        LPCWSTR parameters,
                        LPCWSTR directory,
                        INT show_command);
// The same with texts in the ANSI code page.
HINSTANCE ShellExecuteA(HWND owner,
                        LPCSTR operation,
                        LPCSTR file,
                        LPCSTR parameters,
                        LPCSTR directory,
                        INT show_command);

#endif  // WIN32_SHELL_EXECUTE_H_
