// tern-crash-sender: started by a crashing process's signal handler with the
// crash record on its standard input. Writes the report while the crashed
// process waits, appends the callback's log lines, answers "done <folder>"
// on descriptor 3 (which lets the crashed process end), then shows the
// callback's message box, if any, for at most five minutes.
#include <errno.h>
#include <signal.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "base/message_loop.h"
#include "crashrpt/crash_record.h"
#include "crashrpt/crash_report.h"
#include "duilib/UIlib.h"
#include "win32/code_page.h"
#include "win32/message_box.h"
#include "win32/resource.h"

namespace {

constexpr int kLogLockWaitMs = 2000;
constexpr int kBoxSeconds = 300;
constexpr size_t kLogTailLines = 40;
constexpr int kAnswerFd = 3;

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof(buffer));
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      break;
    text.append(buffer, static_cast<size_t>(n));
  }
  return text;
}

void Answer(const std::string& folder) {
  std::string text = "done " + folder + "\n";
  ssize_t ignored = write(kAnswerFd, text.data(), text.size());
  (void)ignored;
  close(kAnswerFd);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || strcmp(argv[1], "--report") != 0) {
    fprintf(stderr,
            "usage: %s --report < crash record\n"
            "Started by the crash reporter of a crashing program; not for use by hand.\n",
            argv[0]);
    return 2;
  }
  // The report is bounded like the crashed process's wait for it.
  alarm(crashrpt::kReportBudgetSeconds);
  crashrpt::CrashRecord record = crashrpt::ParseRecord(ReadAll(0));
  if (record.pid <= 0) {
    Answer("");
    return 1;
  }
  time_t now = time(nullptr);
  crashrpt::ProcessFacts facts = crashrpt::ReadProcessFacts(record.pid, record.tid);
  std::vector<std::string> backtrace = crashrpt::SymboliseFrames(record.pid, record.frames);
  std::vector<std::string> tail = crashrpt::LastLines(record.log_file, kLogTailLines);
  std::string folder = crashrpt::WriteReportFolder(
      record, crashrpt::FormatReport(record, facts, backtrace, tail, now), now);
  crashrpt::AppendLogLines(record, kLogLockWaitMs);
  Answer(folder);
  if (!record.box)
    return folder.empty() ? 1 : 0;

  // The box lives longer than the crashed process, but not for ever.
  alarm(kBoxSeconds);
  base::MessageLoopForUI loop;
  DuiLib::CPaintManagerUI::SetInstance(GetModuleHandleW(nullptr));
  std::wstring text = win32::Utf8ToWide(record.box_text);
  std::wstring caption = win32::Utf8ToWide(record.box_caption);
  MessageBoxW(nullptr, text.c_str(), caption.c_str(), record.box_type);
  return folder.empty() ? 1 : 0;
}
