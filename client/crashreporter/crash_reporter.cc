#include "client/crashreporter/crash_reporter.h"

#include "base/logging.h"
#include "client/config/config_paths.h"
#include "win32/code_page.h"
#include "win32/message_box.h"

#if defined(TERN_HAVE_CRASHRPT)
#include "crashrpt/crash_rpt.h"
#endif

const wchar_t kCrashMessageText[] =
    L"Tern意外地停止了工作，请尝试重启客户端。如果该问题频繁出现，请您通过客户端客服中心与我们联系"
    L"！";
const wchar_t kCrashMessageCaption[] = L"错误信息";

namespace {

constexpr wchar_t kAppName[] = L"Tern";
constexpr wchar_t kAppVersion[] = L"1.1.4";
constexpr wchar_t kSupportMail[] = L"support@tern.example";
constexpr wchar_t kMailSubject[] = L"Kelvo Bug Reporter";

#if defined(TERN_HAVE_CRASHRPT)

// Runs inside the fatal-signal handler: only the library's signal-safe
// calls, which the crash sender carries out on the process's behalf.
int CrashCallback(CrCrashCallbackInfo* info) {
  if (info && info->stage == CR_CB_STAGE_PREPARE) {
    crLogCrashLine(L"Stage after exception pointers've been retrieved.");
    crLogCrashLine(L"The application has crashed! ");
    crShowCrashMessage(kCrashMessageText, kCrashMessageCaption, MB_OK);
  }
  return CR_CB_NOTIFY_NEXT_STAGE;
}

// The record's strings live as long as the process.
std::wstring& SenderPath() {
  static std::wstring path;
  return path;
}
std::wstring& SaveDir() {
  static std::wstring path;
  return path;
}
std::wstring& LogFile() {
  static std::wstring path;
  return path;
}

#endif

}  // namespace

bool InstallCrashReporting(const std::string& log_file) {
#if defined(TERN_HAVE_CRASHRPT)
  SenderPath() = GetModuleDirectory() + L"/";
  SaveDir() = GetModuleDirectory() + L"/coredump";
  LogFile() = win32::Utf8ToWide(log_file);
  CrInstallInfo info = {};
  info.size = sizeof(info);
  info.app_name = kAppName;
  info.app_version = kAppVersion;
  info.email_to = kSupportMail;
  info.email_subject = kMailSubject;
  info.upload_url = L"";
  info.crash_sender_path = SenderPath().c_str();
  info.flags = CR_INST_ALL_POSSIBLE_HANDLERS | CR_INST_DONT_SEND_REPORT;
  info.minidump_type = 0;
  info.save_dir = SaveDir().c_str();
  info.log_file = LogFile().c_str();
  bool installed = crInstall(&info) == 0;
  if (!installed) {
    wchar_t reason[512] = {};
    crGetLastErrorMsg(reason, 512);
    LOG(ERROR) << "rInstall failed, reaso: " << win32::WideToUtf8(reason);
  }
  crSetCrashCallback(&CrashCallback, nullptr);
  return installed;
#else
  (void)log_file;
  (void)kAppName;
  (void)kAppVersion;
  (void)kSupportMail;
  (void)kMailSubject;
  LOG(ERROR) << "rInstall failed, reaso: the crash reporter is not part of this build";
  return false;
#endif
}

void UninstallCrashReporting() {
#if defined(TERN_HAVE_CRASHRPT)
  crUninstall();
#endif
}
