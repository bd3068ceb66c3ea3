#include "tools/net/net_command.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

#include "machine/store.h"
#include "win32/code_page.h"
#include "win32/last_error.h"
#include "win32/services.h"

namespace tools {

namespace {

// How long NET START / STOP wait for a pending service, and the longest
// single sleep between two looks at it.
constexpr int64_t kPendingBoundMs = 30000;
constexpr int64_t kPollMs = 250;

const char kSyntax[] =
    "The syntax of this command is:\n\n"
    "NET\n"
    "    [ START [service] | STOP service ]\n\n";

bool WordIs(const std::string& word, const char* upper) {
  std::string w = word;
  std::transform(w.begin(), w.end(), w.begin(), [](unsigned char c) { return std::toupper(c); });
  return w == upper;
}

std::string HelpLine(int message) {
  return "More help is available by typing NET HELPMSG " + std::to_string(message) + ".\n\n";
}

std::string SystemError(DWORD error) {
  std::string text = "System error " + std::to_string(error) + " has occurred.\n\n";
  switch (error) {
    case ERROR_ACCESS_DENIED:
      return text + "Access is denied.\n\n";
    case ERROR_SERVICE_DISABLED:
      return text +
             "The service cannot be started, either because it is disabled or because it has "
             "no enabled devices associated with it.\n\n";
    case ERROR_SERVICE_REQUEST_TIMEOUT:
      return text +
             "The service did not respond to the start or control request in a timely "
             "fashion.\n\n";
    case ERROR_SERVICE_DATABASE_LOCKED:
      return text + "The service database is locked.\n\n";
    default:
      return text;
  }
}

// Holds a service-manager handle.
class ScopedScHandle {
 public:
  explicit ScopedScHandle(SC_HANDLE handle) : handle_(handle) {}
  ~ScopedScHandle() {
    if (handle_)
      CloseServiceHandle(handle_);
  }
  ScopedScHandle(const ScopedScHandle&) = delete;
  ScopedScHandle& operator=(const ScopedScHandle&) = delete;
  SC_HANDLE get() const { return handle_; }

 private:
  SC_HANDLE handle_;
};

std::string DisplayName(SC_HANDLE scm, const std::wstring& key) {
  wchar_t buffer[256];
  DWORD length = 256;
  if (!GetServiceDisplayNameW(scm, key.c_str(), buffer, &length))
    return win32::WideToUtf8(key);
  return win32::WideToUtf8(buffer);
}

// Opens a service by its key name or, failing that, its display name.
SC_HANDLE OpenByAnyName(SC_HANDLE scm, const std::string& name, DWORD access, std::wstring* key) {
  std::wstring wide = win32::Utf8ToWide(name);
  wchar_t buffer[256];
  DWORD length = 256;
  // The key name as the manager keeps it, whatever the case typed.
  if (GetServiceDisplayNameW(scm, wide.c_str(), buffer, &length)) {
    length = 256;
    if (!GetServiceKeyNameW(scm, buffer, buffer, &length))
      return nullptr;
  } else if (GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST) {
    return nullptr;
  } else {
    length = 256;
    if (!GetServiceKeyNameW(scm, wide.c_str(), buffer, &length)) {
      SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
      return nullptr;
    }
  }
  *key = buffer;
  return OpenServiceW(scm, key->c_str(), access);
}

// Waits while the service is in |pending|, printing a dot per look. Returns
// the state it settled in, or |pending| when it did not within the bound.
DWORD WaitWhilePending(SC_HANDLE service, DWORD pending, std::string* out) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPendingBoundMs);
  SERVICE_STATUS status = {};
  while (QueryServiceStatus(service, &status) && status.dwCurrentState == pending) {
    auto now = std::chrono::steady_clock::now();
    if (now >= deadline)
      return pending;
    int64_t left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
    int64_t sleep_ms = std::min<int64_t>({std::max<int64_t>(status.dwWaitHint, 1), kPollMs, left});
    out->push_back('.');
    std::this_thread::sleep_for(std::chrono::milliseconds(sleep_ms));
  }
  return status.dwCurrentState;
}

void RecordEffect(const std::string& text) {
  std::unique_ptr<machine::Store> store;
  if (machine::Store::Open(&store) == machine::Status::kOk)
    store->AppendEffect("net", text);
}

int ListStarted(SC_HANDLE scm, std::string* out) {
  std::unique_ptr<machine::Store> store;
  std::vector<machine::ServiceRecord> services;
  if (machine::Store::Open(&store) != machine::Status::kOk ||
      store->ListServices(&services) != machine::Status::kOk) {
    *out += SystemError(ERROR_SERVICE_DATABASE_LOCKED);
    return 2;
  }
  std::vector<std::string> started;
  for (const machine::ServiceRecord& s : services) {
    ScopedScHandle service(
        OpenServiceW(scm, win32::Utf8ToWide(s.name).c_str(), SERVICE_QUERY_STATUS));
    SERVICE_STATUS status;
    if (service.get() && QueryServiceStatus(service.get(), &status) &&
        status.dwCurrentState == SERVICE_RUNNING) {
      started.push_back(s.display_name);
    }
  }
  std::sort(started.begin(), started.end());
  *out += "These Windows services are started:\n\n";
  for (const std::string& name : started)
    *out += "   " + name + "\n";
  *out += "\nThe command completed successfully.\n\n";
  return 0;
}

int Start(SC_HANDLE scm, const std::string& name, std::string* out) {
  std::wstring key;
  ScopedScHandle service(OpenByAnyName(scm, name, SERVICE_START | SERVICE_QUERY_STATUS, &key));
  if (!service.get()) {
    DWORD error = GetLastError();
    if (error == ERROR_SERVICE_DOES_NOT_EXIST || error == ERROR_INVALID_NAME)
      *out += "The service name is invalid.\n\n" + HelpLine(2185);
    else
      *out += SystemError(error);
    return 2;
  }
  std::string display = DisplayName(scm, key);
  if (!StartServiceW(service.get(), 0, nullptr)) {
    DWORD error = GetLastError();
    if (error == ERROR_SERVICE_ALREADY_RUNNING) {
      *out += "The requested service has already been started.\n\n" + HelpLine(2182);
    } else if (error == ERROR_SERVICE_DISABLED || error == ERROR_ACCESS_DENIED) {
      *out += SystemError(error);
    } else {
      *out += "The " + display + " service is starting.\nThe " + display +
              " service could not be started.\n\nA system error has occurred.\n\n" +
              SystemError(error);
    }
    return 2;
  }
  *out += "The " + display + " service is starting";
  DWORD state = WaitWhilePending(service.get(), SERVICE_START_PENDING, out);
  *out += ".\n";
  if (state == SERVICE_RUNNING) {
    *out += "The " + display + " service was started successfully.\n\n";
    RecordEffect("start " + win32::WideToUtf8(key));
    return 0;
  }
  if (state == SERVICE_START_PENDING)
    *out += "The service is not responding to the control function.\n\n" + HelpLine(2186);
  else
    *out += "The " + display + " service could not be started.\n\n";
  return 2;
}

int Stop(SC_HANDLE scm, const std::string& name, std::string* out) {
  std::wstring key;
  ScopedScHandle service(OpenByAnyName(scm, name, SERVICE_STOP | SERVICE_QUERY_STATUS, &key));
  if (!service.get()) {
    DWORD error = GetLastError();
    if (error == ERROR_SERVICE_DOES_NOT_EXIST || error == ERROR_INVALID_NAME)
      *out += "The service name is invalid.\n\n" + HelpLine(2185);
    else
      *out += SystemError(error);
    return 2;
  }
  std::string display = DisplayName(scm, key);
  SERVICE_STATUS status;
  if (!ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
    DWORD error = GetLastError();
    if (error == ERROR_SERVICE_NOT_ACTIVE)
      *out += "The " + display + " service is not started.\n\n" + HelpLine(3521);
    else if (error == ERROR_SERVICE_CANNOT_ACCEPT_CTRL)
      *out += "The requested pause, continue, or stop is not valid for this service.\n\n" +
              HelpLine(2191);
    else
      *out += SystemError(error);
    return 2;
  }
  *out += "The " + display + " service is stopping";
  DWORD state = WaitWhilePending(service.get(), SERVICE_STOP_PENDING, out);
  *out += ".\n";
  if (state == SERVICE_STOPPED) {
    *out += "The " + display + " service was stopped successfully.\n\n";
    RecordEffect("stop " + win32::WideToUtf8(key));
    return 0;
  }
  *out += "The service is not responding to the control function.\n\n" + HelpLine(2186);
  return 2;
}

}  // namespace

int RunNetCommand(const std::vector<std::string>& args, std::string* out) {
  bool start = !args.empty() && WordIs(args[0], "START");
  bool stop = !args.empty() && WordIs(args[0], "STOP");
  if ((!start && !stop) || args.size() > 2 || (stop && args.size() != 2)) {
    *out += kSyntax;
    return 1;
  }
  ScopedScHandle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!scm.get()) {
    *out += SystemError(GetLastError());
    return 2;
  }
  if (args.size() == 1)
    return ListStarted(scm.get(), out);
  return start ? Start(scm.get(), args[1], out) : Stop(scm.get(), args[1], out);
}

}  // namespace tools
