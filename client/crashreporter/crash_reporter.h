// Crash reporting of the client: reports go to "coredump" in the program
// directory; when the program crashes the log says so and the user is told
// in a message box. Installed first thing at start, uninstalled last.
#ifndef CLIENT_CRASHREPORTER_CRASH_REPORTER_H_
#define CLIENT_CRASHREPORTER_CRASH_REPORTER_H_

#include <string>

// Main thread. A failure is logged ("rInstall failed, reaso: ...") and the
// client runs on without crash reporting. |log_file| receives the crash
// callback's lines (UTF-8 path).
bool InstallCrashReporting(const std::string& log_file);
void UninstallCrashReporting();

// The texts the crash callback writes and shows.
extern const wchar_t kCrashMessageText[];
extern const wchar_t kCrashMessageCaption[];

#endif  // CLIENT_CRASHREPORTER_CRASH_REPORTER_H_
