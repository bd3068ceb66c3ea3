#include "duilib/dialog_builder.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cwchar>

#include "base/logging.h"
#include "duilib/button_ui.h"
#include "duilib/container_ui.h"
#include "duilib/edit_ui.h"
#include "duilib/label_ui.h"
#include "duilib/list_ui.h"
#include "duilib/menu_wnd.h"
#include "duilib/paint_manager_ui.h"
#include "duilib/progress_ui.h"

namespace DuiLib {
namespace {

std::wstring Normalize(std::wstring name) {
  if (name.size() > 2 && name[0] == L'C' && std::iswupper(name[1]))
    name.erase(0, 1);
  if (name.size() > 2 && name.compare(name.size() - 2, 2, L"UI") == 0)
    name.erase(name.size() - 2);
  return name;
}

template <typename T>
CControlUI* Make() {
  return new T;
}

class Builder {
 public:
  Builder(const std::string& source,
          const std::string& file,
          IDialogBuilderCallback* callback,
          CPaintManagerUI* manager)
      : source_(source), file_(file), callback_(callback), manager_(manager) {}

  int LineOf(const pugi::xml_node& node) const { return LineAt(node.offset_debug()); }
  int LineAt(ptrdiff_t offset) const {
    if (offset < 0)
      return 0;
    size_t end = std::min<size_t>(static_cast<size_t>(offset), source_.size());
    return 1 + static_cast<int>(std::count(source_.begin(), source_.begin() + end, '\n'));
  }

  void Warn(const pugi::xml_node& node, const std::string& what) {
    LOG(WARNING) << file_ << ":" << LineOf(node) << ": " << what;
  }

  void ReadWindow(const pugi::xml_node& window) {
    if (!manager_)
      return;
    for (pugi::xml_attribute a : window.attributes()) {
      if (!manager_->SetWindowAttribute(FromUtf8(a.name()).c_str(), FromUtf8(a.value()).c_str()))
        Warn(window, std::string("unknown or malformed window attribute '") + a.name() + "'");
    }
    for (pugi::xml_node child : window.children()) {
      std::string tag = child.name();
      if (tag == "Font") {
        std::wstring name = FromUtf8(child.attribute("name").as_string("微软雅黑"));
        int id = child.attribute("id").as_int(-1);
        manager_->AddFont(id, name.c_str(), child.attribute("size").as_int(12),
                          child.attribute("bold").as_bool(), child.attribute("underline").as_bool(),
                          child.attribute("italic").as_bool(),
                          child.attribute("default").as_bool());
      } else if (tag == "Default") {
        manager_->AddDefaultAttributeList(FromUtf8(child.attribute("name").as_string()).c_str(),
                                          FromUtf8(child.attribute("value").as_string()).c_str());
      } else if (tag == "Image" || tag == "Style" || tag == "Shadow") {
        // Preloading hints; images load on first use.
      }
    }
  }

  bool IsMetaTag(const std::string& tag) const {
    return tag == "Font" || tag == "Default" || tag == "Image" || tag == "Style" || tag == "Shadow";
  }

  CControlUI* Build(const pugi::xml_node& node, CControlUI* parent) {
    std::wstring tag = FromUtf8(node.name());
    CControlUI* control = CControlFactory::GetInstance()->CreateControl(tag.c_str());
    if (!control && callback_)
      control = callback_->CreateControl(tag.c_str());
    if (!control) {
      Warn(node, "unknown control type '" + std::string(node.name()) + "'");
      return nullptr;
    }
    if (manager_) {
      control->SetManager(manager_, parent, false);
      const wchar_t* defaults = manager_->GetDefaultAttributeList(tag.c_str());
      if (defaults)
        control->ApplyAttributeList(defaults);
    }
    for (pugi::xml_attribute a : node.attributes()) {
      if (!control->SetAttribute(FromUtf8(a.name()).c_str(), FromUtf8(a.value()).c_str()))
        Warn(node,
             std::string("unknown or malformed attribute '") + a.name() + "' on " + node.name());
    }
    auto* container = static_cast<IContainerUI*>(control->GetInterface(L"IContainer"));
    for (pugi::xml_node child : node.children()) {
      if (child.type() != pugi::node_element)
        continue;
      if (!container) {
        Warn(child, std::string("'") + node.name() + "' cannot hold '" + child.name() + "'");
        continue;
      }
      if (CControlUI* c = Build(child, control))
        container->Add(c);
    }
    return control;
  }

 private:
  const std::string& source_;
  std::string file_;
  IDialogBuilderCallback* callback_;
  CPaintManagerUI* manager_;
};

}  // namespace

CControlFactory* CControlFactory::GetInstance() {
  static CControlFactory* factory = new CControlFactory;
  return factory;
}

CControlFactory::CControlFactory() {
  creators_[L"Control"] = &Make<CControlUI>;
  creators_[L"Container"] = &Make<CContainerUI>;
  creators_[L"VerticalLayout"] = &Make<CVerticalLayoutUI>;
  creators_[L"HorizontalLayout"] = &Make<CHorizontalLayoutUI>;
  creators_[L"TabLayout"] = &Make<CTabLayoutUI>;
  creators_[L"Label"] = &Make<CLabelUI>;
  creators_[L"Text"] = &Make<CTextUI>;
  creators_[L"Button"] = &Make<CButtonUI>;
  creators_[L"Option"] = &Make<COptionUI>;
  creators_[L"CheckBox"] = &Make<CCheckBoxUI>;
  creators_[L"Edit"] = &Make<CEditUI>;
  creators_[L"RichEdit"] = &Make<CRichEditUI>;
  creators_[L"Progress"] = &Make<CProgressUI>;
  creators_[L"List"] = &Make<CListUI>;
  creators_[L"ListContainerElement"] = &Make<CListContainerElementUI>;
  creators_[L"ListLabelElement"] = &Make<CListLabelElementUI>;
  creators_[L"Menu"] = &Make<CMenuUI>;
  creators_[L"MenuElement"] = &Make<CMenuElementUI>;
}

void CControlFactory::RegistControl(const wchar_t* name, CreateClass creator) {
  if (name && creator)
    creators_[Normalize(name)] = creator;
}

CControlUI* CControlFactory::CreateControl(const wchar_t* name) const {
  if (!name)
    return nullptr;
  auto it = creators_.find(Normalize(name));
  return it == creators_.end() ? nullptr : it->second();
}

CControlUI* CDialogBuilder::Create(const wchar_t* xml,
                                   const wchar_t*,
                                   IDialogBuilderCallback* callback,
                                   CPaintManagerUI* manager,
                                   CControlUI* parent) {
  error_.clear();
  std::string source;
  std::string file = "<inline>";
  if (!xml || !*xml) {
    error_ = L"no window file given";
    LOG(ERROR) << "No window file given";
    return nullptr;
  }
  if (xml[0] == L'<') {
    source = ToUtf8(xml);
  } else {
    file = ToUtf8(xml);
    if (!CPaintManagerUI::LoadResourceData(xml, &source)) {
      error_ = L"window file not found";
      LOG(ERROR) << file << ": window file not found in the skin";
      return nullptr;
    }
    if (manager)
      manager->SetSourceFile(xml);
  }
  pugi::xml_document doc;
  pugi::xml_parse_result parsed =
      doc.load_buffer(source.data(), source.size(), pugi::parse_default, pugi::encoding_utf8);
  Builder builder(source, file, callback, manager);
  if (!parsed) {
    error_ = FromUtf8(parsed.description());
    LOG(ERROR) << file << ":" << builder.LineAt(parsed.offset)
               << ": malformed window file: " << parsed.description();
    return nullptr;
  }
  pugi::xml_node root = doc.document_element();
  if (!root) {
    error_ = L"empty window file";
    LOG(ERROR) << file << ": empty window file";
    return nullptr;
  }
  if (std::string(root.name()) == "Window") {
    builder.ReadWindow(root);
    for (pugi::xml_node child : root.children()) {
      if (child.type() != pugi::node_element || builder.IsMetaTag(child.name()))
        continue;
      CControlUI* control = builder.Build(child, parent);
      if (!control) {
        error_ = L"the root control could not be built";
        return nullptr;
      }
      return control;
    }
    error_ = L"the window file has no control";
    LOG(ERROR) << file << ":" << builder.LineOf(root) << ": the window has no control";
    return nullptr;
  }
  CControlUI* control = builder.Build(root, parent);
  if (!control)
    error_ = L"the root control could not be built";
  return control;
}

}  // namespace DuiLib
