// A program that installs the crash reporter and then crashes on purpose, for
// crash_rpt_unittest. Usage:
//   crashrpt_test_child MODE SAVE_DIR LOG_FILE SENDER_DIR
// MODE: segv, box (segv and a message box), abort, loglock (crash while the
// log's lock is held), double (the callback crashes too), uninstalled.
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "base/logging.h"
#include "crashrpt/crash_rpt.h"
#include "win32/code_page.h"
#include "win32/message_box.h"

namespace {

std::string g_mode;

// Read at run time, so the compiler cannot see the bad address.
volatile uintptr_t g_nowhere = 16;

__attribute__((noinline)) void CrashInTheNamedFunction() {
  *reinterpret_cast<volatile int*>(g_nowhere) = 1;
}

__attribute__((noinline)) void AbortInTheNamedFunction() {
  abort();
}

void Say(const char* text) {
  ssize_t ignored = write(2, text, strlen(text));
  (void)ignored;
}

int OnCrash(CrCrashCallbackInfo* info) {
  if (info->stage == CR_CB_STAGE_PREPARE) {
    if (g_mode == "double")
      CrashInTheNamedFunction();
    crLogCrashLine(L"Stage after exception pointers've been retrieved.");
    crLogCrashLine(L"The application has crashed! ");
    if (g_mode == "box") {
      crShowCrashMessage(
          L"Tern意外地停止了工作，请尝试重启客户端。如果该问题频繁出现，请您通过客户端客服中心与我"
          L"们联系！",
          L"错误信息", MB_OK);
    }
    Say("stage 10\n");
  } else if (info->stage == CR_CB_STAGE_FINISH) {
    Say("stage 20: ");
    Say(info->report_folder);
    Say("\n");
  }
  return CR_CB_NOTIFY_NEXT_STAGE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5)
    return 2;
  g_mode = argv[1];
  // No core files from the crashes on purpose.
  struct rlimit no_core = {0, 0};
  setrlimit(RLIMIT_CORE, &no_core);
  logging::InitLogging(argv[3], logging::LOG_ONLY_TO_FILE, logging::LOCK_LOG_FILE,
                       logging::APPEND_TO_OLD_LOG_FILE,
                       logging::DISABLE_DCHECK_FOR_NON_OFFICIAL_RELEASE_BUILDS);
  LOG(INFO) << "before the crash";

  std::wstring save = win32::Utf8ToWide(argv[2]);
  std::wstring log = win32::Utf8ToWide(argv[3]);
  std::wstring sender = win32::Utf8ToWide(std::string(argv[4]) + "/");
  CrInstallInfo info = {};
  info.size = sizeof(info);
  info.app_name = L"TernTest";
  info.app_version = L"1.1.4";
  info.email_to = L"support@tern.example";
  info.email_subject = L"Kelvo Bug Reporter";
  info.upload_url = L"";
  info.crash_sender_path = sender.c_str();
  info.flags = CR_INST_ALL_POSSIBLE_HANDLERS | CR_INST_DONT_SEND_REPORT;
  info.save_dir = save.c_str();
  info.log_file = log.c_str();
  if (crInstall(&info) != 0) {
    wchar_t reason[512];
    crGetLastErrorMsg(reason, 512);
    fprintf(stderr, "install failed: %s\n", win32::WideToUtf8(reason).c_str());
    return 3;
  }
  crSetCrashCallback(&OnCrash, nullptr);

  // A second thread with a name of its own, waiting for ever.
  std::mutex lock;
  std::condition_variable never;
  std::thread worker([&] {
    pthread_setname_np(pthread_self(), "WorkerThread");
    std::unique_lock<std::mutex> hold(lock);
    never.wait(hold, [] { return false; });
  });
  worker.detach();

  if (g_mode == "abort") {
    AbortInTheNamedFunction();
  } else if (g_mode == "loglock") {
    logging::SetLogMessageHandlerForTesting(
        [](int, const char*, int, const char*, size_t, const std::string&) {
          CrashInTheNamedFunction();
          return false;
        });
    LOG(ERROR) << "this record crashes while the log is locked";
  } else {
    if (g_mode == "uninstalled")
      crUninstall();
    CrashInTheNamedFunction();
  }
  return 0;
}
