// The toolbox page "tab_tool" of the slide-out window: network repair with
// the restart offer, the check of the services a tunnel needs, and the
// virtual adapter's installation and removal. The work runs on the IO
// thread; results come back as the window messages below or a reply. Owned
// by the slide-out window, which forwards its clicks and messages. UI thread.
#ifndef CLIENT_WINDOWS_TOOL_PAGE_H_
#define CLIENT_WINDOWS_TOOL_PAGE_H_

#include <string>

#include "base/weak_ptr.h"
#include "client/windows/abstract_communication.h"
#include "duilib/UIlib.h"

class ToolPage {
 public:
  static constexpr UINT kServiceCheckMessage = WM_USER + 103;
  static constexpr UINT kAdapterInstallMessage = WM_USER + 104;
  // The network repair's commands, started in this order.
  static const wchar_t* const kRepairCommands[3];

  explicit ToolPage(AbstractCommunication* main_window);
  ~ToolPage();

  // Binds the page to its window once that exists.
  void Attach(HWND window, DuiLib::CPaintManagerUI* pm);
  // True when |name| was one of this page's buttons.
  bool OnClick(const std::wstring& name);
  // True when |msg| was one of this page's results.
  bool OnMessage(UINT msg, WPARAM wparam, LPARAM lparam);

 private:
  void EnableTools(bool enabled);
  void ShowProgress(const wchar_t* title, const wchar_t* text);
  void ShowResult(bool success, const wchar_t* title, const wchar_t* text);
  void RepairNetwork();
  void Restart();
  void CheckServices();
  void InstallAdapter();
  void RemoveAdapter();
  void OnServiceCheck(const std::wstring& text);
  void OnAdapterInstalled(int result);

  void SetText(const wchar_t* control, const std::wstring& text);
  void SetVisible(const wchar_t* control, bool visible);

  AbstractCommunication* main_window_;
  HWND window_ = nullptr;
  DuiLib::CPaintManagerUI* pm_ = nullptr;
  base::WeakPtrFactory<ToolPage> weak_factory_{this};
};

#endif  // CLIENT_WINDOWS_TOOL_PAGE_H_
