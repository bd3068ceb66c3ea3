#include "client/config/profile_store.h"

#include <vector>

#include "client/config/scrambler.h"
#include "win32/profile.h"

std::wstring ReadProfileString(const std::wstring& section,
                               const std::wstring& key,
                               const std::wstring& default_value,
                               DWORD length,
                               const std::wstring& file,
                               bool plain) {
  if (length == 0)
    return std::wstring();
  std::vector<wchar_t> buffer(length, L'\0');
  if (plain) {
    DWORD n = GetPrivateProfileStringW(section.c_str(), key.c_str(), default_value.c_str(),
                                       buffer.data(), length, file.c_str());
    return std::wstring(buffer.data(), n);
  }
  std::wstring scrambled_section = ScrambleText(section);
  std::wstring scrambled_key = ScrambleText(key);
  DWORD n = GetPrivateProfileStringW(scrambled_section.c_str(), scrambled_key.c_str(),
                                     default_value.c_str(), buffer.data(), length, file.c_str());
  return UnscrambleText(std::wstring(buffer.data(), n));
}

void WriteProfileString(const std::wstring& section,
                        const std::wstring& key,
                        const std::wstring& value,
                        const std::wstring& file,
                        bool plain) {
  if (plain) {
    WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(), file.c_str());
    return;
  }
  std::wstring scrambled_value = ScrambleText(value);
  std::wstring scrambled_key = ScrambleText(key);
  std::wstring scrambled_section = ScrambleText(section);
  // A name too long to scramble would collapse into an empty one.
  if (scrambled_section.empty() || scrambled_key.empty() ||
      (scrambled_value.empty() && !value.empty())) {
    return;
  }
  WritePrivateProfileStringW(scrambled_section.c_str(), scrambled_key.c_str(),
                             scrambled_value.c_str(), file.c_str());
}
