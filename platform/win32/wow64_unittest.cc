#include "win32/wow64.h"

#include <sys/utsname.h>

#include <string>

#include "gtest/gtest.h"
#include "win32/last_error.h"

namespace {

TEST(Wow64Test, IsWow64ProcessIsFoundAtRunTimeAndFollowsTheKernel) {
  HMODULE kernel32 = GetModuleHandleA("kernel32");
  ASSERT_NE(nullptr, kernel32);
  auto is_wow64 = reinterpret_cast<LPFN_ISWOW64PROCESS>(GetProcAddress(kernel32, "IsWow64Process"));
  ASSERT_NE(nullptr, is_wow64);
  BOOL wow64 = -1;
  int self = 0;
  ASSERT_TRUE(is_wow64(&self, &wow64));
  utsname info{};
  ASSERT_EQ(0, uname(&info));
  EXPECT_EQ(std::string(info.machine).find("64") != std::string::npos, wow64 == TRUE)
      << info.machine;
}

TEST(Wow64Test, BadLookupsFail) {
  HMODULE kernel32 = GetModuleHandleA("kernel32");
  EXPECT_EQ(nullptr, GetProcAddress(kernel32, "IsWow64Process2"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
  EXPECT_EQ(nullptr, GetProcAddress(nullptr, "IsWow64Process"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  BOOL wow64 = FALSE;
  EXPECT_FALSE(IsWow64Process(nullptr, &wow64));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

}  // namespace
