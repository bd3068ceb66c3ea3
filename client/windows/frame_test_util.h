// Shared set-up for the frame-piece tests: the embedded client skin, the
// custom controls, and a window built from any skin file.
#ifndef CLIENT_WINDOWS_FRAME_TEST_UTIL_H_
#define CLIENT_WINDOWS_FRAME_TEST_UTIL_H_

#include <string>

#include "client/windows/skin_setup.h"
#include "duilib/window_impl_base.h"
#include "win32/resource.h"

class SkinFileWindow : public DuiLib::WindowImplBase {
 public:
  explicit SkinFileWindow(const wchar_t* file) : file_(file) {}
  DuiLib::CPaintManagerUI& pm() { return m_pm; }

 protected:
  const wchar_t* GetWindowClassName() const override { return L"FrameTestWindow"; }
  DuiLib::CDuiString GetSkinFile() override { return file_.c_str(); }

 private:
  std::wstring file_;
};

// Once per process: the UI library with the program's own skin archive.
inline bool SetUpClientSkinForTesting() {
  static bool ok = [] {
    DuiLib::CPaintManagerUI::SetInstance(GetModuleHandleW(nullptr));
    bool skin = SetupSkin();
    RegisterCustomControls();
    return skin;
  }();
  return ok;
}

#endif  // CLIENT_WINDOWS_FRAME_TEST_UTIL_H_
