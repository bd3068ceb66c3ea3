// Private profile (INI file) functions with the Windows behaviour: sections
// and keys match without regard to case, a missing file or entry gives the
// default, results are cut to the caller's buffer with the Windows return
// values, and writes create the file, section and key as needed.
//
// On disk the file is UTF-8 (written without a BOM, "\n" line ends unless the
// file already used "\r\n"); files in UTF-8 with a BOM, UTF-16LE with a BOM or
// in the ANSI code page are read too and are rewritten as UTF-8 on the next
// write. A write replaces the file atomically (temporary file, fsync,
// rename) and writers are serialised across threads and processes through an
// flock on "<file>.lock" beside it, so concurrent writes of different keys all
// land and a crash leaves the old or the new file.
#ifndef WIN32_PROFILE_H_
#define WIN32_PROFILE_H_

#include "win32/types.h"

// app_name null: all section names, key_name null: all keys of the section,
// each 0-terminated and the list ended by a second 0 (cut lists return
// size - 2). A cut value returns size - 1.
DWORD GetPrivateProfileStringW(LPCWSTR app_name,
                               LPCWSTR key_name,
                               LPCWSTR default_value,
                               LPWSTR returned,
                               DWORD size,
                               LPCWSTR file_name);
DWORD GetPrivateProfileStringA(LPCSTR app_name,
                               LPCSTR key_name,
                               LPCSTR default_value,
                               LPSTR returned,
                               DWORD size,
                               LPCSTR file_name);
// The value read as a decimal integer (leading digits; 0 when none), else
// the default.
UINT GetPrivateProfileIntW(LPCWSTR app_name,
                           LPCWSTR key_name,
                           INT default_value,
                           LPCWSTR file_name);
UINT GetPrivateProfileIntA(LPCSTR app_name, LPCSTR key_name, INT default_value, LPCSTR file_name);

// key_name null deletes the section; value null deletes the key. A section,
// key or value holding a line break ("\r" or "\n") is refused
// (ERROR_INVALID_PARAMETER) and the file is left as it was.
BOOL WritePrivateProfileStringW(LPCWSTR app_name,
                                LPCWSTR key_name,
                                LPCWSTR value,
                                LPCWSTR file_name);
BOOL WritePrivateProfileStringA(LPCSTR app_name, LPCSTR key_name, LPCSTR value, LPCSTR file_name);

#endif  // WIN32_PROFILE_H_
