// ui: X11 UIs through the raw LV2 UI API (no suil), each under a real parent
// window of its own, with the features hosts give (ui:parent, ui:resize,
// ui:idleInterface, instance-access, urid:map and unmap, options, log).
// Open/close cycles with port events and idle calls (child windows left in
// the parent, X descriptors and X errors counted); the cleanup orders real
// hosts use - the UI first, or the plug-in first with the UI idling and
// cleaned up after it; two UIs on one instance, each keeping its own window
// (or the second refused cleanly); a parent window that does not exist
// answered with NULL. Needs DISPLAY.
#include <dlfcn.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <thread>

#include "lv2/instance-access/instance-access.h"
#include "lv2/log/log.h"
#include "lv2/options/options.h"
#include "lv2/ui/ui.h"
#include "tools/base/cli.h"
#include "tools/lv2/lilv_text.h"
#include "tools/validate/lv2/lv2_groups.h"

// After the validator's headers: Xlib defines Status as a macro.
#include <X11/Xlib.h>

#include "tools/validate/editor_host.h"

namespace validate::lv2 {

namespace {

// The X11 UI and its descriptor, or null (with why) when there is none this
// host can show.
const LV2UI_Descriptor* findUi(Check& c, const Plugin& p, std::string& why) {
  for (const Ui& ui : p.uis) {
    if (ui.type != LV2_UI__X11UI) continue;
    c.step("dlopen " + ui.binary);
    void* lib = dlopen(ui.binary.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) {
      c.fail(std::string("the UI's binary does not load: ") + dlerror());
      return nullptr;
    }
    auto entry = reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(lib, "lv2ui_descriptor"));
    if (entry == nullptr) {
      c.fail(ui.binary + " exports no lv2ui_descriptor");
      return nullptr;
    }
    for (uint32_t i = 0; i < 1024; ++i) {
      const LV2UI_Descriptor* d = intoPlugin("lv2ui_descriptor", [&] { return entry(i); });
      if (d == nullptr) break;
      if (d->URI != nullptr && ui.uri == d->URI) return d;
    }
    c.fail(ui.binary + ": lv2ui_descriptor gives no descriptor for <" + ui.uri + ">");
    return nullptr;
  }
  why = p.uis.empty() ? "no UI" : "no X11 UI";
  return nullptr;
}

// One UI shown by this host: its parent window, features and calls.
class UiHost {
 public:
  UiHost(Check& c, EditorHost& x, Instance& inst, const LV2UI_Descriptor* d, Window parent = 0)
      : c_(c), x_(x), inst_(inst), d_(d) {
    Display* dpy = x.display();
    const int screen = DefaultScreen(dpy);
    if (parent == 0) {
      parent_ = XCreateSimpleWindow(dpy, RootWindow(dpy, screen), 0, 0, 400, 300, 0,
                                    BlackPixel(dpy, screen), BlackPixel(dpy, screen));
      XMapWindow(dpy, parent_);
      XSync(dpy, False);
      ownParent_ = true;
    } else {
      parent_ = parent;
    }
    map_ = {nullptr, [](LV2_URID_Map_Handle, const char* u) { return mapUri(u); }};
    unmap_ = {nullptr, [](LV2_URID_Unmap_Handle, LV2_URID id) { return unmapUri(id); }};
    resize_ = {this, [](LV2UI_Feature_Handle h, int w, int hgt) {
                 auto* self = static_cast<UiHost*>(h);
                 if (w <= 0 || hgt <= 0 || w > 8192 || hgt > 8192) return 1;
                 if (self->ownParent_)
                   XResizeWindow(self->x_.display(), self->parent_, static_cast<unsigned>(w),
                                 static_cast<unsigned>(hgt));
                 return 0;
               }};
    rate_ = static_cast<float>(inst.rate());
    options_[0] = {LV2_OPTIONS_INSTANCE,
                   0,
                   mapUri("http://lv2plug.in/ns/ext/parameters#sampleRate"),
                   sizeof(float),
                   mapUri("http://lv2plug.in/ns/ext/atom#Float"),
                   &rate_};
    options_[1] = {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};
    store_ = {{LV2_UI__parent, reinterpret_cast<void*>(static_cast<uintptr_t>(parent_))},
              {LV2_UI__resize, &resize_},
              {LV2_UI__idleInterface, nullptr},
              {LV2_INSTANCE_ACCESS_URI, inst.handle()},
              {LV2_URID__map, &map_},
              {LV2_URID__unmap, &unmap_},
              {LV2_OPTIONS__options, options_},
              {LV2_LOG__log, khost::stderrLog()}};
    for (const LV2_Feature& f : store_) features_.push_back(&f);
    features_.push_back(nullptr);
  }

  ~UiHost() {
    try {
      cleanup();
    } catch (const std::exception&) {
    }
    if (ownParent_) XDestroyWindow(x_.display(), parent_);
    XSync(x_.display(), False);
  }
  UiHost(const UiHost&) = delete;
  UiHost& operator=(const UiHost&) = delete;

  bool instantiate() {
    const Plugin& p = inst_.plugin();
    handle_ = intoPlugin("the UI's instantiate", [&] {
      return d_->instantiate(d_, p.uri.c_str(), bundle().c_str(), write, this, &widget_,
                             features_.data());
    });
    if (handle_ != nullptr && d_->extension_data != nullptr)
      idle_ = static_cast<const LV2UI_Idle_Interface*>(intoPlugin(
          "the UI's extension_data", [&] { return d_->extension_data(LV2_UI__idleInterface); }));
    XSync(x_.display(), False);
    return handle_ != nullptr;
  }

  void portEvents() {
    if (handle_ == nullptr || d_->port_event == nullptr) return;
    const Plugin& p = inst_.plugin();
    for (size_t k = 0; k < inst_.controls(); ++k) {
      const float v = inst_.control(k);
      intoPlugin("the UI's port_event",
                 [&] { d_->port_event(handle_, p.controlIns[k], sizeof v, 0, &v); });
    }
  }

  // Idle calls with the X events of our own connection taken.
  void idle(int times) {
    for (int i = 0; i < times && handle_ != nullptr; ++i) {
      while (XPending(x_.display()) > 0) {
        XEvent ev;
        XNextEvent(x_.display(), &ev);
      }
      if (idle_ != nullptr) intoPlugin("the UI's idle", [&] { return idle_->idle(handle_); });
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  void cleanup() {
    if (handle_ == nullptr) return;
    LV2UI_Handle h = handle_;
    handle_ = nullptr;
    intoPlugin("the UI's cleanup", [&] { d_->cleanup(h); });
    XSync(x_.display(), False);
  }

  // Children of the parent now; what the UI did on its own connection may
  // reach the server a moment later, so an unexpected count is read again.
  int children(bool expectNone) {
    int n = count();
    for (int t = 0; t < 20 && (expectNone ? n > 0 : n == 0); ++t) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (!expectNone) idle(1);
      n = count();
    }
    return n;
  }

  bool alive() const { return handle_ != nullptr; }
  long badWrites() const { return badWrites_; }

 private:
  std::string bundle() const {
    for (const Ui& ui : inst_.plugin().uis)
      if (ui.uri == d_->URI) return ui.bundle + "/";
    return inst_.plugin().bundlePath;
  }

  int count() const {
    Window root = 0, parent = 0, *kids = nullptr;
    unsigned n = 0;
    if (!XQueryTree(x_.display(), parent_, &root, &parent, &kids, &n)) return -1;
    if (kids != nullptr) XFree(kids);
    return static_cast<int>(n);
  }

  // A UI writes input control ports only, as floats (format 0), in range.
  static void write(LV2UI_Controller controller, uint32_t port, uint32_t size, uint32_t format,
                    const void* buffer) {
    auto* self = static_cast<UiHost*>(controller);
    const Plugin& p = self->inst_.plugin();
    const bool control =
        port < p.ports.size() && p.port(port).type == Port::Type::Control && p.port(port).input;
    if (format == 0 && (!control || size != sizeof(float) || buffer == nullptr)) {
      ++self->badWrites_;
      self->c_.reportAgain(Kind::Interface, "the UI wrote " + std::to_string(size) +
                                                " bytes to port " + std::to_string(port) +
                                                ", which is no input control port");
    }
  }

  Check& c_;
  EditorHost& x_;
  Instance& inst_;
  const LV2UI_Descriptor* d_;
  Window parent_ = 0;
  bool ownParent_ = false;
  LV2UI_Handle handle_ = nullptr;
  LV2UI_Widget widget_ = nullptr;
  const LV2UI_Idle_Interface* idle_ = nullptr;
  LV2_URID_Map map_;
  LV2_URID_Unmap unmap_;
  LV2UI_Resize resize_;
  float rate_ = 44100;
  LV2_Options_Option options_[2];
  std::vector<LV2_Feature> store_;
  std::vector<const LV2_Feature*> features_;
  long badWrites_ = 0;
};

// The UI's descriptor, or null with the check skipped (saying why).
const LV2UI_Descriptor* uiAvailable(Check& c) {
  if (!c.haveDisplay()) {
    c.skip("no DISPLAY: UI checks skipped");
    return nullptr;
  }
  std::string why;
  const LV2UI_Descriptor* d = findUi(c, Plugin::find(c.pluginPath()), why);
  if (d == nullptr && !why.empty()) c.skip(why);
  return d;
}

void cycles(Check& c) {
  const LV2UI_Descriptor* d = uiAvailable(c);
  if (d == nullptr) return;
  EditorHost x;
  Instance inst(c.pluginPath());
  inst.activate();
  const long n = 20 * c.level();
  {
    // One cycle first: libraries may open what they keep for the process.
    UiHost first(c, x, inst, d);
    first.instantiate();
    first.idle(3);
  }
  const int fds = openDescriptors();
  const long errors = EditorHost::xErrors();
  for (long k = 0; k < n; ++k) {
    const std::string what = "cycle " + std::to_string(k);
    UiHost ui(c, x, inst, d);
    c.step(what + ": instantiate");
    c.tried();
    if (!ui.instantiate()) {
      c.fail(what + ": instantiate answers NULL under a good parent");
      return;
    }
    if (ui.children(false) < 1)
      c.reportAgain(Kind::Interface, "the UI put no window into its ui:parent");
    c.step(what + ": port_event for every input control, idle");
    ui.portEvents();
    ui.idle(3);
    runChecked(inst, 256, k * 256, 1e30f);
    ui.idle(2);
    c.step(what + ": cleanup");
    ui.cleanup();
    const int left = ui.children(true);
    if (left > 0)
      c.reportAgain(Kind::Resources,
                    std::to_string(left) + " window(s) left in ui:parent after the UI's cleanup");
  }
  const int grown = openDescriptors() - fds;
  c.figure("descriptors opened over UI cycles", grown, "in " + std::to_string(n) + " cycles");
  if (grown > 2)
    c.report(Kind::Resources,
             std::to_string(grown) + " descriptors more after " + std::to_string(n) + " UI cycles");
  if (EditorHost::xErrors() > errors)
    c.report(Kind::Interface, std::to_string(EditorHost::xErrors() - errors) +
                                  " X error(s), the first: " + EditorHost::firstXError());
}

// Hosts differ in what they free first: Ardour and jalv may clean up the
// plug-in while its UI still idles.
void cleanupOrders(Check& c) {
  const LV2UI_Descriptor* d = uiAvailable(c);
  if (d == nullptr) return;
  EditorHost x;
  for (int round = 0; round < 2 * c.level(); ++round) {
    {
      c.step("round " + std::to_string(round) + ": the UI cleaned up first");
      Instance inst(c.pluginPath());
      inst.activate();
      UiHost ui(c, x, inst, d);
      c.tried();
      if (!ui.instantiate()) return c.fail("instantiate answers NULL under a good parent");
      ui.portEvents();
      ui.idle(3);
      ui.cleanup();
      inst.cleanup();
    }
    {
      c.step("round " + std::to_string(round) +
             ": the plug-in cleaned up first, then the UI's idle");
      auto inst = std::make_unique<Instance>(c.pluginPath());
      inst->activate();
      UiHost ui(c, x, *inst, d);
      c.tried();
      if (!ui.instantiate()) return c.fail("instantiate answers NULL under a good parent");
      ui.portEvents();
      ui.idle(3);
      inst->cleanup();
      ui.idle(5);
      c.step("round " + std::to_string(round) + ": the UI's cleanup after the plug-in's");
      ui.cleanup();
    }
  }
}

void twoUis(Check& c) {
  const LV2UI_Descriptor* d = uiAvailable(c);
  if (d == nullptr) return;
  EditorHost x;
  for (int round = 0; round < 2 * c.level(); ++round) {
    Instance inst(c.pluginPath());
    inst.activate();
    UiHost a(c, x, inst, d), b(c, x, inst, d);
    c.step("round " + std::to_string(round) + ": a first UI");
    c.tried();
    if (!a.instantiate()) return c.fail("instantiate answers NULL under a good parent");
    a.idle(2);
    c.step("round " + std::to_string(round) + ": a second UI on the same instance");
    const bool second = b.instantiate();
    a.idle(2);
    b.idle(2);
    if (a.children(false) < 1)
      c.fail("the first UI's window left its parent when a second UI opened on the instance");
    if (second && b.children(false) < 1)
      c.fail("the second UI on one instance put no window into its parent");
    a.portEvents();
    b.portEvents();
    a.idle(2);
    b.idle(2);
    c.step("round " + std::to_string(round) + ": cleanup in turn");
    if (round % 2 == 0) {
      a.cleanup();
      b.idle(3);
      b.cleanup();
    } else {
      b.cleanup();
      a.idle(3);
      a.cleanup();
    }
  }
}

void badParent(Check& c) {
  const LV2UI_Descriptor* d = uiAvailable(c);
  if (d == nullptr) return;
  EditorHost x;
  Instance inst(c.pluginPath());
  const long errors = EditorHost::xErrors();
  // A window id that names nothing on this display.
  const Window none = 0x7ffffff0;
  c.step("instantiate under a parent window that does not exist");
  UiHost ui(c, x, inst, d, none);
  c.tried();
  if (ui.instantiate()) {
    c.fail("instantiate answers a UI for a parent window that does not exist (want NULL)");
    ui.idle(2);
  }
  ui.cleanup();
  if (EditorHost::xErrors() > errors)
    c.report(Kind::OddInput,
             "X error(s) for a parent window that does not exist: " + EditorHost::firstXError() +
                 " (the default Xlib handler ends the host)");
}

}  // namespace

std::vector<CheckDef> uiChecks() {
  return {{"open/close cycles", cycles, Kind::Resources},
          {"cleanup orders", cleanupOrders, Kind::Memory},
          {"two UIs on one instance", twoUis, Kind::Interface},
          {"bad parent window", badParent, Kind::OddInput}};
}

}  // namespace validate::lv2
