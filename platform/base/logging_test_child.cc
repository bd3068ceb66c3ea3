// Started by the logging tests: writes one record of each kind to the log
// file named on the command line, sending a copy to stderr when the switch
// "enable -debug log" is present, and reports whether debug checks are on.
#include "base/command_line.h"
#include "base/logging.h"

int main(int argc, char** argv) {
  base::CommandLine::Init(argc, argv);
  const base::CommandLine& cl = *base::CommandLine::ForCurrentProcess();
  logging::LoggingSettings settings;
  settings.log_file = cl.GetSwitchValueASCII("log-file");
  settings.logging_dest = cl.HasSwitch("enable -debug log")
                              ? logging::LOG_TO_BOTH_FILE_AND_SYSTEM_DEBUG_LOG
                              : logging::LOG_ONLY_TO_FILE;
  settings.lock_log = logging::LOCK_LOG_FILE;
  settings.delete_old = logging::APPEND_TO_OLD_LOG_FILE;
  settings.dcheck_state = cl.HasSwitch("enable -debug check")
                              ? logging::ENABLE_DCHECK_FOR_NON_OFFICIAL_RELEASE_BUILDS
                              : logging::DISABLE_DCHECK_FOR_NON_OFFICIAL_RELEASE_BUILDS;
  std::string size = cl.GetSwitchValueASCII("size");
  settings.max_log_size = size.empty() ? 0 : std::stoll(size);
  if (!logging::InitLogging(settings))
    return 3;
  logging::SetMinLogLevel(-1);
  std::string tag = cl.GetSwitchValueASCII("tag");
  int count =
      cl.GetSwitchValueASCII("count").empty() ? 1 : std::stoi(cl.GetSwitchValueASCII("count"));
  for (int i = 0; i < count; ++i)
    LOG(INFO) << "record " << tag << " " << i;
  VLOG(1) << "verbose " << tag;
  DCHECK(argc < 0);
  return 0;
}
