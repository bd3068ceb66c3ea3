#include "client/config/registry_key.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "base/scoped_temp_dir.h"

namespace winreg {
namespace {

class RegistryKeyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(root_.CreateUniqueTempDir());
    setenv("TERN_MACHINE_ROOT", root_.GetPath().c_str(), 1);
  }
  void TearDown() override { unsetenv("TERN_MACHINE_ROOT"); }
  base::ScopedTempDir root_;
};

TEST_F(RegistryKeyTest, RoundTripsAndFailures) {
  const wchar_t kPath[] = L"SYSTEM\\CurrentControlSet\\Services\\PolicyAgent";
  RegistryKey key(HKEY_LOCAL_MACHINE, kPath);
  ASSERT_TRUE(key.IsValid());
  EXPECT_EQ(key.GetDword(L"AssumeUDPEncapsulationContextOnSendRule"), static_cast<DWORD>(-1));
  key.SetDword(L"AssumeUDPEncapsulationContextOnSendRule", 2);
  EXPECT_EQ(key.GetDword(L"assumeudpencapsulationcontextonsendrule"), 2u);
  EXPECT_EQ(key.GetString(L"AssumeUDPEncapsulationContextOnSendRule"), L"");  // wrong type

  const std::wstring text = L"10.0.17134.1";
  ASSERT_EQ(
      RegSetValueExW(key.Get(), L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
      ERROR_SUCCESS);
  EXPECT_EQ(key.GetString(L"Version"), text);
  EXPECT_EQ(key.GetDword(L"Version"), static_cast<DWORD>(-1));

  // Open closes the held key first and reaches the same data.
  key.Open(HKEY_LOCAL_MACHINE, kPath, KEY_READ | KEY_WRITE);
  ASSERT_TRUE(key.IsValid());
  EXPECT_EQ(key.GetDword(L"AssumeUDPEncapsulationContextOnSendRule"), 2u);
  key.Open(HKEY_LOCAL_MACHINE, L"SYSTEM\\NoSuchKey", KEY_READ);
  EXPECT_FALSE(key.IsValid());
  EXPECT_EQ(key.GetDword(L"x"), static_cast<DWORD>(-1));
  EXPECT_EQ(key.GetString(L"x"), L"");
  key.SetDword(L"x", 1);  // nothing happens

  RegistryKey bad(reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x12345)), L"A");
  EXPECT_FALSE(bad.IsValid());
}

TEST_F(RegistryKeyTest, ExceptionCarriesCodeAndMessage) {
  RegException e("RegOpenKeyEx failed.", ERROR_FILE_NOT_FOUND);
  EXPECT_STREQ(e.what(), "RegOpenKeyEx failed.");
  EXPECT_EQ(e.ErrorCode(), ERROR_FILE_NOT_FOUND);
  const std::runtime_error& base = e;
  EXPECT_STREQ(base.what(), "RegOpenKeyEx failed.");
}

}  // namespace
}  // namespace winreg
