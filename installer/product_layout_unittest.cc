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

// The programs folder is the one the user's "Shell Folders" report.
TEST_F(ProductLayoutTest, ShortcutsGoToTheDesktopAndTheRegisteredProgramsFolder) {
  fs::path programs = temp_.path() / "share" / "applications";
  EXPECT_EQ(tern_install::ProgramsFolderFromRegistry(), win32::Utf8ToWide(programs.string()));
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
