#include "client/system/service_check.h"

#include <stdio.h>
#include <stdlib.h>

#include <memory>
#include <string>
#include <vector>

#include "base/program_directory_for_testing.h"
#include "base/scoped_temp_dir.h"
#include "gtest/gtest.h"
#include "machine/store.h"
#include "win32/code_page.h"

namespace {

class ServiceCheckTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
    setenv("TERN_MACHINE_ROOT", temp_.GetPath().c_str(), 1);
    ASSERT_EQ(machine::Store::Open(&store_), machine::Status::kOk);
    ASSERT_TRUE(win32::SeedDefaultServices(store_.get()));
    old_limit_ = SetServiceStartWaitLimitForTesting(5000);
  }
  void TearDown() override {
    SetServiceStartWaitLimitForTesting(old_limit_);
    store_.reset();
    unsetenv("TERN_MACHINE_ROOT");
  }

  void Put(const std::string& name,
           uint32_t state,
           machine::ServiceStartBehaviour on_start,
           uint32_t wait_hint_ms = 0,
           uint32_t start_type = machine::kServiceDemandStart) {
    machine::ServiceRecord s;
    ASSERT_NE(store_->GetService(name, &s), machine::Status::kError);
    s.name = name;
    if (s.display_name.empty())
      s.display_name = name;
    s.state = state;
    s.on_start = on_start;
    s.wait_hint_ms = wait_hint_ms;
    s.start_type = start_type;
    s.pending_since_ms = machine::NowMs();
    ASSERT_EQ(store_->PutService(s), machine::Status::kOk);
  }
  machine::ServiceRecord Get(const std::string& name) {
    machine::ServiceRecord s;
    EXPECT_EQ(store_->GetService(name, &s), machine::Status::kOk);
    return s;
  }
  void AllRunning() {
    for (const RequiredService& r : RequiredServices())
      Put(win32::WideToUtf8(r.name), machine::kServiceRunning,
          machine::ServiceStartBehaviour::kAtOnce);
  }

  base::ScopedTempDir temp_;
  std::unique_ptr<machine::Store> store_;
  int64_t old_limit_ = 0;
};

TEST_F(ServiceCheckTest, EnsureServiceRunningStartsOnlyStoppedServices) {
  using B = machine::ServiceStartBehaviour;
  struct Case {
    const char* what;
    uint32_t state;
    B on_start;
    uint32_t wait_hint_ms;
    uint32_t start_type;
    int result;
    uint32_t state_after;
    uint32_t start_type_after;
  } cases[] = {
      {"running", machine::kServiceRunning, B::kAtOnce, 0, machine::kServiceDemandStart, 2,
       machine::kServiceRunning, machine::kServiceDemandStart},
      {"start pending", machine::kServiceStartPending, B::kAfterWaitHint, 60000,
       machine::kServiceDisabled, 2, machine::kServiceStartPending, machine::kServiceDisabled},
      {"stopped", machine::kServiceStopped, B::kAtOnce, 0, machine::kServiceDemandStart, 1,
       machine::kServiceRunning, machine::kServiceAutoStart},
      {"stopped and disabled", machine::kServiceStopped, B::kAtOnce, 0, machine::kServiceDisabled,
       1, machine::kServiceRunning, machine::kServiceAutoStart},
      {"slow start", machine::kServiceStopped, B::kAfterWaitHint, 120, machine::kServiceDemandStart,
       1, machine::kServiceRunning, machine::kServiceAutoStart},
      {"start fails", machine::kServiceStopped, B::kFail, 0, machine::kServiceDemandStart, 0,
       machine::kServiceStopped, machine::kServiceAutoStart},
      {"never running", machine::kServiceStopped, B::kAfterWaitHint, 600000,
       machine::kServiceDemandStart, 0, machine::kServiceStartPending, machine::kServiceAutoStart},
  };
  SetServiceStartWaitLimitForTesting(300);
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  ASSERT_TRUE(manager);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Put("Probe", c.state, c.on_start, c.wait_hint_ms, c.start_type);
    EXPECT_EQ(EnsureServiceRunning(manager, L"Probe"), c.result);
    machine::ServiceRecord s = Get("Probe");
    EXPECT_EQ(s.state, c.state_after);
    EXPECT_EQ(s.start_type, c.start_type_after);
  }
  Put("Probe", machine::kServiceStopped, B::kMissing);
  EXPECT_EQ(EnsureServiceRunning(manager, L"Probe"), 0);
  CloseServiceHandle(manager);
}

TEST_F(ServiceCheckTest, CheckListsServicesThatCannotStartInCheckOrder) {
  Put("SstpSvc", machine::kServiceStopped, machine::ServiceStartBehaviour::kMissing);
  // The new machine's mix: RasAuto cannot start, the other stopped ones can.
  std::vector<std::wstring> failed = CheckRequiredServices();
  EXPECT_EQ(failed, (std::vector<std::wstring>{L"Secure Socket Tunneling Protocol Service",
                                               L"Remote Access Auto Connection Manager"}));
  for (const char* started : {"TapiSrv", "RasMan", "FDResPub", "upnphost"}) {
    SCOPED_TRACE(started);
    EXPECT_EQ(Get(started).state, static_cast<uint32_t>(machine::kServiceRunning));
    EXPECT_EQ(Get(started).start_type, static_cast<uint32_t>(machine::kServiceAutoStart));
  }
  // Already running services keep their start type.
  EXPECT_EQ(Get("PolicyAgent").start_type, static_cast<uint32_t>(machine::kServiceDemandStart));
}

TEST_F(ServiceCheckTest, ToolboxTextListsAtMostFourServices) {
  const std::wstring head = L"检测到以下系统服务未开启{n}{y 30}";
  const std::wstring tail =
      L"{n}{y 10}为了确保最优的加速体验，请手动开启服务{n}{y 20}或者联系客服{n}{y 20}";
  struct Case {
    std::vector<std::wstring> failed;
    std::wstring text;
  } cases[] = {
      {{}, L""},
      {{L"Telephony"}, head + L"• Telephony{n}{y 20}" + tail},
      {{L"A", L"B", L"C", L"D", L"E"},
       head + L"• A{n}{y 20}• B{n}{y 20}• C{n}{y 20}• D{n}{y 20}" + tail},
  };
  for (const Case& c : cases)
    EXPECT_EQ(BuildServiceCheckText(c.failed), c.text);
}

std::wstring g_received;
UINT g_received_message = 0;

LRESULT CALLBACK SettingsProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kServiceCheckResultMessage) {
    g_received_message = message;
    g_received = reinterpret_cast<const wchar_t*>(lparam);
    return 0;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

TEST_F(ServiceCheckTest, ToolboxFormSendsTheTextToTheSettingsWindow) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = SettingsProc;
  wc.lpszClassName = L"ServiceCheckTestWnd";
  ASSERT_TRUE(RegisterClassExW(&wc));
  HWND window = CreateWindowExW(0, L"ServiceCheckTestWnd", L"", 0, 0, 0, 10, 10, nullptr, nullptr,
                                nullptr, nullptr);
  ASSERT_TRUE(window);

  Put("Dhcp", machine::kServiceStopped, machine::ServiceStartBehaviour::kMissing);
  g_received = L"unset";
  CheckRequiredServicesForToolbox(window);
  EXPECT_EQ(g_received_message, 1127u);
  EXPECT_NE(g_received.find(L"• Remote Access Auto Connection Manager{n}{y 20}• DHCP Client"),
            std::wstring::npos);

  AllRunning();
  g_received = L"unset";
  CheckRequiredServicesForToolbox(window);
  EXPECT_EQ(g_received, L"");  // everything runs
  DestroyWindow(window);
  UnregisterClassW(L"ServiceCheckTestWnd", nullptr);
}

TEST_F(ServiceCheckTest, IkeServiceQuery) {
  struct Case {
    uint32_t state;
    machine::ServiceStartBehaviour on_start;
    bool running;
  } cases[] = {
      {machine::kServiceRunning, machine::ServiceStartBehaviour::kAtOnce, true},
      {machine::kServiceStopped, machine::ServiceStartBehaviour::kAtOnce, false},
      {machine::kServiceStartPending, machine::ServiceStartBehaviour::kAfterWaitHint, false},
      {machine::kServiceRunning, machine::ServiceStartBehaviour::kMissing, false},
  };
  for (const Case& c : cases) {
    Put("IKEEXT", c.state, c.on_start, 60000);
    EXPECT_EQ(IsIkeServiceRunning(), c.running) << c.state;
  }
}

// Runs "net ..." as the program directory's net.exe, like the child-process
// runner finds it there.
std::string RunFromProgramDirectory(const std::string& command_line) {
  std::string out;
  base::RunProgramForTesting(command_line.substr(0, 3) + ".exe" + command_line.substr(3), &out);
  return out;
}

TEST_F(ServiceCheckTest, RestartIkeServiceStopsThenStartsIt) {
  Put("IKEEXT", machine::kServiceRunning, machine::ServiceStartBehaviour::kAfterWaitHint, 100);
  std::vector<std::string> commands;
  RestartIkeService([&](const std::string& command_line) {
    commands.push_back(command_line);
    return RunFromProgramDirectory(command_line);
  });
  EXPECT_EQ(commands, (std::vector<std::string>{"net stop IKEEXT", "net start IKEEXT"}));
  std::vector<machine::EffectRecord> effects;
  ASSERT_EQ(store_->ListEffects(&effects), machine::Status::kOk);
  ASSERT_EQ(effects.size(), 2u);
  EXPECT_EQ(effects[0].text, "stop IKEEXT");
  EXPECT_EQ(effects[1].text, "start IKEEXT");
  EXPECT_TRUE(IsIkeServiceRunning());
}

}  // namespace
