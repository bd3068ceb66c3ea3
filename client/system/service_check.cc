#include "client/system/service_check.h"

#include <stdio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "base/logging.h"
#include "win32/code_page.h"
#include "win32/last_error.h"
#include "win32/message_queue.h"

namespace {

constexpr DWORD kServiceRights =
    SERVICE_STOP | SERVICE_START | SERVICE_QUERY_STATUS | SERVICE_CHANGE_CONFIG;
constexpr int kPauseAfterCheckMs = 1000;
constexpr size_t kListedServicesMax = 4;
// Shortest sleep between two looks at a pending service, so that a zero
// wait hint does not turn the wait into a spin.
constexpr int64_t kMinPollMs = 50;

std::atomic<int64_t> g_start_wait_limit_ms{30000};

// The progress lines go to standard output in the GBK code page.
void PrintGbk(const std::wstring& line) {
  std::string text = win32::WideToMultiByte(line, 936);
  fwrite(text.data(), 1, text.size(), stdout);
  fflush(stdout);
}

class ScopedServiceHandle {
 public:
  explicit ScopedServiceHandle(SC_HANDLE handle) : handle_(handle) {}
  ~ScopedServiceHandle() {
    if (handle_)
      CloseServiceHandle(handle_);
  }
  ScopedServiceHandle(const ScopedServiceHandle&) = delete;
  ScopedServiceHandle& operator=(const ScopedServiceHandle&) = delete;
  SC_HANDLE get() const { return handle_; }

 private:
  SC_HANDLE handle_;
};

}  // namespace

const std::vector<RequiredService>& RequiredServices() {
  static const std::vector<RequiredService> services = {
      {L"PolicyAgent", L"IPsec Policy Agent"},
      {L"IKEEXT", L"IKE and AuthIP IPsec Keying Modules"},
      {L"EventLog", L"Windows Event Log"},
      {L"SstpSvc", L"Secure Socket Tunneling Protocol Service"},
      {L"TapiSrv", L"Telephony"},
      {L"RasMan", L"Remote Access Connection Manager"},
      {L"RasAuto", L"Remote Access Auto Connection Manager"},
      {L"FDResPub", L"Function Discovery Resource Publication"},
      {L"SSDPSRV", L"SSDP Discovery"},
      {L"upnphost", L"UPnP Device Host"},
      {L"Netman", L"Network Connections"},
      {L"Dhcp", L"DHCP Client"},
  };
  return services;
}

int EnsureServiceRunning(SC_HANDLE manager, const wchar_t* service_name) {
  ScopedServiceHandle service(OpenServiceW(manager, service_name, kServiceRights));
  if (!service.get()) {
    LOG(ERROR) << "open service failed, the sc handle is null";
    return kServiceNotStarted;
  }
  SERVICE_STATUS status = {};
  if (!QueryServiceStatus(service.get(), &status)) {
    LOG(ERROR) << "query service failed, close service handle";
    return kServiceNotStarted;
  }
  if (status.dwCurrentState != SERVICE_STOPPED) {
    PrintGbk(std::wstring(service_name) + L"  已经开启  \r\n ");
    return kServiceWasRunning;
  }
  if (!ChangeServiceConfigW(service.get(), SERVICE_NO_CHANGE, SERVICE_AUTO_START, SERVICE_NO_CHANGE,
                            nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) ||
      !StartServiceW(service.get(), 0, nullptr)) {
    return kServiceNotStarted;
  }
  // A service that never gets to running must not hold this thread forever.
  auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(g_start_wait_limit_ms.load());
  for (;;) {
    if (!QueryServiceStatus(service.get(), &status))
      return kServiceNotStarted;
    if (status.dwCurrentState == SERVICE_RUNNING) {
      PrintGbk(std::wstring(service_name) + L"  开启成功 \r\n");
      return kServiceStarted;
    }
    auto now = std::chrono::steady_clock::now();
    if (status.dwCurrentState == SERVICE_STOPPED || now >= deadline) {
      LOG(ERROR) << "service " << win32::WideToUtf8(service_name)
                 << " did not reach the running state, state " << status.dwCurrentState;
      return kServiceNotStarted;
    }
    int64_t left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
    int64_t sleep_ms = std::min<int64_t>(std::max<int64_t>(status.dwWaitHint, kMinPollMs), left);
    std::this_thread::sleep_for(std::chrono::milliseconds(sleep_ms));
  }
}

std::vector<std::wstring> CheckRequiredServices() {
  std::vector<std::wstring> failed;
  ScopedServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager.get())
    LOG(ERROR) << "open service control manager failed, error " << GetLastError();
  for (const RequiredService& s : RequiredServices()) {
    if (!manager.get() || EnsureServiceRunning(manager.get(), s.name) == kServiceNotStarted)
      failed.push_back(s.display_name);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(kPauseAfterCheckMs));
  for (const std::wstring& name : failed)
    VLOG(0) << win32::WideToUtf8(name) << " does not start.";
  return failed;
}

std::wstring BuildServiceCheckText(const std::vector<std::wstring>& failed) {
  if (failed.empty())
    return std::wstring();
  std::wstring text = L"检测到以下系统服务未开启{n}{y 30}";
  for (size_t i = 0; i < failed.size() && i < kListedServicesMax; ++i)
    text += L"• " + failed[i] + L"{n}{y 20}";
  text += L"{n}{y 10}";
  text += L"为了确保最优的加速体验，请手动开启服务{n}{y 20}";
  text += L"或者联系客服{n}{y 20}";
  return text;
}

void CheckRequiredServicesForToolbox(HWND settings_window) {
  std::wstring text = BuildServiceCheckText(CheckRequiredServices());
  SendMessageW(settings_window, kServiceCheckResultMessage, 0,
               reinterpret_cast<LPARAM>(text.c_str()));
}

bool IsIkeServiceRunning() {
  ScopedServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager.get())
    return false;
  ScopedServiceHandle service(OpenServiceW(manager.get(), L"IKEEXT", kServiceRights));
  if (!service.get()) {
    LOG(ERROR) << "open service failed, the sc handle is null";
    return false;
  }
  SERVICE_STATUS status = {};
  if (!QueryServiceStatus(service.get(), &status)) {
    LOG(ERROR) << "query service failed, close service handle";
    return false;
  }
  return status.dwCurrentState == SERVICE_RUNNING;
}

void RestartIkeService(const CommandRunner& run_command) {
  run_command("net stop IKEEXT");
  run_command("net start IKEEXT");
}

int64_t SetServiceStartWaitLimitForTesting(int64_t milliseconds) {
  return g_start_wait_limit_ms.exchange(milliseconds);
}
