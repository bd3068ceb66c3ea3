// Files and folders: attributes, wildcard search, create/delete/move and the
// temporary folder. Paths are Linux paths ("/" separated). Attributes Linux
// has no bit for (hidden, system, archive, ...) live in the extended
// attribute "user.tern.attributes", or in a hidden sidecar file
// ".<name>.tern-attributes" beside the file where xattrs are unsupported.
#ifndef WIN32_FILE_H_
#define WIN32_FILE_H_

#include "win32/types.h"

#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100u
#define FILE_ATTRIBUTE_OFFLINE 0x00001000u
#define FILE_ATTRIBUTE_NOT_CONTENT_INDEXED 0x00002000u
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu

#ifndef ERROR_NOT_SAME_DEVICE
#define ERROR_NOT_SAME_DEVICE 17L
#endif

#define MOVEFILE_REPLACE_EXISTING 0x00000001u
#define MOVEFILE_COPY_ALLOWED 0x00000002u

typedef struct _WIN32_FIND_DATAW {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  WCHAR cFileName[MAX_PATH];
  WCHAR cAlternateFileName[14];
} WIN32_FIND_DATAW, *PWIN32_FIND_DATAW, *LPWIN32_FIND_DATAW;

// INVALID_FILE_ATTRIBUTES with ERROR_FILE_NOT_FOUND (or ERROR_PATH_NOT_FOUND
// when a parent folder is missing). READONLY means the owner write bit is off.
DWORD GetFileAttributesW(LPCWSTR file_name);
// READONLY clears the owner write bit on files; on folders it is only
// recorded, so the folder stays writable as it does on Windows.
BOOL SetFileAttributesW(LPCWSTR file_name, DWORD attributes);

// "*" and "?" in the last component match names regardless of case; a folder
// listing includes "." and "..". Sidecar files are never reported.
HANDLE FindFirstFileW(LPCWSTR file_name, LPWIN32_FIND_DATAW find_data);
// FALSE with ERROR_NO_MORE_FILES at the end.
BOOL FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW find_data);
BOOL FindClose(HANDLE find);

// ERROR_ACCESS_DENIED for a read-only file or a folder.
BOOL DeleteFileW(LPCWSTR file_name);
// ERROR_DIR_NOT_EMPTY unless the folder is empty.
BOOL RemoveDirectoryW(LPCWSTR path_name);
// ERROR_ALREADY_EXISTS, or ERROR_PATH_NOT_FOUND when the parent is missing.
BOOL CreateDirectoryW(LPCWSTR path_name, LPSECURITY_ATTRIBUTES security);
// A rename within one file system; ERROR_ALREADY_EXISTS when the target exists
// and MOVEFILE_REPLACE_EXISTING is not given.
BOOL MoveFileExW(LPCWSTR existing_file_name, LPCWSTR new_file_name, DWORD flags);

// $TMPDIR (else /tmp) with a trailing "/". Returns the length without the
// terminating 0, or when the buffer is too small the size needed including it.
DWORD GetTempPathW(DWORD buffer_length, LPWSTR buffer);
DWORD GetTempPathA(DWORD buffer_length, LPSTR buffer);

namespace win32 {

// Forces the sidecar-file store, as on a file system without user xattrs.
void SetXattrsUnsupportedForTesting(bool unsupported);

}  // namespace win32

#endif  // WIN32_FILE_H_
