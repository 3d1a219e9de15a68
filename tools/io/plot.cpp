#include "tools/io/plot.h"

#include <cairo.h>
#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "tools/base/cli.h"

namespace khost {

namespace {

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
  auto* out = static_cast<std::vector<uint8_t>*>(closure);
  out->insert(out->end(), data, data + length);
  return CAIRO_STATUS_SUCCESS;
}

// A tick step of 1, 2 or 5 times a power of ten giving about `count` ticks.
double niceStep(double span, int count) {
  const double raw = span / std::max(1, count);
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0, 10.0})
    if (m * power >= raw) return m * power;
  return 10.0 * power;
}

int decimalsFor(double step) {
  return step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
}

struct Panel {
  double x, y, w, h;
};

void drawPanel(cairo_t* cr, const Panel& p, const std::vector<float>& samples, double seconds,
               int rate, const char* title, double r, double g, double b) {
  cairo_set_source_rgb(cr, 0.97, 0.97, 0.97);
  cairo_rectangle(cr, p.x, p.y, p.w, p.h);
  cairo_fill(cr);
  // Amplitude grid at -1, -0.5, 0, 0.5, 1; the scale grows for louder signals.
  float peak = 1.0f;
  for (float v : samples) peak = std::max(peak, std::fabs(v));
  const double mid = p.y + p.h / 2;
  const double scale = (p.h / 2 - 4) / peak;
  cairo_set_line_width(cr, 1.0);
  cairo_set_source_rgb(cr, 0.85, 0.85, 0.85);
  for (double a : {-1.0, -0.5, 0.5, 1.0}) {
    cairo_move_to(cr, p.x, mid - a * scale);
    cairo_line_to(cr, p.x + p.w, mid - a * scale);
  }
  cairo_stroke(cr);
  cairo_set_source_rgb(cr, 0.6, 0.6, 0.6);
  cairo_move_to(cr, p.x, mid);
  cairo_line_to(cr, p.x + p.w, mid);
  cairo_stroke(cr);

  // One vertical stroke per pixel column from its minimum to its maximum.
  cairo_set_source_rgb(cr, r, g, b);
  const size_t n = samples.size();
  const double total = seconds * rate;
  const int columns = static_cast<int>(p.w);
  for (int c = 0; c < columns && n > 0; ++c) {
    const size_t from = static_cast<size_t>(total * c / columns);
    size_t to = static_cast<size_t>(total * (c + 1) / columns);
    if (from >= n) break;
    to = std::min(std::max(to, from + 1), n);
    float lo = samples[from], hi = samples[from];
    for (size_t i = from; i < to; ++i) {
      lo = std::min(lo, samples[i]);
      hi = std::max(hi, samples[i]);
    }
    cairo_move_to(cr, p.x + c + 0.5, mid - hi * scale - 0.5);
    cairo_line_to(cr, p.x + c + 0.5, mid - lo * scale + 0.5);
  }
  cairo_stroke(cr);

  cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
  cairo_rectangle(cr, p.x + 0.5, p.y + 0.5, p.w - 1, p.h - 1);
  cairo_stroke(cr);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_font_size(cr, 14);
  cairo_move_to(cr, p.x + 8, p.y + 18);
  cairo_show_text(cr, title);
  cairo_set_font_size(cr, 10);
  const std::string top = formatDouble(peak, 2);
  cairo_move_to(cr, p.x - 38, p.y + 10);
  cairo_show_text(cr, ("+" + top).c_str());
  cairo_move_to(cr, p.x - 38, p.y + p.h);
  cairo_show_text(cr, ("-" + top).c_str());
}

}  // namespace

std::vector<uint8_t> plotWaveforms(const Audio& input, const Audio& output, int width, int height) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_font_face_t* font =
      cairo_toy_font_face_create("sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_face(cr, font);

  const int rate = output.sampleRate > 0 ? output.sampleRate : 1;
  const double seconds = std::max<double>(static_cast<double>(output.frames()) / rate, 1.0 / rate);
  const double left = 50, right = 20, top = 20, bottom = 50, gap = 12;
  const double panelH = (height - top - bottom - 3 * gap) / 4;
  const double panelW = width - left - right;
  const struct {
    const std::vector<float>* data;
    const char* title;
    double r, g, b;
  } rows[] = {{&input.left, "Input left", 0.1, 0.3, 0.7},
              {&input.right, "Input right", 0.1, 0.3, 0.7},
              {&output.left, "Output left", 0.75, 0.2, 0.1},
              {&output.right, "Output right", 0.75, 0.2, 0.1}};
  for (int i = 0; i < 4; ++i) {
    const Panel p{left, top + i * (panelH + gap), panelW, panelH};
    drawPanel(cr, p, *rows[i].data, seconds, rate, rows[i].title, rows[i].r, rows[i].g, rows[i].b);
  }

  // Time axis under the last panel.
  const double axisY = top + 4 * panelH + 3 * gap;
  const double step = niceStep(seconds, 10);
  const int decimals = decimalsFor(step);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, 1.0);
  cairo_set_font_size(cr, 11);
  for (int k = 0; k * step <= seconds + 1e-9; ++k) {
    const double t = k * step;
    const double x = left + panelW * t / seconds;
    cairo_move_to(cr, std::floor(x) + 0.5, axisY);
    cairo_line_to(cr, std::floor(x) + 0.5, axisY + 6);
    cairo_stroke(cr);
    const std::string label = formatDouble(t, decimals);
    cairo_text_extents_t ext;
    cairo_text_extents(cr, label.c_str(), &ext);
    cairo_move_to(cr, x - ext.width / 2, axisY + 20);
    cairo_show_text(cr, label.c_str());
  }
  cairo_set_font_size(cr, 13);
  cairo_move_to(cr, left + panelW / 2 - 40, axisY + 42);
  cairo_show_text(cr, "time (s)");

  cairo_destroy(cr);
  cairo_font_face_destroy(font);
  std::vector<uint8_t> png;
  const cairo_status_t status = cairo_surface_write_to_png_stream(surface, appendBytes, &png);
  cairo_surface_destroy(surface);
  // Let cairo drop its font caches: the plot is the last drawing of a run,
  // and a leak checker should see a clean exit.
  cairo_debug_reset_static_data();
  // fontconfig (cairo's font back end) keeps its configuration until FcFini;
  // it is reached by name so that korva-host links cairo only.
  if (void* fini = dlsym(RTLD_DEFAULT, "FcFini")) {
    void (*call)() = nullptr;
    std::memcpy(&call, &fini, sizeof call);
    call();
  }
  if (status != CAIRO_STATUS_SUCCESS)
    throw HostError(kExitIo,
                    std::string("cannot draw the plot: ") + cairo_status_to_string(status));
  return png;
}

}  // namespace khost
