#include "toolkit/PlatformFrame.h"

namespace toolkit {

PlatformFrame::PlatformFrame(CFrame* frame, int width, int height)
    : frame(frame), w(width > 0 ? width : 1), h(height > 0 ? height : 1) {
  buffer = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
}

void PlatformFrame::resize(int width, int height) {
  w = width > 0 ? width : 1;
  h = height > 0 ? height : 1;
  cairo_surface_finish(buffer);
  cairo_surface_destroy(buffer);
  buffer = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
}

PlatformFrame::~PlatformFrame() {
  cairo_surface_finish(buffer);
  cairo_surface_destroy(buffer);
}

PlatformFrame* PlatformFrame::create(CFrame* frame, void* parent, int width, int height) {
  if (parent) {
    if (PlatformFrame* x11 = createX11Frame(frame, parent, width, height)) return x11;
  }
  return new PlatformFrame(frame, width, height);
}

}  // namespace toolkit
