// libFuzzer target for the private-profile reader (config.ini): any bytes
// on disk, read back through every read call the programs make, must give
// a value or the default within the buffer, never a fault.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "win32/profile.h"

namespace {

std::string TempFile() {
  static const std::string path = [] {
    const char* tmp = getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/profile-fuzz-" + std::to_string(getpid()) +
           ".ini";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = TempFile();
  FILE* file = fopen(path.c_str(), "wb");
  if (!file)
    return 0;
  fwrite(data, 1, size, file);
  fclose(file);
  std::wstring wide(path.begin(), path.end());

  WCHAR small[8];
  WCHAR large[1024];
  const WCHAR* sections[] = {L"service_hosts", L"user", L"", L"Route"};
  const WCHAR* keys[] = {L"account", L"ca_file", L"version", L"", L"name"};
  for (const WCHAR* section : sections) {
    for (const WCHAR* key : keys) {
      DWORD n = GetPrivateProfileStringW(section, key, L"dflt", small, 8, wide.c_str());
      if (n >= 8 || small[n] != L'\0')
        abort();
      n = GetPrivateProfileStringW(section, key, L"", large, 1024, wide.c_str());
      if (n >= 1024 || large[n] != L'\0')
        abort();
      GetPrivateProfileIntW(section, key, -1, wide.c_str());
    }
    // The key list of a section.
    DWORD n = GetPrivateProfileStringW(section, nullptr, L"", large, 1024, wide.c_str());
    if (n >= 1024)
      abort();
  }
  // The section list.
  DWORD n = GetPrivateProfileStringW(nullptr, nullptr, L"", large, 1024, wide.c_str());
  if (n >= 1024)
    abort();
  unlink(path.c_str());
  return 0;
}
