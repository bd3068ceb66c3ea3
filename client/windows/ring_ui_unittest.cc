#include "client/windows/ring_ui.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cairo.h>

#include <string>
#include <vector>

#include "base/scoped_temp_dir.h"
#include "client/windows/frame_test_util.h"
#include "duilib/container_ui.h"

namespace {

void SendTimer(CRingUI* ring, UINT id) {
  DuiLib::TEventUI event;
  event.Type = DuiLib::UIEVENT_TIMER;
  event.wParam = id;
  event.pSender = ring;
  ring->Event(event);
}

class RingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SetUpClientSkinForTesting());
    ASSERT_TRUE(window_.Create(nullptr, L"t", UI_WNDSTYLE_DIALOG & ~WS_VISIBLE, 0));
    ring_ = static_cast<CRingUI*>(window_.pm().FindControl(L"node_animation"));
    ASSERT_NE(ring_, nullptr);
  }
  void TearDown() override { DestroyWindow(window_.GetHWND()); }
  void Paint() { ASSERT_TRUE(window_.pm().SaveToPng(path_.c_str())); }

  SkinFileWindow window_{L"SlideWnd.xml"};
  CRingUI* ring_ = nullptr;
  std::wstring path_ = L"/dev/null";
};

TEST_F(RingTest, BackslashPathIsFoundInTheArchiveAndStartsTheTimer) {
  EXPECT_EQ(std::wstring(ring_->GetBkImage()), L"TaskSkin\\node_refresh_animation.png");
  EXPECT_FALSE(ring_->has_image());
  Paint();
  ASSERT_TRUE(ring_->has_image());
  EXPECT_EQ(ring_->image_source(), CRingUI::ImageSource::kArchive);
  EXPECT_TRUE(window_.pm().HasTimerForTesting(ring_, CRingUI::kTimerId));
}

TEST_F(RingTest, AngleRunsByTheStepAndWrapsOnlyAfterPassing359) {
  std::vector<float> seen;
  for (int i = 0; i < 22; ++i) {
    SendTimer(ring_, CRingUI::kTimerId);
    seen.push_back(ring_->angle());
  }
  ASSERT_EQ(seen.size(), 22u);
  EXPECT_FLOAT_EQ(seen[0], 18.0f);
  EXPECT_FLOAT_EQ(seen[1], 36.0f);
  EXPECT_FLOAT_EQ(seen[19], 360.0f);  // shown once
  EXPECT_FLOAT_EQ(seen[20], 18.0f);   // restarts from 0 then steps
  EXPECT_FLOAT_EQ(seen[21], 36.0f);
  // Other timers are the label's business.
  SendTimer(ring_, CRingUI::kTimerId + 1);
  EXPECT_FLOAT_EQ(ring_->angle(), 36.0f);
}

TEST_F(RingTest, AttributesSetStepSpeedAndReloadOnNewImage) {
  ring_->SetAttribute(L"angle", L"45");
  ring_->SetAttribute(L"speed", L"20");
  EXPECT_EQ(ring_->angle_step(), 45);
  EXPECT_EQ(ring_->speed(), 20);
  for (int i = 0; i < 8; ++i)
    SendTimer(ring_, CRingUI::kTimerId);
  EXPECT_FLOAT_EQ(ring_->angle(), 360.0f);
  SendTimer(ring_, CRingUI::kTimerId);
  EXPECT_FLOAT_EQ(ring_->angle(), 45.0f);

  Paint();
  ASSERT_TRUE(ring_->has_image());
  ring_->SetAttribute(L"bkimage", L"TaskSkin\\node_refresh_animation.png");
  EXPECT_TRUE(ring_->has_image());  // same value: kept
  ring_->SetAttribute(L"bkimage", L"TaskSkin/logo.png");
  EXPECT_FALSE(ring_->has_image());  // new value: released, reloaded at paint
  Paint();
  ASSERT_TRUE(ring_->has_image());
  EXPECT_EQ(ring_->image()->nX, 64);
}

TEST_F(RingTest, TimerStopsWhileHiddenAndResumesWhenShown) {
  Paint();
  ASSERT_TRUE(window_.pm().HasTimerForTesting(ring_, CRingUI::kTimerId));
  ring_->SetVisible(false);
  EXPECT_FALSE(window_.pm().HasTimerForTesting(ring_, CRingUI::kTimerId));
  ring_->SetVisible(true);
  EXPECT_TRUE(window_.pm().HasTimerForTesting(ring_, CRingUI::kTimerId));
  // Hiding the container above hides the ring too.
  auto* box = static_cast<DuiLib::CContainerUI*>(
      window_.pm().FindControl(L"refresh_animation_wnd")->GetInterface(L"Container"));
  box->SetVisible(false);
  EXPECT_FALSE(window_.pm().HasTimerForTesting(ring_, CRingUI::kTimerId));
  box->SetVisible(true);
  EXPECT_TRUE(window_.pm().HasTimerForTesting(ring_, CRingUI::kTimerId));
}

TEST_F(RingTest, MissingOrUndecodableImageLeavesTheRingStill) {
  ring_->SetAttribute(L"bkimage", L"TaskSkin/no_such_image.png");
  Paint();
  EXPECT_FALSE(ring_->has_image());
  EXPECT_FALSE(window_.pm().HasTimerForTesting(ring_, CRingUI::kTimerId));
}

// Writes a w x h PNG at `path`.
void WritePng(const std::string& path, int w, int h) {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  ASSERT_EQ(cairo_surface_write_to_png(s, path.c_str()), CAIRO_STATUS_SUCCESS);
  cairo_surface_destroy(s);
}

TEST(RingImageTest, NamesAreMatchedCaseSensitivelyThenReadFromDisk) {
  ASSERT_TRUE(SetUpClientSkinForTesting());
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  char old_cwd[4096];
  ASSERT_NE(getcwd(old_cwd, sizeof(old_cwd)), nullptr);
  ASSERT_EQ(chdir(dir.GetPath().string().c_str()), 0);
  ASSERT_EQ(mkdir("TaskSkin", 0755), 0);
  WritePng("TaskSkin/Node_Refresh_Animation.png", 3, 5);

  struct Case {
    const wchar_t* path;
    CRingUI::ImageSource source;
    int width;  // 0: no image
  };
  const Case cases[] = {
      {L"TaskSkin\\node_refresh_animation.png", CRingUI::ImageSource::kArchive, 32},
      {L"TaskSkin/node_refresh_animation.png", CRingUI::ImageSource::kArchive, 32},
      // Differs only in case: not the archive's entry, so the disk file.
      {L"TaskSkin/Node_Refresh_Animation.png", CRingUI::ImageSource::kFile, 3},
      {L"TaskSkin/NODE_REFRESH_ANIMATION.png", CRingUI::ImageSource::kNone, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(DuiLib::ToUtf8(c.path));
    std::string bytes;
    EXPECT_EQ(CRingUI::ReadImageData(c.path, &bytes), c.source);
    if (c.width) {
      auto image = DuiLib::CRenderEngine::DecodeImage(bytes);
      ASSERT_NE(image, nullptr);
      EXPECT_EQ(image->nX, c.width);
    } else {
      EXPECT_TRUE(bytes.empty());
    }
  }
  ASSERT_EQ(chdir(old_cwd), 0);
}

TEST(RingPaintTest, ImageTurnsAboutTheCentre) {
  // A 40x40 ring whose image is white on the left half only: a half turn
  // moves the white to the right half.
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  std::string png = dir.GetPath().string() + "/half.png";
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 40, 40);
  cairo_t* cr = cairo_create(s);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_rectangle(cr, 0, 0, 20, 40);
  cairo_fill(cr);
  cairo_destroy(cr);
  ASSERT_EQ(cairo_surface_write_to_png(s, png.c_str()), CAIRO_STATUS_SUCCESS);
  cairo_surface_destroy(s);

  CRingUI ring;
  ring.SetAttribute(L"angle", L"90");
  ring.SetAttribute(L"bkimage", DuiLib::FromUtf8(png).c_str());
  ring.SetPos({10, 10, 50, 50}, false);
  auto alpha_at = [&](int x, int y) {
    cairo_surface_t* target = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 60, 60);
    cairo_t* c = cairo_create(target);
    ring.PaintBkImage(DuiLib::CRenderEngine::ToHDC(c));
    cairo_destroy(c);
    cairo_surface_flush(target);
    const unsigned char* data = cairo_image_surface_get_data(target);
    int a = data[y * cairo_image_surface_get_stride(target) + x * 4 + 3];
    cairo_surface_destroy(target);
    return a;
  };
  EXPECT_EQ(alpha_at(15, 30), 255);
  EXPECT_EQ(alpha_at(45, 30), 0);
  ASSERT_TRUE(ring.has_image());
  SendTimer(&ring, CRingUI::kTimerId);
  SendTimer(&ring, CRingUI::kTimerId);  // 180 degrees
  EXPECT_EQ(alpha_at(15, 30), 0);
  EXPECT_EQ(alpha_at(45, 30), 255);
}

}  // namespace
