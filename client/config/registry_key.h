// A small owner of one registry key. Failures are raised as RegException
// inside each operation and handled there (logged, then the documented
// result); they never reach callers. One key object belongs to one thread.
#ifndef CLIENT_CONFIG_REGISTRY_KEY_H_
#define CLIENT_CONFIG_REGISTRY_KEY_H_

#include <stdexcept>
#include <string>

#include "win32/registry.h"
#include "win32/types.h"

namespace winreg {

class RegException : public std::runtime_error {
 public:
  RegException(const char* message, LONG error_code)
      : std::runtime_error(message), error_code_(error_code) {}
  LONG ErrorCode() const { return error_code_; }

 private:
  LONG error_code_;
};

class RegistryKey {
 public:
  RegistryKey() = default;
  // Creates the key, or opens it when it exists, for reading and writing.
  RegistryKey(HKEY root, const std::wstring& path);
  ~RegistryKey();
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Closes the held key, then opens |path| under |root|.
  void Open(HKEY root, const std::wstring& path, REGSAM access = KEY_READ | KEY_WRITE);
  // Closes unless it is a predefined root key; the handle is null afterwards.
  void Close();

  bool IsValid() const { return key_ != nullptr; }
  HKEY Get() const { return key_; }

  // (DWORD)-1 when the key is invalid or the value cannot be read as REG_DWORD.
  DWORD GetDword(const std::wstring& name);
  // Does nothing when the key is invalid.
  void SetDword(const std::wstring& name, DWORD value);
  // Empty when the key is invalid or the value cannot be read as REG_SZ.
  std::wstring GetString(const std::wstring& name);

 private:
  HKEY key_ = nullptr;
};

}  // namespace winreg

#endif  // CLIENT_CONFIG_REGISTRY_KEY_H_
