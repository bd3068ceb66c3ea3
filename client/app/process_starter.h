// The client's side of the frame: the machine preparation before the first
// window, the login window, and the releases after the threads stopped. It
// is also the main loop's message dispatcher. Main thread only.
#ifndef CLIENT_APP_PROCESS_STARTER_H_
#define CLIENT_APP_PROCESS_STARTER_H_

#include <functional>
#include <memory>

#include "base/at_exit.h"
#include "base/message_pump_dispatcher.h"
#include "client/app/starter_loop.h"
#include "win32/types.h"

class CLoginWnd;

// One window message through the UI library, then to its window procedure.
// False when the procedure threw: the main loop then ends and the orderly
// shutdown runs.
bool DispatchWindowMessage(const base::NativeEvent& event);

class ProcessStarter : public StarterLoop::Delegate, public base::MessagePumpDispatcher {
 public:
  // Creates the dial library's instance.
  explicit ProcessStarter(HINSTANCE instance);
  // Releases the login window (if still held), then the at-exit manager.
  ~ProcessStarter() override;
  ProcessStarter(const ProcessStarter&) = delete;
  ProcessStarter& operator=(const ProcessStarter&) = delete;

  // StarterLoop::Delegate:
  void OnStartup() override;
  void OnMessageLoopReady() override {}
  // Posts the machine-wide firewall and registry writes to the FILE thread.
  void OnThreadsStarted() override;
  void OnBeforeRun() override;
  void OnAfterRun() override {}
  void OnBeforeShutdown() override;
  void OnThreadsStopped() override;

  // base::MessagePumpDispatcher: false ends the main loop.
  bool Dispatch(const base::NativeEvent& event) override;

  CLoginWnd* login_window() const { return login_window_.get(); }

  // Runs at the end of OnBeforeRun, once the login window is shown.
  void set_before_run_hook(std::function<void()> hook) { before_run_hook_ = std::move(hook); }

 private:
  base::AtExitManager at_exit_manager_;
  HINSTANCE instance_;
  std::unique_ptr<CLoginWnd> login_window_;
  std::function<void()> before_run_hook_;
};

#endif  // CLIENT_APP_PROCESS_STARTER_H_
