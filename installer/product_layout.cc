#include "installer/product_layout.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "base/logging.h"
#include "win32/code_page.h"
#include "win32/registry.h"
#include "win32/shell_folder.h"

namespace tern_install {
namespace {

constexpr wchar_t kProductName[] = L"Tern智能加速器";
constexpr wchar_t kUninstallName[] = L"卸载Tern智能加速器";
// The design gives the "Programs" value 512 bytes: 256 UTF-16 characters.
constexpr DWORD kProgramsValueChars = 256;

bool SetText(HKEY key, const wchar_t* name, const std::wstring& value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// Desktop entries quote an argument with spaces or reserved characters in
// double quotes, escaping ", `, $ and \ with a backslash.
std::string QuoteExec(const std::string& path) {
  std::string quoted = "\"";
  for (char c : path) {
    if (c == '"' || c == '`' || c == '$' || c == '\\')
      quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

// Values of a desktop entry escape backslashes and line breaks.
std::string EscapeValue(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else
      out += c;
  }
  return out;
}

// Writes the file through a temporary beside it and a rename, so a reader
// never sees half an entry.
bool WriteFileAtomically(const std::filesystem::path& path, const std::string& text) {
  std::string temp = path.string() + ".XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) {
    PLOG(ERROR) << "Cannot create " << path.string();
    return false;
  }
  bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
            fchmod(fd, 0755) == 0 && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok && rename(temp.c_str(), path.c_str()) == 0)
    return true;
  PLOG(ERROR) << "Cannot write " << path.string();
  unlink(temp.c_str());
  return false;
}

std::string U8(const wchar_t* text) {
  return win32::WideToUtf8(text);
}

}  // namespace

std::wstring DesktopFolder() {
  wchar_t path[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathW(nullptr, path, CSIDL_DESKTOPDIRECTORY, FALSE))
    return {};
  return path;
}

std::wstring ProgramsFolderFromRegistry() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kShellFoldersKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return {};
  wchar_t value[kProgramsValueChars] = {};
  DWORD size = sizeof(value);
  DWORD type = 0;
  LSTATUS status =
      RegQueryValueExW(key, L"Programs", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ)
    return {};
  value[kProgramsValueChars - 1] = 0;
  return value;
}

std::wstring ProgramsFolder() {
  std::wstring folder = ProgramsFolderFromRegistry();
  if (!folder.empty())
    return folder;
  wchar_t path[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathW(nullptr, path, CSIDL_PROGRAMS, TRUE))
    return {};
  return path;
}

bool WriteUninstallRegistration(const std::wstring& program_dir, const std::wstring& version) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, nullptr, 0,
                      KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    LOG(ERROR) << "Cannot create the uninstall registration";
    return false;
  }
  const std::wstring values[] = {kProductName,
                                 L"https://127.0.0.1:8443/",
                                 L"Tern",
                                 program_dir + L"/" + kClientProgram,
                                 L"1",
                                 version,
                                 program_dir + L"/" + kUninstallerProgram,
                                 L"0"};
  bool ok = true;
  for (size_t i = 0; i < std::size(kUninstallValues); ++i)
    ok = SetText(key, kUninstallValues[i], values[i]) && ok;
  RegCloseKey(key);
  return ok;
}

std::string DesktopEntryText(const std::wstring& name, const std::wstring& program) {
  std::string path = win32::WideToUtf8(program);
  std::string folder = path.substr(0, path.find_last_of('/'));
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Version=1.0\n"
         "Name=" +
         EscapeValue(win32::WideToUtf8(name)) +
         "\n"
         "Exec=" +
         EscapeValue(QuoteExec(path)) +
         "\n"
         "Path=" +
         EscapeValue(folder) +
         "\n"
         "Terminal=false\n";
}

bool CreateShortcuts(const std::wstring& program_dir) {
  namespace fs = std::filesystem;
  const std::wstring client = program_dir + L"/" + kClientProgram;
  const std::wstring uninstaller = program_dir + L"/" + kUninstallerProgram;
  bool ok = true;
  std::error_code error;
  std::wstring desktop = DesktopFolder();
  if (desktop.empty() ||
      (fs::create_directories(fs::path(win32::WideToUtf8(desktop)), error), error)) {
    LOG(ERROR) << "No desktop folder for the shortcut";
    ok = false;
  } else {
    ok = WriteFileAtomically(fs::path(win32::WideToUtf8(desktop)) / U8(kProductShortcut),
                             DesktopEntryText(kProductName, client)) &&
         ok;
  }
  std::wstring programs = ProgramsFolder();
  fs::path group = fs::path(win32::WideToUtf8(programs)) / U8(kProgramsSubfolder);
  if (programs.empty() || (fs::create_directories(group, error), error)) {
    LOG(ERROR) << "No programs folder for the shortcuts";
    return false;
  }
  ok = WriteFileAtomically(group / U8(kProductShortcut), DesktopEntryText(kProductName, client)) &&
       ok;
  ok = WriteFileAtomically(group / U8(kUninstallShortcut),
                           DesktopEntryText(kUninstallName, uninstaller)) &&
       ok;
  return ok;
}

}  // namespace tern_install
