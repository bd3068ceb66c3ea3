// The library's own log: a console logger "console" and a rotating file
// logger "rotating" (1 MiB, 3 files) in <directory>/log/kelvolib.log.

#ifndef SERVICEBRIDGE_BRIDGE_LOG_H_
#define SERVICEBRIDGE_BRIDGE_LOG_H_

#include <string>

namespace servicebridge {

// Creates the log on the first call only; later calls keep the first file.
void InitializeLog(const std::string& directory);

// printf-style, cut to 4095 bytes. Nothing is written before InitializeLog.
void LogError(const char* format, ...) __attribute__((format(printf, 1, 2)));
void LogInfo(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace servicebridge

#endif  // SERVICEBRIDGE_BRIDGE_LOG_H_
