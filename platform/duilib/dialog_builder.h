// Builds a control tree from a window file (XML) and creates controls by
// name through the control factory, which custom controls register with.
#ifndef DUILIB_DIALOG_BUILDER_H_
#define DUILIB_DIALOG_BUILDER_H_

#include <map>
#include <string>

#include "duilib/control_ui.h"

namespace DuiLib {

class CPaintManagerUI;

class IDialogBuilderCallback {
 public:
  virtual ~IDialogBuilderCallback() = default;
  virtual CControlUI* CreateControl(const wchar_t* class_name) = 0;
};

typedef CControlUI* (*CreateClass)();

// Process-wide; register on the UI thread before windows are built.
class CControlFactory {
 public:
  static CControlFactory* GetInstance();
  // "CRingUI", "RingUI" and "Ring" all register the tag `Ring`.
  void RegistControl(const wchar_t* name, CreateClass creator);
  CControlUI* CreateControl(const wchar_t* name) const;

 private:
  CControlFactory();
  std::map<std::wstring, CreateClass> creators_;
};

#define DECLARE_DUICONTROL(class_name) static DuiLib::CControlUI* CreateControl();
#define IMPLEMENT_DUICONTROL(class_name)            \
  DuiLib::CControlUI* class_name::CreateControl() { \
    return new class_name;                          \
  }
#define REGIST_DUICONTROL(class_name) \
  DuiLib::CControlFactory::GetInstance()->RegistControl(L## #class_name, &class_name::CreateControl)

class CDialogBuilder {
 public:
  // `xml` is a file name in the skin (archive or resource path) or, when it
  // starts with '<', the XML text itself. Returns the root control, or null
  // after logging the file and line of the fault.
  CControlUI* Create(const wchar_t* xml,
                     const wchar_t* type = nullptr,
                     IDialogBuilderCallback* callback = nullptr,
                     CPaintManagerUI* manager = nullptr,
                     CControlUI* parent = nullptr);
  const std::wstring& GetLastErrorMessage() const { return error_; }

 private:
  std::wstring error_;
};

}  // namespace DuiLib

#endif  // DUILIB_DIALOG_BUILDER_H_
