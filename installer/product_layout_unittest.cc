#include "installer/product_layout.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/scoped_temp_dir.h"
#include "gtest/gtest.h"
#include "win32/code_page.h"
#include "win32/registry.h"

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::wstring ValueOf(const wchar_t* name) {
  wchar_t data[512] = {};
  DWORD size = sizeof(data);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, tern_install::kUninstallKey, name, RRF_RT_REG_SZ, nullptr,
                   data, &size) != ERROR_SUCCESS)
    return L"<missing>";
  return data;
}

class ProductLayoutTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
    setenv("TERN_MACHINE_ROOT", (temp_.path() / "machine").c_str(), 1);
    setenv("XDG_DESKTOP_DIR", (temp_.path() / "Desktop").c_str(), 1);
    setenv("XDG_DATA_HOME", (temp_.path() / "share").c_str(), 1);
  }
  base::ScopedTempDir temp_;
};

TEST_F(ProductLayoutTest, RegistersTheUninstallerAndTheVersion) {
  ASSERT_TRUE(tern_install::WriteUninstallRegistration(L"/opt/Tern 加速器", L"1.1.5"));
  EXPECT_EQ(ValueOf(L"UninstallString"), L"/opt/Tern 加速器/Uninstal.exe");
  EXPECT_EQ(ValueOf(L"DisplayVersion"), L"1.1.5");
  EXPECT_EQ(ValueOf(L"DisplayIcon"), L"/opt/Tern 加速器/rix.exe");
  for (const wchar_t* name : tern_install::kUninstallValues)
    EXPECT_NE(ValueOf(name), L"<missing>") << win32::WideToUtf8(name);
}

TEST_F(ProductLayoutTest, ShortcutsGoToTheDesktopAndTheRegisteredProgramsFolder) {
  fs::path programs = temp_.path() / "registered programs";
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, tern_install::kShellFoldersKey, 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  std::wstring value = win32::Utf8ToWide(programs.string());
  RegSetValueExW(key, L"Programs", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);

  ASSERT_TRUE(tern_install::CreateShortcuts(L"/opt/a \"b\"$"));
  std::string desktop = Read(temp_.path() / "Desktop" / "Tern智能加速器.desktop");
  EXPECT_NE(desktop.find("Name=Tern智能加速器\n"), std::string::npos) << desktop;
  EXPECT_NE(desktop.find("Exec=\"/opt/a \\\\\"b\\\\\"\\\\$/rix.exe\"\n"), std::string::npos)
      << desktop;
  EXPECT_TRUE(fs::exists(programs / "rix" / "Tern智能加速器.desktop"));
  std::string uninstall = Read(programs / "rix" / "卸载.desktop");
  EXPECT_NE(uninstall.find("Uninstal.exe"), std::string::npos);
}

}  // namespace
