// The test programs' own resource table (the plug-in's lives in the editor):
// id 7001 is a 3 × 2 PNG of the colours kTestResourceColours, made with cairo
// at first use.
#include "TestResourceTable.h"

#include <cairo.h>

#include <vector>

#include "ToolkitTestSupport.h"
#include "toolkit/CResourceProvider.h"

const uint32_t kTestResourceColours[6] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF,
                                          0xFFFFFFFF, 0xFF000000, 0xFF808080};

namespace {

// A PNG of w × h pixels of colour(x, y).
template <typename Colour>
std::vector<unsigned char> makePng(int w, int h, Colour colour) {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_surface_flush(s);
  unsigned char* data = cairo_image_surface_get_data(s);
  const int stride = cairo_image_surface_get_stride(s);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) reinterpret_cast<uint32_t*>(data + y * stride)[x] = colour(x, y);
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

const CResource* findTestResource(int32_t id) {
  static const std::vector<unsigned char> png =
      makePng(3, 2, [](int x, int y) { return kTestResourceColours[y * 3 + x]; });
  static const std::vector<unsigned char> strip =
      makePng(2, 3 * kTestStripImages, [](int, int y) { return stripColour(y / 3); });
  static const CResource table[] = {{kTestResourceId, png.data(), png.size()},
                                    {kTestStripId, strip.data(), strip.size()}};
  for (const CResource& r : table)
    if (r.id == id) return &r;
  return nullptr;
}

// Registered before main, as a program that brings its own images does.
[[maybe_unused]] const bool registered = (setResourceProvider(&findTestResource), true);

}  // namespace
