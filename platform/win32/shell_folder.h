// Special folders of the shell, mapped to their XDG counterparts.
#ifndef WIN32_SHELL_FOLDER_H_
#define WIN32_SHELL_FOLDER_H_

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

#endif  // WIN32_SHELL_FOLDER_H_
