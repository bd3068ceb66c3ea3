#include "uninstal/install_dir_guard.h"

#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <mutex>
#include <system_error>

namespace {

namespace fs = std::filesystem;

bool SameFolder(const fs::path& a, const fs::path& b) {
  std::error_code error;
  return fs::equivalent(a, b, error) && !error;
}

bool IsRegularFile(const fs::path& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsHomeFolder(const fs::path& folder) {
  const char* home = getenv("HOME");
  if (home && *home && SameFolder(folder, home))
    return true;
  // Every account's home, not only ours: root may be running this.
  static std::mutex passwd_lock;
  std::lock_guard<std::mutex> hold(passwd_lock);
  bool found = false;
  setpwent();
  while (struct passwd* entry = getpwent()) {
    if (entry->pw_dir && *entry->pw_dir && SameFolder(folder, entry->pw_dir)) {
      found = true;
      break;
    }
  }
  endpwent();
  return found;
}

// A root or a mount point: its parent lies on another device, or it is its
// own parent.
bool IsFileSystemRoot(const fs::path& folder) {
  struct stat self, parent;
  if (stat(folder.c_str(), &self) != 0 || stat((folder / "..").c_str(), &parent) != 0)
    return true;
  return self.st_dev != parent.st_dev || self.st_ino == parent.st_ino;
}

}  // namespace

std::wstring InstallDirFromUninstallString(const std::wstring& uninstall_string) {
  size_t slash = uninstall_string.find_last_of(L'/');
  return slash == std::wstring::npos ? std::wstring() : uninstall_string.substr(0, slash + 1);
}

bool IsRemovableInstallDir(const std::string& install_dir,
                           const std::string& own_dir,
                           std::string* why) {
  if (install_dir.empty()) {
    *why = "no installation folder is registered";
    return false;
  }
  std::error_code error;
  fs::path folder = fs::canonical(install_dir, error);
  if (error || !fs::is_directory(folder, error)) {
    *why = install_dir + " is not a folder";
    return false;
  }
  if (folder == folder.root_path() || IsFileSystemRoot(folder)) {
    *why = install_dir + " is a file-system root";
    return false;
  }
  if (IsHomeFolder(folder)) {
    *why = install_dir + " is a home folder";
    return false;
  }
  if (!SameFolder(folder, own_dir)) {
    *why = install_dir + " is not the uninstaller's own folder " + own_dir;
    return false;
  }
  if (!IsRegularFile(folder / "Uninstal.exe") || !IsRegularFile(folder / "rix.exe")) {
    *why = install_dir + " does not hold Uninstal.exe and rix.exe";
    return false;
  }
  return true;
}
