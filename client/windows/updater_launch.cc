#include "client/windows/updater_launch.h"

#include "client/config/config_paths.h"
#include "win32/handle.h"
#include "win32/last_error.h"
#include "win32/process.h"

namespace {

// What the shell answers for a successful start (any value above 32).
constexpr INT_PTR kShellStarted = 42;

}  // namespace

INT_PTR StartUpdater(const std::wstring& parameters) {
  std::wstring program = GetModuleDirectory() + L"/updater.exe";
  std::wstring command_line = L"\"" + program + L"\"";
  if (!parameters.empty())
    command_line += L" " + parameters;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    DWORD error = GetLastError();
    return error > 0 && error <= 32 ? static_cast<INT_PTR>(error) : ERROR_FILE_NOT_FOUND;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return kShellStarted;
}
