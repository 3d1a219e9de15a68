#include "toolkit/OffscreenFrame.h"

#include <cairo.h>

#include "toolkit/CFrame.h"
#include "toolkit/PlatformFrame.h"

namespace toolkit {

OffscreenFrame::OffscreenFrame(CFrame* frame) : frame(frame) {}

CMouseEventResult OffscreenFrame::mouseDown(CPoint where, CButtonState buttons) {
  return frame->platformMouseDown(where, buttons, now);
}

CMouseEventResult OffscreenFrame::mouseMoved(CPoint where, CButtonState buttons) {
  return frame->platformMouseMoved(where, buttons);
}

CMouseEventResult OffscreenFrame::mouseUp(CPoint where, CButtonState buttons) {
  return frame->platformMouseUp(where, buttons);
}

void OffscreenFrame::click(CPoint where, CButtonState buttons) {
  mouseDown(where, buttons);
  mouseUp(where, buttons);
}

void OffscreenFrame::mouseLeave() {
  frame->platformMouseLeft(CPoint(-1, -1), 0);
}

bool OffscreenFrame::wheel(CPoint where, float distance, CButtonState buttons) {
  return frame->platformWheel(where, distance, buttons);
}

int32_t OffscreenFrame::keyDown(VstKeyCode key) {
  return frame->platformKeyDown(key);
}

int32_t OffscreenFrame::keyUp(VstKeyCode key) {
  return frame->platformKeyUp(key);
}

void OffscreenFrame::idle() {
  frame->idle();
}

bool OffscreenFrame::renderToPng(const std::string& path) {
  frame->idle();
  PlatformFrame* p = frame->getPlatformFrame();
  if (!p) return false;
  return cairo_surface_write_to_png(p->backBuffer(), path.c_str()) == CAIRO_STATUS_SUCCESS;
}

std::vector<uint32_t> OffscreenFrame::surfacePixels() {
  frame->idle();
  std::vector<uint32_t> pixels;
  PlatformFrame* p = frame->getPlatformFrame();
  if (!p) return pixels;
  cairo_surface_t* s = p->backBuffer();
  cairo_surface_flush(s);
  const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
  const int stride = cairo_image_surface_get_stride(s);
  const unsigned char* base = cairo_image_surface_get_data(s);
  pixels.resize(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(base + y * stride);
    for (int x = 0; x < w; ++x) pixels[static_cast<size_t>(y) * w + x] = row[x];
  }
  return pixels;
}

int32_t OffscreenFrame::width() const {
  PlatformFrame* p = frame->getPlatformFrame();
  return p ? p->width() : 0;
}

int32_t OffscreenFrame::height() const {
  PlatformFrame* p = frame->getPlatformFrame();
  return p ? p->height() : 0;
}

}  // namespace toolkit
