#include <gtest/gtest.h>

#include "duilib/UIlib.h"

namespace DuiLib {
namespace {

// Builds a tree without a window: layout and hit testing need none.
CControlUI* Build(const wchar_t* xml) {
  CDialogBuilder builder;
  return builder.Create(xml);
}

RECT Pos(CControlUI* root, const wchar_t* name) {
  struct Finder {
    static CControlUI* CALLBACK Proc(CControlUI* c, LPVOID data) {
      return c->GetName() == static_cast<const wchar_t*>(data) ? c : nullptr;
    }
  };
  CControlUI* c = root->FindControl(Finder::Proc, const_cast<wchar_t*>(name), UIFIND_ALL);
  EXPECT_NE(c, nullptr) << name;
  return c ? c->GetPos() : RECT{-1, -1, -1, -1};
}

struct LayoutCase {
  const wchar_t* xml;
  const wchar_t* control;
  RECT expected;
};

TEST(LayoutTest, SizesPaddingInsetAndFloat) {
  const LayoutCase cases[] = {
      // Fixed heights first, the stretched child takes the rest.
      {L"<VerticalLayout><Control name='a' height='30'/><Control name='b'/>"
       L"<Control name='c' height='20'/></VerticalLayout>",
       L"b",
       {0, 30, 200, 280}},
      // Inset and child padding.
      {L"<VerticalLayout inset='10,5,10,5' childpadding='4'><Control name='a' height='30'/>"
       L"<Control name='b' height='30'/></VerticalLayout>",
       L"b",
       {10, 39, 190, 69}},
      // Outer padding of a child moves it and shrinks the stretch.
      {L"<HorizontalLayout><Control name='a' width='50' padding='5,2,5,3'/><Control name='b'/>"
       L"</HorizontalLayout>",
       L"b",
       {60, 0, 200, 300}},
      {L"<HorizontalLayout><Control name='a' width='50' padding='5,2,5,3'/><Control name='b'/>"
       L"</HorizontalLayout>",
       L"a",
       {5, 2, 55, 297}},
      // Two stretched children share the rest; the last takes the remainder.
      {L"<HorizontalLayout><Control name='a'/><Control name='b'/><Control name='c' width='1'/>"
       L"</HorizontalLayout>",
       L"b",
       {99, 0, 199, 300}},
      // A hidden child takes no room.
      {L"<VerticalLayout><Control name='a' height='100' visible='false'/>"
       L"<Control name='b' height='10'/></VerticalLayout>",
       L"b",
       {0, 0, 200, 10}},
      // Float children sit at their pos relative to the parent.
      {L"<VerticalLayout inset='20,20,20,20'><Control name='f' float='true' pos='5,6,25,16'/>"
       L"</VerticalLayout>",
       L"f",
       {5, 6, 25, 16}},
      // Min and max clamp a stretched size.
      {L"<VerticalLayout><Control name='a' maxheight='40'/><Control name='b' height='10'/>"
       L"</VerticalLayout>",
       L"a",
       {0, 0, 200, 40}},
      // Centred fixed-width child.
      {L"<VerticalLayout childalign='center'><Control name='a' width='100' height='10'/>"
       L"</VerticalLayout>",
       L"a",
       {50, 0, 150, 10}},
  };
  for (const LayoutCase& c : cases) {
    CControlUI* root = Build(c.xml);
    ASSERT_NE(root, nullptr) << c.xml;
    root->SetPos({0, 0, 200, 300});
    RECT r = Pos(root, c.control);
    EXPECT_TRUE(EqualRect(&r, &c.expected))
        << c.xml << " -> " << r.left << "," << r.top << "," << r.right << "," << r.bottom;
    delete root;
  }
}

TEST(LayoutTest, TabLayoutShowsOnlyTheSelectedPage) {
  CControlUI* root = Build(
      L"<TabLayout name='tabs' selectedid='1'><Control name='p0'/><Control name='p1'/>"
      L"<Control name='p2'/></TabLayout>");
  ASSERT_NE(root, nullptr);
  auto* tabs = static_cast<CTabLayoutUI*>(root->GetInterface(L"TabLayout"));
  ASSERT_NE(tabs, nullptr);
  EXPECT_EQ(tabs->GetCurSel(), 1);
  EXPECT_FALSE(tabs->GetItemAt(0)->IsVisible());
  EXPECT_TRUE(tabs->GetItemAt(1)->IsVisible());
  EXPECT_TRUE(tabs->SelectItem(2));
  EXPECT_FALSE(tabs->GetItemAt(1)->IsVisible());
  EXPECT_TRUE(tabs->GetItemAt(2)->IsVisible());
  EXPECT_FALSE(tabs->SelectItem(3));
  EXPECT_EQ(tabs->GetCurSel(), 2);
  delete root;
}

TEST(LayoutTest, HitTestingFindsTheTopmostEnabledControl) {
  CControlUI* root = Build(
      L"<VerticalLayout name='root'>"
      L"  <HorizontalLayout name='row' height='50'>"
      L"    <Button name='btn' width='100'/>"
      L"    <Label name='label' mouse='false'/>"
      L"  </HorizontalLayout>"
      L"  <Container name='box'><Button name='hidden' visible='false'/></Container>"
      L"  <Button name='over' float='true' pos='10,10,40,40'/>"
      L"</VerticalLayout>");
  ASSERT_NE(root, nullptr);
  root->SetPos({0, 0, 300, 200});
  struct Case {
    POINT pt;
    const wchar_t* expected;
  };
  const Case cases[] = {
      {{60, 25}, L"btn"},    // inside the button
      {{20, 20}, L"over"},   // a float lies above the flow
      {{200, 25}, L"row"},   // a label that ignores the mouse passes to its container
      {{150, 100}, L"box"},  // hidden children are not hit
      {{299, 199}, L"box"},
  };
  for (const Case& c : cases) {
    POINT pt = c.pt;
    CControlUI* hit = root->FindControl([](CControlUI* ctl, LPVOID) { return ctl; }, &pt,
                                        UIFIND_VISIBLE | UIFIND_HITTEST | UIFIND_TOP_FIRST);
    ASSERT_NE(hit, nullptr);
    EXPECT_EQ(hit->GetName().str(), c.expected) << c.pt.x << "," << c.pt.y;
  }
  POINT outside = {400, 10};
  EXPECT_EQ(root->FindControl([](CControlUI* ctl, LPVOID) { return ctl; }, &outside,
                              UIFIND_VISIBLE | UIFIND_HITTEST),
            nullptr);
  delete root;
}

}  // namespace
}  // namespace DuiLib
