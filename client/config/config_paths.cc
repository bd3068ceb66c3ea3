#include "client/config/config_paths.h"

#include "win32/module.h"
#include "win32/types.h"

const std::wstring& GetModuleFilePath() {
  static const std::wstring path = [] {
    wchar_t buffer[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    if (n >= MAX_PATH) {
      // Deeper than Windows allows: take the whole path rather than a cut one.
      std::wstring whole(4096, L'\0');
      n = GetModuleFileNameW(nullptr, whole.data(), static_cast<DWORD>(whole.size()));
      whole.resize(n < whole.size() ? n : 0);
      return whole;
    }
    return std::wstring(buffer, n);
  }();
  return path;
}

const std::wstring& GetModuleDirectory() {
  static const std::wstring directory = [] {
    const std::wstring& path = GetModuleFilePath();
    size_t slash = path.rfind(L'/');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
  }();
  return directory;
}

const std::wstring& GetConfigPath() {
  static const std::wstring path = GetModuleDirectory() + L"/config.ini";
  return path;
}
