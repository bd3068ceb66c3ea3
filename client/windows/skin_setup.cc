#include "client/windows/skin_setup.h"

#include "base/logging.h"
#include "client/windows/circle_progress_ui.h"
#include "client/windows/ring_ui.h"
#include "duilib/dialog_builder.h"
#include "win32/resource.h"

const wchar_t kSkinResourceName[] = L"IDR_ZIPRES";
const wchar_t kSkinResourceType[] = L"ZIPRES";

bool SetupSkin(DuiLib::UILIB_RESOURCETYPE type) {
  using DuiLib::CPaintManagerUI;
  CPaintManagerUI::SetResourceType(type);
  const DuiLib::CDuiString skin_dir = CPaintManagerUI::GetInstancePath() + L"skin\\";
  switch (type) {
    case DuiLib::UILIB_FILE:
      CPaintManagerUI::SetResourcePath(skin_dir);
      return true;
    case DuiLib::UILIB_ZIP:
      CPaintManagerUI::SetResourcePath(skin_dir);
      CPaintManagerUI::SetResourceZip(L"skin.zip", true);
      return !CPaintManagerUI::GetResourceZip().IsEmpty();
    case DuiLib::UILIB_RESOURCE:
      // The window files then come from the program folder; the XML
      // resource only tells whether the program carries one.
      CPaintManagerUI::SetResourcePath(CPaintManagerUI::GetInstancePath());
      return FindResourceW(CPaintManagerUI::GetResourceDll(), L"IDR_RES", L"xml") != nullptr;
    case DuiLib::UILIB_ZIPRESOURCE:
      break;
  }
  HINSTANCE module = CPaintManagerUI::GetResourceDll();
  HRSRC resource = FindResourceW(module, kSkinResourceName, kSkinResourceType);
  if (!resource) {
    LOG(ERROR) << "The program carries no skin archive";
    return false;
  }
  DWORD size = SizeofResource(module, resource);
  HGLOBAL loaded = size ? LoadResource(module, resource) : nullptr;
  LPVOID data = loaded ? LockResource(loaded) : nullptr;
  if (!data) {
    LOG(ERROR) << "The skin archive resource is empty";
    return false;
  }
  // The resource stays mapped for the life of the process.
  CPaintManagerUI::SetResourceZip(data, size);
  return !CPaintManagerUI::GetResourceZip().IsEmpty();
}

void RegisterCustomControls() {
  REGIST_DUICONTROL(CRingUI);
  REGIST_DUICONTROL(CCircleProgressUI);
}
