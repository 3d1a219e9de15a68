// Saves what an X11 window shows as a PNG, for pictures of the editor inside
// another host's window. Usage: x11_window_png WINDOW_ID OUT.png (DISPLAY).
#include <X11/Xlib.h>
#include <cairo-xlib.h>
#include <cairo.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: x11_window_png WINDOW_ID OUT.png\n");
    return 2;
  }
  char* end = nullptr;
  const Window window = std::strtoul(argv[1], &end, 0);
  if (!end || *end || window == 0) {
    std::fprintf(stderr, "x11_window_png: bad window id %s\n", argv[1]);
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "x11_window_png: no X display\n");
    return 3;
  }
  XWindowAttributes attrs;
  if (!XGetWindowAttributes(display, window, &attrs)) {
    std::fprintf(stderr, "x11_window_png: no window %s\n", argv[1]);
    XCloseDisplay(display);
    return 3;
  }
  cairo_surface_t* source =
      cairo_xlib_surface_create(display, window, attrs.visual, attrs.width, attrs.height);
  cairo_surface_t* image =
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, attrs.width, attrs.height);
  cairo_t* cr = cairo_create(image);
  cairo_set_source_surface(cr, source, 0, 0);
  cairo_paint(cr);
  cairo_destroy(cr);
  const cairo_status_t status = cairo_surface_write_to_png(image, argv[2]);
  cairo_surface_destroy(image);
  cairo_surface_destroy(source);
  XCloseDisplay(display);
  if (status != CAIRO_STATUS_SUCCESS) {
    std::fprintf(stderr, "x11_window_png: cannot write %s\n", argv[2]);
    return 3;
  }
  return 0;
}
