#ifndef BASE_LOGGING_H_
#define BASE_LOGGING_H_

#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <sstream>
#include <string>

// Logging: LOG(INFO) << ..., VLOG(1), CHECK(cond), DCHECK(cond), NOTREACHED().
//
// Each record is one line:
//   [pid:tid:MMDD/HHMMSS.mmm:SEVERITY:function:file.cc(line)] message
// where "function" is the function at the call site (or the explicit name a
// caller gives through LogMessage directly).
//
// Debug checks (DCHECK, NOTREACHED) are switched at run time: when enabled a
// failed condition is logged as "Check failed: <condition>. " at ERROR_REPORT
// severity and execution continues; when disabled the condition is not even
// evaluated. CHECK always evaluates, logs "Check failed: <condition>. " at
// FATAL and aborts the process.

namespace logging {

typedef int LogSeverity;
const LogSeverity LOG_VERBOSE = -1;
const LogSeverity LOG_INFO = 0;
const LogSeverity LOG_WARNING = 1;
const LogSeverity LOG_ERROR = 2;
const LogSeverity LOG_ERROR_REPORT = 3;
const LogSeverity LOG_FATAL = 4;
const LogSeverity LOG_NUM_SEVERITIES = 5;
// LOG(ERROR) still works where a window-system header defines ERROR as 0.
const LogSeverity LOG_0 = LOG_ERROR;

// "System debug log" is the process's standard error on Linux.
enum LoggingDestination {
  LOG_NONE,
  LOG_ONLY_TO_FILE,
  LOG_ONLY_TO_SYSTEM_DEBUG_LOG,
  LOG_TO_BOTH_FILE_AND_SYSTEM_DEBUG_LOG,
};

// LOCK_LOG_FILE takes an exclusive flock() on the file around each record, so
// several processes can append to one log without interleaving.
enum LogLockingState { LOCK_LOG_FILE, DONT_LOCK_LOG_FILE };

enum OldFileDeletionState { DELETE_OLD_LOG_FILE, APPEND_TO_OLD_LOG_FILE };

enum DcheckState {
  DISABLE_DCHECK_FOR_NON_OFFICIAL_RELEASE_BUILDS,
  ENABLE_DCHECK_FOR_NON_OFFICIAL_RELEASE_BUILDS,
};

struct LoggingSettings {
  std::string log_file;
  LoggingDestination logging_dest = LOG_ONLY_TO_FILE;
  LogLockingState lock_log = LOCK_LOG_FILE;
  OldFileDeletionState delete_old = APPEND_TO_OLD_LOG_FILE;
  DcheckState dcheck_state = DISABLE_DCHECK_FOR_NON_OFFICIAL_RELEASE_BUILDS;
  // Rotation size in bytes; 0 means unbounded. When a record would take the
  // file past this size, the file is renamed to "<log_file>.old" (replacing
  // the previous one) and a fresh file is started, so at most about twice
  // this size is kept on disk. Records are never split across the two files.
  int64_t max_log_size = 0;
};

// Until this is called records go to stderr only. Returns false when the
// file cannot be opened (the directory is never created); logging then goes
// on without a file.
bool InitLogging(const LoggingSettings& settings);
// The classic argument list, with the size argument last.
bool InitLogging(const char* log_file,
                 LoggingDestination logging_dest,
                 LogLockingState lock_log,
                 OldFileDeletionState delete_old,
                 DcheckState dcheck_state,
                 int64_t max_log_size = 0);
// Closes the file; later records go to the configured destinations without it.
void CloseLogFile();

// Records below this level are dropped. -1 lets VLOG(1) through.
void SetMinLogLevel(int level);
int GetMinLogLevel();
// The highest VLOG level that is written (the negated minimum level).
int GetVlogVerbosity();

bool DCheckIsOn();
void SetDCheckEnabled(bool enabled);

// Error dialogs do not exist here; the flag is kept for callers that set it.
void SetShowErrorDialogs(bool enable);

// Receives every record before it is written; returning true swallows it.
// message_start is the offset of the text after the "[...] " prefix.
using LogMessageHandler = std::function<bool(LogSeverity severity,
                                             const char* file,
                                             int line,
                                             const char* function,
                                             size_t message_start,
                                             const std::string& str)>;
void SetLogMessageHandlerForTesting(LogMessageHandler handler);

// Called instead of abort() for FATAL records when set (tests only).
void SetFatalHandlerForTesting(std::function<void(const std::string&)> handler);

const char* SeverityName(LogSeverity severity);

class LogMessage {
 public:
  LogMessage(const char* file, int line, const char* function, LogSeverity severity);
  // For checks: the text is written right after the prefix.
  LogMessage(const char* file,
             int line,
             const char* function,
             LogSeverity severity,
             const char* check_text);
  LogMessage(const LogMessage&) = delete;
  LogMessage& operator=(const LogMessage&) = delete;
  ~LogMessage();

  std::ostream& stream() { return stream_; }

 private:
  void Init();

  const char* file_;
  int line_;
  const char* function_;
  LogSeverity severity_;
  std::ostringstream stream_;
  size_t message_start_ = 0;
};

// Turns "stream << ..." into void so it fits in a ?: expression.
class LogMessageVoidify {
 public:
  void operator&(std::ostream&) {}
};

// Appends ": <strerror(errno)>" to the record.
class ErrnoLogMessage {
 public:
  ErrnoLogMessage(const char* file, int line, const char* function, LogSeverity severity);
  ~ErrnoLogMessage();
  std::ostream& stream() { return msg_.stream(); }

 private:
  int err_;
  LogMessage msg_;
};

}  // namespace logging

#define LOG_IS_ON(severity) (::logging::LOG_##severity >= ::logging::GetMinLogLevel())
#define VLOG_IS_ON(verbose_level) ((verbose_level) <= ::logging::GetVlogVerbosity())

#define LAZY_STREAM(stream, condition) \
  !(condition) ? (void)0 : ::logging::LogMessageVoidify() & (stream)

#define LOG_STREAM(severity) \
  ::logging::LogMessage(__FILE__, __LINE__, __FUNCTION__, ::logging::LOG_##severity).stream()

#define LOG(severity) LAZY_STREAM(LOG_STREAM(severity), LOG_IS_ON(severity))
// Tags the record with a task location's function, file and line instead of
// the caller's (FROM_HERE_WITH_EXPLICIT_FUNCTION names).
#define LOG_AT(severity, location)                                                         \
  LAZY_STREAM(::logging::LogMessage((location).file_name(), (location).line_number(),      \
                                    (location).function_name(), ::logging::LOG_##severity) \
                  .stream(),                                                               \
              LOG_IS_ON(severity))
#define LOG_IF(severity, condition) \
  LAZY_STREAM(LOG_STREAM(severity), LOG_IS_ON(severity) && (condition))
#define PLOG(severity)                                                                        \
  LAZY_STREAM(                                                                                \
      ::logging::ErrnoLogMessage(__FILE__, __LINE__, __FUNCTION__, ::logging::LOG_##severity) \
          .stream(),                                                                          \
      LOG_IS_ON(severity))

#define VLOG(verbose_level)                                                                       \
  LAZY_STREAM(::logging::LogMessage(__FILE__, __LINE__, __FUNCTION__, -(verbose_level)).stream(), \
              VLOG_IS_ON(verbose_level))

#define LOGGING_CHECK_STREAM(severity, text) \
  ::logging::LogMessage(__FILE__, __LINE__, __FUNCTION__, ::logging::LOG_##severity, text).stream()

#define CHECK(condition) \
  LAZY_STREAM(LOGGING_CHECK_STREAM(FATAL, "Check failed: " #condition ". "), !(condition))

#define DCHECK(condition)                                                           \
  LAZY_STREAM(LOGGING_CHECK_STREAM(ERROR_REPORT, "Check failed: " #condition ". "), \
              ::logging::DCheckIsOn() && !(condition))

#define CHECK_OP(a, op, b) CHECK((a)op(b))
#define CHECK_EQ(a, b) CHECK((a) == (b))
#define CHECK_NE(a, b) CHECK((a) != (b))
#define CHECK_LE(a, b) CHECK((a) <= (b))
#define CHECK_LT(a, b) CHECK((a) < (b))
#define CHECK_GE(a, b) CHECK((a) >= (b))
#define CHECK_GT(a, b) CHECK((a) > (b))
#define DCHECK_EQ(a, b) DCHECK((a) == (b))
#define DCHECK_NE(a, b) DCHECK((a) != (b))
#define DCHECK_LE(a, b) DCHECK((a) <= (b))
#define DCHECK_LT(a, b) DCHECK((a) < (b))
#define DCHECK_GE(a, b) DCHECK((a) >= (b))
#define DCHECK_GT(a, b) DCHECK((a) > (b))

#define NOTREACHED() DCHECK(false)
#define NOTIMPLEMENTED() LOG(ERROR) << "Not implemented reached in " << __FUNCTION__

#endif  // BASE_LOGGING_H_
