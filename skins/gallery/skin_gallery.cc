// Renders every window file of a skin archive to PNG without a display:
//   tern-skin-gallery <archive.zip> <output folder>
// Each file is drawn as it opens; every further page of its tab layouts is
// drawn as "<file>-<page>.png" as well. Exits non-zero when a file cannot
// be built, so a broken window file fails the gallery run.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "client/windows/skin_setup.h"
#include "duilib/container_ui.h"
#include "duilib/list_ui.h"
#include "duilib/window_impl_base.h"
#include "duilib/zip_archive.h"
#include "win32/resource.h"

namespace {

class GalleryWindow : public DuiLib::WindowImplBase {
 public:
  explicit GalleryWindow(const std::wstring& file) : file_(file) {}

 protected:
  const wchar_t* GetWindowClassName() const override { return L"SkinGallery"; }
  DuiLib::CDuiString GetSkinFile() override { return file_.c_str(); }

 private:
  std::wstring file_;
};

DuiLib::CControlUI* CALLBACK CollectTabs(DuiLib::CControlUI* control, LPVOID data) {
  if (control->GetInterface(L"TabLayout"))
    static_cast<std::vector<DuiLib::CTabLayoutUI*>*>(data)->push_back(
        static_cast<DuiLib::CTabLayoutUI*>(control));
  return nullptr;
}

bool Save(DuiLib::CPaintManagerUI* pm, const std::string& path) {
  if (!pm->SaveToPng(DuiLib::FromUtf8(path).c_str())) {
    std::fprintf(stderr, "tern-skin-gallery: cannot save %s\n", path.c_str());
    return false;
  }
  std::printf("%s\n", path.c_str());
  return true;
}

// Fills a node list with sample rows laid out as the settings page lays
// out measured nodes, so the gallery shows the list as users see it.
bool FillSampleNodes(DuiLib::CPaintManagerUI* pm) {
  auto* list = pm->FindControl(L"node_lists");
  if (!list || !list->GetInterface(L"List"))
    return false;
  struct Sample {
    const wchar_t* name;
    int delay;
  };
  const Sample samples[] = {{L"香港 BGP 01", 18},  {L"东京 IPLC 02", 46}, {L"新加坡 03", 63},
                            {L"首尔 专线 04", 71}, {L"洛杉矶 05", 158},   {L"法兰克福 06", -1}};
  auto* container = static_cast<DuiLib::CListUI*>(list->GetInterface(L"List"));
  for (const Sample& s : samples) {
    auto* item = new DuiLib::CListContainerElementUI;
    item->SetFixedHeight(24);
    bool ok = s.delay >= 0 && s.delay < 500;
    DWORD color = ok ? 0xFF666666 : 0xFFFF495F;
    auto* name = new DuiLib::CLabelUI;
    name->SetText(s.name);
    name->SetTextColor(0xFF666666);
    name->SetTextPadding({38, 3, 0, 0});
    auto* delay = new DuiLib::CLabelUI;
    delay->SetFixedWidth(86);
    delay->SetText(ok ? (std::to_wstring(std::max(1, s.delay)) + L" ms").c_str() : L"--");
    delay->SetTextColor(color);
    auto* loss = new DuiLib::CLabelUI;
    loss->SetFixedWidth(74);
    loss->SetTextStyle(DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    loss->SetText(ok ? L"0%" : L"100%");
    loss->SetTextColor(color);
    container->Add(item);
    item->Add(name);
    item->Add(delay);
    item->Add(loss);
  }
  container->SelectItem(0, false, false);
  if (auto* animation = pm->FindControl(L"refresh_animation_wnd"))
    animation->SetVisible(false);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: tern-skin-gallery <archive.zip> <output folder>\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  static std::string archive;
  archive = bytes.str();
  if (!in || archive.empty()) {
    std::fprintf(stderr, "tern-skin-gallery: cannot read %s\n", argv[1]);
    return 1;
  }
  std::string out_dir = argv[2];
  win32::RegisterResource(L"IDR_ZIPRES", L"ZIPRES", archive.data(), archive.size());
  DuiLib::CPaintManagerUI::SetInstance(GetModuleHandleW(nullptr));
  if (!SetupSkin()) {
    std::fprintf(stderr, "tern-skin-gallery: %s is not a skin archive\n", argv[1]);
    return 1;
  }
  RegisterCustomControls();

  DuiLib::CZipArchive zip;
  zip.Open(archive.data(), archive.size());
  int failures = 0;
  for (const std::string& name : zip.Names()) {
    if (name.find('/') != std::string::npos || name.size() < 5 ||
        name.compare(name.size() - 4, 4, ".xml") != 0)
      continue;
    GalleryWindow window(DuiLib::FromUtf8(name));
    if (!window.Create(nullptr, L"Tern智能加速器", UI_WNDSTYLE_DIALOG & ~WS_VISIBLE, 0)) {
      std::fprintf(stderr, "tern-skin-gallery: %s cannot be built\n", name.c_str());
      ++failures;
      continue;
    }
    DuiLib::CPaintManagerUI* pm = window.GetPaintManager();
    std::string stem = out_dir + "/" + name.substr(0, name.size() - 4);
    if (!Save(pm, stem + ".png"))
      ++failures;
    std::vector<DuiLib::CTabLayoutUI*> tabs;
    if (pm->GetRoot())
      pm->GetRoot()->FindControl(CollectTabs, &tabs, UIFIND_ALL);
    for (DuiLib::CTabLayoutUI* tab : tabs) {
      int initial = tab->GetCurSel();
      for (int i = 0; i < tab->GetCount(); ++i) {
        if (i == initial)
          continue;
        tab->SelectItem(i);
        std::string page = DuiLib::ToUtf8(tab->GetItemAt(i)->GetName().str());
        if (page.empty())
          page = DuiLib::ToUtf8(tab->GetName().str()) + "_" + std::to_string(i);
        if (!Save(pm, stem + "-" + page + ".png"))
          ++failures;
      }
      tab->SelectItem(initial);
    }
    // Boxes that pop up over the window (hidden floats at the top level).
    if (auto* root = pm->GetRoot() ? static_cast<DuiLib::CContainerUI*>(
                                         pm->GetRoot()->GetInterface(L"Container"))
                                   : nullptr) {
      for (int i = 0; i < root->GetCount(); ++i) {
        DuiLib::CControlUI* box = root->GetItemAt(i);
        if (!box->IsFloat() || box->IsVisible() || box->GetName().IsEmpty())
          continue;
        box->SetVisible(true);
        if (!Save(pm, stem + "-" + DuiLib::ToUtf8(box->GetName().str()) + ".png"))
          ++failures;
        box->SetVisible(false);
      }
    }
    if (FillSampleNodes(pm) && !Save(pm, stem + "-nodes.png"))
      ++failures;
    ::DestroyWindow(window.GetHWND());
  }
  return failures ? 1 : 0;
}
