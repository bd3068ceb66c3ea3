#include "client/windows/updater_launch.h"

#include "client/config/config_paths.h"
#include "win32/shell_execute.h"

INT_PTR StartUpdater(const std::wstring& parameters) {
  std::wstring program = GetModuleDirectory() + L"/updater.exe";
  HINSTANCE result =
      ShellExecuteW(nullptr, L"open", program.c_str(), parameters.c_str(), nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result);
}
