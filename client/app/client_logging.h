// The client log, "log/client.log" in the program directory. Main thread,
// once, during start-up.
#ifndef CLIENT_APP_CLIENT_LOGGING_H_
#define CLIENT_APP_CLIENT_LOGGING_H_

#include <string>

// Appends to |log_file| (the directory is not created; without it the
// client runs without a log file). The switch "enable -debug check" turns
// on debug checks, "enable -debug log" copies records to standard error.
// Verbose records of level 1 are written.
void InitClientLogging(const std::string& log_file);

// The program directory's "log/client.log".
std::string ClientLogPath();

#endif  // CLIENT_APP_CLIENT_LOGGING_H_
