#include "win32/shell_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>

#include "base/scoped_temp_dir.h"
#include "win32/code_page.h"
#include "win32/last_error.h"
#include "win32/registry.h"

namespace {

const char* const kVariables[] = {"HOME", "XDG_DESKTOP_DIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME",
                                  "TERN_MACHINE_ROOT"};

class ShellFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.CreateUniqueTempDir());
    for (const char* name : kVariables) {
      const char* value = getenv(name);
      saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
      unsetenv(name);
    }
    home_ = (dir_.GetPath() / "home").string();
    setenv("HOME", home_.c_str(), 1);
    setenv("TERN_MACHINE_ROOT", (dir_.GetPath() / "machine").c_str(), 1);
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      if (value)
        setenv(name.c_str(), value->c_str(), 1);
      else
        unsetenv(name.c_str());
    }
  }
  // Empty when the call fails.
  std::string Folder(int csidl, BOOL create) {
    wchar_t path[MAX_PATH] = L"unchanged";
    if (!SHGetSpecialFolderPathW(nullptr, path, csidl, create))
      return std::string();
    return win32::WideToUtf8(path);
  }
  base::ScopedTempDir dir_;
  std::string home_;
  std::map<std::string, std::optional<std::string>> saved_;
};

TEST_F(ShellFolderTest, FoldersFollowXdgAndCreateOnRequest) {
  std::string root = (dir_.GetPath() / "machine").string();
  std::string custom = (dir_.GetPath() / "custom").string();
  struct Case {
    int csidl;
    const char* variable;
    std::string value;
    std::string expected;
  } cases[] = {
      {CSIDL_DESKTOPDIRECTORY, nullptr, "", home_ + "/Desktop"},
      {CSIDL_DESKTOP, "XDG_DESKTOP_DIR", custom + "/desk", custom + "/desk"},
      {CSIDL_DESKTOP, "XDG_DESKTOP_DIR", "relative/desk", home_ + "/Desktop"},
      {CSIDL_PROGRAMS, nullptr, "", home_ + "/.local/share/applications"},
      {CSIDL_PROGRAMS, "XDG_DATA_HOME", custom + "/data/", custom + "/data/applications"},
      {CSIDL_APPDATA, nullptr, "", home_ + "/.config"},
      {CSIDL_APPDATA, "XDG_CONFIG_HOME", custom + "/conf", custom + "/conf"},
      {CSIDL_COMMON_DESKTOPDIRECTORY, nullptr, "", root + "/common/Desktop"},
      {CSIDL_COMMON_PROGRAMS, nullptr, "", root + "/common/Programs"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    if (c.variable)
      setenv(c.variable, c.value.c_str(), 1);
    EXPECT_EQ(Folder(c.csidl, FALSE), c.expected);
    EXPECT_FALSE(std::filesystem::exists(c.expected));
    EXPECT_EQ(Folder(c.csidl, TRUE), c.expected);
    EXPECT_TRUE(std::filesystem::is_directory(c.expected));
    std::filesystem::remove_all(dir_.GetPath() / "home");
    std::filesystem::remove_all(dir_.GetPath() / "custom");
    std::filesystem::remove_all(root);
    if (c.variable)
      unsetenv(c.variable);
  }
  // The create flag in the CSIDL works like the argument.
  EXPECT_EQ(Folder(CSIDL_APPDATA | CSIDL_FLAG_CREATE, FALSE), home_ + "/.config");
  EXPECT_TRUE(std::filesystem::is_directory(home_ + "/.config"));
}

TEST_F(ShellFolderTest, DesktopFromUserDirsFile) {
  std::filesystem::create_directories(home_ + "/.config");
  struct Case {
    const char* line;
    std::string expected;
  } cases[] = {
      {"XDG_DESKTOP_DIR=\"$HOME/桌面\"", home_ + "/桌面"},
      {"  XDG_DESKTOP_DIR=\"/srv/desk\"", "/srv/desk"},
      {"# XDG_DESKTOP_DIR=\"/srv/desk\"", home_ + "/Desktop"},
      {"XDG_DESKTOP_DIR=\"relative\"", home_ + "/Desktop"},
      {"XDG_DOWNLOAD_DIR=\"$HOME/dl\"", home_ + "/Desktop"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    std::ofstream(home_ + "/.config/user-dirs.dirs") << "# written by test\n" << c.line << "\n";
    EXPECT_EQ(Folder(CSIDL_DESKTOPDIRECTORY, FALSE), c.expected);
  }
  // The environment variable wins over the file.
  setenv("XDG_DESKTOP_DIR", "/opt/desk", 1);
  EXPECT_EQ(Folder(CSIDL_DESKTOPDIRECTORY, FALSE), "/opt/desk");
}

TEST_F(ShellFolderTest, UnknownFolderAndUncreatableFolderFail) {
  EXPECT_EQ(Folder(0x0005 /* personal, not mapped */, FALSE), "");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  // A file standing where the folder would go cannot become a folder.
  std::filesystem::create_directories(home_);
  std::ofstream(home_ + "/Desktop") << "x";
  EXPECT_EQ(Folder(CSIDL_DESKTOPDIRECTORY, TRUE), "");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

// What the uninstaller reads: a value of the "Shell Folders" key, in a
// buffer of 512 bytes.
std::string ShellFoldersValue(const wchar_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, SHELL_FOLDERS_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return "<no key>";
  BYTE data[512] = {};
  DWORD size = sizeof(data);
  DWORD type = 0;
  LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, data, &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ)
    return "<no value>";
  return win32::WideToUtf8(reinterpret_cast<const wchar_t*>(data));
}

TEST_F(ShellFolderTest, TheRegistrysShellFoldersAgreeWithTheFolders) {
  setenv("XDG_DESKTOP_DIR", (dir_.GetPath() / "desk").c_str(), 1);
  setenv("XDG_DATA_HOME", (dir_.GetPath() / "data").c_str(), 1);
  EXPECT_EQ(Folder(CSIDL_DESKTOPDIRECTORY, FALSE), ShellFoldersValue(L"Desktop"));
  EXPECT_EQ(Folder(CSIDL_PROGRAMS, FALSE), ShellFoldersValue(L"Programs"));
  EXPECT_EQ((dir_.GetPath() / "data" / "applications").string(), ShellFoldersValue(L"Programs"));

  // A stale or foreign value is put right the next time the key is used.
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, SHELL_FOLDERS_KEY, 0, nullptr, 0,
                                           KEY_READ | KEY_WRITE, nullptr, &key, nullptr));
  const wchar_t stale[] = L"C:\\Users\\old\\Programs";
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, L"Programs", 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(stale), sizeof(stale)));
  RegCloseKey(key);
  setenv("XDG_DATA_HOME", (dir_.GetPath() / "moved").c_str(), 1);
  EXPECT_EQ((dir_.GetPath() / "moved" / "applications").string(), ShellFoldersValue(L"Programs"));
  EXPECT_EQ(Folder(CSIDL_PROGRAMS, FALSE), ShellFoldersValue(L"programs"));
}

}  // namespace
