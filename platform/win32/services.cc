#include "win32/services.h"

#include <algorithm>
#include <cwchar>
#include <memory>
#include <mutex>
#include <unordered_set>

#include "machine/machine_root.h"
#include "machine/store.h"
#include "win32/code_page.h"
#include "win32/last_error.h"

namespace {

struct ScObject : SC_HANDLE__ {
  bool is_manager = false;
  DWORD access = 0;
  std::string name;  // the service's key name, for service handles
};

// Live handles, so that a closed or made-up handle gives ERROR_INVALID_HANDLE
// instead of a crash.
std::mutex g_handles_lock;
std::unordered_set<const SC_HANDLE__*>& Handles() {
  static auto* handles = new std::unordered_set<const SC_HANDLE__*>();
  return *handles;
}

SC_HANDLE Register(std::unique_ptr<ScObject> object) {
  std::lock_guard<std::mutex> hold(g_handles_lock);
  ScObject* raw = object.release();
  Handles().insert(raw);
  return raw;
}

// Copies the handle's object while it is live; false when it is not.
bool Lookup(SC_HANDLE handle, bool want_manager, ScObject* out) {
  std::lock_guard<std::mutex> hold(g_handles_lock);
  if (!handle || !Handles().count(handle))
    return false;
  const auto* object = static_cast<const ScObject*>(handle);
  if (object->is_manager != want_manager)
    return false;
  out->is_manager = object->is_manager;
  out->access = object->access;
  out->name = object->name;
  return true;
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

DWORD FromStatus(machine::Status status) {
  switch (status) {
    case machine::Status::kOk:
      return ERROR_SUCCESS;
    case machine::Status::kNotFound:
      return ERROR_SERVICE_DOES_NOT_EXIST;
    case machine::Status::kBusy:
      return ERROR_SERVICE_DATABASE_LOCKED;
    case machine::Status::kInvalidArgument:
      return ERROR_INVALID_NAME;
    default:
      return ERROR_CANTWRITE;
  }
}

// Turns a pending state whose wait hint has passed into its end state.
bool Settle(machine::ServiceRecord* s, int64_t now_ms) {
  if (s->state != machine::kServiceStartPending && s->state != machine::kServiceStopPending)
    return false;
  if (now_ms - s->pending_since_ms < static_cast<int64_t>(s->wait_hint_ms))
    return false;
  s->state = s->state == machine::kServiceStartPending ? machine::kServiceRunning
                                                       : machine::kServiceStopped;
  s->pending_since_ms = 0;
  return true;
}

// Reads a service as the manager sees it now. A service configured as
// missing does not exist for the manager.
DWORD LoadService(machine::Store* store, const std::string& name, machine::ServiceRecord* out) {
  machine::Status status = store->GetService(name, out);
  if (status != machine::Status::kOk)
    return FromStatus(status);
  if (out->on_start == machine::ServiceStartBehaviour::kMissing)
    return ERROR_SERVICE_DOES_NOT_EXIST;
  if (Settle(out, machine::NowMs()))
    store->PutService(*out);  // Best effort: the state is derived again next time.
  return ERROR_SUCCESS;
}

DWORD OpenStore(std::unique_ptr<machine::Store>* store) {
  machine::Status status = machine::Store::Open(store);
  if (status == machine::Status::kOk)
    return ERROR_SUCCESS;
  return status == machine::Status::kBusy ? ERROR_SERVICE_DATABASE_LOCKED : ERROR_CANTOPEN;
}

void FillStatus(const machine::ServiceRecord& s, int64_t now_ms, SERVICE_STATUS* status) {
  status->dwServiceType = SERVICE_WIN32_SHARE_PROCESS;
  status->dwCurrentState = s.state;
  status->dwControlsAccepted = s.state == machine::kServiceRunning ? SERVICE_ACCEPT_STOP : 0;
  status->dwWin32ExitCode = 0;
  status->dwServiceSpecificExitCode = 0;
  bool pending =
      s.state == machine::kServiceStartPending || s.state == machine::kServiceStopPending;
  if (pending) {
    int64_t elapsed = std::max<int64_t>(0, now_ms - s.pending_since_ms);
    status->dwCheckPoint = 1 + static_cast<DWORD>(elapsed / 100);
    status->dwWaitHint = s.wait_hint_ms;
  } else {
    status->dwCheckPoint = 0;
    status->dwWaitHint = 0;
  }
}

bool IsLocalMachine(LPCWSTR machine_name) {
  return !machine_name || !machine_name[0] || std::wcscmp(machine_name, L".") == 0;
}

struct DefaultService {
  const char* name;
  const char* display_name;
  uint32_t state;
  uint32_t start_type;
  uint32_t wait_hint_ms;
  machine::ServiceStartBehaviour on_start;
};

// Most run, some are stopped and start at once or slowly, one cannot start.
constexpr DefaultService kDefaultServices[] = {
    {"PolicyAgent", "IPsec Policy Agent", machine::kServiceRunning, machine::kServiceDemandStart, 0,
     machine::ServiceStartBehaviour::kAtOnce},
    {"IKEEXT", "IKE and AuthIP IPsec Keying Modules", machine::kServiceRunning,
     machine::kServiceAutoStart, 800, machine::ServiceStartBehaviour::kAfterWaitHint},
    {"EventLog", "Windows Event Log", machine::kServiceRunning, machine::kServiceAutoStart, 0,
     machine::ServiceStartBehaviour::kAtOnce},
    {"SstpSvc", "Secure Socket Tunneling Protocol Service", machine::kServiceStopped,
     machine::kServiceDemandStart, 0, machine::ServiceStartBehaviour::kAtOnce},
    {"TapiSrv", "Telephony", machine::kServiceStopped, machine::kServiceDemandStart, 0,
     machine::ServiceStartBehaviour::kAtOnce},
    {"RasMan", "Remote Access Connection Manager", machine::kServiceStopped,
     machine::kServiceDemandStart, 1500, machine::ServiceStartBehaviour::kAfterWaitHint},
    {"RasAuto", "Remote Access Auto Connection Manager", machine::kServiceStopped,
     machine::kServiceDemandStart, 0, machine::ServiceStartBehaviour::kFail},
    {"FDResPub", "Function Discovery Resource Publication", machine::kServiceStopped,
     machine::kServiceDemandStart, 0, machine::ServiceStartBehaviour::kAtOnce},
    {"SSDPSRV", "SSDP Discovery", machine::kServiceRunning, machine::kServiceDemandStart, 0,
     machine::ServiceStartBehaviour::kAtOnce},
    {"upnphost", "UPnP Device Host", machine::kServiceStopped, machine::kServiceDemandStart, 0,
     machine::ServiceStartBehaviour::kAtOnce},
    {"Netman", "Network Connections", machine::kServiceRunning, machine::kServiceDemandStart, 0,
     machine::ServiceStartBehaviour::kAtOnce},
    {"Dhcp", "DHCP Client", machine::kServiceRunning, machine::kServiceAutoStart, 0,
     machine::ServiceStartBehaviour::kAtOnce},
};

constexpr char kSeededSetting[] = "services_seeded";

BOOL CopyName(const std::string& utf8, LPWSTR buffer, LPDWORD buffer_length) {
  std::wstring wide = win32::Utf8ToWide(utf8);
  if (!buffer_length)
    return Fail(ERROR_INVALID_PARAMETER);
  if (!buffer || *buffer_length <= wide.size()) {
    *buffer_length = static_cast<DWORD>(wide.size());
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  std::wmemcpy(buffer, wide.c_str(), wide.size() + 1);
  *buffer_length = static_cast<DWORD>(wide.size());
  return TRUE;
}

}  // namespace

namespace win32 {

bool SeedDefaultServices(machine::Store* store) {
  std::string seeded;
  if (store->GetSetting(kSeededSetting, &seeded) == machine::Status::kOk)
    return true;
  machine::Store::Transaction txn(store);
  if (txn.status() != machine::Status::kOk)
    return false;
  // Another process may have seeded while we waited for the lock.
  if (store->GetSetting(kSeededSetting, &seeded) == machine::Status::kOk)
    return true;
  for (const DefaultService& d : kDefaultServices) {
    machine::ServiceRecord existing;
    if (store->GetService(d.name, &existing) == machine::Status::kOk)
      continue;
    machine::ServiceRecord s;
    s.name = d.name;
    s.display_name = d.display_name;
    s.state = d.state;
    s.start_type = d.start_type;
    s.wait_hint_ms = d.wait_hint_ms;
    s.on_start = d.on_start;
    if (store->PutService(s) != machine::Status::kOk)
      return false;
  }
  if (store->SetSetting(kSeededSetting, "1") != machine::Status::kOk)
    return false;
  return txn.Commit() == machine::Status::kOk;
}

}  // namespace win32

SC_HANDLE OpenSCManagerW(LPCWSTR machine_name, LPCWSTR database_name, DWORD desired_access) {
  if (!IsLocalMachine(machine_name)) {
    SetLastError(RPC_S_SERVER_UNAVAILABLE);
    return nullptr;
  }
  if (database_name && std::wcscmp(database_name, SERVICES_ACTIVE_DATABASEW) != 0) {
    SetLastError(ERROR_DATABASE_DOES_NOT_EXIST);
    return nullptr;
  }
  std::unique_ptr<machine::Store> store;
  DWORD error = OpenStore(&store);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return nullptr;
  }
  if (!win32::SeedDefaultServices(store.get())) {
    SetLastError(ERROR_SERVICE_DATABASE_LOCKED);
    return nullptr;
  }
  auto object = std::make_unique<ScObject>();
  object->is_manager = true;
  object->access = desired_access;
  SetLastError(ERROR_SUCCESS);
  return Register(std::move(object));
}

SC_HANDLE OpenServiceW(SC_HANDLE manager, LPCWSTR service_name, DWORD desired_access) {
  ScObject scm;
  if (!Lookup(manager, true, &scm)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (!service_name || !service_name[0]) {
    SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  std::unique_ptr<machine::Store> store;
  DWORD error = OpenStore(&store);
  machine::ServiceRecord record;
  if (error == ERROR_SUCCESS)
    error = LoadService(store.get(), win32::WideToUtf8(service_name), &record);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return nullptr;
  }
  auto object = std::make_unique<ScObject>();
  object->access = desired_access;
  object->name = record.name;
  SetLastError(ERROR_SUCCESS);
  return Register(std::move(object));
}

BOOL CloseServiceHandle(SC_HANDLE handle) {
  std::lock_guard<std::mutex> hold(g_handles_lock);
  if (!handle || !Handles().erase(handle))
    return Fail(ERROR_INVALID_HANDLE);
  delete static_cast<ScObject*>(handle);
  return TRUE;
}

namespace {

// One call on a service handle: checks the handle and its |right|, opens the
// store (in a transaction when the call writes) and reads the service as it
// is now.
class ServiceCall {
 public:
  DWORD Begin(SC_HANDLE handle, DWORD right, bool write) {
    ScObject object;
    if (!Lookup(handle, false, &object))
      return ERROR_INVALID_HANDLE;
    if ((object.access & right) != right)
      return ERROR_ACCESS_DENIED;
    DWORD error = OpenStore(&store_);
    if (error != ERROR_SUCCESS)
      return error;
    if (write) {
      txn_ = std::make_unique<machine::Store::Transaction>(store_.get());
      if (txn_->status() != machine::Status::kOk)
        return FromStatus(txn_->status());
    }
    return LoadService(store_.get(), object.name, &record);
  }

  // Writes |record| back and commits.
  DWORD Save() {
    machine::Status status = store_->PutService(record);
    if (status == machine::Status::kOk && txn_)
      status = txn_->Commit();
    return FromStatus(status);
  }

  machine::ServiceRecord record;

 private:
  std::unique_ptr<machine::Store> store_;
  std::unique_ptr<machine::Store::Transaction> txn_;  // rolled back before the store closes
};

}  // namespace

BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status) {
  if (!status)
    return Fail(ERROR_INVALID_PARAMETER);
  ServiceCall call;
  DWORD error = call.Begin(service, SERVICE_QUERY_STATUS, false);
  if (error != ERROR_SUCCESS)
    return Fail(error);
  FillStatus(call.record, machine::NowMs(), status);
  return TRUE;
}

BOOL ChangeServiceConfigW(SC_HANDLE service,
                          DWORD service_type,
                          DWORD start_type,
                          DWORD error_control,
                          LPCWSTR binary_path_name,
                          LPCWSTR load_order_group,
                          LPDWORD tag_id,
                          LPCWSTR dependencies,
                          LPCWSTR service_start_name,
                          LPCWSTR password,
                          LPCWSTR display_name) {
  if (service_type != SERVICE_NO_CHANGE || error_control != SERVICE_NO_CHANGE || binary_path_name ||
      load_order_group || tag_id || dependencies || service_start_name || password) {
    return Fail(ERROR_CALL_NOT_IMPLEMENTED);
  }
  if (start_type != SERVICE_NO_CHANGE && start_type != SERVICE_AUTO_START &&
      start_type != SERVICE_DEMAND_START && start_type != SERVICE_DISABLED) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  ServiceCall call;
  DWORD error = call.Begin(service, SERVICE_CHANGE_CONFIG, true);
  if (error != ERROR_SUCCESS)
    return Fail(error);
  if (start_type != SERVICE_NO_CHANGE)
    call.record.start_type = start_type;
  if (display_name)
    call.record.display_name = win32::WideToUtf8(display_name);
  error = call.Save();
  return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

BOOL StartServiceW(SC_HANDLE service, DWORD num_service_args, LPCWSTR* service_arg_vectors) {
  if (num_service_args > 0 && !service_arg_vectors)
    return Fail(ERROR_INVALID_PARAMETER);
  ServiceCall call;
  DWORD error = call.Begin(service, SERVICE_START, true);
  if (error != ERROR_SUCCESS)
    return Fail(error);
  machine::ServiceRecord& record = call.record;
  if (record.start_type == SERVICE_DISABLED)
    return Fail(ERROR_SERVICE_DISABLED);
  if (record.state != SERVICE_STOPPED)
    return Fail(ERROR_SERVICE_ALREADY_RUNNING);
  switch (record.on_start) {
    case machine::ServiceStartBehaviour::kFail:
      return Fail(ERROR_SERVICE_REQUEST_TIMEOUT);
    case machine::ServiceStartBehaviour::kAfterWaitHint:
      if (record.wait_hint_ms > 0) {
        record.state = SERVICE_START_PENDING;
        record.pending_since_ms = machine::NowMs();
        break;
      }
      record.state = SERVICE_RUNNING;
      break;
    default:
      record.state = SERVICE_RUNNING;
      break;
  }
  error = call.Save();
  return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status) {
  if (!status)
    return Fail(ERROR_INVALID_PARAMETER);
  DWORD right;
  if (control == SERVICE_CONTROL_STOP)
    right = SERVICE_STOP;
  else if (control == SERVICE_CONTROL_INTERROGATE)
    right = SERVICE_INTERROGATE;
  else
    return Fail(ERROR_INVALID_SERVICE_CONTROL);
  ServiceCall call;
  DWORD error = call.Begin(service, right, control == SERVICE_CONTROL_STOP);
  if (error != ERROR_SUCCESS)
    return Fail(error);
  machine::ServiceRecord& record = call.record;
  int64_t now = machine::NowMs();
  if (record.state == SERVICE_STOPPED) {
    FillStatus(record, now, status);
    return Fail(ERROR_SERVICE_NOT_ACTIVE);
  }
  if (record.state != SERVICE_RUNNING) {
    FillStatus(record, now, status);
    return Fail(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
  }
  if (control == SERVICE_CONTROL_STOP) {
    if (record.on_start == machine::ServiceStartBehaviour::kAfterWaitHint &&
        record.wait_hint_ms > 0) {
      record.state = SERVICE_STOP_PENDING;
      record.pending_since_ms = now;
    } else {
      record.state = SERVICE_STOPPED;
    }
    error = call.Save();
    if (error != ERROR_SUCCESS)
      return Fail(error);
  }
  FillStatus(record, now, status);
  return TRUE;
}

BOOL GetServiceDisplayNameW(SC_HANDLE manager,
                            LPCWSTR service_name,
                            LPWSTR display_name,
                            LPDWORD buffer_length) {
  ScObject scm;
  if (!Lookup(manager, true, &scm))
    return Fail(ERROR_INVALID_HANDLE);
  if (!service_name)
    return Fail(ERROR_INVALID_NAME);
  std::unique_ptr<machine::Store> store;
  DWORD error = OpenStore(&store);
  machine::ServiceRecord record;
  if (error == ERROR_SUCCESS)
    error = LoadService(store.get(), win32::WideToUtf8(service_name), &record);
  if (error != ERROR_SUCCESS)
    return Fail(error);
  return CopyName(record.display_name, display_name, buffer_length);
}

BOOL GetServiceKeyNameW(SC_HANDLE manager,
                        LPCWSTR display_name,
                        LPWSTR service_name,
                        LPDWORD buffer_length) {
  ScObject scm;
  if (!Lookup(manager, true, &scm))
    return Fail(ERROR_INVALID_HANDLE);
  if (!display_name)
    return Fail(ERROR_INVALID_NAME);
  std::unique_ptr<machine::Store> store;
  DWORD error = OpenStore(&store);
  if (error != ERROR_SUCCESS)
    return Fail(error);
  std::vector<machine::ServiceRecord> services;
  machine::Status status = store->ListServices(&services);
  if (status != machine::Status::kOk)
    return Fail(FromStatus(status));
  std::string wanted = machine::FoldCase(win32::WideToUtf8(display_name));
  for (const machine::ServiceRecord& s : services) {
    if (s.on_start != machine::ServiceStartBehaviour::kMissing &&
        machine::FoldCase(s.display_name) == wanted) {
      return CopyName(s.name, service_name, buffer_length);
    }
  }
  return Fail(ERROR_SERVICE_DOES_NOT_EXIST);
}
