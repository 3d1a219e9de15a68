// The effect's X11 UI, plain Xlib: a child window of ui:parent showing the
// gain and mix as two bars; a click on a bar sets its control. It learns
// values through port_event and sets them through write_function only. The
// ui-after-cleanup build also takes the instance through instance-access and
// shows the state's level from it, in idle and once more in cleanup, so a host
// that cleans up the plug-in before its UI has the UI read freed memory.
#include <X11/Xlib.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/ui/ui.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>

#include "kv_faults.h"

namespace kvfaults {
namespace {

constexpr int kWidth = 240, kHeight = 72, kBar = 20;

struct Ui {
  Display* display = nullptr;
  Window window = 0;
  GC gc = nullptr;
  LV2UI_Write_Function write = nullptr;
  LV2UI_Controller controller = nullptr;
  float gain = 1.0f, mix = 1.0f;
  const Plugin* plugin = nullptr;  // kUiAfterCleanup only
  float shownLevel = 0.0f;
};

void draw(Ui* ui) {
  XClearWindow(ui->display, ui->window);
  XSetForeground(ui->display, ui->gc, BlackPixel(ui->display, DefaultScreen(ui->display)));
  XFillRectangle(ui->display, ui->window, ui->gc, 0, 4,
                 static_cast<unsigned>(ui->gain / 2.0f * kWidth), kBar);
  XFillRectangle(ui->display, ui->window, ui->gc, 0, 8 + kBar,
                 static_cast<unsigned>(ui->mix * kWidth), kBar);
  if (ui->plugin != nullptr)
    XFillRectangle(ui->display, ui->window, ui->gc, 0, 12 + 2 * kBar,
                   static_cast<unsigned>(ui->shownLevel * kWidth), 4);
  XFlush(ui->display);
}

int ignoreErrors(Display*, XErrorEvent*) {
  return 0;
}

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char*, const char*,
                         LV2UI_Write_Function write, LV2UI_Controller controller,
                         LV2UI_Widget* widget, const LV2_Feature* const* features) {
  Window parent = 0;
  const Plugin* plugin = nullptr;
  for (int i = 0; features && features[i]; ++i) {
    if (std::strcmp(features[i]->URI, LV2_UI__parent) == 0)
      parent = static_cast<Window>(reinterpret_cast<uintptr_t>(features[i]->data));
    if (kFault == kUiAfterCleanup && std::strcmp(features[i]->URI, LV2_INSTANCE_ACCESS_URI) == 0)
      plugin = static_cast<const Plugin*>(features[i]->data);
  }
  if (parent == 0 || write == nullptr || widget == nullptr) return nullptr;
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return nullptr;
  // A parent that is not on the display gives no UI; the host's own error
  // handler is put back at once.
  XSync(display, False);
  XErrorHandler hostHandler = XSetErrorHandler(ignoreErrors);
  XWindowAttributes attributes;
  const bool parentExists = XGetWindowAttributes(display, parent, &attributes) != 0;
  XSync(display, False);
  XSetErrorHandler(hostHandler);
  if (!parentExists) {
    XCloseDisplay(display);
    return nullptr;
  }
  Ui* ui = new (std::nothrow) Ui;
  if (ui == nullptr) {
    XCloseDisplay(display);
    return nullptr;
  }
  ui->display = display;
  ui->write = write;
  ui->controller = controller;
  ui->plugin = plugin;
  const int screen = DefaultScreen(display);
  ui->window = XCreateSimpleWindow(display, parent, 0, 0, kWidth, kHeight, 0,
                                   BlackPixel(display, screen), WhitePixel(display, screen));
  XSelectInput(display, ui->window, ExposureMask | ButtonPressMask);
  ui->gc = XCreateGC(display, ui->window, 0, nullptr);
  XMapWindow(display, ui->window);
  XFlush(display);
  *widget = reinterpret_cast<LV2UI_Widget>(static_cast<uintptr_t>(ui->window));
  return ui;
}

void cleanup(LV2UI_Handle h) {
  Ui* ui = static_cast<Ui*>(h);
  if (ui->plugin != nullptr) ui->shownLevel = ui->plugin->level;  // a last look
  XFreeGC(ui->display, ui->gc);
  XDestroyWindow(ui->display, ui->window);
  XCloseDisplay(ui->display);
  delete ui;
}

void portEvent(LV2UI_Handle h, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
  Ui* ui = static_cast<Ui*>(h);
  if (format != 0 || size != sizeof(float) || buffer == nullptr) return;
  float v = 0.0f;
  std::memcpy(&v, buffer, sizeof v);
  if (std::isnan(v)) return;
  if (port == kGain) ui->gain = std::min(std::max(v, 0.0f), 2.0f);
  if (port == kMix) ui->mix = std::min(std::max(v, 0.0f), 1.0f);
  if (port == kGain || port == kMix) draw(ui);
}

int idle(LV2UI_Handle h) {
  Ui* ui = static_cast<Ui*>(h);
  bool redraw = false;
  if (ui->plugin != nullptr) {
    const float level = ui->plugin->level;
    redraw = level != ui->shownLevel;
    ui->shownLevel = std::min(std::max(level, 0.0f), 1.0f);
  }
  while (XPending(ui->display) > 0) {
    XEvent e;
    XNextEvent(ui->display, &e);
    if (e.type == Expose && e.xexpose.count == 0) redraw = true;
    if (e.type == ButtonPress) {
      const float x = std::min(std::max(static_cast<float>(e.xbutton.x) / kWidth, 0.0f), 1.0f);
      if (e.xbutton.y < 6 + kBar) {
        ui->gain = 2.0f * x;
        ui->write(ui->controller, kGain, sizeof(float), 0, &ui->gain);
      } else {
        ui->mix = x;
        ui->write(ui->controller, kMix, sizeof(float), 0, &ui->mix);
      }
      redraw = true;
    }
  }
  if (redraw) draw(ui);
  return 0;
}

const void* extensionData(const char* uri) {
  static const LV2UI_Idle_Interface idleInterface{idle};
  return std::strcmp(uri, LV2_UI__idleInterface) == 0 ? &idleInterface : nullptr;
}

constexpr const char* kUiUris[] = {
    "urn:korva-validate-test:correct#ui",
    "urn:korva-validate-test:ui-after-cleanup#ui",
};

const LV2UI_Descriptor descriptor{kUiUris[kFault == kUiAfterCleanup ? 1 : 0], instantiate, cleanup,
                                  portEvent, extensionData};

}  // namespace
}  // namespace kvfaults

extern "C" __attribute__((visibility("default"))) const LV2UI_Descriptor* lv2ui_descriptor(
    uint32_t index) {
  return index == 0 ? &kvfaults::descriptor : nullptr;
}
