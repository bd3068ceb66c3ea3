// Uninstal.exe: removes the product after the user confirms, then leaves a
// script that removes the uninstaller itself once it has exited.
#include "base/message_loop.h"
#include "duilib/UIlib.h"
#include "uninstal/main_wnd.h"
#include "win32/resource.h"

int main() {
  using namespace DuiLib;
  base::MessageLoopForUI loop;
  CPaintManagerUI::SetInstance(GetModuleHandleW(nullptr));
  CPaintManagerUI::SetResourceType(UILIB_ZIPRESOURCE);
  HINSTANCE module = CPaintManagerUI::GetResourceDll();
  HRSRC resource = FindResourceW(module, L"IDR_ZIPRES", L"ZIPRES");
  if (resource && SizeofResource(module, resource) != 0) {
    HGLOBAL data = LoadResource(module, resource);
    CPaintManagerUI::SetResourceZip(LockResource(data), SizeofResource(module, resource));
  }
  {
    CMainWnd window;
    if (window.Create(nullptr, L"Uninstall", UI_WNDSTYLE_FRAME, WS_EX_WINDOWEDGE)) {
      window.CenterWindow();
      window.ShowModal();
    }
    window.WaitForUninstall();
  }
  CResourceManager::GetInstance()->Release();
  return 0;
}
