#include "win32/module.h"

#include <limits.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "win32/code_page.h"
#include "win32/last_error.h"

namespace {

std::string ExecutablePath() {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

template <typename Char>
DWORD CopyTruncated(const std::basic_string<Char>& path, Char* out, DWORD size) {
  if (path.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
  }
  if (!out || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (path.size() >= size) {
    std::memcpy(out, path.data(), (size - 1) * sizeof(Char));
    out[size - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  std::memcpy(out, path.data(), path.size() * sizeof(Char));
  out[path.size()] = 0;
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(path.size());
}

}  // namespace

DWORD GetModuleFileNameW(HMODULE, LPWSTR file_name, DWORD size) {
  return CopyTruncated(win32::Utf8ToWide(ExecutablePath()), file_name, size);
}

DWORD GetModuleFileNameA(HMODULE, LPSTR file_name, DWORD size) {
  return CopyTruncated(win32::WideToAnsi(win32::Utf8ToWide(ExecutablePath())), file_name, size);
}
