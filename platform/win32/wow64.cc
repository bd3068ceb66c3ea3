#include "win32/wow64.h"

#include <sys/utsname.h>

#include <cstring>

#include "win32/last_error.h"

namespace {

bool KernelIs64Bit() {
  utsname info{};
  if (uname(&info) != 0)
    return sizeof(void*) == 8;
  // x86_64, aarch64, ppc64le, riscv64, mips64, loongarch64, ...
  return strstr(info.machine, "64") != nullptr || strcmp(info.machine, "s390x") == 0;
}

}  // namespace

HMODULE GetModuleHandleA(LPCSTR /*module_name*/) {
  static HINSTANCE__ program;
  return &program;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR proc_name) {
  if (!module) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (!proc_name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (strcmp(proc_name, "IsWow64Process") == 0)
    return reinterpret_cast<FARPROC>(&IsWow64Process);
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

BOOL IsWow64Process(HANDLE process, PBOOL wow64_process) {
  if (!process) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!wow64_process) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *wow64_process = KernelIs64Bit() ? TRUE : FALSE;
  return TRUE;
}
