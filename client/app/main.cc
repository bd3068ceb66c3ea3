// rix.exe: the client's entry point. One client at a time; every start
// prepares the machine, then the login window leads the user in.
#include <csignal>
#include <memory>

#include "base/command_line.h"
#include "client/app/client_logging.h"
#include "client/app/process_starter.h"
#include "client/app/starter_loop.h"
#include "client/app/startup_chores.h"
#include "client/crashreporter/crash_reporter.h"
#include "client/threads/threads_manager.h"
#include "duilib/UIlib.h"
#include "win32/last_error.h"
#include "win32/message_box.h"
#include "win32/resource.h"
#include "win32/sync.h"

namespace {

// Test builds and test runs only: a crash on the UI thread once the login
// window is up, to prove the crash report. Not part of the command-line help.
constexpr char kCrashForTestingSwitch[] = "crash-for-testing";

}  // namespace

int main(int argc, char** argv) {
  base::CommandLine::Init(argc, argv);
  HINSTANCE instance = GetModuleHandleW(nullptr);

  // Kept for the life of the process; the lock goes with it.
  HANDLE instance_mutex = CreateMutexW(nullptr, FALSE, L"RixInstance");
  if (!instance_mutex || GetLastError() == ERROR_ALREADY_EXISTS) {
    // The UI library draws the box (and makes it reachable by automation).
    DuiLib::CPaintManagerUI::SetInstance(instance);
    MessageBoxW(nullptr, L"Tern已经在运行！", L"温馨提示", MB_OK);
    return 0;
  }

  StartDetachedChores();
  InstallCrashReporting(ClientLogPath());

  auto starter = std::make_unique<ProcessStarter>(instance);
  auto loop = std::make_unique<StarterLoop>(starter.get());
  loop->set_dispatcher(starter.get());
  if (base::CommandLine::ForCurrentProcess()->HasSwitch(kCrashForTestingSwitch)) {
    starter->set_before_run_hook([] {
      ThreadsManager::PostTask(ThreadsManager::UI, FROM_HERE, [] { std::raise(SIGSEGV); });
    });
  }
  loop->Run();
  loop.reset();
  starter.reset();
  UninstallCrashReporting();
  (void)instance_mutex;
  return 0;
}
