#include "toolkit/CDrawContext.h"

#include <cairo.h>

#include <cmath>
#include <cstring>
#include <string>

#include "toolkit/DeviceScale.h"

namespace {

// Bytes of the well-formed UTF-8 character at `p`, or 0.
size_t characterLength(const unsigned char* p) {
  auto follows = [p](int n, unsigned char low, unsigned char high) {
    if (p[1] < low || p[1] > high) return false;
    for (int i = 2; i < n; ++i)
      if ((p[i] & 0xC0) != 0x80) return false;
    return true;
  };
  const unsigned char c = p[0];
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) return follows(2, 0x80, 0xBF) ? 2 : 0;
  if (c == 0xE0) return follows(3, 0xA0, 0xBF) ? 3 : 0;
  if (c == 0xED) return follows(3, 0x80, 0x9F) ? 3 : 0;  // no surrogates
  if (c >= 0xE1 && c <= 0xEF) return follows(3, 0x80, 0xBF) ? 3 : 0;
  if (c == 0xF0) return follows(4, 0x90, 0xBF) ? 4 : 0;
  if (c >= 0xF1 && c <= 0xF3) return follows(4, 0x80, 0xBF) ? 4 : 0;
  if (c == 0xF4) return follows(4, 0x80, 0x8F) ? 4 : 0;
  return 0;
}

// Text cairo accepts: a string that is not UTF-8 (a name saved as Latin-1)
// would put the context into an error state that stops all further drawing,
// so each byte that starts no character shows as U+FFFD.
class DrawableText {
 public:
  explicit DrawableText(const char* utf8) : text(utf8) {
    const auto* p = reinterpret_cast<const unsigned char*>(utf8);
    size_t n = 0;
    while (p[n]) {
      const size_t length = characterLength(p + n);
      if (length == 0) break;
      n += length;
    }
    if (!p[n]) return;
    repaired.assign(utf8, n);
    while (p[n]) {
      const size_t length = characterLength(p + n);
      if (length == 0) {
        repaired += "\xEF\xBF\xBD";
        ++n;
      } else {
        repaired.append(utf8 + n, length);
        n += length;
      }
    }
    text = repaired.c_str();
  }
  const char* get() const { return text; }

 private:
  const char* text;
  std::string repaired;
};
CFontDesc systemFont("Arial", 12);
CFontDesc normalFontVeryBig("Arial", 18);
CFontDesc normalFontBig("Arial", 14);
CFontDesc normalFont("Arial", 12);
CFontDesc normalFontSmall("Arial", 11);
CFontDesc normalFontSmaller("Arial", 10);
CFontDesc normalFontVerySmall("Arial", 9);
CFontDesc symbolFont("Symbol", 12);

// Arial is not free; Liberation Sans has the same metrics.
const char* faceFor(const char* name) {
  if (!name || !*name || std::strcmp(name, "Arial") == 0) return "Liberation Sans";
  return name;
}
}  // namespace

const CFontRef kSystemFont = &systemFont;
const CFontRef kNormalFontVeryBig = &normalFontVeryBig;
const CFontRef kNormalFontBig = &normalFontBig;
const CFontRef kNormalFont = &normalFont;
const CFontRef kNormalFontSmall = &normalFontSmall;
const CFontRef kNormalFontSmaller = &normalFontSmaller;
const CFontRef kNormalFontVerySmall = &normalFontVerySmall;
const CFontRef kSymbolFont = &symbolFont;

CDrawContext::CDrawContext(_cairo* cr, const CRect& surfaceRect, double scale)
    : cr(cr),
      surfaceRect(surfaceRect),
      clipRect(surfaceRect),
      scale(scale > 0 ? scale : 1.0),
      deviceSurface(surfaceRect),
      font(*kNormalFont) {
  cairo_save(cr);
  if (this->scale != 1.0) {
    // Views round their device edges on their own (toolkit/DeviceScale.h):
    // one pixel more on every side holds whatever reaches in.
    const double s = this->scale;
    deviceSurface =
        CRect(std::floor(surfaceRect.left * s) - 1, std::floor(surfaceRect.top * s) - 1,
              std::ceil(surfaceRect.right * s) + 1, std::ceil(surfaceRect.bottom * s) + 1);
    cairo_scale(cr, s, s);
  }
  setClipRect(surfaceRect);
}

CRect CDrawContext::toDevice(const CRect& rect) const {
  return scale == 1.0 ? rect : toolkit::deviceRect(rect, scale);
}

CCoord CDrawContext::onDevicePixel(CCoord logical) const {
  return std::round(logical * scale) / scale;
}

void CDrawContext::applyDeviceClip() {
  // In device space, so that clip edges fall on whole pixels at any scale.
  cairo_matrix_t matrix;
  cairo_get_matrix(cr, &matrix);
  cairo_identity_matrix(cr);
  cairo_reset_clip(cr);
  cairo_rectangle(cr, deviceClip.left, deviceClip.top, deviceClip.getWidth(),
                  deviceClip.getHeight());
  cairo_clip(cr);
  cairo_set_matrix(cr, &matrix);
}

CDrawContext::~CDrawContext() {
  cairo_restore(cr);
}

void CDrawContext::setFont(const CFontDesc* newFont, CCoord size, int32_t style) {
  if (newFont) font = *newFont;
  if (size > 0) font.setSize(size);
  if (style >= 0) font.setStyle(style);
}

void CDrawContext::setSourceColor(const CColor& c) {
  cairo_set_source_rgba(cr, c.red / 255.0, c.green / 255.0, c.blue / 255.0,
                        c.alpha / 255.0 * globalAlpha);
}

void CDrawContext::moveTo(const CPoint& point) {
  pen = point;
}

void CDrawContext::lineTo(const CPoint& point) {
  drawLine(pen, point);
  pen = point;
}

void CDrawContext::drawLine(const CPoint& start, const CPoint& end) {
  // Pixel centres, so that one-pixel lines are crisp.
  cairo_move_to(cr, start.x + 0.5, start.y + 0.5);
  cairo_line_to(cr, end.x + 0.5, end.y + 0.5);
  setSourceColor(frameColor);
  cairo_set_line_width(cr, lineWidth);
  cairo_stroke(cr);
}

void CDrawContext::drawRect(const CRect& rect, CDrawStyle style) {
  if (style != kDrawStroked) {
    cairo_rectangle(cr, rect.left, rect.top, rect.getWidth(), rect.getHeight());
    setSourceColor(fillColor);
    cairo_fill(cr);
  }
  if (style != kDrawFilled) {
    cairo_rectangle(cr, rect.left + 0.5, rect.top + 0.5, rect.getWidth() - 1, rect.getHeight() - 1);
    setSourceColor(frameColor);
    cairo_set_line_width(cr, lineWidth);
    cairo_stroke(cr);
  }
}

void CDrawContext::drawEllipse(const CRect& rect, CDrawStyle style) {
  const double w = rect.getWidth(), h = rect.getHeight();
  if (w <= 0 || h <= 0) return;
  cairo_save(cr);
  cairo_translate(cr, rect.left + w / 2, rect.top + h / 2);
  cairo_scale(cr, w / 2, h / 2);
  cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
  cairo_restore(cr);
  if (style != kDrawStroked) {
    setSourceColor(fillColor);
    if (style == kDrawFilledAndStroked)
      cairo_fill_preserve(cr);
    else
      cairo_fill(cr);
  }
  if (style != kDrawFilled) {
    setSourceColor(frameColor);
    cairo_set_line_width(cr, lineWidth);
    cairo_stroke(cr);
  }
}

void CDrawContext::applyFont() {
  const int32_t style = font.getStyle();
  cairo_select_font_face(cr, faceFor(font.getName()),
                         (style & kItalicFace) ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                         (style & kBoldFace) ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, font.getSize());
}

CCoord CDrawContext::getStringWidth(const char* utf8) {
  if (!utf8) return 0;
  applyFont();
  cairo_text_extents_t ext;
  cairo_text_extents(cr, DrawableText(utf8).get(), &ext);
  return ext.x_advance;
}

void CDrawContext::drawString(const char* utf8, const CPoint& point, bool antialias) {
  if (!utf8 || !*utf8) return;
  applyFont();
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options,
                                   antialias ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
  cairo_set_font_options(cr, options);
  cairo_font_options_destroy(options);
  setSourceColor(fontColor);
  cairo_move_to(cr, point.x, point.y);
  cairo_show_text(cr, DrawableText(utf8).get());
  cairo_new_path(cr);
}

void CDrawContext::drawString(const char* utf8, const CRect& rect, CHoriTxtAlign align,
                              bool antialias) {
  if (!utf8 || !*utf8 || rect.isEmpty()) return;
  applyFont();
  cairo_font_extents_t fext;
  cairo_font_extents(cr, &fext);
  const CCoord width = getStringWidth(utf8);
  CCoord x = rect.left;
  if (align == kCenterText)
    x = rect.left + (rect.getWidth() - width) / 2;
  else if (align == kRightText)
    x = rect.right - width;
  const CCoord y = rect.top + (rect.getHeight() + fext.ascent - fext.descent) / 2;
  cairo_save(cr);
  cairo_rectangle(cr, rect.left, rect.top, rect.getWidth(), rect.getHeight());
  cairo_clip(cr);
  drawString(utf8, CPoint(onDevicePixel(x), onDevicePixel(y)), antialias);
  cairo_restore(cr);
}

void CDrawContext::setClipRect(const CRect& clip) {
  clipRect = clip;
  clipRect.bound(surfaceRect);
  // The whole surface keeps its margin; a narrower clip covers what a view
  // of that rectangle covers.
  deviceClip = clip == surfaceRect ? deviceSurface : toDevice(clip);
  deviceClip.bound(deviceSurface);
  applyDeviceClip();
}

CRect& CDrawContext::getClipRect(CRect& clip) const {
  return clip = clipRect;
}

void CDrawContext::resetClipRect() {
  setClipRect(surfaceRect);
}

void CDrawContext::saveGlobalState() {
  cairo_save(cr);
  savedClips.push_back(clipRect);
  savedDeviceClips.push_back(deviceClip);
}

void CDrawContext::restoreGlobalState() {
  if (savedClips.empty()) return;
  cairo_restore(cr);
  clipRect = savedClips.back();
  savedClips.pop_back();
  deviceClip = savedDeviceClips.back();
  savedDeviceClips.pop_back();
}
