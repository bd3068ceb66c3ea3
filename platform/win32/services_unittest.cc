#include "win32/services.h"

#include <stdlib.h>

#include <functional>
#include <memory>
#include <string>

#include "base/scoped_temp_dir.h"
#include "gtest/gtest.h"
#include "machine/store.h"
#include "win32/last_error.h"

namespace {

class ServicesTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
    setenv("TERN_MACHINE_ROOT", temp_.GetPath().c_str(), 1);
    scm_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_TRUE(scm_);
    ASSERT_EQ(machine::Store::Open(&store_), machine::Status::kOk);
  }
  void TearDown() override {
    CloseServiceHandle(scm_);
    store_.reset();
    unsetenv("TERN_MACHINE_ROOT");
  }

  void Put(const std::string& name,
           uint32_t state,
           machine::ServiceStartBehaviour on_start,
           uint32_t wait_hint_ms = 0) {
    machine::ServiceRecord s;
    s.name = name;
    s.display_name = name + " Display";
    s.state = state;
    s.on_start = on_start;
    s.wait_hint_ms = wait_hint_ms;
    ASSERT_EQ(store_->PutService(s), machine::Status::kOk);
  }
  machine::ServiceRecord Get(const std::string& name) {
    machine::ServiceRecord s;
    EXPECT_EQ(store_->GetService(name, &s), machine::Status::kOk);
    return s;
  }

  base::ScopedTempDir temp_;
  SC_HANDLE scm_ = nullptr;
  std::unique_ptr<machine::Store> store_;
};

TEST_F(ServicesTest, NewMachineHoldsTheTunnelServicesAndSeedsOnlyOnce) {
  std::vector<machine::ServiceRecord> services;
  ASSERT_EQ(store_->ListServices(&services), machine::Status::kOk);
  ASSERT_EQ(services.size(), 12u);
  int running = 0, stopped = 0;
  for (const auto& s : services) {
    running += s.state == SERVICE_RUNNING;
    stopped += s.state == SERVICE_STOPPED;
  }
  EXPECT_GT(running, 0);
  EXPECT_GT(stopped, 0);
  EXPECT_EQ(Get("IKEEXT").display_name, "IKE and AuthIP IPsec Keying Modules");

  // A service taken away later is not put back by the next manager.
  ASSERT_EQ(store_->DeleteService("SstpSvc"), machine::Status::kOk);
  SC_HANDLE again = OpenSCManagerW(L"", SERVICES_ACTIVE_DATABASEW, SC_MANAGER_CONNECT);
  ASSERT_TRUE(again);
  EXPECT_EQ(OpenServiceW(again, L"SstpSvc", SERVICE_QUERY_STATUS), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
  CloseServiceHandle(again);
}

TEST_F(ServicesTest, StartFollowsTheConfiguredBehaviour) {
  struct Case {
    machine::ServiceStartBehaviour on_start;
    uint32_t wait_hint_ms;
    BOOL started;
    DWORD error;
    DWORD state_after;
    DWORD reported_hint;
  } cases[] = {
      {machine::ServiceStartBehaviour::kAtOnce, 0, TRUE, 0, SERVICE_RUNNING, 0},
      {machine::ServiceStartBehaviour::kAfterWaitHint, 60000, TRUE, 0, SERVICE_START_PENDING,
       60000},
      {machine::ServiceStartBehaviour::kAfterWaitHint, 0, TRUE, 0, SERVICE_RUNNING, 0},
      {machine::ServiceStartBehaviour::kFail, 0, FALSE, ERROR_SERVICE_REQUEST_TIMEOUT,
       SERVICE_STOPPED, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.on_start));
    Put("Svc", SERVICE_STOPPED, c.on_start, c.wait_hint_ms);
    SC_HANDLE svc = OpenServiceW(scm_, L"svc", SERVICE_START | SERVICE_QUERY_STATUS);
    ASSERT_TRUE(svc);
    EXPECT_EQ(StartServiceW(svc, 0, nullptr), c.started);
    if (!c.started) {
      EXPECT_EQ(GetLastError(), c.error);
    }
    SERVICE_STATUS status = {};
    ASSERT_TRUE(QueryServiceStatus(svc, &status));
    EXPECT_EQ(status.dwCurrentState, c.state_after);
    EXPECT_EQ(status.dwWaitHint, c.reported_hint);
    EXPECT_TRUE(CloseServiceHandle(svc));
  }
}

TEST_F(ServicesTest, PendingStatesEndWhenTheWaitHintHasPassed) {
  Put("Slow", SERVICE_STOPPED, machine::ServiceStartBehaviour::kAfterWaitHint, 5000);
  SC_HANDLE svc = OpenServiceW(scm_, L"Slow", SERVICE_ALL_ACCESS);
  ASSERT_TRUE(svc);
  ASSERT_TRUE(StartServiceW(svc, 0, nullptr));
  SERVICE_STATUS status = {};
  // Pending services take no controls and cannot be started again.
  EXPECT_FALSE(ControlService(svc, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_CANNOT_ACCEPT_CTRL));
  EXPECT_FALSE(StartServiceW(svc, 0, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));

  // Move the start back in time instead of sleeping.
  machine::ServiceRecord s = Get("Slow");
  s.pending_since_ms -= 5000;
  ASSERT_EQ(store_->PutService(s), machine::Status::kOk);
  ASSERT_TRUE(QueryServiceStatus(svc, &status));
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(Get("Slow").state, static_cast<uint32_t>(SERVICE_RUNNING));

  ASSERT_TRUE(ControlService(svc, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOP_PENDING));
  s = Get("Slow");
  s.pending_since_ms -= 5000;
  ASSERT_EQ(store_->PutService(s), machine::Status::kOk);
  ASSERT_TRUE(QueryServiceStatus(svc, &status));
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
  CloseServiceHandle(svc);
}

TEST_F(ServicesTest, ErrorsAreTheWindowsCodes) {
  Put("Run", SERVICE_RUNNING, machine::ServiceStartBehaviour::kAtOnce);
  Put("Off", SERVICE_STOPPED, machine::ServiceStartBehaviour::kAtOnce);
  Put("Gone", SERVICE_RUNNING, machine::ServiceStartBehaviour::kMissing);
  SC_HANDLE run = OpenServiceW(scm_, L"RUN", SERVICE_ALL_ACCESS);
  SC_HANDLE off = OpenServiceW(scm_, L"Off", SERVICE_ALL_ACCESS);
  SC_HANDLE query_only = OpenServiceW(scm_, L"Off", SERVICE_QUERY_STATUS);
  ASSERT_TRUE(run && off && query_only);
  SERVICE_STATUS status;
  ASSERT_TRUE(ChangeServiceConfigW(off, SERVICE_NO_CHANGE, SERVICE_DISABLED, SERVICE_NO_CHANGE,
                                   nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
  SC_HANDLE closed = OpenServiceW(scm_, L"Run", SERVICE_QUERY_STATUS);
  CloseServiceHandle(closed);

  struct Case {
    const char* what;
    std::function<bool()> call;
    DWORD error;
  } cases[] = {
      {"start running", [&] { return StartServiceW(run, 0, nullptr); },
       ERROR_SERVICE_ALREADY_RUNNING},
      {"start disabled", [&] { return StartServiceW(off, 0, nullptr); }, ERROR_SERVICE_DISABLED},
      {"stop stopped", [&] { return ControlService(off, SERVICE_CONTROL_STOP, &status); },
       ERROR_SERVICE_NOT_ACTIVE},
      {"no right", [&] { return StartServiceW(query_only, 0, nullptr); }, ERROR_ACCESS_DENIED},
      {"closed handle", [&] { return QueryServiceStatus(closed, &status); }, ERROR_INVALID_HANDLE},
      {"manager as service", [&] { return QueryServiceStatus(scm_, &status); },
       ERROR_INVALID_HANDLE},
      {"unknown control", [&] { return ControlService(run, 99, &status); },
       ERROR_INVALID_SERVICE_CONTROL},
      {"bad start type",
       [&] {
         return ChangeServiceConfigW(off, SERVICE_NO_CHANGE, 9, SERVICE_NO_CHANGE, nullptr, nullptr,
                                     nullptr, nullptr, nullptr, nullptr, nullptr);
       },
       ERROR_INVALID_PARAMETER},
      {"setting not kept",
       [&] {
         return ChangeServiceConfigW(off, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                     L"/bin/x", nullptr, nullptr, nullptr, nullptr, nullptr,
                                     nullptr);
       },
       ERROR_CALL_NOT_IMPLEMENTED},
      {"missing service",
       [&] { return OpenServiceW(scm_, L"Gone", SERVICE_QUERY_STATUS) != nullptr; },
       ERROR_SERVICE_DOES_NOT_EXIST},
      {"remote manager",
       [&] { return OpenSCManagerW(L"\\\\other", nullptr, SC_MANAGER_CONNECT) != nullptr; },
       RPC_S_SERVER_UNAVAILABLE},
      {"other database",
       [&] { return OpenSCManagerW(nullptr, L"Nope", SC_MANAGER_CONNECT) != nullptr; },
       ERROR_DATABASE_DOES_NOT_EXIST},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetLastError(0);
    EXPECT_FALSE(c.call());
    EXPECT_EQ(GetLastError(), c.error);
  }
  CloseServiceHandle(run);
  CloseServiceHandle(off);
  CloseServiceHandle(query_only);
}

TEST_F(ServicesTest, NoChangeKeepsEverySettingButTheOneGiven) {
  Put("Cfg", SERVICE_STOPPED, machine::ServiceStartBehaviour::kAfterWaitHint, 700);
  SC_HANDLE svc = OpenServiceW(scm_, L"Cfg", SERVICE_CHANGE_CONFIG);
  ASSERT_TRUE(svc);
  ASSERT_TRUE(ChangeServiceConfigW(svc, SERVICE_NO_CHANGE, SERVICE_AUTO_START, SERVICE_NO_CHANGE,
                                   nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
  machine::ServiceRecord s = Get("Cfg");
  EXPECT_EQ(s.start_type, static_cast<uint32_t>(SERVICE_AUTO_START));
  EXPECT_EQ(s.display_name, "Cfg Display");
  EXPECT_EQ(s.state, static_cast<uint32_t>(SERVICE_STOPPED));
  EXPECT_EQ(s.wait_hint_ms, 700u);
  EXPECT_EQ(s.on_start, machine::ServiceStartBehaviour::kAfterWaitHint);
  CloseServiceHandle(svc);
}

TEST_F(ServicesTest, DisplayAndKeyNamesWithWindowsBufferRules) {
  wchar_t buffer[64];
  DWORD length = 3;
  EXPECT_FALSE(GetServiceDisplayNameW(scm_, L"dhcp", buffer, &length));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(length, 11u);  // "DHCP Client"
  length = 64;
  ASSERT_TRUE(GetServiceDisplayNameW(scm_, L"dhcp", buffer, &length));
  EXPECT_EQ(std::wstring(buffer), L"DHCP Client");
  length = 64;
  ASSERT_TRUE(GetServiceKeyNameW(scm_, L"telephony", buffer, &length));
  EXPECT_EQ(std::wstring(buffer), L"TapiSrv");
  length = 64;
  EXPECT_FALSE(GetServiceKeyNameW(scm_, L"No Such Service", buffer, &length));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
}

}  // namespace
