#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo.h>
#include <signal.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tools/commands/commands.h"
#include "tools/io/files.h"
#include "tools/vst/plugin.h"
#include "tools/vst/plugin_state.h"

namespace khost {

const char* const kGuiHelp =
    "usage: korva-host gui PLUGIN.so [--param NAME_OR_INDEX=VALUE]... [--load FILE]\n"
    "                      [--scale F]\n"
    "\n"
    "Opens the plug-in's editor in a top-level X11 window on $DISPLAY: the host\n"
    "sizes the window from effEditGetRect, calls effEditOpen with the window id\n"
    "in ptr and the Display* in value, maps it and calls effEditIdle about every\n"
    "30 ms. Runs until the window is closed or Ctrl-C (SIGINT), then calls\n"
    "effEditClose and effClose. The plug-in is resumed meanwhile (no audio).\n"
    "--scale F asks for the editor at F times its size (0.5..4) before it opens,\n"
    "through the public scale extension (effVendorSpecific 'PreS' 'AeCs', opt F),\n"
    "as Carla does; the window follows audioMasterSizeWindow.\n"
    "Exit codes: 0 ok, 1 usage, 2 plug-in load error or no editor,\n"
    "3 no X display or I/O error.\n";

const char* const kScreenshotHelp =
    "usage: korva-host screenshot PLUGIN.so OUT.png [--param NAME_OR_INDEX=VALUE]...\n"
    "                             [--load FILE] [--idle-ms N] [--scale F]\n"
    "\n"
    "Opens the editor as 'gui' does, idles it for N milliseconds (default 500),\n"
    "grabs the window's contents (XGetImage) and writes them as PNG, then closes\n"
    "the editor and the plug-in. OUT is written through a temporary file.\n"
    "Exit codes: 0 ok, 1 usage, 2 plug-in load error or no editor,\n"
    "3 no X display or I/O error.\n";

namespace {

volatile sig_atomic_t interrupted = 0;
void onSigint(int) {
  interrupted = 1;
}

void sleepMs(int ms) {
  timespec ts{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && !interrupted) {
  }
}

struct Options {
  std::string pluginPath, outPath, loadPath;
  std::vector<ParamSetting> params;
  int idleMs = 500;
  double scale = 0;  // 0: none asked for
};

Options parse(ArgList& args, bool screenshot) {
  Options o;
  std::vector<std::string> positional;
  while (!args.empty()) {
    const std::string a = args.next();
    if (a == "--param")
      o.params.push_back(parseParamSetting(args.value(a)));
    else if (a == "--load")
      o.loadPath = args.value(a);
    else if (screenshot && a == "--idle-ms") {
      const std::string t = args.value(a);
      long long v = 0;
      if (!parseInt(t, v) || v < 0 || v > 600000)
        usageError("--idle-ms wants 0..600000, got \"" + t + "\"");
      o.idleMs = static_cast<int>(v);
    } else if (a == "--scale") {
      const std::string t = args.value(a);
      if (!parseDouble(t, o.scale) || !(o.scale >= 0.5 && o.scale <= 4))
        usageError("--scale wants 0.5..4, got \"" + t + "\"");
    } else if (a.size() > 1 && a[0] == '-')
      usageError("unknown option " + a);
    else
      positional.push_back(a);
  }
  const size_t want = screenshot ? 2 : 1;
  if (positional.size() != want)
    usageError(screenshot ? "want PLUGIN.so OUT.png (korva-host screenshot --help)"
                          : "want PLUGIN.so (korva-host gui --help)");
  o.pluginPath = positional[0];
  if (screenshot) o.outPath = positional[1];
  return o;
}

// The editor of one plug-in inside a top-level window of our own.
class EditorWindow {
 public:
  EditorWindow(Plugin& plugin, Display* display, double scale)
      : plugin_(plugin), display_(display) {
    if (scale > 0)
      plugin.dispatch(effVendorSpecific, vstFourCC('P', 'r', 'e', 'S'),
                      vstFourCC('A', 'e', 'C', 's'), nullptr, static_cast<float>(scale));
    int width = 400, height = 300;
    ERect* rect = nullptr;
    plugin.dispatch(effEditGetRect, 0, 0, &rect);
    if (rect != nullptr && rect->right > rect->left && rect->bottom > rect->top) {
      width = rect->right - rect->left;
      height = rect->bottom - rect->top;
    }
    const int screen = DefaultScreen(display);
    window_ = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0,
                                  static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                                  BlackPixel(display, screen), BlackPixel(display, screen));
    XSelectInput(display, window_, StructureNotifyMask | ExposureMask);
    const std::string title = plugin.text(effGetEffectName) + " - korva-host";
    XStoreName(display, window_, title.c_str());
    wmDelete_ = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window_, &wmDelete_, 1);
    fixSize(width, height);
    plugin.host().sizeWindow = [this](int w, int h) {
      if (w <= 0 || h <= 0) return false;
      fixSize(w, h);
      XResizeWindow(display_, window_, static_cast<unsigned>(w), static_cast<unsigned>(h));
      XFlush(display_);
      return true;
    };
    XSync(display, False);
    plugin.dispatch(effEditOpen, 0, reinterpret_cast<VstIntPtr>(display),
                    reinterpret_cast<void*>(static_cast<uintptr_t>(window_)));
    open_ = true;
    // Some editors know their size only once open.
    rect = nullptr;
    plugin.dispatch(effEditGetRect, 0, 0, &rect);
    if (rect != nullptr && rect->right > rect->left && rect->bottom > rect->top &&
        (rect->right - rect->left != width || rect->bottom - rect->top != height)) {
      fixSize(rect->right - rect->left, rect->bottom - rect->top);
      XResizeWindow(display, window_, static_cast<unsigned>(rect->right - rect->left),
                    static_cast<unsigned>(rect->bottom - rect->top));
    }
    XMapRaised(display, window_);
    XFlush(display);
  }

  ~EditorWindow() { close(); }

  void close() {
    if (open_) {
      plugin_.dispatch(effEditClose);
      open_ = false;
    }
    plugin_.host().sizeWindow = nullptr;
    if (window_ != 0) {
      XDestroyWindow(display_, window_);
      XSync(display_, False);
      window_ = 0;
    }
  }

  // Handles our own window's events; false once the user closed it.
  bool pump() {
    while (XPending(display_) > 0) {
      XEvent ev;
      XNextEvent(display_, &ev);
      if (ev.type == ClientMessage && static_cast<Atom>(ev.xclient.data.l[0]) == wmDelete_)
        return false;
      if (ev.type == MapNotify && ev.xmap.window == window_) mapped_ = true;
      if (ev.type == DestroyNotify && ev.xdestroywindow.window == window_) return false;
    }
    return true;
  }

  void idle() { plugin_.dispatch(effEditIdle); }
  bool mapped() const { return mapped_; }
  Window window() const { return window_; }

 private:
  void fixSize(int w, int h) {
    XSizeHints hints{};
    hints.flags = PMinSize | PMaxSize;
    hints.min_width = hints.max_width = w;
    hints.min_height = hints.max_height = h;
    XSetWMNormalHints(display_, window_, &hints);
  }

  Plugin& plugin_;
  Display* display_;
  Window window_ = 0;
  Atom wmDelete_ = 0;
  bool open_ = false;
  bool mapped_ = false;
};

Display* openDisplay() {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0')
    throw HostError(kExitIo, "no X display (DISPLAY is not set)");
  Display* d = XOpenDisplay(nullptr);
  if (d == nullptr) throw HostError(kExitIo, std::string("cannot open X display ") + name);
  return d;
}

struct DisplayCloser {
  Display* d;
  ~DisplayCloser() {
    if (d != nullptr) XCloseDisplay(d);
  }
};

std::unique_ptr<Plugin> prepare(const Options& o, HostContext& host) {
  auto plugin = std::make_unique<Plugin>(o.pluginPath, host);
  if ((plugin->flags() & effFlagsHasEditor) == 0)
    throw HostError(kExitPlugin, o.pluginPath + " has no editor (effFlagsHasEditor not set)");
  if (!o.loadPath.empty()) loadState(*plugin, o.loadPath);
  applyParams(*plugin, o.params);
  plugin->dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(host.sampleRate));
  plugin->dispatch(effSetBlockSize, 0, host.blockSize);
  plugin->resume();
  return plugin;
}

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
  auto* out = static_cast<std::vector<uint8_t>*>(closure);
  out->insert(out->end(), data, data + length);
  return CAIRO_STATUS_SUCCESS;
}

// Position of a mask's lowest bit and its width, to scale any visual to 8 bits.
unsigned channel(unsigned long pixel, unsigned long mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (((mask >> shift) & 1) == 0) ++shift;
  const unsigned long max = mask >> shift;
  return static_cast<unsigned>(((pixel & mask) >> shift) * 255 / max);
}

std::vector<uint8_t> grab(Display* display, Window window) {
  XWindowAttributes attr{};
  if (!XGetWindowAttributes(display, window, &attr))
    throw HostError(kExitIo, "cannot read the window's size");
  XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(attr.width),
                            static_cast<unsigned>(attr.height), AllPlanes, ZPixmap);
  if (image == nullptr) throw HostError(kExitIo, "cannot grab the window contents");
  cairo_surface_t* surface =
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, attr.width, attr.height);
  unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  cairo_surface_flush(surface);
  for (int y = 0; y < attr.height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
    for (int x = 0; x < attr.width; ++x) {
      const unsigned long p = XGetPixel(image, x, y);
      row[x] = (channel(p, image->red_mask) << 16) | (channel(p, image->green_mask) << 8) |
               channel(p, image->blue_mask);
    }
  }
  cairo_surface_mark_dirty(surface);
  XDestroyImage(image);
  std::vector<uint8_t> png;
  const cairo_status_t status = cairo_surface_write_to_png_stream(surface, appendBytes, &png);
  cairo_surface_destroy(surface);
  if (status != CAIRO_STATUS_SUCCESS)
    throw HostError(kExitIo,
                    std::string("cannot encode the PNG: ") + cairo_status_to_string(status));
  return png;
}

}  // namespace

int runGui(ArgList& args) {
  const Options o = parse(args, false);
  HostContext host;
  std::unique_ptr<Plugin> plugin = prepare(o, host);
  DisplayCloser display{openDisplay()};
  struct sigaction action {
  }, previous{};
  action.sa_handler = onSigint;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &previous);
  interrupted = 0;
  {
    EditorWindow editor(*plugin, display.d, o.scale);
    while (!interrupted && editor.pump()) {
      editor.idle();
      sleepMs(30);
    }
    editor.close();
  }
  sigaction(SIGINT, &previous, nullptr);
  plugin->close();
  return kExitOk;
}

int runScreenshot(ArgList& args) {
  const Options o = parse(args, true);
  HostContext host;
  std::unique_ptr<Plugin> plugin = prepare(o, host);
  DisplayCloser display{openDisplay()};
  std::vector<uint8_t> png;
  {
    EditorWindow editor(*plugin, display.d, o.scale);
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + std::chrono::milliseconds(o.idleMs);
    // Wait for the map as well, or there is nothing to grab yet.
    const auto mapLimit = start + std::chrono::seconds(5);
    for (;;) {
      editor.pump();
      editor.idle();
      const auto now = std::chrono::steady_clock::now();
      if (now >= deadline && (editor.mapped() || now >= mapLimit)) break;
      sleepMs(std::min(30, o.idleMs > 0 ? o.idleMs : 30));
    }
    editor.idle();
    XSync(display.d, False);
    if (!editor.mapped()) throw HostError(kExitIo, "the editor window never appeared");
    // The plug-in draws on its own X connection, whose expose events may still
    // be on their way on a loaded machine: grab until two grabs agree.
    png = grab(display.d, editor.window());
    const auto settleLimit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < settleLimit) {
      sleepMs(30);
      editor.pump();
      editor.idle();
      XSync(display.d, False);
      std::vector<uint8_t> again = grab(display.d, editor.window());
      if (again == png) break;
      png.swap(again);
    }
    editor.close();
  }
  plugin->close();
  writeWholeFile(o.outPath, png);
  return kExitOk;
}

}  // namespace khost
