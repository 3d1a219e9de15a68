// The skin's drawing: every image of the window, drawn with cairo for a scale
// of 1 to 3. At a scale the images are drawn afresh for the device's pixels
// (not resampled), and each image of a control is drawn over the background
// at the control's device place, in the control's device size
// (toolkit/DeviceScale.h), so that it blends into the panel. The drawing is
// deterministic (own noise generator, fixed fonts): at 100 % it is exactly
// the committed PNGs.
#include "editor/resources/generator/SkinPainter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "editor/ControlLayout.h"
#include "engine/ParameterTable.h"
#include "toolkit/DeviceScale.h"

namespace skin {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kWidth = kWindowWidth;
constexpr int kHeight = kWindowHeight;
const char* const kFont = "Liberation Sans";
const char* const kNarrowFont = "Liberation Sans Narrow";

struct Colour {
  double r, g, b;
};

Colour rgb(int r, int g, int b) {
  return {r / 255.0, g / 255.0, b / 255.0};
}

void setColour(cairo_t* cr, Colour c, double a = 1.0) {
  cairo_set_source_rgba(cr, c.r, c.g, c.b, a);
}

// xorshift32: a fixed sequence on every platform, unlike rand().
struct Noise {
  std::uint32_t s;
  explicit Noise(std::uint32_t seed) : s(seed ? seed : 1u) {}
  double next() {  // -1 .. 1
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return (s / 4294967295.0) * 2.0 - 1.0;
  }
};

cairo_surface_t* newSurface(int w, int h) {
  return cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
}

// Device pixels of a logical length at the scale being drawn.
int px(double logical, double scale) {
  return toolkit::devicePixels(logical, scale);
}

// --------------------------------------------------------------------------
// Text

void setFont(cairo_t* cr, double size, bool bold, bool narrow = false) {
  cairo_select_font_face(cr, narrow ? kNarrowFont : kFont, CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
  cairo_font_options_t* fo = cairo_font_options_create();
  cairo_font_options_set_antialias(fo, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(fo, CAIRO_HINT_STYLE_SLIGHT);
  cairo_font_options_set_hint_metrics(fo, CAIRO_HINT_METRICS_OFF);
  cairo_set_font_options(cr, fo);
  cairo_font_options_destroy(fo);
}

double textWidth(cairo_t* cr, const char* s, double spacing) {
  cairo_text_extents_t e;
  cairo_text_extents(cr, s, &e);
  return e.x_advance + spacing * (std::strlen(s) > 0 ? std::strlen(s) - 1 : 0);
}

// Draws s with its baseline at y; align -1 left, 0 centre, 1 right of x.
// Letter spacing is applied by hand, glyph by glyph.
void drawText(cairo_t* cr, double x, double y, const char* s, int align, double spacing, Colour c,
              double alpha = 1.0) {
  double w = textWidth(cr, s, spacing);
  double px = align < 0 ? x : align == 0 ? x - w / 2 : x - w;
  setColour(cr, c, alpha);
  char one[2] = {0, 0};
  for (const char* p = s; *p; ++p) {
    one[0] = *p;
    cairo_move_to(cr, px, y);
    cairo_show_text(cr, one);
    cairo_text_extents_t e;
    cairo_text_extents(cr, one, &e);
    px += e.x_advance + spacing;
  }
}

// Screen-printed label: light ink with a faint dark under-shadow.
const Colour kInk = rgb(226, 224, 214);

void label(cairo_t* cr, double x, double y, const char* s, double size, int align = 0,
           double spacing = 0.4, Colour ink = kInk) {
  setFont(cr, size, true);
  drawText(cr, x, y + 0.8, s, align, spacing, rgb(0, 0, 0), 0.55);
  drawText(cr, x, y, s, align, spacing, ink);
}

// --------------------------------------------------------------------------
// Shapes

void roundRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
  cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
  cairo_arc(cr, x + r, y + r, r, kPi, 3 * kPi / 2);
  cairo_close_path(cr);
}

void linearFill(cairo_t* cr, double x0, double y0, double x1, double y1, Colour a, Colour b,
                double alpha = 1.0) {
  cairo_pattern_t* p = cairo_pattern_create_linear(x0, y0, x1, y1);
  cairo_pattern_add_color_stop_rgba(p, 0, a.r, a.g, a.b, alpha);
  cairo_pattern_add_color_stop_rgba(p, 1, b.r, b.g, b.b, alpha);
  cairo_set_source(cr, p);
  cairo_pattern_destroy(p);
}

// A recess cut into the panel: dark floor, shadow on the upper edge, light
// catch on the lower edge.
void recess(cairo_t* cr, double x, double y, double w, double h, double r, Colour floor) {
  roundRect(cr, x - 0.5, y - 0.5, w + 1, h + 1.5, r + 0.5);
  setColour(cr, rgb(255, 255, 255), 0.10);
  cairo_fill(cr);
  roundRect(cr, x - 0.5, y - 0.5, w + 1, h + 0.5, r + 0.5);
  setColour(cr, rgb(0, 0, 0), 0.75);
  cairo_fill(cr);
  roundRect(cr, x, y + 0.5, w, h - 0.5, r);
  setColour(cr, floor);
  cairo_fill(cr);
  // inner shadow along the top
  roundRect(cr, x, y + 0.5, w, h - 0.5, r);
  linearFill(cr, 0, y, 0, y + std::min(4.0, h / 2), rgb(0, 0, 0), floor, 0.6);
  cairo_fill(cr);
}

void screw(cairo_t* cr, double cx, double cy, double angle) {
  cairo_arc(cr, cx, cy + 0.6, 4.2, 0, 2 * kPi);
  setColour(cr, rgb(0, 0, 0), 0.5);
  cairo_fill(cr);
  cairo_pattern_t* p = cairo_pattern_create_radial(cx - 1.5, cy - 1.5, 0.5, cx, cy, 4.2);
  cairo_pattern_add_color_stop_rgb(p, 0, 0.80, 0.80, 0.78);
  cairo_pattern_add_color_stop_rgb(p, 1, 0.33, 0.33, 0.33);
  cairo_set_source(cr, p);
  cairo_arc(cr, cx, cy, 3.8, 0, 2 * kPi);
  cairo_fill(cr);
  cairo_pattern_destroy(p);
  cairo_set_line_width(cr, 1.1);
  setColour(cr, rgb(40, 40, 40));
  cairo_move_to(cr, cx - 3 * std::cos(angle), cy - 3 * std::sin(angle));
  cairo_line_to(cr, cx + 3 * std::cos(angle), cy + 3 * std::sin(angle));
  cairo_stroke(cr);
}

// Copies the background under a control into a new surface, repeated for each
// image of its strip: at the control's device place, in its device size.
cairo_surface_t* stripOver(cairo_surface_t* panel, int x, int y, int w, int h, int images,
                           double scale) {
  const int dx = px(x, scale), dy = px(y, scale), dw = px(w, scale), dh = px(h, scale);
  cairo_surface_t* s = newSurface(dw, dh * images);
  cairo_t* cr = cairo_create(s);
  for (int i = 0; i < images; ++i) {
    cairo_save(cr);
    cairo_rectangle(cr, 0, i * dh, dw, dh);
    cairo_clip(cr);
    cairo_set_source_surface(cr, panel, -dx, i * dh - dy);
    cairo_paint(cr);
    cairo_restore(cr);
  }
  cairo_destroy(cr);
  return s;
}

// Draws each image of a w x h strip in its own coordinates (0, 0, w, h),
// stretched to the image's device size so that it fills it exactly.
template <typename PaintImage>
void eachImage(cairo_t* cr, int images, int w, int h, double scale, PaintImage paint) {
  const int dw = px(w, scale), dh = px(h, scale);
  for (int i = 0; i < images; ++i) {
    cairo_save(cr);
    cairo_translate(cr, 0, i * dh);
    cairo_scale(cr, static_cast<double>(dw) / w, static_cast<double>(dh) / h);
    paint(i);
    cairo_restore(cr);
  }
}

// A strip of images over the background at a control's place; each image is
// painted in its own coordinates (0, 0, width, height).
struct Strip {
  int left, top, width, height, images;
  std::function<void(cairo_t*, int)> paint;
};

// The whole strip: the committed images.
cairo_surface_t* paintStrip(const Strip& strip, double scale, cairo_surface_t* panel) {
  cairo_surface_t* s =
      stripOver(panel, strip.left, strip.top, strip.width, strip.height, strip.images, scale);
  cairo_t* cr = cairo_create(s);
  eachImage(cr, strip.images, strip.width, strip.height, scale, [&](int i) { strip.paint(cr, i); });
  cairo_destroy(cr);
  return s;
}

// Image `index` alone. Its neighbours are painted around it as well, for
// whatever of theirs reaches across the border, so that it is that image of
// the whole strip.
cairo_surface_t* paintStripImage(const Strip& strip, double scale, cairo_surface_t* panel,
                                 int index) {
  cairo_surface_t* s = stripOver(panel, strip.left, strip.top, strip.width, strip.height, 1, scale);
  cairo_t* cr = cairo_create(s);
  const int dw = px(strip.width, scale), dh = px(strip.height, scale);
  for (int i = std::max(0, index - 1); i <= std::min(strip.images - 1, index + 1); ++i) {
    cairo_save(cr);
    cairo_translate(cr, 0, (i - index) * dh);
    cairo_scale(cr, static_cast<double>(dw) / strip.width, static_cast<double>(dh) / strip.height);
    strip.paint(cr, i);
    cairo_restore(cr);
  }
  cairo_destroy(cr);
  return s;
}

// Lamp lens: dark tinted glass when off, bright core with halo when lit.
void lamp(cairo_t* cr, double cx, double cy, double r, Colour hue, double level) {
  // bezel
  cairo_arc(cr, cx, cy + 0.4, r + 1.4, 0, 2 * kPi);
  setColour(cr, rgb(8, 8, 8));
  cairo_fill(cr);
  cairo_arc(cr, cx, cy, r + 1.4, kPi * 0.15, kPi * 0.85);
  cairo_set_line_width(cr, 0.6);
  setColour(cr, rgb(255, 255, 255), 0.12);
  cairo_stroke(cr);
  // lens
  double dim = 0.22;
  double k = dim + (1.0 - dim) * level;
  Colour body{hue.r * k, hue.g * k, hue.b * k};
  Colour core{std::min(1.0, hue.r * k + 0.55 * level), std::min(1.0, hue.g * k + 0.45 * level),
              std::min(1.0, hue.b * k + 0.35 * level)};
  cairo_pattern_t* p = cairo_pattern_create_radial(cx, cy, 0, cx, cy, r);
  cairo_pattern_add_color_stop_rgb(p, 0, core.r, core.g, core.b);
  cairo_pattern_add_color_stop_rgb(p, 1, body.r * 0.7, body.g * 0.7, body.b * 0.7);
  cairo_set_source(cr, p);
  cairo_arc(cr, cx, cy, r, 0, 2 * kPi);
  cairo_fill(cr);
  cairo_pattern_destroy(p);
  // halo on the bezel when lit
  if (level > 0.02) {
    cairo_pattern_t* h = cairo_pattern_create_radial(cx, cy, r * 0.6, cx, cy, r + 2.5);
    cairo_pattern_add_color_stop_rgba(h, 0, hue.r, hue.g, hue.b, 0.0);
    cairo_pattern_add_color_stop_rgba(h, 0.55, hue.r, hue.g, hue.b, 0.35 * level);
    cairo_pattern_add_color_stop_rgba(h, 1, hue.r, hue.g, hue.b, 0.0);
    cairo_set_source(cr, h);
    cairo_arc(cr, cx, cy, r + 2.5, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_pattern_destroy(h);
  }
  // specular glint
  cairo_arc(cr, cx - r * 0.35, cy - r * 0.4, r * 0.32, 0, 2 * kPi);
  setColour(cr, rgb(255, 255, 255), 0.30 + 0.25 * level);
  cairo_fill(cr);
}

// --------------------------------------------------------------------------
// Background

// The name printed at a control of a parameter.
const char* panelLabel(int parameter) {
  return parameter >= 0 && parameter < kNumParams ? params::kParameters[parameter].panelName : "";
}

const ControlPlace& place(int tag) {
  return *findControl(tag);
}

const Colour kPanel = rgb(46, 48, 52);
const Colour kStripPanel = rgb(30, 31, 34);
const Colour kLcd = rgb(189, 207, 218);
const Colour kLcdInk = rgb(36, 36, 32);

// Brushed, anodised aluminium: every row gets its own slowly varying grain.
// Rows y0..y1 (logical) get their grain at device resolution: streaks as long
// as at 100 %, as strong, on finer rows.
void brushedPanel(cairo_surface_t* s, int y0, int y1, Colour base, std::uint32_t seed,
                  double scale) {
  cairo_surface_flush(s);
  unsigned char* data = cairo_image_surface_get_data(s);
  int stride = cairo_image_surface_get_stride(s);
  int w = cairo_image_surface_get_width(s);
  Noise n(seed);
  std::vector<double> row(w), smooth(w);
  const int r = px(12, scale);
  const double streak = 9.0 * std::sqrt((2 * r + 1) / 25.0);
  for (int y = px(y0, scale); y < px(y1, scale); ++y) {
    double rowShift = n.next() * 2.2;
    for (int x = 0; x < w; ++x) row[x] = n.next();
    // horizontal streaks: box-filter the noise along the row
    double acc = 0;
    for (int x = -r; x <= r; ++x) acc += row[(x + w) % w];
    for (int x = 0; x < w; ++x) {
      smooth[x] = acc / (2 * r + 1);
      acc += row[(x + r + 1) % w] - row[(x - r + w) % w];
    }
    for (int x = 0; x < w; ++x) {
      double v = rowShift + smooth[x] * streak + row[x] * 1.6;
      auto* px = reinterpret_cast<std::uint32_t*>(data + y * stride) + x;
      auto ch = [&](double c) {
        double q = c * 255.0 + v;
        return static_cast<std::uint32_t>(q < 0 ? 0 : q > 255 ? 255 : q + 0.5);
      };
      *px = 0xff000000u | (ch(base.r) << 16) | (ch(base.g) << 8) | ch(base.b);
    }
  }
  cairo_surface_mark_dirty(s);
}

// Heading across a group: a thin rule interrupted by the group's name.
void heading(cairo_t* cr, double x0, double x1, double y, const char* s) {
  setFont(cr, 6.5, true);
  double w = textWidth(cr, s, 1.0);
  double cx = (x0 + x1) / 2;
  label(cr, cx, y + 2.3, s, 6.5, 0, 1.0, rgb(190, 190, 182));
  cairo_set_line_width(cr, 1);
  setColour(cr, rgb(170, 170, 162), 0.8);
  cairo_move_to(cr, x0, y + 0.5);
  cairo_line_to(cr, cx - w / 2 - 4, y + 0.5);
  cairo_move_to(cr, cx + w / 2 + 4, y + 0.5);
  cairo_line_to(cr, x1, y + 0.5);
  cairo_stroke(cr);
  // end ticks
  cairo_move_to(cr, x0 + 0.5, y + 0.5);
  cairo_line_to(cr, x0 + 0.5, y + 3.5);
  cairo_move_to(cr, x1 - 0.5, y + 0.5);
  cairo_line_to(cr, x1 - 0.5, y + 3.5);
  cairo_stroke(cr);
}

// Angle of a knob or tick for a value 0..1: 270 degrees, clockwise from the
// lower left; 0 radians points straight up.
double knobAngle(double v) {
  return (-135.0 + 270.0 * v) * kPi / 180.0;
}

void knobScale(cairo_t* cr, double cx, double cy, double r0, double r1) {
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  for (int i = 0; i <= 10; ++i) {
    double a = knobAngle(i / 10.0);
    double s = std::sin(a), c = -std::cos(a);
    double outer = (i == 0 || i == 5 || i == 10) ? r1 + 0.6 : r1;
    cairo_set_line_width(cr, (i == 0 || i == 5 || i == 10) ? 1.2 : 0.8);
    setColour(cr, kInk, 0.85);
    cairo_move_to(cr, cx + s * r0, cy + c * r0);
    cairo_line_to(cr, cx + s * outer, cy + c * outer);
    cairo_stroke(cr);
  }
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
}

// Bevels around the front panel, the step down to the strip, the screws and the group headings.
void panelEdges(cairo_t* cr) {
  // panel edges: bevel light on top/left, shadow bottom/right
  cairo_set_line_width(cr, 1);
  setColour(cr, rgb(255, 255, 255), 0.16);
  cairo_move_to(cr, 0, 0.5);
  cairo_line_to(cr, kWidth, 0.5);
  cairo_move_to(cr, 0.5, 0);
  cairo_line_to(cr, 0.5, 84);
  cairo_stroke(cr);
  setColour(cr, rgb(0, 0, 0), 0.5);
  cairo_move_to(cr, kWidth - 0.5, 0);
  cairo_line_to(cr, kWidth - 0.5, 84);
  cairo_stroke(cr);
  // the step between the front panel and the preset strip
  setColour(cr, rgb(0, 0, 0), 0.8);
  cairo_move_to(cr, 0, 83.5);
  cairo_line_to(cr, kWidth, 83.5);
  cairo_stroke(cr);
  setColour(cr, rgb(255, 255, 255), 0.08);
  cairo_move_to(cr, 0, 84.5);
  cairo_line_to(cr, kWidth, 84.5);
  cairo_stroke(cr);

  screw(cr, 13, 13, 0.6);
  screw(cr, 13, 71, 2.1);
  screw(cr, 857, 71, 1.2);

  // group headings
  heading(cr, 104, 240, 7, "LEVELS");
  heading(cr, 244, 331, 7, "FEEDBACK");
  heading(cr, 336, 425, 7, "OUTPUT MIX");
  heading(cr, 430, 600, 7, "DELAY  /  CLOCK");
  heading(cr, 610, 798, 7, "MODULATION");
}

// Each knob's name and scale, each button's collar and name.
void controlLabels(cairo_t* cr) {
  // knobs: name above, scale around
  for (const ControlPlace& k : kPanelControls) {
    if (k.kind != ControlKind::kKnob) continue;
    double cx = k.left + k.width / 2.0, cy = k.top + k.width / 2.0;
    label(cr, cx, 20.5, panelLabel(k.parameter), 7.2);
    knobScale(cr, cx, cy, k.width / 2.0 + 0.6, k.width / 2.0 + 2.6);
  }
  // buttons: recessed collar around each, name below
  for (const ControlPlace& b : kPanelControls) {
    if (b.kind != ControlKind::kLitButton) continue;
    recess(cr, b.left - 1, b.top - 1, b.width + 2, b.height + 2, 3, rgb(14, 14, 15));
    double below = b.bottom() + 9.5;
    if (b.bottom() + 12 > 83) below = 81;
    label(cr, b.left + b.width / 2.0, below, panelLabel(b.parameter), 6.6);
  }
}

// The level meter's slot and its dB marks.
void meterScale(cairo_t* cr) {
  const ControlPlace& meter = place(kTagLevelMeter);
  recess(cr, meter.left - 1, meter.top - 1, meter.width + 2, meter.height + 2, 1.5,
         rgb(10, 10, 10));
  label(cr, meter.left + meter.width / 2.0, meter.top - 5, "PEAK", 6.6);
  {
    setFont(cr, 5.6, true);
    struct Mark {
      int segments;
      const char* text;
    } marks[] = {{20, "0"}, {15, "6"}, {10, "12"}, {5, "18"}, {0, "24"}};
    for (const Mark& m : marks) {
      // segment n sits at the meter's row for n of 20 segments lit
      double y = meter.bottom() - 2.5 - m.segments * 2.0 + (m.segments == 0 ? 0 : 1.0);
      cairo_set_line_width(cr, 0.8);
      setColour(cr, kInk, 0.8);
      cairo_move_to(cr, meter.right() + 2, y + 0.4);
      cairo_line_to(cr, meter.right() + 5, y + 0.4);
      cairo_stroke(cr);
      label(cr, meter.right() + 6, y + 2.3, m.text, 5.6, -1, 0.1);
    }
    label(cr, meter.right() + 10, meter.bottom() + 8, "dB", 5.6, 0, 0.1);
  }
}

// Dly<>Clk positions, the step buttons' collars and the drag strip between them.
void delayControls(cairo_t* cr) {
  // Dly<>Clk switch: slot and its two positions
  const ControlPlace& lever = place(kDlyClk);
  label(cr, lever.left - 4, lever.top + 8, "DLY", 6.2, 1, 0.3);
  label(cr, lever.right() + 4, lever.top + 8, "CLK", 6.2, -1, 0.3);
  // step buttons: collars; the drag strip between them
  for (int tag : {kTagDelayDown, kTagDelayUp}) {
    const ControlPlace& b = place(tag);
    recess(cr, b.left - 1, b.top - 1, b.width + 2, b.height + 2, 3, rgb(14, 14, 15));
  }
  const ControlPlace& strip = place(kTagDelayStrip);
  recess(cr, strip.left + 1, strip.top + 1, strip.width - 2, strip.height - 2, 1.5,
         rgb(22, 22, 24));
  for (int i = 0; i < 7; ++i) {
    double y = strip.top + 4.5 + i * 3;
    cairo_set_line_width(cr, 1);
    setColour(cr, rgb(120, 120, 118));
    cairo_move_to(cr, strip.left + 2.5, y);
    cairo_line_to(cr, strip.right() - 2.5, y);
    cairo_stroke(cr);
    setColour(cr, rgb(0, 0, 0), 0.8);
    cairo_move_to(cr, strip.left + 2.5, y + 1);
    cairo_line_to(cr, strip.right() - 2.5, y + 1);
    cairo_stroke(cr);
  }
  const ControlPlace& down = place(kTagDelayDown);
  label(cr, (down.left + place(kTagDelayUp).right()) / 2.0, down.bottom() + 11, "STEP  /  DRAG",
        6.0, 0, 0.3);
}

// The red glass behind the digits, then the lamps' and the waveform knob's names.
void readoutAndLamps(cairo_t* cr) {
  // readout window: smoked red glass behind the four digits
  const ControlPlace& first = place(kTagDigit1);
  const ControlPlace& down = place(kTagDelayDown);
  const int glassLeft = first.left - 6, glassTop = first.top - 5;
  const int glassWidth = place(kTagDigit4).right() + 2 - glassLeft, glassHeight = first.height + 11;
  recess(cr, glassLeft, glassTop, glassWidth, glassHeight, 3, rgb(20, 5, 5));
  {
    cairo_pattern_t* g =
        cairo_pattern_create_linear(0, glassTop + 1, 0, glassTop + glassHeight - 1);
    cairo_pattern_add_color_stop_rgba(g, 0, 1, 1, 1, 0.07);
    cairo_pattern_add_color_stop_rgba(g, 0.45, 1, 1, 1, 0.02);
    cairo_pattern_add_color_stop_rgba(g, 0.5, 1, 1, 1, 0.0);
    cairo_set_source(cr, g);
    cairo_rectangle(cr, glassLeft + 1, glassTop + 1, glassWidth - 2, glassHeight - 2);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
  }
  label(cr, (glassLeft + place(kTagDigit4).right()) / 2.0, down.bottom() + 11, "ms  /  BEAT", 6.0,
        0, 0.3);
  // status lamps: names to the right of the three lamps
  const ControlPlace& lamps = place(kTagStatusLamps);
  label(cr, lamps.right() + 2, lamps.top + 8, "CYC", 5.6, -1, 0.1);
  label(cr, lamps.right() + 2, lamps.top + 18.5, "INF", 5.6, -1, 0.1);
  label(cr, lamps.right() + 2, lamps.top + 29, "CUT", 5.6, -1, 0.1);

  // bypass lamp and modulation lamp
  const ControlPlace& bypass = place(kTagBypassLamp);
  label(cr, bypass.left + bypass.width / 2.0, bypass.bottom() + 8.5, "BYPASS", 5.6, 0, 0.2);
  const ControlPlace& lfo = place(kTagLfoLamp);
  label(cr, lfo.left + lfo.width / 2.0, lfo.bottom() + 8, "LFO", 5.6, 0, 0.2);

  // waveform knob: sine at the left end, envelope at the top (its name
  // above carries that), square at the right end; the name goes below
  const ControlPlace& wave = place(kWaveform);
  label(cr, wave.left + 4, wave.bottom() + 5.5, "SIN", 5.6, 0, 0.1);
  label(cr, wave.right() - 4, wave.bottom() + 5.5, "SQR", 5.6, 0, 0.1);
  label(cr, wave.left + wave.width / 2.0, wave.bottom() + 14, "WAVEFORM", 6.6, 0, 0.4);
}

// The maker's logo behind the about button.
void makerLogo(cairo_t* cr) {
  {
    const ControlPlace& logo = place(kTagAbout);
    roundRect(cr, logo.left + 0.5, logo.top + 0.5, logo.width - 1, logo.height - 1, 3);
    setColour(cr, rgb(20, 20, 22));
    cairo_fill_preserve(cr);
    cairo_set_line_width(cr, 1);
    setColour(cr, rgb(150, 150, 140), 0.7);
    cairo_stroke(cr);
    const double centre = logo.left + logo.width / 2.0;
    label(cr, centre, logo.top + 9.5, "VANTREL", 6.3, 0, 1.3, rgb(200, 170, 110));
    setFont(cr, 11, true);
    label(cr, centre, logo.top + 20.5, "KORVA", 10.5, 0, 1.6);
  }
}

// The preset strip: name window and menu symbol, memory buttons' names, controller display.
void presetStrip(cairo_t* cr) {
  {
    // preset name window and its menu symbol
    const ControlPlace& name = place(kTagPresetName);
    const ControlPlace& menu = place(kTagPresetMenu);
    recess(cr, name.left - 1, name.top, menu.right() + 2 - name.left, name.height, 2, kLcd);
    roundRect(cr, name.left, name.top + 1, name.width, name.height - 2, 1);
    setColour(cr, kLcd);
    cairo_fill(cr);
    cairo_set_line_width(cr, 1);
    setColour(cr, rgb(120, 135, 145));
    cairo_move_to(cr, menu.left + 0.5, name.top + 1);
    cairo_line_to(cr, menu.left + 0.5, name.bottom() - 1);
    cairo_stroke(cr);
    cairo_move_to(cr, menu.left + 3.5, menu.top + 4.5);
    cairo_line_to(cr, menu.left + 10.5, menu.top + 4.5);
    cairo_line_to(cr, menu.left + 7, menu.top + 9);
    cairo_close_path(cr);
    setColour(cr, kLcdInk);
    cairo_fill(cr);
    const ControlPlace& storeA = place(kTagStoreMemoA);
    const ControlPlace& storeB = place(kTagStoreMemoB);
    label(cr, storeA.left - 9, storeA.top + 10, "MEM", 5.6, 0, 0.1, rgb(180, 180, 172));
    label(cr, (storeA.right() + place(kTagRecallMemoA).left) / 2.0, storeA.top + 10.5, "A", 7.5, 0,
          0, rgb(180, 180, 172));
    label(cr, (storeB.right() + place(kTagRecallMemoB).left) / 2.0, storeB.top + 10.5, "B", 7.5, 0,
          0, rgb(180, 180, 172));
    // controller display
    const ControlPlace& display = place(kTagControllerDisplay);
    recess(cr, display.left - 1, display.top - 1, display.width + 2, display.height + 2, 2, kLcd);
    label(cr, display.left - 7, display.top + 9, "CC", 5.6, 0, 0.2, rgb(180, 180, 172));
  }
}

cairo_surface_t* drawBackground(double scale) {
  cairo_surface_t* s = newSurface(px(kWidth, scale), px(kHeight, scale));
  brushedPanel(s, 0, 84, kPanel, 0x4b4f5a1du, scale);
  brushedPanel(s, 84, kHeight, kStripPanel, 0x1234abcdu, scale);
  cairo_t* cr = cairo_create(s);
  cairo_scale(cr, scale, scale);
  // The order matters: later parts draw over earlier ones and inherit the font.
  panelEdges(cr);
  controlLabels(cr);
  meterScale(cr);
  delayControls(cr);
  readoutAndLamps(cr);
  makerLogo(cr);
  presetStrip(cr);
  cairo_destroy(cr);
  return s;
}

// --------------------------------------------------------------------------
// Knobs

struct KnobStyle {
  Colour cap;     // centre cap
  Colour marker;  // pointer line
};

void drawKnob(cairo_t* cr, double cx, double cy, double r, double value, const KnobStyle& st) {
  double a = knobAngle(value);
  double sx = std::sin(a), sy = -std::cos(a);

  // drop shadow on the panel
  cairo_pattern_t* sh =
      cairo_pattern_create_radial(cx + 0.8, cy + 1.8, r * 0.7, cx + 0.8, cy + 1.8, r + 1.2);
  cairo_pattern_add_color_stop_rgba(sh, 0, 0, 0, 0, 0.7);
  cairo_pattern_add_color_stop_rgba(sh, 1, 0, 0, 0, 0.0);
  cairo_set_source(cr, sh);
  cairo_arc(cr, cx + 0.8, cy + 1.8, r + 1.2, 0, 2 * kPi);
  cairo_fill(cr);
  cairo_pattern_destroy(sh);

  // skirt: black with knurled rim that turns with the knob
  cairo_arc(cr, cx, cy, r, 0, 2 * kPi);
  linearFill(cr, cx, cy - r, cx, cy + r, rgb(62, 62, 64), rgb(10, 10, 11));
  cairo_fill(cr);
  cairo_set_line_width(cr, 0.7);
  for (int i = 0; i < 36; ++i) {
    double t = a + i * 2 * kPi / 36;
    double light = 0.5 + 0.5 * std::cos(t + kPi / 4 + kPi / 2);  // brighter towards upper left
    setColour(cr, rgb(150, 150, 150), 0.10 + 0.25 * light);
    cairo_move_to(cr, cx + std::sin(t) * (r - 2.2), cy - std::cos(t) * (r - 2.2));
    cairo_line_to(cr, cx + std::sin(t) * (r - 0.4), cy - std::cos(t) * (r - 0.4));
    cairo_stroke(cr);
  }
  // rim highlight
  cairo_set_line_width(cr, 0.8);
  cairo_arc(cr, cx, cy, r - 0.4, kPi * 1.05, kPi * 1.75);
  setColour(cr, rgb(255, 255, 255), 0.25);
  cairo_stroke(cr);

  // skirt marker
  cairo_set_line_width(cr, 1.6);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  setColour(cr, rgb(240, 238, 230));
  cairo_move_to(cr, cx + sx * (r * 0.70), cy + sy * (r * 0.70));
  cairo_line_to(cr, cx + sx * (r - 1.3), cy + sy * (r - 1.3));
  cairo_stroke(cr);

  // cap: satin metal, lit from the upper left
  double rc = r * 0.62;
  cairo_arc(cr, cx, cy + 0.8, rc + 0.6, 0, 2 * kPi);
  setColour(cr, rgb(0, 0, 0), 0.6);
  cairo_fill(cr);
  cairo_pattern_t* cap =
      cairo_pattern_create_radial(cx - rc * 0.45, cy - rc * 0.55, rc * 0.1, cx, cy, rc * 1.15);
  Colour c = st.cap;
  cairo_pattern_add_color_stop_rgb(cap, 0, std::min(1.0, c.r + 0.45), std::min(1.0, c.g + 0.45),
                                   std::min(1.0, c.b + 0.45));
  cairo_pattern_add_color_stop_rgb(cap, 0.55, c.r, c.g, c.b);
  cairo_pattern_add_color_stop_rgb(cap, 1, c.r * 0.45, c.g * 0.45, c.b * 0.45);
  cairo_set_source(cr, cap);
  cairo_arc(cr, cx, cy, rc, 0, 2 * kPi);
  cairo_fill(cr);
  cairo_pattern_destroy(cap);
  cairo_set_line_width(cr, 0.6);
  cairo_arc(cr, cx, cy, rc - 0.3, 0, 2 * kPi);
  setColour(cr, rgb(0, 0, 0), 0.35);
  cairo_stroke(cr);

  // pointer groove on the cap
  cairo_set_line_width(cr, 1.5);
  setColour(cr, st.marker);
  cairo_move_to(cr, cx + sx * rc * 0.25, cy + sy * rc * 0.25);
  cairo_line_to(cr, cx + sx * (rc - 1.2), cy + sy * (rc - 1.2));
  cairo_stroke(cr);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
}

Strip knobStrip(const ControlPlace& k, const KnobStyle& st) {
  const int last = k.images - 1;
  return Strip{k.left, k.top, k.width, k.height, k.images, [=](cairo_t* cr, int i) {
                 double c = k.width / 2.0;
                 cairo_rectangle(cr, 0, 0, k.width, k.height);
                 cairo_clip(cr);
                 drawKnob(cr, c, c, k.width / 2.0 - 2.2, static_cast<double>(i) / last, st);
               }};
}

// --------------------------------------------------------------------------
// Buttons

// Illuminated push button: a translucent cap over a warm lamp.
void drawLitButton(cairo_t* cr, double x, double y, double w, double h, bool lit) {
  double inset = 2.0;
  double cx = x + inset, cy = y + inset, cw = w - 2 * inset, ch = h - 2 * inset;
  // shadow of the cap inside the collar
  roundRect(cr, cx - 0.5, cy + 0.5, cw + 1, ch + 0.5, 2.5);
  setColour(cr, rgb(0, 0, 0), 0.8);
  cairo_fill(cr);
  Colour top = lit ? rgb(255, 214, 130) : rgb(92, 78, 62);
  Colour bottom = lit ? rgb(236, 128, 30) : rgb(48, 40, 33);
  roundRect(cr, cx, cy, cw, ch, 2.2);
  linearFill(cr, 0, cy, 0, cy + ch, top, bottom);
  cairo_fill(cr);
  if (lit) {
    cairo_pattern_t* g = cairo_pattern_create_radial(cx + cw / 2, cy + ch / 2, 0, cx + cw / 2,
                                                     cy + ch / 2, cw * 0.7);
    cairo_pattern_add_color_stop_rgba(g, 0, 1, 0.97, 0.85, 0.75);
    cairo_pattern_add_color_stop_rgba(g, 1, 1, 0.8, 0.4, 0.0);
    cairo_set_source(cr, g);
    cairo_pattern_destroy(g);
    roundRect(cr, cx, cy, cw, ch, 2.2);
    cairo_fill(cr);
    // glow spilling onto the collar
    cairo_set_line_width(cr, 1.2);
    roundRect(cr, x + 1, y + 1, w - 2, h - 2, 2.8);
    setColour(cr, rgb(255, 150, 40), 0.35);
    cairo_stroke(cr);
  }
  // frosted texture lines of the lens
  cairo_set_line_width(cr, 0.5);
  for (double ly = cy + 3; ly < cy + ch - 2; ly += 2.0) {
    setColour(cr, rgb(255, 255, 255), lit ? 0.10 : 0.05);
    cairo_move_to(cr, cx + 2, ly + 0.25);
    cairo_line_to(cr, cx + cw - 2, ly + 0.25);
    cairo_stroke(cr);
  }
  // edge highlight, top
  cairo_set_line_width(cr, 0.8);
  roundRect(cr, cx + 0.4, cy + 0.4, cw - 0.8, ch - 0.8, 2);
  linearFill(cr, 0, cy, 0, cy + ch, rgb(255, 255, 255), rgb(0, 0, 0), 0.35);
  cairo_stroke(cr);
}

Strip litButtonStrip(const ControlPlace& b) {
  return Strip{
      b.left,   b.top,
      b.width,  b.height,
      b.images, [=](cairo_t* cr, int i) { drawLitButton(cr, 0, 0, b.width, b.height, i == 1); }};
}

// Step button: grey cap with an arrow; pressed sits lower and darker.
void drawStepButton(cairo_t* cr, double x, double y, double w, double h, bool up, bool pressed) {
  double d = pressed ? 1.0 : 0.0;
  double cx = x + 2, cy = y + 2 + d, cw = w - 4, ch = h - 4 - d;
  if (!pressed) {
    roundRect(cr, cx, cy + 1.2, cw, ch, 3);
    setColour(cr, rgb(0, 0, 0), 0.8);
    cairo_fill(cr);
  }
  roundRect(cr, cx, cy, cw, ch, 3);
  linearFill(cr, 0, cy, 0, cy + ch, pressed ? rgb(70, 72, 76) : rgb(118, 120, 125),
             pressed ? rgb(40, 41, 44) : rgb(58, 60, 64));
  cairo_fill(cr);
  roundRect(cr, cx + 0.5, cy + 0.5, cw - 1, ch - 1, 2.6);
  cairo_set_line_width(cr, 1);
  linearFill(cr, 0, cy, 0, cy + ch, rgb(255, 255, 255), rgb(0, 0, 0), pressed ? 0.15 : 0.4);
  cairo_stroke(cr);
  // arrow
  double ax = cx + cw / 2, ay = cy + ch / 2;
  cairo_new_path(cr);
  if (up) {
    cairo_move_to(cr, ax - 5.5, ay + 3.2);
    cairo_line_to(cr, ax + 5.5, ay + 3.2);
    cairo_line_to(cr, ax, ay - 4.2);
  } else {
    cairo_move_to(cr, ax - 5.5, ay - 3.2);
    cairo_line_to(cr, ax + 5.5, ay - 3.2);
    cairo_line_to(cr, ax, ay + 4.2);
  }
  cairo_close_path(cr);
  cairo_save(cr);
  cairo_translate(cr, 0, 0.8);
  setColour(cr, rgb(0, 0, 0), 0.6);
  cairo_fill_preserve(cr);
  cairo_restore(cr);
  cairo_new_path(cr);
  if (up) {
    cairo_move_to(cr, ax - 5.5, ay + 3.2);
    cairo_line_to(cr, ax + 5.5, ay + 3.2);
    cairo_line_to(cr, ax, ay - 4.2);
  } else {
    cairo_move_to(cr, ax - 5.5, ay - 3.2);
    cairo_line_to(cr, ax + 5.5, ay - 3.2);
    cairo_line_to(cr, ax, ay + 4.2);
  }
  cairo_close_path(cr);
  setColour(cr, pressed ? rgb(190, 188, 180) : kInk);
  cairo_fill(cr);
}

Strip stepStrip(const ControlPlace& b, bool up) {
  return Strip{b.left,
               b.top,
               b.width,
               b.height,
               b.images,
               [=](cairo_t* cr, int i) { drawStepButton(cr, 0, 0, b.width, b.height, up, i == 1); }};
}

// Small slide toggle; the lever sits left (delay) or right (clock).
Strip switchStrip() {
  const ControlPlace& c = place(kDlyClk);
  return Strip{c.left, c.top, c.width, c.height, c.images, [=](cairo_t* cr, int i) {
                 const double y = 0;
                 // slot
                 roundRect(cr, 0.5, y + 0.5, 14, 9, 2);
                 setColour(cr, rgb(4, 4, 4));
                 cairo_fill(cr);
                 roundRect(cr, 2, y + 3.5, 11, 3, 1.5);
                 setColour(cr, rgb(30, 30, 32));
                 cairo_fill(cr);
                 // lever: a ridged metal slider, shadow towards the lower right
                 double lx = i == 0 ? 1.5 : 7.5;
                 roundRect(cr, lx + 0.6, y + 1.9, 6, 7.4, 1.2);
                 setColour(cr, rgb(0, 0, 0), 0.8);
                 cairo_fill(cr);
                 roundRect(cr, lx, y + 1.3, 6, 7.2, 1.2);
                 linearFill(cr, 0, y + 1.3, 0, y + 8.5, rgb(230, 230, 225), rgb(120, 120, 118));
                 cairo_fill(cr);
                 cairo_set_line_width(cr, 0.7);
                 for (int g = 0; g < 3; ++g) {
                   setColour(cr, rgb(70, 70, 70), 0.8);
                   cairo_move_to(cr, lx + 1.5 + g * 1.5, y + 2.8);
                   cairo_line_to(cr, lx + 1.5 + g * 1.5, y + 7.2);
                   cairo_stroke(cr);
                 }
               }};
}

// --------------------------------------------------------------------------
// Readout, lamps, meter

// Seven-segment digit: segments a..g, lit by a bit mask (bit 0 = a).
void drawSevenSeg(cairo_t* cr, double x, double y, double w, double h, unsigned mask) {
  const double t = 2.1;  // segment thickness
  const double slant = 0.12;
  double x0 = x + 2.2, x1 = x + w - 2.8;
  double yt = y + 2.0, yb = y + h - 2.0, ym = (yt + yb) / 2;
  auto px = [&](double X, double Y) { return X + (ym - Y) * slant; };
  auto hseg = [&](double yc, double xa, double xb) {
    cairo_move_to(cr, px(xa + 0.6, yc), yc);
    cairo_line_to(cr, px(xa + t / 2 + 0.6, yc - t / 2), yc - t / 2);
    cairo_line_to(cr, px(xb - t / 2 - 0.6, yc - t / 2), yc - t / 2);
    cairo_line_to(cr, px(xb - 0.6, yc), yc);
    cairo_line_to(cr, px(xb - t / 2 - 0.6, yc + t / 2), yc + t / 2);
    cairo_line_to(cr, px(xa + t / 2 + 0.6, yc + t / 2), yc + t / 2);
    cairo_close_path(cr);
  };
  auto vseg = [&](double xc, double ya, double yb2) {
    cairo_move_to(cr, px(xc, ya + 0.6), ya + 0.6);
    cairo_line_to(cr, px(xc + t / 2, ya + t / 2 + 0.6), ya + t / 2 + 0.6);
    cairo_line_to(cr, px(xc + t / 2, yb2 - t / 2 - 0.6), yb2 - t / 2 - 0.6);
    cairo_line_to(cr, px(xc, yb2 - 0.6), yb2 - 0.6);
    cairo_line_to(cr, px(xc - t / 2, yb2 - t / 2 - 0.6), yb2 - t / 2 - 0.6);
    cairo_line_to(cr, px(xc - t / 2, ya + t / 2 + 0.6), ya + t / 2 + 0.6);
    cairo_close_path(cr);
  };
  auto segment = [&](int i) {
    switch (i) {
      case 0:
        hseg(yt, x0, x1);
        break;
      case 1:
        vseg(x1, yt, ym);
        break;
      case 2:
        vseg(x1, ym, yb);
        break;
      case 3:
        hseg(yb, x0, x1);
        break;
      case 4:
        vseg(x0, ym, yb);
        break;
      case 5:
        vseg(x0, yt, ym);
        break;
      default:
        hseg(ym, x0, x1);
        break;
    }
  };
  // unlit segments stay faintly visible behind the glass
  for (int i = 0; i < 7; ++i) {
    if (mask & (1u << i)) continue;
    segment(i);
    setColour(cr, rgb(62, 14, 10));
    cairo_fill(cr);
  }
  // glow first, then the lit segments
  for (int i = 0; i < 7; ++i) {
    if (!(mask & (1u << i))) continue;
    segment(i);
    cairo_set_line_width(cr, 2.2);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    setColour(cr, rgb(255, 40, 20), 0.22);
    cairo_stroke(cr);
  }
  for (int i = 0; i < 7; ++i) {
    if (!(mask & (1u << i))) continue;
    segment(i);
    setColour(cr, rgb(255, 52, 30));
    cairo_fill_preserve(cr);
    cairo_set_line_width(cr, 0.5);
    setColour(cr, rgb(255, 150, 120), 0.5);
    cairo_stroke(cr);
  }
}

Strip digitStrip(const ControlPlace& d) {
  // bits: a b c d e f g
  static const unsigned kMasks[12] = {0x3f, 0x06, 0x5b, 0x4f, 0x66, 0x6d,
                                      0x7d, 0x07, 0x7f, 0x6f, 0x00, 0x40};
  return Strip{
      d.left,   d.top,
      d.width,  d.height,
      d.images, [=](cairo_t* cr, int i) { drawSevenSeg(cr, 0, 0, d.width, d.height, kMasks[i]); }};
}

const Colour kRed = rgb(255, 40, 24);
const Colour kAmber = rgb(255, 160, 30);
const Colour kGreen = rgb(60, 240, 70);

Strip statusLampStrip() {
  const ControlPlace& c = place(kTagStatusLamps);
  return Strip{c.left, c.top, c.width, c.height, c.images, [=](cairo_t* cr, int i) {
                 lamp(cr, 9, 6, 3.2, kRed, (i & 4) ? 1.0 : 0.0);       // cycle flag
                 lamp(cr, 9, 16.5, 3.2, kAmber, (i & 2) ? 1.0 : 0.0);  // infinite repeat
                 lamp(cr, 9, 27, 3.2, kGreen, (i & 1) ? 1.0 : 0.0);    // high cut
               }};
}

Strip bypassLampStrip() {
  const ControlPlace& c = place(kTagBypassLamp);
  return Strip{c.left,   c.top,    c.width,
               c.height, c.images, [=](cairo_t* cr, int i) { lamp(cr, 5.5, 5.5, 3.3, kRed, i); }};
}

Strip lfoLampStrip() {
  const ControlPlace& c = place(kTagLfoLamp);
  const int last = c.images - 1;
  return Strip{c.left,
               c.top,
               c.width,
               c.height,
               c.images,
               [=](cairo_t* cr, int i) { lamp(cr, 5, 5, 3.0, kAmber, static_cast<double>(i) / last); }};
}

Strip meterStrip() {
  const ControlPlace& c = place(kTagLevelMeter);
  return Strip{c.left, c.top, c.width, c.height, c.images, [=](cairo_t* cr, int n) {
                 const double y0 = 0;
                 cairo_rectangle(cr, 0, y0, 7, 43);
                 setColour(cr, rgb(8, 8, 8));
                 cairo_fill(cr);
                 for (int k = 0; k < 20; ++k) {
                   // segment k (0 = bottom) is 1.5 px tall at a 2 px pitch
                   double sy = y0 + 43 - 2.5 - k * 2.0;
                   Colour c = k < 13 ? kGreen : k < 17 ? rgb(255, 210, 30) : kRed;
                   bool on = k < n;
                   double f = on ? 1.0 : 0.16;
                   cairo_rectangle(cr, 1, sy, 5, 1.5);
                   setColour(cr, rgb(int(c.r * 255 * f), int(c.g * 255 * f), int(c.b * 255 * f)));
                   cairo_fill(cr);
                   if (on) {
                     cairo_rectangle(cr, 2, sy, 3, 1.5);
                     setColour(cr, rgb(255, 255, 255), 0.35);
                     cairo_fill(cr);
                   }
                 }
               }};
}

Strip sparePlate() {
  return Strip{0, 0, 12, 25, 1, [=](cairo_t* cr, int) {
                 roundRect(cr, 1, 1, 10, 23, 2);
                 linearFill(cr, 0, 1, 0, 24, rgb(90, 92, 96), rgb(50, 52, 56));
                 cairo_fill(cr);
                 screw(cr, 6, 12.5, 0.8);
               }};
}

// --------------------------------------------------------------------------
// Preset strip

// Flat strip key; image 0 normal, 1 hover, 2 pressed.
void stripKey(cairo_t* cr, double x, double y, double w, double h, int state) {
  Colour top = state == 2 ? rgb(40, 41, 44) : state == 1 ? rgb(96, 98, 104) : rgb(74, 76, 80);
  Colour bot = state == 2 ? rgb(60, 62, 66) : state == 1 ? rgb(62, 64, 69) : rgb(46, 47, 50);
  roundRect(cr, x + 0.5, y + 0.5, w - 1, h - 1, 2);
  setColour(cr, rgb(0, 0, 0), 0.9);
  cairo_fill(cr);
  roundRect(cr, x + 1, y + 1, w - 2, h - 2, 1.6);
  linearFill(cr, 0, y + 1, 0, y + h - 1, top, bot);
  cairo_fill(cr);
  if (state != 2) {
    cairo_set_line_width(cr, 0.6);
    setColour(cr, rgb(255, 255, 255), state == 1 ? 0.35 : 0.18);
    cairo_move_to(cr, x + 2.5, y + 1.6);
    cairo_line_to(cr, x + w - 2.5, y + 1.6);
    cairo_stroke(cr);
  }
}

Colour keyInk(int state) {
  return state == 1 ? rgb(255, 205, 120) : state == 2 ? rgb(255, 180, 70) : kInk;
}

Strip arrowKeyStrip(int bitmap, bool save) {
  const ControlPlace& c = *firstUserOf(bitmap);
  return Strip{c.left, c.top, c.width, c.height, c.images, [=](cairo_t* cr, int st) {
                 const double y = 0;
                 stripKey(cr, 0, y, 17, 15, st);
                 Colour ink = keyInk(st);
                 double d = st == 2 ? 0.6 : 0.0;
                 // tray
                 cairo_set_line_width(cr, 1.1);
                 setColour(cr, ink);
                 cairo_move_to(cr, 4, y + 8.5 + d);
                 cairo_line_to(cr, 4, y + 11.5 + d);
                 cairo_line_to(cr, 13, y + 11.5 + d);
                 cairo_line_to(cr, 13, y + 8.5 + d);
                 cairo_stroke(cr);
                 // arrow: into the tray to save, out of it to load
                 double tipY = save ? y + 10 + d : y + 3 + d;
                 double tailY = save ? y + 3 + d : y + 10 + d;
                 double dir = save ? 1.0 : -1.0;
                 cairo_move_to(cr, 8.5, tailY);
                 cairo_line_to(cr, 8.5, tipY - dir * 2.0);
                 cairo_stroke(cr);
                 cairo_move_to(cr, 5.8, tipY - dir * 2.6);
                 cairo_line_to(cr, 11.2, tipY - dir * 2.6);
                 cairo_line_to(cr, 8.5, tipY + dir * 0.4);
                 cairo_close_path(cr);
                 cairo_fill(cr);
               }};
}

Strip wordKeyStrip(int bitmap, const char* word) {
  const ControlPlace& c = *firstUserOf(bitmap);
  return Strip{c.left, c.top, c.width, c.height, c.images, [=](cairo_t* cr, int st) {
                 stripKey(cr, 0, 0, c.width, c.height, st);
                 setFont(cr, 6.4, true);
                 drawText(cr, c.width / 2.0, 9.0 + (st == 2 ? 0.6 : 0.0), word, 0, 0.6, keyInk(st));
               }};
}

// Rocker: 0 rest, 1 hover left, 2 hover right, 3 pressed left, 4 pressed right.
Strip rockerStrip() {
  const ControlPlace& c = place(kTagPresetRocker);
  return Strip{c.left, c.top, c.width, c.height, c.images, [=](cairo_t* cr, int st) {
                 const double y = 0;
                 int leftState = st == 1 ? 1 : st == 3 ? 2 : 0;
                 int rightState = st == 2 ? 1 : st == 4 ? 2 : 0;
                 for (int side = 0; side < 2; ++side) {
                   int ks = side == 0 ? leftState : rightState;
                   double x = side * 15;
                   stripKey(cr, x, y, 15, 13, ks);
                   double d = ks == 2 ? 0.6 : 0.0;
                   double ax = x + 7.5, ay = y + 6.5 + d;
                   cairo_new_path(cr);
                   if (side == 0) {
                     cairo_move_to(cr, ax + 2.2, ay - 3.2);
                     cairo_line_to(cr, ax + 2.2, ay + 3.2);
                     cairo_line_to(cr, ax - 2.6, ay);
                   } else {
                     cairo_move_to(cr, ax - 2.2, ay - 3.2);
                     cairo_line_to(cr, ax - 2.2, ay + 3.2);
                     cairo_line_to(cr, ax + 2.6, ay);
                   }
                   cairo_close_path(cr);
                   setColour(cr, keyInk(ks));
                   cairo_fill(cr);
                 }
               }};
}

// Learn/forget: 0 off, 1 hover while off, 2 on (lamp lit).
Strip modeKeyStrip(int tag, const char* word, Colour hue) {
  const ControlPlace& c = place(tag);
  return Strip{c.left, c.top, c.width, c.height, c.images, [=](cairo_t* cr, int st) {
                 const double y = 0;
                 stripKey(cr, 0, y + 1, 24, 15, st == 1 ? 1 : 0);
                 // lamp stripe along the top edge of the key
                 roundRect(cr, 4, y + 3, 16, 2.2, 1);
                 if (st == 2)
                   setColour(cr, hue);
                 else
                   setColour(cr, rgb(int(hue.r * 60), int(hue.g * 60), int(hue.b * 60)));
                 cairo_fill(cr);
                 if (st == 2) {
                   roundRect(cr, 3, y + 2, 18, 4.2, 1.5);
                   setColour(cr, hue, 0.3);
                   cairo_fill(cr);
                 }
                 // shrink long words to the key's face
                 setFont(cr, 6.4, true, true);
                 double size = std::min(6.4, 6.4 * 19.0 / textWidth(cr, word, 0.1));
                 setFont(cr, size, true, true);
                 drawText(cr, 12, y + 12.6, word, 0, 0.1,
                          st == 2 ? rgb(255, 230, 200) : keyInk(st));
               }};
}

// --------------------------------------------------------------------------
// About image

cairo_surface_t* drawAbout(double scale) {
  cairo_surface_t* s = newSurface(px(kWidth, scale), px(kHeight, scale));
  brushedPanel(s, 0, kHeight, rgb(22, 23, 27), 0x77aa11eeu, scale);
  cairo_t* cr = cairo_create(s);
  cairo_scale(cr, scale, scale);
  // soft light from the left
  cairo_pattern_t* g = cairo_pattern_create_radial(160, 30, 10, 160, 30, 520);
  cairo_pattern_add_color_stop_rgba(g, 0, 0.35, 0.30, 0.22, 0.35);
  cairo_pattern_add_color_stop_rgba(g, 1, 0, 0, 0, 0);
  cairo_set_source(cr, g);
  cairo_paint(cr);
  cairo_pattern_destroy(g);

  // a delay's repeats: decaying pulses across the right half
  for (int i = 0; i < 9; ++i) {
    double x = 640 + i * 24;
    double h = 52 * std::pow(0.72, i);
    roundRect(cr, x, 82 - h, 6, h, 2);
    setColour(cr, rgb(255, 150, 40), 0.55 * std::pow(0.85, i));
    cairo_fill(cr);
  }
  cairo_set_line_width(cr, 1);
  setColour(cr, rgb(255, 255, 255), 0.15);
  cairo_move_to(cr, 630, 82.5);
  cairo_line_to(cr, 860, 82.5);
  cairo_stroke(cr);

  setFont(cr, 30, true);
  drawText(cr, 32, 47, "Vantrel Korva", -1, 0.5, rgb(245, 240, 228));
  setFont(cr, 11, false);
  drawText(cr, 34, 65, "Stereo clocked digital delay", -1, 0.6, rgb(255, 175, 80));
  setFont(cr, 9, false);
  drawText(cr, 34, 84, "Design, sound engine and panel by Vantrel Audio.  Click anywhere to close.",
           -1, 0.2, rgb(170, 170, 165));
  // space for the version text, which the editor draws at (520, 57)
  setFont(cr, 9, true);
  drawText(cr, 512, 66, "VERSION", 1, 0.8, rgb(150, 150, 145));
  cairo_set_line_width(cr, 1);
  setColour(cr, rgb(255, 255, 255), 0.2);
  cairo_move_to(cr, 520, 73.5);
  cairo_line_to(cr, 600, 73.5);
  cairo_stroke(cr);

  // frame
  cairo_rectangle(cr, 0.5, 0.5, kWidth - 1, kHeight - 1);
  setColour(cr, rgb(255, 175, 80), 0.6);
  cairo_stroke(cr);
  cairo_destroy(cr);
  return s;
}

Strip stripOf(int id) {
  const KnobStyle main{rgb(150, 152, 156), rgb(30, 30, 30)};
  const KnobStyle mod{rgb(120, 140, 160), rgb(25, 28, 32)};
  switch (id) {
    case kBmpKnobInput:
    case kBmpKnobOutput:
    case kBmpKnobFbck:
    case kBmpKnobMix:
      return knobStrip(*firstUserOf(id), main);
    case kBmpKnobManVco:
    case kBmpKnobDepth:
    case kBmpKnobWaveform:
    case kBmpKnobRate:
      return knobStrip(*firstUserOf(id), mod);
    case kBmpDlyx2:
    case kBmpFbInv:
    case kBmpDlyInv:
    case kBmpRptInf:
    case kBmpHiCut:
    case kBmpPower:
      return litButtonStrip(*firstUserOf(id));
    case kBmpStepDown:
      return stepStrip(*firstUserOf(id), false);
    case kBmpStepUp:
      return stepStrip(*firstUserOf(id), true);
    case kBmpDigit1:
    case kBmpDigit2:
    case kBmpDigit3:
    case kBmpDigit4:
      return digitStrip(*firstUserOf(id));
    case kBmpStatusLamps:
      return statusLampStrip();
    case kBmpBypassLamp:
      return bypassLampStrip();
    case kBmpLevelMeter:
      return meterStrip();
    case kBmpLfoLamp:
      return lfoLampStrip();
    case kBmpUnused154:
      return sparePlate();
    case kBmpDlyClkSwitch:
      return switchStrip();
    case kBmpLoad:
      return arrowKeyStrip(id, false);
    case kBmpSave:
      return arrowKeyStrip(id, true);
    case kBmpDefaultBank:
      return wordKeyStrip(id, "BANK");
    case kBmpDefaultPreset:
      return wordKeyStrip(id, "PRESET");
    case kBmpDefaultMidi:
      return wordKeyStrip(id, "MIDI");
    case kBmpPresetRocker:
      return rockerStrip();
    case kBmpLearn:
      return modeKeyStrip(kTagLearn, "LEARN", kAmber);
    case kBmpForget:
      return modeKeyStrip(kTagForget, "FORGET", kRed);
    default:
      return Strip{0, 0, 0, 0, 0, nullptr};
  }
}

}  // namespace

const int kSkinImageIds[kSkinImageCount] = {
    128, 129, 130, 131, 132, 133, 134, 135, 136, 137, 138, 139, 140, 141, 142, 143, 144, 145,
    146, 147, 148, 149, 150, 151, 152, 153, 154, 155, 990, 991, 992, 993, 994, 995, 998, 999};

cairo_surface_t* paintBackground(double scale) {
  return drawBackground(scale);
}

cairo_surface_t* paintImage(int id, double scale, cairo_surface_t* panel) {
  if (id == kBmpBackground) return cairo_surface_reference(panel);
  if (id == kBmpAbout) return drawAbout(scale);
  const Strip strip = stripOf(id);
  return strip.images ? paintStrip(strip, scale, panel) : nullptr;
}

cairo_surface_t* paintOneImage(int id, double scale, cairo_surface_t* panel, int index) {
  if (id == kBmpBackground || id == kBmpAbout)
    return index == 0 ? paintImage(id, scale, panel) : nullptr;
  const Strip strip = stripOf(id);
  if (index < 0 || index >= strip.images) return nullptr;
  return paintStripImage(strip, scale, panel, index);
}

int imageCount(int id) {
  switch (id) {
    case kBmpBackground:
    case kBmpAbout:
    case kBmpUnused154:
      return 1;
    default:
      if (const ControlPlace* c = firstUserOf(id)) return c->images;
      return 0;
  }
}

}  // namespace skin
