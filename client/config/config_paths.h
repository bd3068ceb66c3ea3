// Where the running program and its config.ini are. Computed once per
// process; callable from any thread.
#ifndef CLIENT_CONFIG_CONFIG_PATHS_H_
#define CLIENT_CONFIG_CONFIG_PATHS_H_

#include <string>

// The running program's full path.
const std::wstring& GetModuleFilePath();
// That path cut before its last "/" (no trailing separator).
const std::wstring& GetModuleDirectory();
// GetModuleDirectory() + "/config.ini".
const std::wstring& GetConfigPath();

#endif  // CLIENT_CONFIG_CONFIG_PATHS_H_
