#include "servicebridge/bridge_log.h"

#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <atomic>
#include <memory>
#include <mutex>

#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/sinks/stdout_color_sinks.h>
#include <spdlog/spdlog.h>

namespace servicebridge {

namespace {

struct LogHolder {
  std::shared_ptr<spdlog::logger> console;
  std::shared_ptr<spdlog::logger> rotating;
};

// Written once under the once flag, then only read.
LogHolder* g_log = nullptr;
std::atomic<bool> g_log_ready{false};

// Creates every missing level of `path`, one level at a time.
bool CreateDirectories(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i != path.size() && path[i] != '/')
      continue;
    std::string level = path.substr(0, i);
    struct stat info;
    if (stat(level.c_str(), &info) == 0) {
      if (!S_ISDIR(info.st_mode))
        return false;
      continue;
    }
    if (mkdir(level.c_str(), 0755) != 0 && errno != EEXIST)
      return false;
  }
  return true;
}

void ReportInitFailure(const spdlog::spdlog_ex& error) {
  printf("Log init failed: %s\n", error.what());
  fflush(stdout);
}

void Write(spdlog::level::level_enum level, const char* format, va_list args) {
  if (!g_log_ready.load(std::memory_order_acquire))
    return;
  char buffer[4096];
  int length = vsnprintf(buffer, sizeof(buffer), format, args);
  if (length < 0)
    return;
  spdlog::string_view_t message(buffer, strnlen(buffer, sizeof(buffer)));
  // A failing sink (full disk, closed stdout) must not reach the caller.
  try {
    if (g_log->rotating && g_log->rotating != g_log->console) {
      g_log->rotating->log(spdlog::source_loc{}, level, message);
      g_log->rotating->flush();
    }
    if (g_log->console) {
      g_log->console->log(spdlog::source_loc{}, level, message);
      g_log->console->flush();
    }
  } catch (...) {
  }
}

}  // namespace

void InitializeLog(const std::string& directory) {
  static std::once_flag once;
  std::call_once(once, [&] {
    auto* holder = new LogHolder;
    std::string log_directory = directory + "/log";
    std::string file = CreateDirectories(log_directory) ? log_directory + "/kelvolib.log"
                                                        : directory + "/kelvolib.log";
    // Each logger on its own, so that a name the host program already uses
    // does not cost the other one.
    try {
      holder->console = spdlog::stdout_color_mt("console");
    } catch (const spdlog::spdlog_ex& error) {
      ReportInitFailure(error);
    }
    try {
      holder->rotating = spdlog::rotating_logger_mt("rotating", file, 1048576, 3);
    } catch (const spdlog::spdlog_ex& error) {
      ReportInitFailure(error);
    }
    g_log = holder;
    g_log_ready.store(true, std::memory_order_release);
  });
}

void LogError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Write(spdlog::level::err, format, args);
  va_end(args);
}

void LogInfo(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Write(spdlog::level::info, format, args);
  va_end(args);
}

}  // namespace servicebridge
