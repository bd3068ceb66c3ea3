#include "client/app/client_logging.h"

#include "base/command_line.h"
#include "base/logging.h"
#include "client/config/config_paths.h"
#include "win32/code_page.h"

namespace {

constexpr char kEnableDebugCheck[] = "enable -debug check";
constexpr char kEnableDebugLog[] = "enable -debug log";
constexpr int64_t kLogFileSize = 0x100000;

bool HasSwitch(const char* name) {
  base::CommandLine* command_line = base::CommandLine::ForCurrentProcess();
  return command_line && command_line->HasSwitch(name);
}

}  // namespace

std::string ClientLogPath() {
  return win32::WideToUtf8(GetModuleDirectory()) + "/log/client.log";
}

void InitClientLogging(const std::string& log_file) {
  logging::SetShowErrorDialogs(false);
  logging::DcheckState dcheck = HasSwitch(kEnableDebugCheck)
                                    ? logging::ENABLE_DCHECK_FOR_NON_OFFICIAL_RELEASE_BUILDS
                                    : logging::DISABLE_DCHECK_FOR_NON_OFFICIAL_RELEASE_BUILDS;
  logging::LoggingDestination destination = HasSwitch(kEnableDebugLog)
                                                ? logging::LOG_TO_BOTH_FILE_AND_SYSTEM_DEBUG_LOG
                                                : logging::LOG_ONLY_TO_FILE;
  // The result is not checked: without the log directory the client runs on.
  logging::InitLogging(log_file.c_str(), destination, logging::LOCK_LOG_FILE,
                       logging::APPEND_TO_OLD_LOG_FILE, dcheck, kLogFileSize);
  logging::SetMinLogLevel(-1);
}
