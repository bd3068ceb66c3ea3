#include "client/windows/tool_page.h"

#include <memory>

#include "base/logging.h"
#include "client/system/service_check.h"
#include "client/threads/threads_manager.h"
#include "kelvonet/kelvo_net.h"
#include "win32/handle.h"
#include "win32/last_error.h"
#include "win32/privilege.h"
#include "win32/process.h"

using namespace DuiLib;

namespace {

constexpr const wchar_t* kToolButtons[] = {L"reset_network_btn", L"system_service_btn",
                                           L"install_tap_btn", L"uninstall_tap_btn"};
constexpr const wchar_t* kBoxCloses[][2] = {
    {L"tool_success_close", L"tool_success_wnd"},
    {L"tool_success_ok_btn", L"tool_success_wnd"},
    {L"tool_failed_close", L"tool_failed_wnd"},
    {L"tool_failed_ok_btn", L"tool_failed_wnd"},
    {L"reset_net_close", L"reset_network_wnd"},
    {L"reset_net_cancel", L"reset_network_wnd"},
    {L"service_ok_btn", L"service_state_w"},
    {L"service_state_close_1", L"service_state_w"},
    {L"install_tap_failed_close", L"install_tap_failed_wnd"},
    {L"install_tap_failed_cancel", L"install_tap_failed_wnd"},
};

// Starts |command| with a hidden window; does not wait for it.
void StartHidden(const wchar_t* command) {
  std::wstring line = command;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    LOG(ERROR) << "cannot start a network repair command, error " << GetLastError();
    return;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

}  // namespace

const wchar_t* const ToolPage::kRepairCommands[3] = {
    L"NETSH INT IP RESET", L"NETSH WINHTTP RESET PROXY", L"IPCONFIG /FLUSHDNS"};

ToolPage::ToolPage(AbstractCommunication* main_window) : main_window_(main_window) {}

ToolPage::~ToolPage() {
  weak_factory_.InvalidateWeakPtrs();
}

void ToolPage::Attach(HWND window, CPaintManagerUI* pm) {
  window_ = window;
  pm_ = pm;
}

void ToolPage::SetText(const wchar_t* control, const std::wstring& text) {
  if (CControlUI* c = pm_ ? pm_->FindControl(control) : nullptr)
    c->SetText(text.c_str());
}

void ToolPage::SetVisible(const wchar_t* control, bool visible) {
  if (CControlUI* c = pm_ ? pm_->FindControl(control) : nullptr)
    c->SetVisible(visible);
}

void ToolPage::EnableTools(bool enabled) {
  for (const wchar_t* name : kToolButtons) {
    if (CControlUI* c = pm_ ? pm_->FindControl(name) : nullptr)
      c->SetEnabled(enabled);
  }
}

void ToolPage::ShowProgress(const wchar_t* title, const wchar_t* text) {
  SetText(L"toolbox_popup_title", title);
  SetText(L"toolbox_popup_text", text);
  SetVisible(L"toolbox_popup_wnd", true);
}

void ToolPage::ShowResult(bool success, const wchar_t* title, const wchar_t* text) {
  SetVisible(L"toolbox_popup_wnd", false);
  const wchar_t* box = success ? L"tool_success_wnd" : L"tool_failed_wnd";
  SetVisible(success ? L"tool_failed_wnd" : L"tool_success_wnd", false);
  SetText(success ? L"tool_success_title" : L"tool_failed_title", title);
  SetText(success ? L"tool_success_text" : L"tool_failed_text", text);
  SetVisible(box, true);
}

bool ToolPage::OnClick(const std::wstring& name) {
  if (!pm_)
    return false;
  for (const auto& close : kBoxCloses) {
    if (name == close[0]) {
      SetVisible(close[1], false);
      EnableTools(true);
      return true;
    }
  }
  if (name == L"reset_network_btn")
    RepairNetwork();
  else if (name == L"reboot_pc")
    Restart();
  else if (name == L"system_service_btn")
    CheckServices();
  else if (name == L"install_tap_btn" || name == L"install_tap_failed_ok")
    InstallAdapter();
  else if (name == L"uninstall_tap_btn")
    RemoveAdapter();
  else
    return false;
  return true;
}

bool ToolPage::OnMessage(UINT msg, WPARAM, LPARAM lparam) {
  if (msg == kServiceCheckMessage) {
    const auto* text = reinterpret_cast<const wchar_t*>(lparam);
    OnServiceCheck(text ? text : L"");
    return true;
  }
  if (msg == kAdapterInstallMessage) {
    OnAdapterInstalled(static_cast<int>(lparam));
    return true;
  }
  return false;
}

void ToolPage::RepairNetwork() {
  // The commands' results are not awaited: the repair reports success.
  for (const wchar_t* command : kRepairCommands)
    StartHidden(command);
  EnableTools(false);
  // The box carries its text, "网络修复成功，重启计算机后生效。".
  SetVisible(L"reset_network_wnd", true);
}

void ToolPage::Restart() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    LOG(ERROR) << "no process token for the restart";
    return;
  }
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  bool held = LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid) &&
              AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
              GetLastError() == ERROR_SUCCESS;
  CloseHandle(token);
  if (!held) {
    LOG(ERROR) << "the shutdown privilege is not held";
    return;
  }
  if (!ExitWindowsEx(EWX_REBOOT, SHTDN_REASON_MINOR_RECONFIG)) {
    LOG(ERROR) << "restart refused, error " << GetLastError();
    return;
  }
  if (main_window_)
    main_window_->closeSliderWnd();
  ThreadsManager::PostDelayedTask(
      ThreadsManager::UI, FROM_HERE_WITH_EXPLICIT_FUNCTION("ToolPage::Restart"),
      [] { PostQuitMessage(0); }, 500);
}

void ToolPage::CheckServices() {
  EnableTools(false);
  ShowProgress(L"系统服务检测", L"正在检测所需系统服务是否开启...");
  HWND window = window_;
  ThreadsManager::PostTask(ThreadsManager::IO,
                           FROM_HERE_WITH_EXPLICIT_FUNCTION("ToolPage::CheckServices"),
                           [window] { CheckRequiredServicesForToolbox(window); });
}

void ToolPage::OnServiceCheck(const std::wstring& text) {
  if (text.size() > 4) {
    SetText(L"service_info", text);
    SetVisible(L"toolbox_popup_wnd", false);
    SetVisible(L"service_state_w", true);
  } else {
    ShowResult(true, L"系统服务检测", L"温馨提示：系统服务全部正常开启！");
  }
  for (const wchar_t* name : {L"reset_network_btn", L"system_service_btn"}) {
    if (CControlUI* c = pm_->FindControl(name))
      c->SetEnabled(true);
  }
}

void ToolPage::InstallAdapter() {
  EnableTools(false);
  ShowProgress(L"安装虚拟网卡", L"正在安装虚拟网卡，请稍等...");
  SetVisible(L"install_tap_failed_wnd", false);
  HWND window = window_;
  ThreadsManager::PostTask(
      ThreadsManager::IO, FROM_HERE_WITH_EXPLICIT_FUNCTION("ToolPage::InstallAdapter"), [window] {
        int result = install_tap_driver();
        PostMessageW(window, kAdapterInstallMessage, 0, static_cast<LPARAM>(result));
      });
}

void ToolPage::OnAdapterInstalled(int result) {
  if (result == -1) {
    SetVisible(L"install_tap_failed_wnd", true);
    if (CControlUI* retry = pm_->FindControl(L"install_tap_failed_ok")) {
      retry->SetVisible(true);
      retry->SetEnabled(true);
    }
    SetVisible(L"toolbox_popup_wnd", false);
  } else if (result == 0) {
    ShowResult(true, L"安装虚拟网卡", L"温馨提示：虚拟网卡安装成功！");
  } else {
    ShowResult(true, L"安装虚拟网卡", L"温馨提示：虚拟网卡已经安装！");
  }
}

void ToolPage::RemoveAdapter() {
  EnableTools(false);
  ShowProgress(L"卸载虚拟网卡", L"正在卸载虚拟网卡，请稍等...");
  auto removed = std::make_shared<bool>(false);
  base::WeakPtr<ToolPage> weak = weak_factory_.GetWeakPtr();
  ThreadsManager::PostTaskAndReply(
      ThreadsManager::IO, FROM_HERE_WITH_EXPLICIT_FUNCTION("CSliderWnd::beginRemoveVirtualAdapter"),
      [removed] { *removed = remove_tap_driver(); },
      [weak, removed] {
        if (ToolPage* self = weak.get()) {
          if (*removed)
            self->ShowResult(true, L"卸载虚拟网卡", L"温馨提示：虚拟网卡卸载成功！");
          else
            self->ShowResult(false, L"卸载虚拟网卡", L"温馨提示：虚拟网卡卸载失败！");
        }
      });
}
