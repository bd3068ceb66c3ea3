#include "win32/privilege.h"

#include <unistd.h>
#include <wctype.h>

#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "machine/store.h"
#include "win32/code_page.h"
#include "win32/handle_internal.h"
#include "win32/last_error.h"
#include "win32/process.h"

namespace {

struct Privilege {
  const wchar_t* name;
  DWORD luid;
  bool enabled_by_default;
};

// The privileges a user's token lists, with their Windows LUIDs.
constexpr Privilege kPrivileges[] = {
    {L"SeIncreaseQuotaPrivilege", 5, false}, {L"SeSystemtimePrivilege", 12, false},
    {L"SeBackupPrivilege", 17, false},       {L"SeRestorePrivilege", 18, false},
    {L"SeShutdownPrivilege", 19, false},     {L"SeDebugPrivilege", 20, false},
    {L"SeChangeNotifyPrivilege", 23, true},  {L"SeRemoteShutdownPrivilege", 24, false},
    {L"SeUndockPrivilege", 25, false},       {L"SeIncreaseWorkingSetPrivilege", 33, false},
    {L"SeTimeZonePrivilege", 34, false},
};
constexpr DWORD kShutdownLuid = 19;

const Privilege* FindByLuid(const LUID& luid) {
  if (luid.HighPart != 0)
    return nullptr;
  for (const Privilege& p : kPrivileges) {
    if (p.luid == luid.LowPart)
      return &p;
  }
  return nullptr;
}

// The process's token: which privileges are enabled (by LUID). One token per
// process, as every handle from OpenProcessToken names the same one.
std::mutex g_token_lock;
std::map<DWORD, bool>& Enabled() {
  static std::map<DWORD, bool>* enabled = [] {
    auto* map = new std::map<DWORD, bool>;
    for (const Privilege& p : kPrivileges)
      (*map)[p.luid] = p.enabled_by_default;
    return map;
  }();
  return *enabled;
}

class Token : public win32::KernelObject {
 public:
  explicit Token(DWORD access) : access_(access) {}
  DWORD access() const { return access_; }

 private:
  DWORD access_;
};

// Whether the machine grants the privilege to this user: the store's
// "privilege.<name>" setting, held unless it reads "0".
bool Held(const Privilege& privilege) {
  std::unique_ptr<machine::Store> store;
  if (machine::Store::Open(&store) != machine::Status::kOk)
    return false;
  std::string value;
  machine::Status status =
      store->GetSetting("privilege." + win32::WideToUtf8(privilege.name), &value);
  if (status == machine::Status::kNotFound)
    return true;
  return status == machine::Status::kOk && value != "0";
}

bool IsCurrentProcess(HANDLE process) {
  if (process == GetCurrentProcess())
    return true;
  DWORD pid = GetProcessId(process);
  return pid != 0 && pid == static_cast<DWORD>(getpid());
}

}  // namespace

HANDLE GetCurrentProcess() {
  return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));
}

BOOL OpenProcessToken(HANDLE process, DWORD desired_access, PHANDLE token) {
  if (!token) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *token = nullptr;
  if (!IsCurrentProcess(process)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  *token = win32::AddHandle(std::make_shared<Token>(desired_access), false);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL LookupPrivilegeValueW(LPCWSTR system_name, LPCWSTR name, PLUID luid) {
  if (!name || !luid) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (system_name && *system_name) {
    SetLastError(RPC_S_SERVER_UNAVAILABLE);
    return FALSE;
  }
  for (const Privilege& p : kPrivileges) {
    if (wcscasecmp(p.name, name) == 0) {
      luid->LowPart = p.luid;
      luid->HighPart = 0;
      SetLastError(ERROR_SUCCESS);
      return TRUE;
    }
  }
  SetLastError(ERROR_NO_SUCH_PRIVILEGE);
  return FALSE;
}

BOOL AdjustTokenPrivileges(HANDLE token,
                           BOOL disable_all_privileges,
                           PTOKEN_PRIVILEGES new_state,
                           DWORD buffer_length,
                           PTOKEN_PRIVILEGES previous_state,
                           PDWORD return_length) {
  auto object = std::dynamic_pointer_cast<Token>(win32::LookUpHandle(token));
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!(object->access() & TOKEN_ADJUST_PRIVILEGES) ||
      (previous_state && !(object->access() & TOKEN_QUERY))) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (!disable_all_privileges && !new_state) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::mutex> hold(g_token_lock);
  std::map<DWORD, bool>& enabled = Enabled();
  DWORD count =
      disable_all_privileges ? static_cast<DWORD>(enabled.size()) : new_state->PrivilegeCount;
  if (previous_state) {
    DWORD needed = static_cast<DWORD>(sizeof(DWORD) + count * sizeof(LUID_AND_ATTRIBUTES));
    if (return_length)
      *return_length = needed;
    if (buffer_length < needed) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return FALSE;
    }
    previous_state->PrivilegeCount = 0;
  }
  bool all_assigned = true;
  auto remember = [&](DWORD luid) {
    if (!previous_state)
      return;
    LUID_AND_ATTRIBUTES& entry = previous_state->Privileges[previous_state->PrivilegeCount++];
    entry.Luid = {luid, 0};
    entry.Attributes = enabled[luid] ? SE_PRIVILEGE_ENABLED : 0;
  };
  if (disable_all_privileges) {
    for (auto& [luid, on] : enabled) {
      remember(luid);
      on = false;
    }
  } else {
    for (DWORD i = 0; i < new_state->PrivilegeCount; ++i) {
      const LUID_AND_ATTRIBUTES& change = new_state->Privileges[i];
      const Privilege* privilege = FindByLuid(change.Luid);
      if (!privilege || !Held(*privilege)) {
        all_assigned = false;
        continue;
      }
      remember(privilege->luid);
      enabled[privilege->luid] = (change.Attributes & SE_PRIVILEGE_ENABLED) != 0;
    }
  }
  SetLastError(all_assigned ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED);
  return TRUE;
}

BOOL ExitWindowsEx(UINT flags, DWORD reason) {
  std::string kind;
  if (flags & EWX_POWEROFF)
    kind = "poweroff";
  else if (flags & EWX_REBOOT)
    kind = "reboot";
  else if (flags & EWX_SHUTDOWN)
    kind = "shutdown";
  else
    kind = "logoff";
  if (kind != "logoff") {
    bool enabled;
    {
      std::lock_guard<std::mutex> hold(g_token_lock);
      enabled = Enabled()[kShutdownLuid];
    }
    const Privilege* shutdown = FindByLuid({kShutdownLuid, 0});
    if (!enabled || !Held(*shutdown)) {
      SetLastError(ERROR_PRIVILEGE_NOT_HELD);
      return FALSE;
    }
  }
  if (flags & EWX_FORCE)
    kind += "|force";
  if (flags & EWX_FORCEIFHUNG)
    kind += "|forceifhung";

  machine::RestartRequest request;
  request.time_ms = machine::NowMs();
  request.kind = kind;
  char text[16];
  snprintf(text, sizeof(text), "0x%08X", reason);
  request.reason = text;
  std::unique_ptr<machine::Store> store;
  int64_t id = 0;
  if (machine::Store::Open(&store) != machine::Status::kOk ||
      store->AddRestartRequest(request, &id) != machine::Status::kOk) {
    SetLastError(ERROR_GEN_FAILURE);
    return FALSE;
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}
