// The names the installer, the updater and the uninstaller agree on: the
// program files, the uninstall registration and the shortcuts.
#ifndef INSTALLER_PRODUCT_LAYOUT_H_
#define INSTALLER_PRODUCT_LAYOUT_H_

#include <string>

#include "win32/types.h"

namespace tern_install {

inline constexpr wchar_t kClientProgram[] = L"rix.exe";
inline constexpr wchar_t kUninstallerProgram[] = L"Uninstal.exe";
inline constexpr wchar_t kInstallerProgram[] = L"Installer.exe";

// HKEY_LOCAL_MACHINE, 32-bit view.
inline constexpr wchar_t kUninstallParentKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr wchar_t kUninstallSubkey[] = L"kelvo";
inline constexpr wchar_t kUninstallKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\kelvo";
// Every value the registration holds, in the order the installer writes them.
inline constexpr const wchar_t* kUninstallValues[] = {
    L"DisplayName", L"URLInfoAbout",   L"Publisher",       L"DisplayIcon",
    L"setlnk",      L"DisplayVersion", L"UninstallString", L"QY4"};

// HKEY_CURRENT_USER.
inline constexpr wchar_t kShellFoldersKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// XDG desktop entries stand in for the shell links.
inline constexpr wchar_t kProductShortcut[] = L"Tern智能加速器.desktop";
inline constexpr wchar_t kUninstallShortcut[] = L"卸载.desktop";
inline constexpr wchar_t kProgramsSubfolder[] = L"rix";

// The user's desktop folder, "" when it cannot be found.
std::wstring DesktopFolder();

// The "Programs" value of the user's shell folders (at most 512 bytes, as the
// uninstaller reads it); "" when absent.
std::wstring ProgramsFolderFromRegistry();

// The registry value when present, else the programs folder the shell maps
// (the installer creates it when missing).
std::wstring ProgramsFolder();

// Writes the uninstall registration for |program_dir| (no trailing "/").
// False when the key cannot be created or a value cannot be written.
bool WriteUninstallRegistration(const std::wstring& program_dir, const std::wstring& version);

// Creates the desktop shortcut and the two shortcuts in the programs folder's
// "rix" subfolder, each written atomically. False when any one fails.
bool CreateShortcuts(const std::wstring& program_dir);

// The text of a desktop entry that starts |program| with |name| as its title.
std::string DesktopEntryText(const std::wstring& name, const std::wstring& program);

}  // namespace tern_install

#endif  // INSTALLER_PRODUCT_LAYOUT_H_
