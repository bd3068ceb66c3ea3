#include "client/system/os_info.h"

#include <cstdlib>
#include <memory>
#include <vector>

#include "base/logging.h"
#include "machine/store.h"
#include "win32/adapters.h"
#include "win32/code_page.h"
#include "win32/wow64.h"

namespace {

const char kTunnelAdapter[] = "TAP-Win32 Adapter V9";
const char kSearchKey[] = "SOFTWARE\\Microsoft\\Windows Desktop Search";

// Creates the key when missing, as the registry helper does, and reads the
// text value; empty when anything fails.
std::wstring ReadSearchVersion() {
  std::unique_ptr<machine::Store> store;
  if (machine::Store::Open(&store) != machine::Status::kOk)
    return std::wstring();
  // The client is a 32-bit program: it sees the 32-bit view.
  const machine::RegistryView view = machine::RegistryView::k32;
  if (store->CreateRegistryKey("HKEY_LOCAL_MACHINE", view, kSearchKey, nullptr) !=
      machine::Status::kOk) {
    return std::wstring();
  }
  machine::RegistryValue value;
  if (store->GetRegistryValue("HKEY_LOCAL_MACHINE", view, kSearchKey, "Version", &value) !=
          machine::Status::kOk ||
      value.type != 1 /* REG_SZ */) {
    return std::wstring();
  }
  std::string text(value.data.begin(), value.data.end());
  return win32::Utf8ToWide(text);
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
