// The test program's own resource table (the plug-in's lives in the editor):
// id 7001 is a 3 × 2 PNG of known colours, made with cairo at first use.
#include <cairo.h>
#include <gtest/gtest.h>

#include <vector>

#include "platform/ModuleHandle.h"
#include "platform/resources.h"
#include "toolkit/CBitmap.h"
#include "toolkit/OffscreenFrame.h"
#include "toolkit/Toolkit.h"

namespace {

const uint32_t kColours[6] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF,
                              0xFFFFFFFF, 0xFF000000, 0xFF808080};

std::vector<unsigned char> makePng() {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 3, 2);
  cairo_surface_flush(s);
  unsigned char* data = cairo_image_surface_get_data(s);
  const int stride = cairo_image_surface_get_stride(s);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x)
      reinterpret_cast<uint32_t*>(data + y * stride)[x] = kColours[y * 3 + x];
  cairo_surface_mark_dirty(s);
  std::vector<unsigned char> png;
  cairo_surface_write_to_png_stream(
      s,
      [](void* closure, const unsigned char* bytes, unsigned int n) {
        auto* out = static_cast<std::vector<unsigned char>*>(closure);
        out->insert(out->end(), bytes, bytes + n);
        return CAIRO_STATUS_SUCCESS;
      },
      &png);
  cairo_surface_destroy(s);
  return png;
}

}  // namespace

namespace platform {
const Resource* findResource(void*, int id) {
  static const std::vector<unsigned char> png = makePng();
  static const Resource table[] = {{7001, png.data(), png.size()}};
  for (const Resource& r : table)
    if (r.id == id) return &r;
  return nullptr;
}
}  // namespace platform

TEST(Resources, BitmapLoadsAnEmbeddedPngById) {
  auto* bitmap = new CBitmap(7001);
  ASSERT_TRUE(bitmap->isLoaded());
  EXPECT_EQ(bitmap->getWidth(), 3);
  EXPECT_EQ(bitmap->getHeight(), 2);
  EXPECT_EQ(bitmap->getResourceId(), 7001);
  CFrame* frame = new CFrame(CRect(0, 0, 3, 2), nullptr, nullptr);
  frame->setBackground(bitmap);
  bitmap->forget();
  toolkit::OffscreenFrame drv(frame);
  const std::vector<uint32_t> px = drv.surfacePixels();
  for (int i = 0; i < 6; ++i) EXPECT_EQ(px[i], kColours[i]) << i;
  frame->close();
}

TEST(Resources, UnknownIdGivesAnEmptyBitmapThatDrawsNothing) {
  auto* bitmap = new CBitmap(4242);
  EXPECT_FALSE(bitmap->isLoaded());
  EXPECT_EQ(bitmap->getWidth(), 0);
  auto* broken = new CBitmap("not a png", 9);
  EXPECT_FALSE(broken->isLoaded());
  CFrame* frame = new CFrame(CRect(0, 0, 4, 4), nullptr, nullptr);
  auto* view = new CMovieBitmap(CRect(0, 0, 4, 4), nullptr, 0, bitmap);
  bitmap->forget();
  broken->forget();
  frame->addView(view);
  toolkit::OffscreenFrame drv(frame);
  EXPECT_EQ(drv.surfacePixels()[5], 0xFF000000u);  // the frame's black, nothing over it
  frame->close();
}

TEST(Resources, ModuleHandleIsTheBaseOfTheLoadedImage) {
  void* handle = platform::getModuleHandle();
  ASSERT_NE(handle, nullptr);
  // The function itself lies above the start of the image that holds it.
  EXPECT_LT(reinterpret_cast<uintptr_t>(handle),
            reinterpret_cast<uintptr_t>(&platform::getModuleHandle));
}
