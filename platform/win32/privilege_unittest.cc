#include "win32/privilege.h"

#include <stdlib.h>

#include <memory>
#include <vector>

#include "base/scoped_temp_dir.h"
#include "gtest/gtest.h"
#include "machine/store.h"
#include "win32/handle.h"
#include "win32/last_error.h"

namespace {

class PrivilegeTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.CreateUniqueTempDir());
    setenv("TERN_MACHINE_ROOT", dir_.path().c_str(), 1);
    ASSERT_EQ(machine::Status::kOk, machine::Store::Open(&store_));
    // The token is the process's: start each case with nothing enabled.
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
    ASSERT_TRUE(AdjustTokenPrivileges(token, TRUE, nullptr, 0, nullptr, nullptr));
    CloseHandle(token);
  }
  void TearDown() override {
    store_.reset();
    unsetenv("TERN_MACHINE_ROOT");
  }

  // The client's restart: enable the shutdown privilege, then ask for the
  // restart. Returns false where the client would give up.
  bool RequestRestart(DWORD* error) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
      return false;
    TOKEN_PRIVILEGES privileges = {};
    bool ok = LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid);
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    ok = ok && AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    *error = GetLastError();
    CloseHandle(token);
    if (!ok || *error != ERROR_SUCCESS)
      return false;
    ok = ExitWindowsEx(EWX_REBOOT, SHTDN_REASON_MINOR_RECONFIG);
    *error = GetLastError();
    return ok;
  }

  std::vector<machine::RestartRequest> Requests() {
    std::vector<machine::RestartRequest> requests;
    EXPECT_EQ(machine::Status::kOk, store_->ListRestartRequests(&requests));
    return requests;
  }

  base::ScopedTempDir dir_;
  std::unique_ptr<machine::Store> store_;
};

TEST_F(PrivilegeTest, TheRestartChainIsRecordedWithItsFlagsAndReason) {
  DWORD error = 0;
  ASSERT_TRUE(RequestRestart(&error)) << error;
  std::vector<machine::RestartRequest> requests = Requests();
  ASSERT_EQ(1u, requests.size());
  EXPECT_EQ("reboot", requests[0].kind);
  EXPECT_EQ("0x00000004", requests[0].reason);
  EXPECT_GT(requests[0].time_ms, 0);

  EXPECT_TRUE(ExitWindowsEx(EWX_SHUTDOWN | EWX_FORCE, SHTDN_REASON_MAJOR_APPLICATION));
  requests = Requests();
  ASSERT_EQ(2u, requests.size());
  EXPECT_EQ("shutdown|force", requests[1].kind);
  EXPECT_EQ("0x00040000", requests[1].reason);
}

TEST_F(PrivilegeTest, WithoutTheRightNothingIsRecorded) {
  // Not enabled in the token.
  EXPECT_FALSE(ExitWindowsEx(EWX_REBOOT, 4));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD), GetLastError());

  // The machine does not grant it: the adjustment "succeeds" with
  // ERROR_NOT_ALL_ASSIGNED, as on Windows.
  ASSERT_EQ(machine::Status::kOk, store_->SetSetting("privilege.SeShutdownPrivilege", "0"));
  DWORD error = 0;
  EXPECT_FALSE(RequestRestart(&error));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ALL_ASSIGNED), error);
  EXPECT_FALSE(ExitWindowsEx(EWX_REBOOT, 4));
  EXPECT_TRUE(Requests().empty());

  // Logging off needs no privilege.
  EXPECT_TRUE(ExitWindowsEx(EWX_LOGOFF, 0));
  ASSERT_EQ(1u, Requests().size());
  EXPECT_EQ("logoff", Requests()[0].kind);
}

TEST_F(PrivilegeTest, TokensAndNamesAreChecked) {
  LUID luid = {};
  EXPECT_TRUE(LookupPrivilegeValueW(L"", L"seshutdownprivilege", &luid));
  EXPECT_EQ(19u, luid.LowPart);
  EXPECT_FALSE(LookupPrivilegeValueW(nullptr, L"SeFlyingPrivilege", &luid));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NO_SUCH_PRIVILEGE), GetLastError());
  EXPECT_FALSE(LookupPrivilegeValueW(L"\\\\server", SE_SHUTDOWN_NAME, &luid));

  HANDLE query_only = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &query_only));
  TOKEN_PRIVILEGES privileges = {1, {{{19, 0}, SE_PRIVILEGE_ENABLED}}};
  EXPECT_FALSE(AdjustTokenPrivileges(query_only, FALSE, &privileges, 0, nullptr, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  CloseHandle(query_only);
  EXPECT_FALSE(AdjustTokenPrivileges(query_only, FALSE, &privileges, 0, nullptr, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());

  // The previous state comes back, and restores the token.
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
  TOKEN_PRIVILEGES previous = {};
  DWORD needed = 0;
  ASSERT_TRUE(
      AdjustTokenPrivileges(token, FALSE, &privileges, sizeof(previous), &previous, &needed));
  EXPECT_EQ(1u, previous.PrivilegeCount);
  EXPECT_EQ(0u, previous.Privileges[0].Attributes);
  EXPECT_TRUE(ExitWindowsEx(EWX_POWEROFF, 0));
  ASSERT_TRUE(AdjustTokenPrivileges(token, FALSE, &previous, 0, nullptr, nullptr));
  EXPECT_FALSE(ExitWindowsEx(EWX_POWEROFF, 0));
  CloseHandle(token);

  HANDLE none = nullptr;
  EXPECT_FALSE(OpenProcessToken(reinterpret_cast<HANDLE>(0x7777), TOKEN_QUERY, &none));
}

}  // namespace
