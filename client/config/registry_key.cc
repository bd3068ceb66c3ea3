#include "client/config/registry_key.h"

#include <vector>

#include "base/logging.h"

namespace winreg {

namespace {

bool IsPredefined(HKEY key) {
  return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE ||
         key == HKEY_USERS || key == HKEY_PERFORMANCE_DATA || key == HKEY_PERFORMANCE_TEXT ||
         key == HKEY_PERFORMANCE_NLSTEXT || key == HKEY_CURRENT_CONFIG ||
         key == HKEY_CURRENT_USER_LOCAL_SETTINGS;
}

void Report(const RegException& e) {
  LOG(WARNING) << e.what() << " (error " << e.ErrorCode() << ")";
}

}  // namespace

RegistryKey::RegistryKey(HKEY root, const std::wstring& path) {
  try {
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS)
      throw RegException("RegCreateKeyEx failed.", rc);
    key_ = key;
  } catch (const RegException& e) {
    Report(e);
  }
}

RegistryKey::~RegistryKey() {
  Close();
}

void RegistryKey::Open(HKEY root, const std::wstring& path, REGSAM access) {
  Close();
  try {
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExW(root, path.c_str(), 0, access, &key);
    if (rc != ERROR_SUCCESS)
      throw RegException("RegOpenKeyEx failed.", rc);
    key_ = key;
  } catch (const RegException& e) {
    Report(e);
  }
}

void RegistryKey::Close() {
  if (key_ && !IsPredefined(key_))
    RegCloseKey(key_);
  key_ = nullptr;
}

DWORD RegistryKey::GetDword(const std::wstring& name) {
  if (!key_)
    return static_cast<DWORD>(-1);
  try {
    DWORD value = 0;
    DWORD size = sizeof(value);
    LONG rc = RegGetValueW(key_, nullptr, name.c_str(), RRF_RT_REG_DWORD, nullptr, &value, &size);
    if (rc != ERROR_SUCCESS)
      throw RegException("Cannot get DWORD value: RegGetValue failed.", rc);
    return value;
  } catch (const RegException& e) {
    Report(e);
    return static_cast<DWORD>(-1);
  }
}

void RegistryKey::SetDword(const std::wstring& name, DWORD value) {
  if (!key_)
    return;
  try {
    LONG rc = RegSetValueExW(key_, name.c_str(), 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&value), sizeof(value));
    if (rc != ERROR_SUCCESS)
      throw RegException("Cannot write DWORD value: RegSetValueEx failed.", rc);
  } catch (const RegException& e) {
    Report(e);
  }
}

std::wstring RegistryKey::GetString(const std::wstring& name) {
  if (!key_)
    return std::wstring();
  try {
    DWORD size = 0;
    LONG rc = RegGetValueW(key_, nullptr, name.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &size);
    if (rc != ERROR_SUCCESS)
      throw RegException("Cannot get string value: RegGetValue failed.", rc);
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    rc = RegGetValueW(key_, nullptr, name.c_str(), RRF_RT_REG_SZ, nullptr, buffer.data(), &size);
    if (rc != ERROR_SUCCESS)
      throw RegException("Cannot get string value: RegGetValue failed.", rc);
    size_t chars = size / sizeof(wchar_t);
    if (chars > 0 && buffer[chars - 1] == L'\0')
      --chars;  // the terminating zero
    return std::wstring(buffer.data(), chars);
  } catch (const RegException& e) {
    Report(e);
    return std::wstring();
  }
}

}  // namespace winreg
