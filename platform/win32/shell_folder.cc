#include "win32/shell_folder.h"

#include <errno.h>
#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "machine/machine_root.h"
#include "win32/code_page.h"
#include "win32/last_error.h"

namespace {

std::string StripTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/')
    path.pop_back();
  return path;
}

std::string HomeDirectory() {
  const char* home = getenv("HOME");
  if (home && *home)
    return home;
  struct passwd* entry = getpwuid(getuid());
  return entry && entry->pw_dir ? entry->pw_dir : "/";
}

// XDG ignores relative values.
std::string XdgDirectory(const char* variable, const std::string& fallback) {
  const char* value = getenv(variable);
  if (value && value[0] == '/')
    return StripTrailingSlashes(value);
  return StripTrailingSlashes(HomeDirectory()) + "/" + fallback;
}

// Reads XDG_DESKTOP_DIR="$HOME/..." or an absolute path from user-dirs.dirs.
std::string DesktopFromUserDirs() {
  std::ifstream file(XdgDirectory("XDG_CONFIG_HOME", ".config") + "/user-dirs.dirs");
  std::string line;
  constexpr std::string_view kKey = "XDG_DESKTOP_DIR=";
  while (std::getline(file, line)) {
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line.compare(start, kKey.size(), kKey) != 0)
      continue;
    std::string value = line.substr(start + kKey.size());
    if (value.size() < 2 || value.front() != '"')
      continue;
    size_t close = value.find('"', 1);
    if (close == std::string::npos)
      continue;
    value = value.substr(1, close - 1);
    if (value.rfind("$HOME", 0) == 0 && (value.size() == 5 || value[5] == '/'))
      return HomeDirectory() + value.substr(5);
    if (!value.empty() && value.front() == '/')
      return value;
  }
  return std::string();
}

std::string DesktopDirectory() {
  const char* value = getenv("XDG_DESKTOP_DIR");
  if (value && value[0] == '/')
    return value;
  std::string from_file = DesktopFromUserDirs();
  return from_file.empty() ? HomeDirectory() + "/Desktop" : from_file;
}

// Empty for a CSIDL we do not know.
std::string FolderFor(int csidl) {
  switch (csidl) {
    case CSIDL_DESKTOP:
    case CSIDL_DESKTOPDIRECTORY:
      return DesktopDirectory();
    case CSIDL_PROGRAMS:
      return XdgDirectory("XDG_DATA_HOME", ".local/share") + "/applications";
    case CSIDL_APPDATA:
      return XdgDirectory("XDG_CONFIG_HOME", ".config");
    case CSIDL_COMMON_DESKTOPDIRECTORY:
      return machine::RootDirectory() + "/common/Desktop";
    case CSIDL_COMMON_PROGRAMS:
      return machine::RootDirectory() + "/common/Programs";
    default:
      return std::string();
  }
}

}  // namespace

namespace win32 {

std::string ShellFolderPath(int csidl) {
  std::string folder = FolderFor(csidl & ~CSIDL_FLAG_CREATE);
  return folder.empty() ? folder : StripTrailingSlashes(folder);
}

}  // namespace win32

BOOL SHGetSpecialFolderPathW(HWND, LPWSTR path, int csidl, BOOL create) {
  if (!path) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (csidl & CSIDL_FLAG_CREATE)
    create = TRUE;
  std::string folder = FolderFor(csidl & ~CSIDL_FLAG_CREATE);
  if (folder.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  folder = StripTrailingSlashes(folder);
  std::wstring wide = win32::Utf8ToWide(folder);
  if (wide.size() >= MAX_PATH) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return FALSE;
  }
  if (create) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error || !std::filesystem::is_directory(folder, error)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
  }
  std::memcpy(path, wide.data(), wide.size() * sizeof(WCHAR));
  path[wide.size()] = 0;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}
