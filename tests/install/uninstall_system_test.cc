// Uninstal.exe on a program directory laid out by the installer, driven
// through its window.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "gtest/gtest.h"
#include "installer/product_layout.h"
#include "tests/install/program_harness.h"
#include "win32/code_page.h"
#include "win32/file.h"
#include "win32/registry.h"

namespace {

namespace fs = std::filesystem;
using tern_test::ProgramHarness;

bool Registered() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, tern_install::kUninstallKey, 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

void SetUninstallString(const std::string& text) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, tern_install::kUninstallKey, 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  std::wstring value = win32::Utf8ToWide(text);
  RegSetValueExW(key, L"UninstallString", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

void Touch(const fs::path& path) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << "keep me";
}

class UninstallTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(h_.Install());
    ASSERT_TRUE(Registered());
    ASSERT_TRUE(fs::exists(h_.desktop() / "Tern智能加速器.desktop"));
    ASSERT_TRUE(fs::exists(h_.programs() / "rix" / "卸载.desktop"));
  }

  // Starts the uninstaller, confirms, and waits for the finished page.
  pid_t RunUninstall() {
    pid_t pid = h_.Start(h_.program_dir() / "Uninstal.exe");
    EXPECT_EQ(h_.Automate({"wait", "Uninstall"}), "");
    EXPECT_EQ(h_.Automate({"click", "Uninstall", "uninstall"}), "");
    EXPECT_TRUE(h_.WaitForState("Uninstall", "finish", "visible=1")) << h_.ReadLog("Uninstal.exe");
    return pid;
  }

  ProgramHarness h_;
};

TEST_F(UninstallTest, RemovesTheProductAndThenItself) {
  fs::path dir = h_.program_dir();
  fs::create_directories(dir / "TaskSkin" / "gamelogo");
  Touch(dir / "TaskSkin" / "gamelogo" / "game_1.png");
  ASSERT_TRUE(SetFileAttributesW(win32::Utf8ToWide((dir / "TaskSkin").string()).c_str(),
                                 FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN));
  Touch(dir / "log" / "client.log");
  Touch(dir / "config.ini");
  fs::path outside = h_.root() / "outside";
  Touch(outside / "precious");
  fs::create_directory_symlink(outside, dir / "linked");
  pid_t client = h_.StartFakeClient();
  // The adapter, when this build ships its tool (kept outside to ask later).
  fs::path tool = dir / "data" / "tap-win64" / "tapinstall.exe";
  fs::path tool_copy = h_.root() / "tapinstall.exe";
  const bool adapter = fs::exists(tool);
  if (adapter) {
    fs::copy_file(tool, tool_copy);
    ASSERT_EQ(h_.WaitExit(h_.Start(tool_copy, {"install", "OemVista.inf", "tap0901"}), 20000), 0);
    ASSERT_EQ(h_.WaitExit(h_.Start(tool_copy, {"status", "tap0901"}), 20000), 0);
    ASSERT_EQ(h_.ReadLog(tool_copy).find("No matching devices found."), std::string::npos);
  }

  pid_t uninstaller = RunUninstall();

  EXPECT_EQ(h_.WaitExit(client, 5000), 128 + 9) << "the client was ended";
  EXPECT_FALSE(Registered());
  EXPECT_FALSE(fs::exists(h_.desktop() / "Tern智能加速器.desktop"));
  EXPECT_FALSE(fs::exists(h_.programs() / "rix"));
  if (adapter) {
    fs::remove(h_.root() / "tapinstall.exe.log");
    ASSERT_EQ(h_.WaitExit(h_.Start(tool_copy, {"status", "tap0901"}), 20000), 0);
    EXPECT_NE(h_.ReadLog(tool_copy).find("No matching devices found."), std::string::npos)
        << h_.ReadLog(tool_copy);
  }
  // Everything but the running uninstaller is gone at once.
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(dir))
    left.push_back(entry.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"Uninstal.exe"});
  EXPECT_TRUE(fs::exists(outside / "precious"));
  // The window grew for the farewell page.
  std::string windows = h_.Automate({"windows"});
  int l = 0, t = 0, r = 0, b = 0;
  const std::string shown = "Uninstall\tUninstall\t1\t";
  size_t at = windows.find(shown);
  ASSERT_NE(at, std::string::npos) << windows;
  ASSERT_EQ(std::sscanf(windows.c_str() + at + shown.size(), "%d,%d,%d,%d", &l, &t, &r, &b), 4)
      << windows;
  EXPECT_EQ(r - l, 550);
  EXPECT_EQ(b - t, 550);

  std::string log = h_.ReadLog("Uninstal.exe");
  size_t p43 = log.find("Uninstall progress 43"), p93 = log.find("Uninstall progress 93"),
         p96 = log.find("Uninstall progress 96"), p100 = log.find("Uninstall progress 100");
  EXPECT_TRUE(p43 < p93 && p93 < p96 && p96 < p100 && p100 != std::string::npos) << log;

  EXPECT_EQ(h_.Automate({"click", "Uninstall", "finish"}), "");
  EXPECT_EQ(h_.WaitExit(uninstaller, 20000), 0);
  EXPECT_TRUE(h_.WaitUntilGone(dir));
  EXPECT_TRUE(h_.WaitUntil([&] { return fs::is_empty(h_.temp()); }))
      << "the script removes itself and its folder";
}

// Registration values that would point the delete at a root or a home
// folder delete nothing; the shortcuts and the registration still go.
TEST_F(UninstallTest, UnsafeUninstallStringsDeleteNothing) {
  fs::path home = h_.root() / "home";
  Touch(home / "Documents" / "thesis.txt");
  Touch(home / "Uninstal.exe");
  Touch(home / "rix.exe");
  for (std::string value : {std::string("/Uninstal.exe"), (home / "Uninstal.exe").string()}) {
    SCOPED_TRACE(value);
    ASSERT_TRUE(tern_install::WriteUninstallRegistration(
        win32::Utf8ToWide(h_.program_dir().string()), L"1.1.4"));
    SetUninstallString(value);
    ASSERT_TRUE(tern_install::CreateShortcuts(win32::Utf8ToWide(h_.program_dir().string())));

    pid_t uninstaller = RunUninstall();
    EXPECT_FALSE(Registered());
    EXPECT_FALSE(fs::exists(h_.desktop() / "Tern智能加速器.desktop"));
    EXPECT_TRUE(fs::exists(home / "Documents" / "thesis.txt"));
    EXPECT_TRUE(fs::exists(home / "Uninstal.exe"));
    EXPECT_TRUE(fs::exists(h_.program_dir() / "rix.exe")) << "no installed file is deleted";
    EXPECT_TRUE(fs::exists(h_.program_dir() / "net.exe"));
    EXPECT_NE(h_.ReadLog("Uninstal.exe").find("Installed files stay"), std::string::npos);
    EXPECT_EQ(h_.Automate({"click", "Uninstall", "finish"}), "");
    EXPECT_EQ(h_.WaitExit(uninstaller, 20000), 0);
    EXPECT_TRUE(fs::exists(h_.program_dir() / "Uninstal.exe"));
  }
}

// Closing the confirmation page changes nothing.
TEST_F(UninstallTest, CancelLeavesEverything) {
  pid_t client = h_.StartFakeClient();
  pid_t uninstaller = h_.Start(h_.program_dir() / "Uninstal.exe");
  EXPECT_EQ(h_.Automate({"wait", "Uninstall"}), "");
  EXPECT_EQ(h_.Automate({"click", "Uninstall", "cancel"}), "");
  EXPECT_EQ(h_.WaitExit(uninstaller, 20000), 0);
  EXPECT_TRUE(h_.Running(client));
  EXPECT_TRUE(Registered());
  EXPECT_TRUE(fs::exists(h_.program_dir() / "net.exe"));
}

}  // namespace
