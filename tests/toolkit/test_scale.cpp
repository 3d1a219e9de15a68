// Frames at a scale: the desktop's scale, events in device pixels, images
// drawn for the scale shown pixel for pixel, and a redraw of one view that
// leaves the window as a whole redraw would.
#include <cairo.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestResourceTable.h"
#include "ToolkitTestSupport.h"
#include "toolkit/DesktopScale.h"
#include "toolkit/DeviceScale.h"
#include "toolkit/OffscreenFrame.h"
#include "toolkit/Toolkit.h"

namespace {

// The test strip drawn for a scale: image i as a checkerboard of device
// pixels in its colour and the inverse, which any resampling would blur.
uint32_t checker(int image, int x, int y) {
  const uint32_t c = stripColour(image);
  return (x + y) % 2 ? c : (c ^ 0x00FFFFFFu);
}

_cairo_surface* scaledTestImage(int32_t id, double scale, int32_t index, int32_t* images) {
  *images = 0;
  if (id != kTestStripId) return nullptr;
  *images = kTestStripImages;
  if (index < 0 || index >= kTestStripImages) return nullptr;
  const int w = toolkit::devicePixels(2, scale), h = toolkit::devicePixels(3, scale);
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_surface_flush(s);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s) +
                                  y * cairo_image_surface_get_stride(s))[x] = checker(index, x, y);
  cairo_surface_mark_dirty(s);
  return s;
}

class ScaledFrame : public ::testing::Test {
 protected:
  void SetUp() override { setScaledResourceProvider(&scaledTestImage); }
  void TearDown() override {
    delete driver;
    if (frame) frame->close();
    setScaledResourceProvider(nullptr);
  }
  void open(const CRect& size, double scale) {
    frame = new CFrame(size, nullptr, nullptr, scale);
    frame->setBackground(makeSolid(static_cast<int>(size.getWidth()),
                                   static_cast<int>(size.getHeight()), 0xFF102030u));
    frame->getBackground()->forget();
    driver = new toolkit::OffscreenFrame(frame);
  }
  CMovieBitmap* addStrip(CCoord left, int image) {
    CBitmap* strip = new CBitmap(kTestStripId);
    auto* view = new CMovieBitmap(CRect(left, 0, left + 2, 3), nullptr, 0, strip);
    strip->forget();
    view->setValue(static_cast<float>(image) / (kTestStripImages - 1));
    frame->addView(view);
    return view;
  }
  uint32_t pixel(const std::vector<uint32_t>& all, int x, int y) {
    return all[static_cast<size_t>(y) * driver->width() + x];
  }

  CFrame* frame = nullptr;
  toolkit::OffscreenFrame* driver = nullptr;
};

// A view that records where the mouse reaches it.
struct Target : CView {
  explicit Target(const CRect& r) : CView(r) {}
  CMouseEventResult onMouseDown(CPoint& where, const CButtonState&) override {
    downs.push_back(where);
    return kMouseEventHandled;
  }
  std::vector<CPoint> downs;
};

}  // namespace

TEST(DesktopScale, GdkScaleGoesFirstThenXftDpiOverNinetySix) {
  const char* const resources = "Xft.antialias:\t1\nXft.dpi:\t144\nXft.hinting:\t1\n";
  const struct {
    const char* gdk;
    const char* x;
    double scale;
  } cases[] = {
      {"2", resources, 2.0},
      {nullptr, resources, 1.5},
      {"", resources, 1.5},
      {"2x", resources, 1.5},
      {"0", resources, 1.5},
      {"-1", resources, 1.5},
      {"nan", resources, 1.5},
      {" 1.5 ", nullptr, 1.5},
      {"1.1", nullptr, 1.0},
      {"7", nullptr, 3.0},
      {nullptr, "Xft.dpi: 120", 1.25},
      {nullptr, "Xft.dpi:\t110\n", 1.25},
      {nullptr, "Xft.dpi: 250", 2.5},
      {nullptr, "Xft.dpi: 48", 1.0},
      {nullptr, "Xft.dpi: 500", 3.0},
      {nullptr, "Xft.dpix: 192\n", 1.0},
      {nullptr, "Xft.dpi: 19 2", 1.0},
      {nullptr, "Xft.dpi:", 1.0},
      {nullptr, "*dpi: 192", 1.0},
      {nullptr, nullptr, 1.0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(toolkit::desktopScaleFrom(c.gdk, c.x), c.scale)
        << (c.gdk ? c.gdk : "(unset)") << " / " << (c.x ? c.x : "(none)");
}

TEST_F(ScaledFrame, EventsInDevicePixelsReachViewsInLogicalCoordinates) {
  open(CRect(0, 0, 40, 20), 1.25);
  EXPECT_EQ(driver->width(), 50);
  EXPECT_EQ(driver->height(), 25);
  auto* target = new Target(CRect(10, 10, 30, 20));
  frame->addView(target);
  driver->mouseDown(CPoint(25, 15));  // logical (20, 12)
  driver->mouseUp(CPoint(25, 15));
  driver->advanceTime(1000);
  driver->mouseDown(CPoint(38, 15));  // logical (30.4, 12): right of the view
  driver->mouseUp(CPoint(38, 15));
  ASSERT_EQ(target->downs.size(), 1u);
  EXPECT_EQ(target->downs[0], CPoint(20, 12));
  CPoint where;
  ASSERT_TRUE(frame->getCurrentMouseLocation(where));
  EXPECT_EQ(where, CPoint(30.4, 12));
}

// Image 2 of the strip, drawn for the scale, fills the view's device pixels
// exactly; a new scale redraws the window at its new size.
TEST_F(ScaledFrame, AnImageDrawnForTheScaleIsShownPixelForPixel) {
  open(CRect(0, 0, 10, 4), 2.0);
  addStrip(3, 2);
  std::vector<uint32_t> all = driver->surfacePixels();
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(pixel(all, 6 + x, y), checker(2, x, y)) << x << "," << y;
  EXPECT_EQ(pixel(all, 5, 3), 0xFF102030u);
  EXPECT_EQ(pixel(all, 10, 3), 0xFF102030u);

  ASSERT_TRUE(frame->setScale(2.75));
  EXPECT_FALSE(frame->setScale(2.75));
  all = driver->surfacePixels();
  ASSERT_EQ(driver->width(), 28);  // 27.5 rounds up
  ASSERT_EQ(driver->height(), 11);
  // The view's origin 3 × 2.75 = 8.25 rounds to 8; its width 2 × 2.75 to 6.
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(pixel(all, 8 + x, y), checker(2, x, y)) << x << "," << y;
  EXPECT_EQ(pixel(all, 7, 4), 0xFF102030u);
  EXPECT_EQ(pixel(all, 14, 4), 0xFF102030u);
}

// At 125 % the view at 3 covers device pixels 4..6 and the view at 5 (on top)
// 6..8: redrawing the lower view alone must draw the upper one again where
// they meet, as a redraw of the whole window does.
TEST_F(ScaledFrame, RedrawingOneViewLeavesTheWindowAsAWholeRedraw) {
  open(CRect(0, 0, 12, 3), 1.25);
  CMovieBitmap* lower = addStrip(3, 1);
  addStrip(5, 2);
  driver->surfacePixels();
  lower->setValue(1.f);  // image 3
  const std::vector<uint32_t> alone = driver->surfacePixels();
  frame->setDirty(true);
  const std::vector<uint32_t> whole = driver->surfacePixels();
  EXPECT_EQ(pixel(whole, 6, 0), checker(2, 0, 0));
  for (int y = 0; y < driver->height(); ++y)
    for (int x = 0; x < driver->width(); ++x)
      EXPECT_EQ(pixel(alone, x, y), pixel(whole, x, y)) << x << "," << y;
}

// Without an image drawn for the scale, a bitmap stretches its own.
TEST_F(ScaledFrame, ABitmapWithoutADrawingForTheScaleStretchesItsOwn) {
  open(CRect(0, 0, 10, 10), 3.0);
  CBitmap* solid = makeSolid(4, 4, 0xFF30C050u);
  auto* view = new CView(CRect(2, 2, 6, 6));
  view->setBackground(solid);
  solid->forget();
  frame->addView(view);
  const std::vector<uint32_t> all = driver->surfacePixels();
  EXPECT_EQ(pixel(all, 12, 12), 0xFF30C050u);
  EXPECT_EQ(pixel(all, 4, 4), 0xFF102030u);
}
