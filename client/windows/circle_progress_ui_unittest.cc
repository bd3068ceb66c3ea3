#include "client/windows/circle_progress_ui.h"

#include <gtest/gtest.h>

#include <cairo.h>

#include "duilib/render_engine.h"

namespace {

struct Pixel {
  int a, r, g, b;
};

// Paints a 100x100 circle at (0,0) on a clear surface and reads pixels.
class CircleCanvas {
 public:
  CircleCanvas(int min, int max, int value) {
    circle_.SetMinValue(min);
    circle_.SetMaxValue(max);
    circle_.SetValue(value);
    circle_.SetPos({0, 0, 100, 100}, false);
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 100, 100);
    cairo_t* cr = cairo_create(surface_);
    circle_.DoPaint(DuiLib::CRenderEngine::ToHDC(cr), RECT{0, 0, 100, 100});
    cairo_destroy(cr);
    cairo_surface_flush(surface_);
  }
  ~CircleCanvas() { cairo_surface_destroy(surface_); }

  Pixel At(int x, int y) const {
    const unsigned char* p = cairo_image_surface_get_data(surface_) +
                             y * cairo_image_surface_get_stride(surface_) + x * 4;
    // Premultiplied BGRA; only opaque pixels are compared by colour.
    return {p[3], p[2], p[1], p[0]};
  }

 private:
  CCircleProgressUI circle_;
  cairo_surface_t* surface_ = nullptr;
};

bool IsDone(Pixel p) {
  return p.a == 255 && p.r == 0 && p.g == 179 && p.b == 116;
}
bool IsFaint(Pixel p) {
  return p.a == 20;
}
bool IsInnerDisc(Pixel p) {
  return p.a == 255 && p.r == 1 && p.g == 171 && p.b == 255;
}

// Points in the 5-pixel ring at twelve, three, six and nine o'clock.
const POINT kTwelve = {50, 2};
const POINT kThree = {97, 50};
const POINT kSix = {50, 97};
const POINT kNine = {2, 50};

TEST(CircleProgressTest, RingShowsTheShareDoneClockwiseFromTwelve) {
  struct Case {
    int min, max, value;
    bool twelve_right, three, six, nine;  // done at those points
  };
  const Case cases[] = {
      {0, 100, 100, true, true, true, true},    // full ring
      {0, 100, 0, false, false, false, false},  // only the faint disc
      {0, 100, 30, true, true, false, false},   // to about four o'clock
      {0, 100, 60, true, true, true, false},
      {0, 200, 100, true, true, false, false},  // half: twelve to six
      {5, 5, 5, false, false, false, false},    // empty range draws no share
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.min << ".." << c.max << " at " << c.value);
    CircleCanvas canvas(c.min, c.max, c.value);
    // Just right of twelve is inside any non-empty sweep.
    EXPECT_EQ(IsDone(canvas.At(53, 2)), c.twelve_right);
    EXPECT_EQ(IsDone(canvas.At(kThree.x, kThree.y)), c.three);
    EXPECT_EQ(IsDone(canvas.At(kSix.x - 3, kSix.y)), c.six);
    EXPECT_EQ(IsDone(canvas.At(kNine.x, kNine.y)), c.nine);
    for (POINT p : {kTwelve, kThree, kSix, kNine}) {
      Pixel px = canvas.At(p.x, p.y);
      EXPECT_TRUE(IsDone(px) || IsFaint(px)) << p.x << "," << p.y << " a=" << px.a;
    }
    // The inset disc always covers the middle and stops 5 pixels in.
    EXPECT_TRUE(IsInnerDisc(canvas.At(50, 50)));
    EXPECT_TRUE(IsInnerDisc(canvas.At(50, 7)));
    EXPECT_FALSE(IsInnerDisc(canvas.At(50, 3)));
    // Outside the circle nothing is drawn.
    EXPECT_EQ(canvas.At(1, 1).a, 0);
  }
}

}  // namespace
