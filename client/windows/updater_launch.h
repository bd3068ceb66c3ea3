// Starting updater.exe from the program directory, the way the shell's
// "open" verb would. Any thread; it does not wait for the updater.
#ifndef CLIENT_WINDOWS_UPDATER_LAUNCH_H_
#define CLIENT_WINDOWS_UPDATER_LAUNCH_H_

#include <string>

#include "win32/types.h"

// Starts "<program dir>/updater.exe" with |parameters| as its command-line
// text, shown normally. Returns the shell's result: above 32 on success,
// 32 or less (an error value) otherwise.
INT_PTR StartUpdater(const std::wstring& parameters);

#endif  // CLIENT_WINDOWS_UPDATER_LAUNCH_H_
