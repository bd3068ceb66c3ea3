// Reading and writing config.ini entries, plain or scrambled (section, key
// and value each replaced by their cipher text). Callable from any thread:
// the profile functions serialise writers across threads and processes.
#ifndef CLIENT_CONFIG_PROFILE_STORE_H_
#define CLIENT_CONFIG_PROFILE_STORE_H_

#include <string>

#include "win32/types.h"

// |length| is the caller's buffer in characters, terminating 0 included. A
// missing scrambled entry reads as the empty text whatever the default.
std::wstring ReadProfileString(const std::wstring& section,
                               const std::wstring& key,
                               const std::wstring& default_value,
                               DWORD length,
                               const std::wstring& file,
                               bool plain);
void WriteProfileString(const std::wstring& section,
                        const std::wstring& key,
                        const std::wstring& value,
                        const std::wstring& file,
                        bool plain);

#endif  // CLIENT_CONFIG_PROFILE_STORE_H_
