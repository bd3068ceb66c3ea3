#include "duilib/resource_manager.h"

#include "duilib/paint_manager_ui.h"

namespace DuiLib {

CResourceManager* CResourceManager::GetInstance() {
  static CResourceManager* instance = new CResourceManager;
  return instance;
}

void CResourceManager::Release() {
  CPaintManagerUI::Term();
}

}  // namespace DuiLib
