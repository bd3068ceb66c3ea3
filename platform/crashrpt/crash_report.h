// The crash sender's work: what it learns about the crashed process while
// that waits, the symbolised backtrace (libdw), and the report folder.
#ifndef CRASHRPT_CRASH_REPORT_H_
#define CRASHRPT_CRASH_REPORT_H_

#include <time.h>

#include <string>
#include <vector>

#include "crashrpt/crash_record.h"

namespace crashrpt {

struct ProcessFacts {
  std::vector<std::string> threads;  // "tid name", the crashed thread marked " (crashed)"
  std::vector<std::string> modules;  // "start-end path" of each file mapped executable
};

// Reads /proc/<pid>; the process must still be alive.
ProcessFacts ReadProcessFacts(long long pid, long long crashed_tid);

// One line per frame: "#N 0xADDRESS in FUNCTION at FILE:LINE (MODULE)", the
// parts that are not known left out. Return addresses (every frame but the
// first) are looked up one byte back, at the call.
std::vector<std::string> SymboliseFrames(long long pid, const std::vector<uintptr_t>& frames);

// The last |count| lines of a text file (fewer when it is shorter, none when
// it cannot be read).
std::vector<std::string> LastLines(const std::string& path, size_t count);

// "SIGSEGV", ... or "signal N".
std::string SignalName(int signal);

std::string FormatReport(const CrashRecord& record,
                         const ProcessFacts& facts,
                         const std::vector<std::string>& backtrace,
                         const std::vector<std::string>& log_tail,
                         time_t when);

// Writes <save_dir>/<app>_<YYYYMMDD-HHMMSS>_<pid>/report.txt: the folder is
// made under a temporary name and renamed when complete. Returns the folder,
// "" on failure.
std::string WriteReportFolder(const CrashRecord& record, const std::string& report, time_t when);

// Appends the callback's lines to the log in the log's own record format, on
// behalf of the crashed process (its pid and thread). Waits at most |wait_ms|
// for the log's file lock, then writes without it (appends are atomic).
bool AppendLogLines(const CrashRecord& record, int wait_ms);

}  // namespace crashrpt

#endif  // CRASHRPT_CRASH_REPORT_H_
