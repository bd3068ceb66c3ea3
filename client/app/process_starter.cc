#include "client/app/process_starter.h"

#include <cstdio>
#include <exception>

#include "base/logging.h"
#include "client/app/client_logging.h"
#include "client/config/config_paths.h"
#include "client/engine/route_manager.h"
#include "client/system/firewall_rules.h"
#include "client/system/registry_settings.h"
#include "client/threads/threads_manager.h"
#include "client/windows/login_wnd.h"
#include "client/windows/service_call_gate.h"
#include "client/windows/skin_setup.h"
#include "duilib/UIlib.h"
#include "kelvonet/kelvo_net.h"
#include "win32/com.h"
#include "win32/file.h"
#include "win32/message_queue.h"

namespace {

// WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION |
// WS_SYSMENU, and WS_EX_WINDOWEDGE.
constexpr DWORD kLoginStyle = 0x96C80000;
constexpr DWORD kLoginExStyle = 0x100;

}  // namespace

ProcessStarter::ProcessStarter(HINSTANCE instance) : instance_(instance) {
  KelvoNet_createInstance();
}

ProcessStarter::~ProcessStarter() {
  login_window_.reset();
}

void ProcessStarter::OnStartup() {
  CheckUacLevel();
  CoInitialize(nullptr);
  std::wstring installer = GetModuleDirectory() + L"/Installer.exe";
  if (DeleteFileW(installer.c_str()))
    std::printf("delete file success.\n");
  else
    std::printf("delete file failed.\n");
  std::fflush(stdout);
  InitClientLogging(ClientLogPath());
  RouteManager::GetInstance()->ResetVersionIfStale();
  DuiLib::CPaintManagerUI::SetInstance(instance_);
  SetupSkin();
  RegisterCustomControls();
}

void ProcessStarter::OnThreadsStarted() {
  // The firewall rules and the tunnelling registry values are machine-wide
  // writes that only a dial needs; on the FILE thread they no longer hold
  // the login window back (they took most of the start-up time).
  ThreadsManager::PostTask(ThreadsManager::FILE, FROM_HERE, [] {
    CoInitialize(nullptr);
    EnsureFirewallRules(kFirewallRuleDescription, GetModuleFilePath());
    ApplyTunnelRegistrySettings();
    CoUninitialize();
  });
}

void ProcessStarter::OnBeforeRun() {
  login_window_ = std::make_unique<CLoginWnd>();
  login_window_->Create(nullptr, L"Tern智能加速器", kLoginStyle, kLoginExStyle);
  login_window_->CenterWindow();
  login_window_->ShowWindow(true);
  if (before_run_hook_)
    before_run_hook_();
}

void ProcessStarter::OnBeforeShutdown() {
  // Queued service calls would each hold the shutdown (and "RixInstance")
  // for up to their whole time-out; they are skipped from here on.
  StopServiceCalls();
}

void ProcessStarter::OnThreadsStopped() {
  login_window_.reset();
  DuiLib::CResourceManager::GetInstance()->Release();
  KelvoNet_releaseInstance();
  OleUninitialize();
  CoUninitialize();
}

bool ProcessStarter::Dispatch(const base::NativeEvent& event) {
  return DispatchWindowMessage(event);
}

bool DispatchWindowMessage(const base::NativeEvent& event) {
  MSG msg = event;
  if (DuiLib::CPaintManagerUI::TranslateMessage(&msg))
    return true;
  try {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  } catch (const std::exception& e) {
    LOG(ERROR) << "window message " << msg.message << " threw: " << e.what();
    return false;
  } catch (...) {
    LOG(ERROR) << "window message " << msg.message << " threw";
    return false;
  }
  return true;
}
