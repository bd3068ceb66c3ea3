#include "servicebridge/service_hosts.h"

#include "win32/code_page.h"
#include "win32/profile.h"

namespace servicebridge {

namespace {

std::string WithoutTrailingSlash(std::string url) {
  while (!url.empty() && url.back() == '/')
    url.pop_back();
  return url;
}

std::string ReadHost(const std::wstring& file, const wchar_t* key, const std::string& fallback) {
  wchar_t buffer[1024] = {};
  DWORD length = GetPrivateProfileStringW(L"service_hosts", key, L"", buffer,
                                          sizeof(buffer) / sizeof(buffer[0]), file.c_str());
  if (length == 0)
    return fallback;
  std::string url = win32::WideToUtf8(std::wstring(buffer, length));
  if (url.empty())
    return fallback;
  return WithoutTrailingSlash(url);
}

}  // namespace

ServiceHosts DefaultServiceHosts() {
  return {WithoutTrailingSlash(TERN_ACCOUNT_HOST), WithoutTrailingSlash(TERN_NODE_HOST),
          WithoutTrailingSlash(TERN_BILLING_HOST), std::string()};
}

ServiceHosts ReadServiceHosts(const std::string& working_directory) {
  ServiceHosts defaults = DefaultServiceHosts();
  std::wstring file = win32::AnsiToWide(working_directory + "config.ini");
  ServiceHosts hosts{ReadHost(file, L"account", defaults.account),
                     ReadHost(file, L"node", defaults.node),
                     ReadHost(file, L"billing", defaults.billing), std::string()};
  std::string ca_file = ReadHost(file, L"ca_file", std::string());
  if (!ca_file.empty())
    hosts.ca_file = ca_file.front() == '/' ? ca_file : working_directory + ca_file;
  return hosts;
}

}  // namespace servicebridge
