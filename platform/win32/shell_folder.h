// Special folders of the shell, mapped to their XDG counterparts.
#ifndef WIN32_SHELL_FOLDER_H_
#define WIN32_SHELL_FOLDER_H_

#include <string>

#include "win32/types.h"
#include "win32/window.h"

#define CSIDL_DESKTOP 0x0000
#define CSIDL_PROGRAMS 0x0002
#define CSIDL_DESKTOPDIRECTORY 0x0010
#define CSIDL_COMMON_PROGRAMS 0x0017
#define CSIDL_COMMON_DESKTOPDIRECTORY 0x0019
#define CSIDL_APPDATA 0x001a
#define CSIDL_FLAG_CREATE 0x8000

// Writes the folder (no trailing "/") into path, which holds MAX_PATH
// characters. Desktop: $XDG_DESKTOP_DIR, else XDG_DESKTOP_DIR in
// user-dirs.dirs, else ~/Desktop. Programs: $XDG_DATA_HOME/applications.
// AppData: $XDG_CONFIG_HOME. The common folders live under the machine root
// ("common/Desktop", "common/Programs"). The folder is created with its
// parents when create is TRUE. FALSE for an unknown CSIDL.
BOOL SHGetSpecialFolderPathW(HWND owner, LPWSTR path, int csidl, BOOL create);

// The registry key under HKEY_CURRENT_USER whose values "Desktop",
// "Programs" and "AppData" name the user's folders. The registry sets them
// to what SHGetSpecialFolderPathW returns whenever the key is opened or
// read, so the two always agree.
#define SHELL_FOLDERS_KEY L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"

namespace win32 {

// The folder SHGetSpecialFolderPathW gives for |csidl| (UTF-8, no trailing
// "/"), "" for an unknown CSIDL. Does not create it.
std::string ShellFolderPath(int csidl);

}  // namespace win32

#endif  // WIN32_SHELL_FOLDER_H_
