#include "client/windows/skin_setup.h"

#include <gtest/gtest.h>

#include "client/windows/circle_progress_ui.h"
#include "client/windows/frame_test_util.h"
#include "client/windows/ring_ui.h"
#include "duilib/dialog_builder.h"

namespace {

TEST(SkinSetupTest, EmbeddedArchiveIsHandedToTheLibrary) {
  ASSERT_TRUE(SetUpClientSkinForTesting());
  EXPECT_EQ(DuiLib::CPaintManagerUI::GetResourceType(), DuiLib::UILIB_ZIPRESOURCE);
  EXPECT_FALSE(DuiLib::CPaintManagerUI::GetResourceZip().IsEmpty());
  std::string xml;
  EXPECT_TRUE(DuiLib::CPaintManagerUI::LoadResourceData(L"LoginWnd.xml", &xml));
  EXPECT_NE(xml.find("login_register_swich"), std::string::npos);
}

TEST(SkinSetupTest, OtherKindsPointAtTheProgramFolder) {
  ASSERT_TRUE(SetUpClientSkinForTesting());
  using DuiLib::CPaintManagerUI;
  const std::wstring program_dir = CPaintManagerUI::GetInstancePath().str();
  // Plain files under "skin\\" of the program folder.
  EXPECT_TRUE(SetupSkin(DuiLib::UILIB_FILE));
  EXPECT_EQ(CPaintManagerUI::GetResourcePath().str(), program_dir + L"skin\\");
  // No skin.zip beside the test program: the library is left without one.
  EXPECT_FALSE(SetupSkin(DuiLib::UILIB_ZIP));
  EXPECT_TRUE(CPaintManagerUI::GetResourceZip().IsEmpty());
  EXPECT_EQ(CPaintManagerUI::GetResourceType(), DuiLib::UILIB_ZIP);
  // Back to the product's kind for the other tests.
  EXPECT_TRUE(SetupSkin());
  EXPECT_FALSE(CPaintManagerUI::GetResourceZip().IsEmpty());
}

TEST(SkinSetupTest, TagsCreateTheCustomControls) {
  ASSERT_TRUE(SetUpClientSkinForTesting());
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"Ring", L"Ring"},
      {L"CircleProgress", L"CircleProgress"},
  };
  for (auto& [tag, kind] : cases) {
    DuiLib::CControlUI* c = DuiLib::CControlFactory::GetInstance()->CreateControl(tag);
    ASSERT_NE(c, nullptr);
    EXPECT_STREQ(c->GetClass(), kind);
    EXPECT_NE(c->GetInterface(kind), nullptr);
    delete c;
  }
  // The circle is still a progress bar for the code that sets its value.
  CCircleProgressUI circle;
  EXPECT_NE(circle.GetInterface(L"Progress"), nullptr);
  CRingUI ring;
  EXPECT_NE(ring.GetInterface(L"Label"), nullptr);
}

}  // namespace
