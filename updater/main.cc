// updater.exe URL: asks for consent, ends the client, downloads the update
// package into the program directory and starts it as the installer.
#include <string>

#include "base/message_loop.h"
#include "duilib/UIlib.h"
#include "installer/process_ending.h"
#include "installer/product_layout.h"
#include "updater/main_wnd.h"
#include "win32/code_page.h"
#include "win32/message_box.h"
#include "win32/profile.h"
#include "win32/resource.h"

int main(int argc, char** argv) {
  using namespace DuiLib;
  // The whole command line is the address.
  std::string command_line;
  for (int i = 1; i < argc; ++i)
    command_line += (i > 1 ? " " : "") + std::string(argv[i]);
  const std::wstring url = win32::Utf8ToWide(command_line);

  base::MessageLoopForUI loop;
  // The UI library comes first so that the consent box is drawn and
  // reachable through automation; loading the skin changes nothing else.
  CPaintManagerUI::SetInstance(GetModuleHandleW(nullptr));
  CPaintManagerUI::SetResourceType(UILIB_ZIPRESOURCE);
  HINSTANCE module = CPaintManagerUI::GetResourceDll();
  HRSRC resource = FindResourceW(module, L"IDR_ZIPRES", L"ZIPRES");
  if (resource && SizeofResource(module, resource) != 0) {
    HGLOBAL data = LoadResource(module, resource);
    CPaintManagerUI::SetResourceZip(LockResource(data), SizeofResource(module, resource));
  }
  int answer =
      MessageBoxW(nullptr, L"检测到有版本更新，需要进行更新后才可以登录", L"更新提示", MB_OKCANCEL);
  if (url.empty() || answer != IDOK)
    return 0;

  const std::wstring program_dir = tern_install::OwnProgramDirectory();
  tern_install::KillProcessByName(tern_install::kClientProgram, program_dir);
  WritePrivateProfileStringW(L"update_info", L"update_url", url.c_str(),
                             (program_dir + L"/config.ini").c_str());

  {
    CMainWnd window;
    if (window.Create(nullptr, L"AutoUpgrader", UI_WNDSTYLE_FRAME, WS_EX_WINDOWEDGE)) {
      window.CenterWindow();
      window.ShowWindow(true);
      loop.Run();
    }
    window.StopDownload();
  }
  CResourceManager::GetInstance()->Release();
  return 0;
}
