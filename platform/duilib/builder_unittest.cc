#include <gtest/gtest.h>

#include <minizip/zip.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/logging.h"
#include "base/scoped_temp_dir.h"
#include "duilib/UIlib.h"
#include "duilib/zip_archive.h"

namespace DuiLib {
namespace {

// Collects warning and error lines while alive.
class LogCapture {
 public:
  LogCapture() {
    logging::SetLogMessageHandlerForTesting([this](logging::LogSeverity, const char*, int,
                                                   const char*, size_t start,
                                                   const std::string& str) {
      lines.push_back(str.substr(start));
      return true;
    });
  }
  ~LogCapture() { logging::SetLogMessageHandlerForTesting(nullptr); }
  bool Has(const std::string& part) const {
    for (auto& l : lines) {
      if (l.find(part) != std::string::npos)
        return true;
    }
    return false;
  }
  std::vector<std::string> lines;
};

class RingForTesting : public CLabelUI {
 public:
  DECLARE_DUICONTROL(RingForTesting)
  const wchar_t* GetClass() const override { return L"Ring"; }
  bool SetAttribute(const wchar_t* name, const wchar_t* value) override {
    if (std::wcscmp(name, L"angle") == 0) {
      angle = static_cast<int>(std::wcstol(value, nullptr, 10));
      return true;
    }
    return CLabelUI::SetAttribute(name, value);
  }
  int angle = 18;
};
IMPLEMENT_DUICONTROL(RingForTesting)

TEST(BuilderTest, FaultsAreLoggedWithFileAndLineAndDoNotStopTheBuild) {
  LogCapture log;
  CDialogBuilder builder;
  CControlUI* root = builder.Create(
      L"<VerticalLayout name='root'>\n"
      L"  <Label name='ok' textcolor='#FF112233'/>\n"
      L"  <Blinker name='odd'/>\n"
      L"  <Label name='typo' colr='#FF000000'/>\n"
      L"  <Button name='bad' bkcolor='#zz'/>\n"
      L"</VerticalLayout>");
  ASSERT_NE(root, nullptr);
  EXPECT_TRUE(log.Has("<inline>:3: unknown control type 'Blinker'"));
  EXPECT_TRUE(log.Has("<inline>:4: unknown or malformed attribute 'colr' on Label"));
  EXPECT_TRUE(log.Has("<inline>:5: unknown or malformed attribute 'bkcolor' on Button"));
  auto* container = static_cast<CContainerUI*>(root->GetInterface(L"Container"));
  ASSERT_NE(container, nullptr);
  EXPECT_EQ(container->GetCount(), 3);  // the unknown control is left out
  delete root;

  log.lines.clear();
  EXPECT_EQ(builder.Create(L"<Window size='10,10'>\n<VerticalLayout>\n<Label>\n</Window>"),
            nullptr);
  ASSERT_FALSE(log.lines.empty());
  EXPECT_TRUE(log.Has("<inline>:4: malformed window file")) << log.lines[0];

  log.lines.clear();
  EXPECT_EQ(builder.Create(L"NoSuchFile.xml"), nullptr);
  EXPECT_TRUE(log.Has("NoSuchFile.xml: window file not found"));
}

TEST(BuilderTest, RegisteredControlsAndDefaultsApply) {
  REGIST_DUICONTROL(RingForTesting);
  CPaintManagerUI pm;
  CDialogBuilder builder;
  CControlUI* root = builder.Create(
      L"<Window size='100,80'><Font id='1' name='微软雅黑' size='16' bold='true'/>"
      L"<Default name='Label' value='textcolor=\"#FF00FF00\" font=\"1\"'/>"
      L"<VerticalLayout><RingForTesting name='ring' angle='30'/><Label name='l'/>"
      L"<Label name='own' textcolor='#FF0000FF'/></VerticalLayout></Window>",
      nullptr, nullptr, &pm);
  ASSERT_NE(root, nullptr);
  pm.AttachDialog(root);
  EXPECT_EQ(pm.GetInitSize().cx, 100);
  auto* ring = static_cast<RingForTesting*>(pm.FindControl(L"ring"));
  ASSERT_NE(ring, nullptr);
  EXPECT_EQ(ring->angle, 30);
  auto* l = static_cast<CLabelUI*>(pm.FindControl(L"l"));
  EXPECT_EQ(l->GetTextColor(), 0xFF00FF00u);
  EXPECT_EQ(l->GetFont(), 1);
  EXPECT_EQ(pm.GetFontInfo(1)->iSize, 16);
  EXPECT_TRUE(pm.GetFontInfo(1)->bBold);
  // Element attributes win over the defaults.
  EXPECT_EQ(static_cast<CLabelUI*>(pm.FindControl(L"own"))->GetTextColor(), 0xFF0000FFu);
}

TEST(BuilderTest, WindowAttributesAndListsOfNotifiers) {
  CPaintManagerUI pm;
  EXPECT_TRUE(pm.SetWindowAttribute(L"size", L"300,200"));
  EXPECT_TRUE(pm.SetWindowAttribute(L"sizebox", L"4,5,6,7"));
  EXPECT_TRUE(pm.SetWindowAttribute(L"caption", L"0,0,0,32"));
  EXPECT_TRUE(pm.SetWindowAttribute(L"roundcorner", L"3,3"));
  EXPECT_TRUE(pm.SetWindowAttribute(L"mininfo", L"100,80"));
  EXPECT_TRUE(pm.SetWindowAttribute(L"maxinfo", L"900,700"));
  EXPECT_TRUE(pm.SetWindowAttribute(L"defaultfontcolor", L"#112233"));
  EXPECT_TRUE(pm.SetWindowAttribute(L"disabledfontcolor", L"#80445566"));
  EXPECT_TRUE(pm.SetWindowAttribute(L"selectedcolor", L"0xFF778899"));
  EXPECT_TRUE(pm.SetWindowAttribute(L"showshadow", L"true"));  // accepted, not drawn
  EXPECT_EQ(pm.GetInitSize().cx, 300);
  EXPECT_EQ(pm.GetInitSize().cy, 200);
  EXPECT_EQ(pm.GetSizeBox().left, 4);
  EXPECT_EQ(pm.GetSizeBox().bottom, 7);
  EXPECT_EQ(pm.GetCaptionRect().bottom, 32);
  EXPECT_EQ(pm.GetRoundCorner().cx, 3);
  EXPECT_EQ(pm.GetMinInfo().cy, 80);
  EXPECT_EQ(pm.GetMaxInfo().cx, 900);
  EXPECT_EQ(pm.GetDefaultFontColor(), 0xFF112233u);
  EXPECT_EQ(pm.GetDefaultDisabledColor(), 0x80445566u);
  EXPECT_EQ(pm.GetDefaultSelectedBkColor(), 0xFF778899u);
  // A bad value or an unknown name is refused and changes nothing.
  EXPECT_FALSE(pm.SetWindowAttribute(L"size", L"wide"));
  EXPECT_FALSE(pm.SetWindowAttribute(L"caption", L"1,2"));
  EXPECT_FALSE(pm.SetWindowAttribute(L"defaultfontcolor", L"#12345G"));
  EXPECT_FALSE(pm.SetWindowAttribute(L"nosuchattribute", L"1"));
  EXPECT_EQ(pm.GetInitSize().cx, 300);
  EXPECT_EQ(pm.GetCaptionRect().bottom, 32);
  EXPECT_EQ(pm.GetDefaultFontColor(), 0xFF112233u);

  struct Notifier : INotifyUI {
    void Notify(TNotifyUI&) override {}
  } notifier;
  EXPECT_TRUE(pm.AddNotifier(&notifier));
  EXPECT_FALSE(pm.AddNotifier(&notifier));
  EXPECT_TRUE(pm.RemoveNotifier(&notifier));
  EXPECT_FALSE(pm.RemoveNotifier(&notifier));
}

std::string MakePng() {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 4, 2);
  cairo_t* cr = cairo_create(s);
  cairo_set_source_rgba(cr, 1, 0, 0, 1);
  cairo_paint(cr);
  cairo_destroy(cr);
  std::string out;
  cairo_surface_write_to_png_stream(
      s,
      [](void* closure, const unsigned char* data, unsigned int length) {
        static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
        return CAIRO_STATUS_SUCCESS;
      },
      &out);
  cairo_surface_destroy(s);
  return out;
}

std::string MakeBmp8() {
  // 3x2, 8 bits with a palette of two colours, bottom-up rows padded to 4.
  std::string b(54 + 8 + 8, '\0');
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
      b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, static_cast<uint32_t>(b.size()));
  put32(10, 62);
  put32(14, 40);
  put32(18, 3);
  put32(22, 2);
  b[26] = 1;
  b[28] = 8;
  put32(46, 2);
  put32(54, 0x000000FF);  // index 0: blue
  put32(58, 0x0000FF00);  // index 1: green
  const char rows[8] = {0, 1, 0, 0, 1, 1, 1, 0};
  std::memcpy(&b[62], rows, 8);
  return b;
}

TEST(ImageTest, DecodesPngAndBmpAndRejectsDamage) {
  auto png = CRenderEngine::DecodeImage(MakePng());
  ASSERT_NE(png, nullptr);
  EXPECT_EQ(png->nX, 4);
  EXPECT_EQ(png->nY, 2);
  auto bmp = CRenderEngine::DecodeImage(MakeBmp8());
  ASSERT_NE(bmp, nullptr);
  EXPECT_EQ(bmp->nX, 3);
  auto* px = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(bmp->surface));
  int stride = cairo_image_surface_get_stride(bmp->surface) / 4;
  EXPECT_EQ(px[0], 0xFF00FF00u);           // top row comes last in the file
  EXPECT_EQ(px[stride + 1], 0xFF00FF00u);  // bottom row: 0 1 0
  EXPECT_EQ(px[stride], 0xFF0000FFu);
  std::string truncated = MakeBmp8().substr(0, 60);
  std::string bad_png = MakePng().substr(0, 20);
  for (const std::string& bytes : {truncated, bad_png, std::string("not an image"), std::string()})
    EXPECT_EQ(CRenderEngine::DecodeImage(bytes), nullptr);
}

std::string MakeZip(const std::vector<std::pair<std::string, std::string>>& files,
                    const std::string& path) {
  zipFile zf = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
  for (auto& [name, data] : files) {
    zipOpenNewFileInZip(zf, name.c_str(), nullptr, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                        Z_DEFAULT_COMPRESSION);
    zipWriteInFileInZip(zf, data.data(), static_cast<unsigned>(data.size()));
    zipCloseFileInZip(zf);
  }
  zipClose(zf, nullptr);
  std::string bytes;
  FILE* f = fopen(path.c_str(), "rb");
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), f)) > 0)
    bytes.append(buf, n);
  fclose(f);
  return bytes;
}

TEST(SkinArchiveTest, ReadsWindowFilesAndImagesFromMemory) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  static std::string archive;  // must outlive its use by the library
  archive = MakeZip({{"Small.xml",
                      "<Window size='40,30'><VerticalLayout name='r' "
                      "bkimage='TaskSkin\\red.png'/></Window>"},
                     {"TaskSkin/red.png", MakePng()}},
                    (dir.GetPath() / "skin.zip").string());
  CZipArchive zip;
  ASSERT_TRUE(zip.Open(archive.data(), archive.size()));
  EXPECT_EQ(zip.Names(), (std::vector<std::string>{"Small.xml", "TaskSkin/red.png"}));
  std::string data;
  EXPECT_FALSE(zip.Read("taskskin/red.png", &data));
  EXPECT_TRUE(zip.Read("taskskin/red.png", &data, true));
  EXPECT_FALSE(zip.Open("garbage", 7));

  CPaintManagerUI::SetResourceZip(archive.data(), static_cast<unsigned>(archive.size()));
  EXPECT_FALSE(CPaintManagerUI::GetResourceZip().IsEmpty());
  EXPECT_TRUE(CPaintManagerUI::LoadResourceData(L"TaskSkin\\red.png", &data));
  EXPECT_EQ(data, MakePng());
  CPaintManagerUI pm;
  CDialogBuilder builder;
  CControlUI* root = builder.Create(L"Small.xml", nullptr, nullptr, &pm);
  ASSERT_NE(root, nullptr);
  pm.AttachDialog(root);
  EXPECT_EQ(pm.GetInitSize().cx, 40);
  TImageInfo* image = pm.GetImage(L"TaskSkin\\red.png");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->nX, 4);
  CResourceManager::GetInstance()->Release();
  EXPECT_TRUE(CPaintManagerUI::GetResourceZip().IsEmpty());
}

}  // namespace
}  // namespace DuiLib
