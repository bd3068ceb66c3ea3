#include "uninstal/uninstall_worker.h"

#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "base/logging.h"
#include "client/system/process_runner.h"
#include "installer/process_ending.h"
#include "installer/product_layout.h"
#include "uninstal/install_dir_guard.h"
#include "uninstal/self_delete_script.h"
#include "uninstal/tree_remover.h"
#include "win32/code_page.h"
#include "win32/file.h"
#include "win32/message_queue.h"
#include "win32/module.h"
#include "win32/registry.h"
#include "win32/wow64.h"

namespace {

using namespace tern_install;

bool RunsOn64BitWindows() {
  auto is_wow64 = reinterpret_cast<LPFN_ISWOW64PROCESS>(
      GetProcAddress(GetModuleHandleA("kernel32"), "IsWow64Process"));
  BOOL wow64 = FALSE;
  return is_wow64 && is_wow64(reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)), &wow64) && wow64;
}

void RemoveAdapter(const std::wstring& own_dir) {
  std::wstring tool = own_dir + (RunsOn64BitWindows() ? L"/data/tap-win64/tapinstall.exe"
                                                      : L"/data/tap-win32/tapinstall.exe");
  std::string output = RunCommand(win32::WideToAnsi(L"\"" + tool + L"\" remove tap0901"));
  LOG(INFO) << "Adapter removal: " << output;
}

void RemoveShortcuts() {
  std::wstring desktop = DesktopFolder();
  if (!desktop.empty())
    DeleteFileW((desktop + L"/" + kProductShortcut).c_str());
  std::wstring programs = ProgramsFolderFromRegistry();
  if (programs.empty()) {
    LOG(WARNING) << "No programs folder is registered; its shortcuts stay";
    return;
  }
  std::wstring group = programs + L"/" + kProgramsSubfolder;
  DeleteFileW((group + L"/" + kUninstallShortcut).c_str());
  DeleteFileW((group + L"/" + kProductShortcut).c_str());
  RemoveDirectoryW(group.c_str());
}

std::wstring ReadText(HKEY key, const wchar_t* name, bool* present) {
  wchar_t value[4096] = {};
  DWORD size = sizeof(value) - sizeof(wchar_t);
  DWORD type = 0;
  *present = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
                 ERROR_SUCCESS &&
             type == REG_SZ;
  return *present ? std::wstring(value) : std::wstring();
}

// Opens (or creates) the registration and returns "UninstallString"; an
// absent value is written empty and read once more.
std::wstring ReadUninstallString(HKEY key) {
  bool present = false;
  std::wstring text = ReadText(key, L"UninstallString", &present);
  if (!present) {
    const wchar_t empty[] = L"";
    RegSetValueExW(key, L"UninstallString", 0, REG_SZ, reinterpret_cast<const BYTE*>(empty),
                   sizeof(empty));
  }
  if (text.empty())
    text = ReadText(key, L"UninstallString", &present);
  return text;
}

void PostProgress(HWND window, int percent) {
  PostMessageW(window, kProgressMessage, static_cast<WPARAM>(percent), 0);
}

}  // namespace

void RunUninstall(HWND window) {
  const std::wstring own_dir = OwnProgramDirectory();
  wchar_t own_path[4096] = {};
  GetModuleFileNameW(nullptr, own_path, 4096);

  RemoveAdapter(own_dir);
  RemoveShortcuts();
  PostProgress(window, 43);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));

  HKEY key = nullptr;
  std::wstring install_dir;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, nullptr, 0,
                      KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr) == ERROR_SUCCESS) {
    install_dir = InstallDirFromUninstallString(ReadUninstallString(key));
  }
  std::string why;
  std::string folder = win32::WideToUtf8(install_dir);
  while (folder.size() > 1 && folder.back() == '/')
    folder.pop_back();
  const bool removable = IsRemovableInstallDir(folder, win32::WideToUtf8(own_dir), &why);
  if (!removable)
    LOG(WARNING) << "Installed files stay: " << why;

  if (removable) {
    std::wstring skin = win32::Utf8ToWide(folder) + L"/TaskSkin";
    DWORD attributes = GetFileAttributesW(skin.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN))
      SetFileAttributesW(skin.c_str(), attributes & ~FILE_ATTRIBUTE_HIDDEN);
  }
  if (key) {
    for (const wchar_t* name : kUninstallValues)
      RegDeleteValueW(key, name);
    RegCloseKey(key);
  }
  HKEY parent = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallParentKey, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                    &parent) == ERROR_SUCCESS) {
    RegDeleteKeyExW(parent, kUninstallSubkey, KEY_WOW64_32KEY, 0);
    RegCloseKey(parent);
  }
  PostProgress(window, 93);

  if (removable)
    RemoveTree(win32::Utf8ToWide(folder), own_path);
  PostProgress(window, 96);

  // Only a folder judged to be the product's is finished off by the script.
  if (removable)
    StartSelfDeleteScript(win32::WideToUtf8(own_path), folder);
  PostProgress(window, 100);
}
