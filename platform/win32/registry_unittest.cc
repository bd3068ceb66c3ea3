#include "win32/registry.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "base/scoped_temp_dir.h"

namespace {

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(root_.CreateUniqueTempDir());
    setenv("TERN_MACHINE_ROOT", root_.GetPath().c_str(), 1);
  }
  void TearDown() override { unsetenv("TERN_MACHINE_ROOT"); }

  HKEY Create(HKEY root,
              const wchar_t* path,
              REGSAM sam = KEY_READ | KEY_WRITE,
              DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(root, path, 0, nullptr, 0, sam, nullptr, &key, disposition),
              ERROR_SUCCESS);
    return key;
  }
  base::ScopedTempDir root_;
};

TEST_F(RegistryTest, CreateOpenAndDisposition) {
  DWORD disposition = 0;
  HKEY key = Create(HKEY_CURRENT_USER, L"Software\\Tern", KEY_ALL_ACCESS, &disposition);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  key = Create(HKEY_CURRENT_USER, L"SOFTWARE\\tern", KEY_ALL_ACCESS, &disposition);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);

  HKEY opened = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Missing", 0, KEY_READ, &opened),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(opened, nullptr);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"software\\TERN", 0, KEY_READ, &opened),
            ERROR_SUCCESS);
  RegCloseKey(opened);
}

TEST_F(RegistryTest, GetValueTypesAndSizes) {
  HKEY key = Create(HKEY_LOCAL_MACHINE, L"SYSTEM\\Test");
  DWORD dword = 7;
  ASSERT_EQ(RegSetValueExW(key, L"n", 0, REG_DWORD, reinterpret_cast<BYTE*>(&dword), 4),
            ERROR_SUCCESS);
  std::wstring text = L"路由";
  ASSERT_EQ(RegSetValueExW(key, L"s", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);

  DWORD size = 0, type = 0;
  EXPECT_EQ(RegGetValueW(key, nullptr, L"s", RRF_RT_REG_SZ, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 3 * sizeof(wchar_t));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  wchar_t small[2];
  size = sizeof(small);
  EXPECT_EQ(RegGetValueW(key, nullptr, L"s", RRF_RT_REG_SZ, nullptr, small, &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 3 * sizeof(wchar_t));
  wchar_t buffer[8];
  size = sizeof(buffer);
  ASSERT_EQ(RegGetValueW(key, nullptr, L"S", RRF_RT_REG_SZ, nullptr, buffer, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(buffer), text);

  struct Case {
    const wchar_t* sub_key;
    const wchar_t* name;
    DWORD flags;
    LSTATUS expected;
  } cases[] = {
      {nullptr, L"n", RRF_RT_REG_DWORD, ERROR_SUCCESS},
      {nullptr, L"n", RRF_RT_REG_SZ, ERROR_UNSUPPORTED_TYPE},
      {nullptr, L"s", RRF_RT_REG_DWORD, ERROR_UNSUPPORTED_TYPE},
      {nullptr, L"missing", RRF_RT_REG_DWORD, ERROR_FILE_NOT_FOUND},
      {nullptr, L"n", 0, ERROR_INVALID_PARAMETER},
      {L"Nope", L"n", RRF_RT_ANY, ERROR_FILE_NOT_FOUND},
  };
  for (const auto& c : cases) {
    DWORD value = 0;
    DWORD value_size = sizeof(value);
    EXPECT_EQ(RegGetValueW(key, c.sub_key, c.name, c.flags, nullptr, &value, &value_size),
              c.expected)
        << c.name;
  }
  // Through the parent with a sub key.
  dword = 0;
  size = sizeof(dword);
  EXPECT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, L"System\\test", L"n", RRF_RT_REG_DWORD, nullptr,
                         &dword, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(dword, 7u);

  EXPECT_EQ(RegDeleteValueW(key, L"n"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueW(key, L"n"), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
}

TEST_F(RegistryTest, DeleteKeysAndViews) {
  const wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
  HKEY parent = Create(HKEY_LOCAL_MACHINE, kUninstall, KEY_ALL_ACCESS | KEY_WOW64_32KEY);
  HKEY kelvo = Create(parent, L"kelvo");
  HKEY check = nullptr;
  // Not in the 64-bit view; the default view is the 32-bit one.
  EXPECT_EQ(RegOpenKeyExW(parent, L"kelvo", 0, KEY_READ | KEY_WOW64_64KEY, &check),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kUninstall, KEY_WOW64_32KEY, 0),
            ERROR_ACCESS_DENIED);  // has a subkey
  EXPECT_EQ(RegDeleteKeyExW(parent, L"kelvo", KEY_WOW64_64KEY, 0), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyExW(parent, L"kelvo", KEY_WOW64_32KEY, 0), ERROR_SUCCESS);
  DWORD one = 1;
  EXPECT_EQ(RegSetValueExW(kelvo, L"QY4", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4),
            ERROR_KEY_DELETED);
  EXPECT_EQ(RegOpenKeyExW(parent, L"kelvo", 0, KEY_READ, &check), ERROR_FILE_NOT_FOUND);
  RegCloseKey(kelvo);
  RegCloseKey(parent);
  EXPECT_EQ(RegSetValueExW(kelvo, L"x", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4),
            ERROR_INVALID_HANDLE);
}

}  // namespace
