#include "client/system/os_info.h"

#include <cstdlib>
#include <vector>

#include "base/logging.h"
#include "client/config/registry_key.h"
#include "win32/adapters.h"
#include "win32/code_page.h"
#include "win32/wow64.h"

namespace {

const char kTunnelAdapter[] = "TAP-Win32 Adapter V9";

std::wstring ReadSearchVersion() {
  winreg::RegistryKey key(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows Desktop Search");
  return key.GetString(L"Version");
}

}  // namespace

std::string GetDefaultGateway() {
  ULONG size = sizeof(IP_ADAPTER_INFO);
  std::vector<unsigned char> buffer(size);
  ULONG result = GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size);
  if (result == ERROR_BUFFER_OVERFLOW) {
    VLOG(3) << "get adapter info failed, get again";
    buffer.assign(size, 0);
    result = GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size);
  }
  if (result != ERROR_SUCCESS)
    return std::string();
  for (auto* adapter = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()); adapter;
       adapter = adapter->Next) {
    std::string gateway = adapter->GatewayList.IpAddress.String;
    if (std::string(adapter->Description) == kTunnelAdapter || gateway == "0.0.0.0")
      continue;
    return gateway;
  }
  return std::string();
}

std::string FormatOsDescription(const std::wstring& version, bool wow64) {
  size_t first = version.find(L'.');
  size_t second = first == std::wstring::npos ? first : version.find(L'.', first + 1);
  std::wstring kept = second == std::wstring::npos ? version : version.substr(0, second);
  return win32::WideToAnsi(L"windows" + kept + L"x" + (wow64 ? L"64" : L"32"));
}

std::string GetOsDescription() {
  std::wstring version = ReadSearchVersion();
  BOOL wow64 = FALSE;
  auto is_wow64 = reinterpret_cast<LPFN_ISWOW64PROCESS>(
      GetProcAddress(GetModuleHandleA("kernel32"), "IsWow64Process"));
  int self = 0;  // any process handle of this layer names the running program
  if (is_wow64 && !is_wow64(&self, &wow64))
    wow64 = FALSE;
  return FormatOsDescription(version, wow64 == TRUE);
}
