// skin_gen: draws the editor's skin images and writes them as PNG files.
//
//   skin_gen <output folder> [--scale S] [--preview <file.png>]
//
// At the default scale 1 the output is the committed skin under png/. Other
// scales (1 to 3) write the images the editor draws for itself at that scale,
// for looking at them. The preview is the window as the editor shows it, with
// controls in chosen states, and every image laid out beneath.

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "editor/ControlLayout.h"
#include "editor/resources/generator/SkinPainter.h"
#include "toolkit/DeviceScale.h"

namespace {

struct Output {
  int id;
  cairo_surface_t* surface;
};

bool writePng(const std::string& folder, const Output& o) {
  std::string path = folder + "/" + std::to_string(o.id) + ".png";
  cairo_status_t st = cairo_surface_write_to_png(o.surface, path.c_str());
  if (st != CAIRO_STATUS_SUCCESS) {
    std::fprintf(stderr, "skin_gen: cannot write %s: %s\n", path.c_str(),
                 cairo_status_to_string(st));
    return false;
  }
  std::printf("%s (%d x %d)\n", path.c_str(), cairo_image_surface_get_width(o.surface),
              cairo_image_surface_get_height(o.surface));
  return true;
}

// The image a control shows in the preview: a spread of states.
int previewImage(const ControlPlace& c, int n) {
  if (c.images <= 1) return 0;
  return (n * 7 + c.images / 3) % c.images;
}

void writePreview(const std::string& path, const std::vector<Output>& out, double scale) {
  auto find = [&](int id) -> cairo_surface_t* {
    for (const Output& o : out)
      if (o.id == id) return o.surface;
    return nullptr;
  };
  auto px = [scale](double v) { return toolkit::devicePixels(v, scale); };
  // Small skins are shown twice as large, pixel for pixel.
  const int zoom = scale < 2 ? 2 : 1;
  const int windowW = px(kWindowWidth), windowH = px(kWindowHeight);
  const int sheetW = windowW * zoom, sheetH = (windowH * 3 + 10) * zoom + 260 * zoom;
  cairo_surface_t* sheet = cairo_image_surface_create(CAIRO_FORMAT_RGB24, sheetW, sheetH);
  cairo_t* cr = cairo_create(sheet);
  cairo_set_source_rgb(cr, 0.5, 0.5, 0.5);
  cairo_paint(cr);
  auto blit = [&](cairo_surface_t* s, int x, int y, int w, int h, int sourceY) {
    cairo_save(cr);
    cairo_rectangle(cr, x, y, w, h);
    cairo_clip(cr);
    cairo_set_source_surface(cr, s, x, y - sourceY);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_paint(cr);
    cairo_restore(cr);
  };
  cairo_save(cr);
  cairo_scale(cr, zoom, zoom);
  blit(find(kBmpBackground), 0, 0, windowW, windowH, 0);
  int n = 0;
  auto show = [&](const ControlPlace& c) {
    if (!c.bitmap || c.kind == ControlKind::kAbout || c.bitmap == kBmpBackground) return;
    const CRect r = toolkit::deviceRect(CRect(c.left, c.top, c.right(), c.bottom()), scale);
    blit(find(c.bitmap), static_cast<int>(r.left), static_cast<int>(r.top),
         static_cast<int>(r.getWidth()), static_cast<int>(r.getHeight()),
         previewImage(c, n++) * static_cast<int>(r.getHeight()));
  };
  for (const ControlPlace& c : kPanelControls) show(c);
  for (const ControlPlace& c : kStripControls) show(c);
  // the bare background and the about image below
  blit(find(kBmpBackground), 0, windowH + 5, windowW, windowH, 0);
  blit(find(kBmpAbout), 0, 2 * windowH + 10, windowW, windowH, 0);
  cairo_restore(cr);
  // every other image: the first images of each, in rows
  int x = 4, y = (windowH * 3 + 12) * zoom, rowH = 0;
  for (const Output& o : out) {
    if (o.id == kBmpBackground || o.id == kBmpAbout) continue;
    int w = cairo_image_surface_get_width(o.surface), h = cairo_image_surface_get_height(o.surface);
    int shown = std::min(h, px(130));
    if (x + w * zoom > sheetW) {
      x = 4;
      y += rowH * zoom + 6;
      rowH = 0;
    }
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_scale(cr, zoom, zoom);
    blit(o.surface, 0, 0, w, shown, 0);
    cairo_restore(cr);
    x += w * zoom + 6;
    rowH = std::max(rowH, shown);
  }
  cairo_destroy(cr);
  cairo_surface_write_to_png(sheet, path.c_str());
  cairo_surface_destroy(sheet);
}

int usage() {
  std::fprintf(stderr, "usage: skin_gen <output folder> [--scale 1..3] [--preview <file.png>]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string folder = argv[1];
  double scale = 1.0;
  std::string preview;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--scale") == 0 && i + 1 < argc) {
      char* end = nullptr;
      const double asked = std::strtod(argv[++i], &end);
      scale = toolkit::quarterScale(asked);
      if (!end || *end || scale != asked) {
        std::fprintf(stderr, "skin_gen: the scale is a quarter step from 1 to 3\n");
        return 2;
      }
    } else if (std::strcmp(argv[i], "--preview") == 0 && i + 1 < argc) {
      preview = argv[++i];
    } else {
      return usage();
    }
  }

  cairo_surface_t* panel = skin::paintBackground(scale);
  std::vector<Output> out;
  for (int id : skin::kSkinImageIds) out.push_back({id, skin::paintImage(id, scale, panel)});
  cairo_surface_destroy(panel);

  bool ok = true;
  for (const Output& o : out) ok = writePng(folder, o) && ok;
  if (!preview.empty()) writePreview(preview, out, scale);
  for (const Output& o : out) cairo_surface_destroy(o.surface);
  // Drop cairo's and fontconfig's caches so leak checkers see a clean exit.
  cairo_debug_reset_static_data();
  FcFini();
  return ok ? 0 : 1;
}
