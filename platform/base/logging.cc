#include "base/logging.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

namespace logging {

namespace {

std::atomic<int> g_min_log_level{0};
std::atomic<bool> g_dcheck_enabled{false};
std::atomic<bool> g_show_error_dialogs{false};

// Everything below is guarded by g_mutex. Leaked on purpose: records can be
// written from static destructors and detached threads at exit.
std::mutex& Mutex() {
  static std::mutex* m = new std::mutex;
  return *m;
}
LoggingDestination g_dest = LOG_ONLY_TO_SYSTEM_DEBUG_LOG;
LogLockingState g_lock = LOCK_LOG_FILE;
std::string* g_file_path = nullptr;
int g_fd = -1;
int64_t g_max_size = 0;
LogMessageHandler* g_handler = nullptr;
std::function<void(const std::string&)>* g_fatal_handler = nullptr;

bool OpenFileLocked() {
  g_fd = open(g_file_path->c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  return g_fd >= 0;
}

// Another process may have rotated the file while we waited for the lock;
// then our descriptor points at the ".old" file and must be reopened.
bool SameFile(int fd, const std::string& path) {
  struct stat a, b;
  if (fstat(fd, &a) != 0 || stat(path.c_str(), &b) != 0)
    return false;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

void WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
}

void WriteToFileLocked(const std::string& record) {
  if (g_fd < 0)
    return;
  const bool lock = g_lock == LOCK_LOG_FILE;
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (lock)
      flock(g_fd, LOCK_EX);
    if (SameFile(g_fd, *g_file_path))
      break;
    if (lock)
      flock(g_fd, LOCK_UN);
    close(g_fd);
    if (!OpenFileLocked())
      return;
  }
  if (g_max_size > 0) {
    struct stat st;
    if (fstat(g_fd, &st) == 0 && st.st_size > 0 &&
        st.st_size + static_cast<int64_t>(record.size()) > g_max_size) {
      std::string old_path = *g_file_path + ".old";
      if (rename(g_file_path->c_str(), old_path.c_str()) == 0) {
        int old_fd = g_fd;
        if (OpenFileLocked()) {
          if (lock)
            flock(g_fd, LOCK_EX);
          if (lock)
            flock(old_fd, LOCK_UN);
          close(old_fd);
        } else {
          g_fd = old_fd;
        }
      }
    }
  }
  WriteAll(g_fd, record.data(), record.size());
  if (lock)
    flock(g_fd, LOCK_UN);
}

}  // namespace

bool InitLogging(const LoggingSettings& settings) {
  std::lock_guard<std::mutex> guard(Mutex());
  if (g_fd >= 0) {
    close(g_fd);
    g_fd = -1;
  }
  g_dest = settings.logging_dest;
  g_lock = settings.lock_log;
  g_max_size = settings.max_log_size;
  g_dcheck_enabled = settings.dcheck_state == ENABLE_DCHECK_FOR_NON_OFFICIAL_RELEASE_BUILDS;
  if (g_dest != LOG_ONLY_TO_FILE && g_dest != LOG_TO_BOTH_FILE_AND_SYSTEM_DEBUG_LOG)
    return true;
  if (!g_file_path)
    g_file_path = new std::string;
  *g_file_path = settings.log_file;
  if (settings.log_file.empty())
    return false;
  if (settings.delete_old == DELETE_OLD_LOG_FILE)
    unlink(settings.log_file.c_str());
  return OpenFileLocked();
}

bool InitLogging(const char* log_file,
                 LoggingDestination logging_dest,
                 LogLockingState lock_log,
                 OldFileDeletionState delete_old,
                 DcheckState dcheck_state,
                 int64_t max_log_size) {
  LoggingSettings settings;
  settings.log_file = log_file ? log_file : "";
  settings.logging_dest = logging_dest;
  settings.lock_log = lock_log;
  settings.delete_old = delete_old;
  settings.dcheck_state = dcheck_state;
  settings.max_log_size = max_log_size;
  return InitLogging(settings);
}

void CloseLogFile() {
  std::lock_guard<std::mutex> guard(Mutex());
  if (g_fd >= 0)
    close(g_fd);
  g_fd = -1;
}

void SetMinLogLevel(int level) {
  g_min_log_level = level < LOG_FATAL ? level : LOG_FATAL;
}

int GetMinLogLevel() {
  return g_min_log_level;
}

int GetVlogVerbosity() {
  int level = g_min_log_level;
  return level < 0 ? -level : 0;
}

bool DCheckIsOn() {
  return g_dcheck_enabled.load(std::memory_order_relaxed);
}

void SetDCheckEnabled(bool enabled) {
  g_dcheck_enabled = enabled;
}

void SetShowErrorDialogs(bool enable) {
  g_show_error_dialogs = enable;
}

void SetLogMessageHandlerForTesting(LogMessageHandler handler) {
  std::lock_guard<std::mutex> guard(Mutex());
  delete g_handler;
  g_handler = handler ? new LogMessageHandler(std::move(handler)) : nullptr;
}

void SetFatalHandlerForTesting(std::function<void(const std::string&)> handler) {
  std::lock_guard<std::mutex> guard(Mutex());
  delete g_fatal_handler;
  g_fatal_handler =
      handler ? new std::function<void(const std::string&)>(std::move(handler)) : nullptr;
}

const char* SeverityName(LogSeverity severity) {
  static const char* const kNames[] = {"INFO", "WARNING", "ERROR", "ERROR_REPORT", "FATAL"};
  if (severity >= 0 && severity < LOG_NUM_SEVERITIES)
    return kNames[severity];
  return "VERBOSE";
}

LogMessage::LogMessage(const char* file, int line, const char* function, LogSeverity severity)
    : file_(file), line_(line), function_(function), severity_(severity) {
  Init();
}

LogMessage::LogMessage(const char* file,
                       int line,
                       const char* function,
                       LogSeverity severity,
                       const char* check_text)
    : file_(file), line_(line), function_(function), severity_(severity) {
  Init();
  stream_ << check_text;
}

void LogMessage::Init() {
  const char* base_name = strrchr(file_, '/');
  base_name = base_name ? base_name + 1 : file_;
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  struct tm tm;
  time_t seconds = tv.tv_sec;
  localtime_r(&seconds, &tm);
  char stamp[40];
  snprintf(stamp, sizeof(stamp), "%02d%02d/%02d%02d%02d.%03d", tm.tm_mon + 1, tm.tm_mday,
           tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(tv.tv_usec / 1000));
  stream_ << '[' << getpid() << ':' << static_cast<long>(syscall(SYS_gettid)) << ':' << stamp
          << ':';
  if (severity_ >= 0)
    stream_ << SeverityName(severity_);
  else
    stream_ << "VERBOSE" << -severity_;
  stream_ << ':' << (function_ ? function_ : "") << ':' << base_name << '(' << line_ << ")] ";
  message_start_ = static_cast<size_t>(stream_.tellp());
}

LogMessage::~LogMessage() {
  stream_ << '\n';
  std::string record = stream_.str();
  std::function<void(const std::string&)> fatal_handler;
  {
    std::lock_guard<std::mutex> guard(Mutex());
    bool handled =
        g_handler && (*g_handler)(severity_, file_, line_, function_, message_start_, record);
    if (!handled) {
      if (g_dest == LOG_ONLY_TO_FILE || g_dest == LOG_TO_BOTH_FILE_AND_SYSTEM_DEBUG_LOG)
        WriteToFileLocked(record);
      if (g_dest == LOG_ONLY_TO_SYSTEM_DEBUG_LOG || g_dest == LOG_TO_BOTH_FILE_AND_SYSTEM_DEBUG_LOG)
        WriteAll(STDERR_FILENO, record.data(), record.size());
    }
    if (severity_ == LOG_FATAL && g_fatal_handler)
      fatal_handler = *g_fatal_handler;
  }
  if (severity_ == LOG_FATAL) {
    if (fatal_handler) {
      fatal_handler(record);
      return;
    }
    abort();
  }
}

ErrnoLogMessage::ErrnoLogMessage(const char* file,
                                 int line,
                                 const char* function,
                                 LogSeverity severity)
    : err_(errno), msg_(file, line, function, severity) {}

ErrnoLogMessage::~ErrnoLogMessage() {
  char buf[256];
  const char* text = strerror_r(err_, buf, sizeof(buf));
  msg_.stream() << ": " << text << " (" << err_ << ")";
}

}  // namespace logging
