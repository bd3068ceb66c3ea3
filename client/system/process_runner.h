// Runs a command line as a hidden child process and collects what it writes
// to standard output and standard error. Blocks the calling thread for up to
// the time limit (15 s) plus the reading: call it from worker threads only,
// never from the UI thread.
#ifndef CLIENT_SYSTEM_PROCESS_RUNNER_H_
#define CLIENT_SYSTEM_PROCESS_RUNNER_H_

#include <string>

#include "win32/types.h"

// |command_line| is in the ANSI code page ("net start IKEEXT"); no shell is
// involved. Returns the child's output bytes as they came, or an empty text
// when a step fails, after writing one line about it to standard output. A
// child still running at the time limit is left running.
std::string RunCommand(const std::string& command_line);

// The time limit, 15000 ms unless a test shortens it.
void SetRunCommandTimeoutForTesting(DWORD milliseconds);

#endif  // CLIENT_SYSTEM_PROCESS_RUNNER_H_
