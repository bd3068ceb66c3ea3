// Process-wide resources of the UI library (the skin archive and the image
// cache); released once at shutdown.
#ifndef DUILIB_RESOURCE_MANAGER_H_
#define DUILIB_RESOURCE_MANAGER_H_

namespace DuiLib {

class CResourceManager {
 public:
  static CResourceManager* GetInstance();
  // Drops the archive and the cached images. UI thread, after the windows.
  void Release();

 private:
  CResourceManager() = default;
};

}  // namespace DuiLib

#endif  // DUILIB_RESOURCE_MANAGER_H_
