// The Windows services that the tunnels need: checking them, starting the
// stopped ones with an automatic start type, and the IKE service's own
// query and restart. Everything here blocks (service calls, waits, child
// processes), so it runs on worker threads only, never on the UI thread.
#ifndef CLIENT_SYSTEM_SERVICE_CHECK_H_
#define CLIENT_SYSTEM_SERVICE_CHECK_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "win32/services.h"
#include "win32/window.h"

// Sent to the settings window with the toolbox check's rich text as lParam
// (a const wchar_t*, valid during the call; empty when every service runs).
constexpr UINT kServiceCheckResultMessage = WM_USER + 103;

struct RequiredService {
  const wchar_t* name;
  const wchar_t* display_name;
};
// The twelve services, in check order.
const std::vector<RequiredService>& RequiredServices();

enum ServiceCheckResult {
  kServiceNotStarted = 0,  // could not be opened, queried, reconfigured or started
  kServiceStarted = 1,     // was stopped and runs now (start type now automatic)
  kServiceWasRunning = 2,  // was running or pending; left untouched
};

// Starts the service if it is stopped. A started service that does not reach
// the running state within the wait limit (or stops again) counts as not
// started.
int EnsureServiceRunning(SC_HANDLE manager, const wchar_t* service_name);

// Checks every required service in order; returns the display names of
// those that could not be started, each logged as "<name> does not start.".
std::vector<std::wstring> CheckRequiredServices();

// The toolbox text for the failed services (at most the first four are
// listed); empty when there are none.
std::wstring BuildServiceCheckText(const std::vector<std::wstring>& failed);

// The toolbox form: checks, then sends kServiceCheckResultMessage with the
// text to |settings_window| (which lives on the UI thread).
void CheckRequiredServicesForToolbox(HWND settings_window);

bool IsIkeServiceRunning();

// Runs one command line and returns what it printed (the child-process
// runner in the product; any runner in tests).
using CommandRunner = std::function<std::string(const std::string& command_line)>;

// "net stop IKEEXT", then "net start IKEEXT"; the outputs are ignored.
void RestartIkeService(const CommandRunner& run_command);

// The longest wait for a started service to reach the running state
// (30 seconds unless changed); returns the previous limit.
int64_t SetServiceStartWaitLimitForTesting(int64_t milliseconds);

#endif  // CLIENT_SYSTEM_SERVICE_CHECK_H_
