// The editor as the LV2 UI, in a window of the test's on a private Xvfb,
// clicked through XTest: with instance access a click reaches the effect and
// the host (port writes), and the preset strip selects the plug-in's preset,
// whose values go to the host too; without instance access the sound
// controls still write their ports, port events move the controls, and the
// strip does nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <type_traits>
#include <vector>

#include "editor/Editor.h"
#include "lv2/Lv2Korva.h"
#include "lv2/Lv2Ui.h"
#include "lv2/atom/atom.h"
#include "lv2/instance-access/instance-access.h"
#include "lv2/options/options.h"
#include "lv2/ui/ui.h"
#include "tests/lv2/Lv2TestHost.h"
#include "tests/support/TempConfigHome.h"
#include "tests/support/XvfbServer.h"
#include "toolkit/CControl.h"
// After the test framework: Xlib's macros would break its headers.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

extern "C" const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index);

namespace {

struct PortWrite {
  uint32_t port;
  float value;
};

class Lv2UiTest : public ::testing::Test {
 protected:
  static constexpr int kX = 30, kY = 20;

  void SetUp() override {
    XvfbServer& server = XvfbServer::shared();
    if (!server.running()) GTEST_SKIP() << "Xvfb is not installed";
    setenv("DISPLAY", server.display().c_str(), 1);
    display = openTestDisplay(server.display().c_str());
    ASSERT_NE(display, nullptr);
    const int screen = DefaultScreen(display);
    parent = XCreateSimpleWindow(display, RootWindow(display, screen), kX, kY, 900, 120, 0,
                                 BlackPixel(display, screen), BlackPixel(display, screen));
    XMapRaised(display, parent);
    XSync(display, False);
    plugin = std::make_unique<Lv2TestHost>();
    ASSERT_NE(plugin->handle, nullptr);
    plugin->activate();
  }
  void TearDown() override {
    if (ui) uiDescriptor->cleanup(ui);
    plugin.reset();
    if (display) {
      if (parent) XDestroyWindow(display, parent);
      XCloseDisplay(display);
    }
  }

  // A UI in `in`, as a host instantiates it; null when refused.
  LV2UI_Handle instantiate(Window in, bool instanceAccess, LV2UI_Widget* widget,
                           std::vector<PortWrite>* sink) {
    uiDescriptor = lv2ui_descriptor(0);
    if (!uiDescriptor) return nullptr;
    parentFeature = {LV2_UI__parent, reinterpret_cast<void*>(static_cast<uintptr_t>(in))};
    instanceFeature = {LV2_INSTANCE_ACCESS_URI, plugin->handle};
    resize = {this, [](LV2UI_Feature_Handle h, int w, int hgt) {
                static_cast<Lv2UiTest*>(h)->size = {w, hgt};
                return 0;
              }};
    resizeFeature = {LV2_UI__resize, &resize};
    std::vector<const LV2_Feature*> f = {&parentFeature, &resizeFeature, &plugin->mapFeature};
    if (instanceAccess) f.push_back(&instanceFeature);
    f.push_back(nullptr);
    return uiDescriptor->instantiate(
        uiDescriptor, "http://vek-sonimark.com/plugins/korva", "/nonexistent/",
        [](LV2UI_Controller c, uint32_t port, uint32_t size, uint32_t format, const void* buf) {
          ASSERT_EQ(size, sizeof(float));
          ASSERT_EQ(format, 0u);
          float v;
          std::memcpy(&v, buf, sizeof v);
          static_cast<std::vector<PortWrite>*>(c)->push_back({port, v});
        },
        sink, widget, f.data());
  }

  void open(bool instanceAccess) {
    LV2UI_Widget widget = nullptr;
    ui = instantiate(parent, instanceAccess, &widget, &writes);
    ASSERT_NE(ui, nullptr);
    EXPECT_NE(widget, nullptr);  // the editor's own X11 window
    window = reinterpret_cast<uintptr_t>(widget);
    EXPECT_EQ(size, std::make_pair(870, 101));
    idle = static_cast<const LV2UI_Idle_Interface*>(
        uiDescriptor->extension_data(LV2_UI__idleInterface));
    ASSERT_NE(idle, nullptr);
    idleFor(200);
    writes.clear();
  }

  // Whether `child` is a window inside `in` now.
  bool holdsWindow(Window in, Window child) {
    Window root = 0, up = 0, *children = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(display, in, &root, &up, &children, &n)) return false;
    bool found = false;
    for (unsigned int i = 0; i < n; ++i) found = found || children[i] == child;
    if (children) XFree(children);
    return found;
  }

  void idleFor(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      idle->idle(ui);
      XSync(display, False);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  // A real left click at a point of the editor.
  void click(int x, int y) {
    XTestFakeMotionEvent(display, -1, kX + x, kY + y, CurrentTime);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XSync(display, False);
    idleFor(150);
  }
  const PortWrite* lastWrite(uint32_t port) const {
    for (auto it = writes.rbegin(); it != writes.rend(); ++it)
      if (it->port == port) return &*it;
    return nullptr;
  }

  TempConfigHome config;
  Display* display = nullptr;
  Window parent = 0;
  std::unique_ptr<Lv2TestHost> plugin;
  const LV2UI_Descriptor* uiDescriptor = nullptr;
  const LV2UI_Idle_Interface* idle = nullptr;
  LV2UI_Handle ui = nullptr;
  Window window = 0;  // the UI's
  LV2_Feature parentFeature{}, instanceFeature{}, resizeFeature{};
  LV2UI_Resize resize{};
  std::pair<int, int> size{0, 0};
  std::vector<PortWrite> writes;
};

constexpr int kHiCutX = 258, kHiCutY = 55;            // the HI CUT switch
constexpr int kNextPresetX = 362, kNextPresetY = 92;  // right half of the preset rocker

}  // namespace

TEST_F(Lv2UiTest, WithInstanceAccessClicksReachTheEffectAndTheHostsPorts) {
  open(true);
  VEK& effect = static_cast<korvalv2::Lv2Korva*>(plugin->handle)->effect();
  ASSERT_FALSE(switchOn(effect.getParameter(kHiCut)));
  click(kHiCutX, kHiCutY);
  EXPECT_TRUE(switchOn(effect.getParameter(kHiCut)));
  const PortWrite* w = lastWrite(korvalv2::kPortFirstControl + kHiCut);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->value, 1.0f);

  // The strip's rocker selects the plug-in's next preset; the host hears
  // every value of it.
  writes.clear();
  click(kNextPresetX, kNextPresetY);
  EXPECT_EQ(effect.getCurrentPreset(), 1);
  for (int i = 0; i < kNumParams; ++i) {
    const PortWrite* p = lastWrite(korvalv2::kPortFirstControl + i);
    ASSERT_NE(p, nullptr) << i;
    EXPECT_EQ(p->value, korvalv2::portValue(i, kFactoryPresets[1].values[i])) << i;
  }
}

TEST_F(Lv2UiTest, WithoutInstanceAccessSoundControlsWorkAndTheStripIsDisabled) {
  open(false);
  click(kHiCutX, kHiCutY);
  const PortWrite* w = lastWrite(korvalv2::kPortFirstControl + kHiCut);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->value, 1.0f);

  // A port the host changes moves the UI's control.
  auto* shown = static_cast<korvalv2::Lv2KorvaUi*>(ui)->shownEffect();
  ASSERT_NE(shown, nullptr);
  const float fbck = -6.0f;
  uiDescriptor->port_event(ui, korvalv2::kPortFirstControl + kFbck, sizeof fbck, 0, &fbck);
  EXPECT_EQ(shown->getParameter(kFbck), korvalv2::engineValue(kFbck, fbck));
  // Odd events change nothing.
  const double wide = 3.0;
  uiDescriptor->port_event(ui, korvalv2::kPortFirstControl + kMix, sizeof wide, 0, &wide);
  uiDescriptor->port_event(ui, 999, sizeof fbck, 0, &fbck);
  uiDescriptor->port_event(ui, korvalv2::kPortEvents, sizeof fbck, 7, &fbck);

  // The rocker takes no click: no preset change, nothing written.
  writes.clear();
  click(kNextPresetX, kNextPresetY);
  EXPECT_EQ(shown->getCurrentPreset(), 0);
  EXPECT_TRUE(writes.empty());
  // And the plug-in itself was never touched.
  VEK& effect = static_cast<korvalv2::Lv2Korva*>(plugin->handle)->effect();
  EXPECT_FALSE(switchOn(effect.getParameter(kHiCut)));
}

TEST(Lv2Ui, WithoutAParentWindowTheUiIsRefused) {
  TempConfigHome config;
  const LV2UI_Descriptor* d = lv2ui_descriptor(0);
  const LV2_Feature* none[] = {nullptr};
  LV2UI_Widget widget = nullptr;
  testing::internal::CaptureStderr();
  LV2UI_Handle h = d->instantiate(d, "http://vek-sonimark.com/plugins/korva", "/nonexistent/",
                                  nullptr, nullptr, &widget, none);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(h, nullptr);
  EXPECT_NE(err.find(LV2_UI__parent), std::string::npos) << err;
}

// Hosts may free the instance before its UI: the UI keeps working on what it
// shows, writes no more ports, and ends cleanly (ASan saw the editor used
// after the instance had freed it, in idle and in the UI's cleanup).
TEST_F(Lv2UiTest, TheInstanceMayGoBeforeItsUi) {
  open(true);
  plugin.reset();
  idleFor(50);
  click(kHiCutX, kHiCutY);
  auto* shown = static_cast<korvalv2::Lv2KorvaUi*>(ui)->shownEffect();
  EXPECT_TRUE(switchOn(shown->getParameter(kHiCut)));
  EXPECT_TRUE(writes.empty());
  EXPECT_TRUE(holdsWindow(parent, window));
  uiDescriptor->cleanup(ui);
  ui = nullptr;
}

// The effect has one editor: a second UI on the instance must not take the
// first one's window. It gets a window of its own that follows the ports,
// starting from the instance's values; the first stays the plug-in's editor.
TEST_F(Lv2UiTest, ASecondUiOnTheInstanceKeepsItsOwnWindow) {
  open(true);
  plugin->controls[kFbck] = -9.0f;
  plugin->run();
  const int screen = DefaultScreen(display);
  const Window parent2 =
      XCreateSimpleWindow(display, RootWindow(display, screen), kX, kY + 200, 900, 120, 0, 0, 0);
  XMapRaised(display, parent2);
  XSync(display, False);
  std::vector<PortWrite> writes2;
  LV2UI_Widget widget2 = nullptr;
  testing::internal::CaptureStderr();
  LV2UI_Handle ui2 = instantiate(parent2, true, &widget2, &writes2);
  testing::internal::GetCapturedStderr();
  ASSERT_NE(ui2, nullptr);
  const Window window2 = reinterpret_cast<uintptr_t>(widget2);
  for (int i = 0; i < 10; ++i) {
    idle->idle(ui);
    idle->idle(ui2);
    XSync(display, False);
  }
  EXPECT_NE(window2, window);
  EXPECT_TRUE(holdsWindow(parent, window));
  EXPECT_TRUE(holdsWindow(parent2, window2));
  auto* second = static_cast<korvalv2::Lv2KorvaUi*>(ui2);
  VEK& effect = static_cast<korvalv2::Lv2Korva*>(plugin->handle)->effect();
  ASSERT_NE(second->shownEffect(), &effect);
  EXPECT_EQ(second->shownEffect()->getParameter(kFbck), effect.getParameter(kFbck));

  // The first still edits the effect; the second writes its port.
  click(kHiCutX, kHiCutY);
  EXPECT_TRUE(switchOn(effect.getParameter(kHiCut)));
  XTestFakeMotionEvent(display, -1, kX + kHiCutX, kY + 200 + kHiCutY, CurrentTime);
  XTestFakeButtonEvent(display, 1, True, CurrentTime);
  XTestFakeButtonEvent(display, 1, False, CurrentTime);
  XSync(display, False);
  for (int i = 0; i < 10; ++i) {
    idle->idle(ui2);
    XSync(display, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(writes2.size(), 1u);
  EXPECT_EQ(writes2[0].port, korvalv2::kPortFirstControl + kHiCut);

  // Once the second is gone the first keeps its window, and a UI opened
  // after the first is gone is the plug-in's editor again.
  uiDescriptor->cleanup(ui2);
  idleFor(30);
  EXPECT_TRUE(holdsWindow(parent, window));
  uiDescriptor->cleanup(ui);
  ui = nullptr;
  LV2UI_Widget widget3 = nullptr;
  ui2 = instantiate(parent2, true, &widget3, &writes2);
  ASSERT_NE(ui2, nullptr);
  EXPECT_EQ(static_cast<korvalv2::Lv2KorvaUi*>(ui2)->shownEffect(), &effect);
  uiDescriptor->cleanup(ui2);
  XDestroyWindow(display, parent2);
}

// A UI with no window to show in is refused: parent window 0, or an id the
// display does not know. The instance's editor is left free for a good one.
TEST_F(Lv2UiTest, ABadParentWindowGivesNoUi) {
  const int screen = DefaultScreen(display);
  const Window gone =
      XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, 10, 10, 0, 0, 0);
  XDestroyWindow(display, gone);
  XSync(display, False);
  for (const Window bad : {Window(0), gone}) {
    for (const bool instanceAccess : {true, false}) {
      LV2UI_Widget widget = nullptr;
      testing::internal::CaptureStderr();
      LV2UI_Handle h = instantiate(bad, instanceAccess, &widget, &writes);
      const std::string err = testing::internal::GetCapturedStderr();
      EXPECT_EQ(h, nullptr) << bad;
      EXPECT_NE(err.find("parent window"), std::string::npos) << err;
      if (h) uiDescriptor->cleanup(h);
    }
  }
  open(true);
  VEK& effect = static_cast<korvalv2::Lv2Korva*>(plugin->handle)->effect();
  EXPECT_EQ(static_cast<korvalv2::Lv2KorvaUi*>(ui)->shownEffect(), &effect);
}

// A host that changes ports while the plug-in runs no blocks (deactivated, or
// its engine stopped) tells only the UI; the editor shows it at the next idle.
// The host's echo of a port the editor wrote does not undo a newer edit, and
// a report older than the last block gives way to the port the block read.
TEST_F(Lv2UiTest, AStoppedPluginsEditorFollowsPortEvents) {
  open(true);
  plugin->run();
  plugin->descriptor->deactivate(plugin->handle);
  plugin->active = false;
  VEK& effect = static_cast<korvalv2::Lv2Korva*>(plugin->handle)->effect();
  auto* editor = static_cast<Editor*>(effect.getEditor());
  auto report = [this](int parameter, float x) {
    plugin->controls[parameter] = x;
    uiDescriptor->port_event(ui, korvalv2::kPortFirstControl + parameter, sizeof x, 0, &x);
  };
  const FactoryPreset& preset = kFactoryPresets[4];
  for (int i = 0; i < kNumParams; ++i) report(i, korvalv2::exactPortValue(i, preset.values[i]));
  idle->idle(ui);
  // What a plug-in that runs takes from the same ports.
  Lv2TestHost running;
  std::copy(plugin->controls, plugin->controls + kNumParams, running.controls);
  running.activate();
  running.run();
  VEK& expected = static_cast<korvalv2::Lv2Korva*>(running.handle)->effect();
  for (int i = 0; i < kNumParams; ++i) {
    EXPECT_EQ(effect.getParameter(i), expected.getParameter(i)) << i;
    if (CControl* c = editor->getParameterControl(i)) {
      EXPECT_EQ(c->getValue(), effect.getParameter(i)) << i;
    }
  }

  // An edit, its port write, a newer edit, then the host's echo of the first.
  effect.setParameterAutomated(kMix, 0.25f);
  idle->idle(ui);
  ASSERT_NE(lastWrite(korvalv2::kPortFirstControl + kMix), nullptr);
  effect.setParameterAutomated(kMix, 0.75f);
  report(kMix, 25.0f);
  idle->idle(ui);
  EXPECT_EQ(effect.getParameter(kMix), 0.75f);
  EXPECT_EQ(lastWrite(korvalv2::kPortFirstControl + kMix)->value, 75.0f);

  // Running again: a report the next block outdates is not taken.
  plugin->activate();
  plugin->controls[kFbck] = -3.0f;
  plugin->run();
  const float stale = -20.0f;
  uiDescriptor->port_event(ui, korvalv2::kPortFirstControl + kFbck, sizeof stale, 0, &stale);
  plugin->run();
  idle->idle(ui);
  EXPECT_EQ(effect.getParameter(kFbck), korvalv2::engineValue(kFbck, -3.0f));
}

// The host's ui:scaleFactor sizes the editor from the start (options feature)
// and while open (options interface); the host hears of each size through
// ui:resize. A scale that is no float of the key's type is refused.
TEST_F(Lv2UiTest, TheHostsScaleFactorSizesTheEditor) {
  uiDescriptor = lv2ui_descriptor(0);
  ASSERT_NE(uiDescriptor, nullptr);
  const LV2_URID scaleKey = plugin->urids.id(LV2_UI__scaleFactor);
  const LV2_URID floatType = plugin->urids.id(LV2_ATOM__Float);
  float two = 2.f;
  const LV2_Options_Option atOpen[] = {
      {LV2_OPTIONS_INSTANCE, 0, scaleKey, sizeof(float), floatType, &two},
      {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
  LV2_Feature optionsFeature = {LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(atOpen)};
  parentFeature = {LV2_UI__parent, reinterpret_cast<void*>(static_cast<uintptr_t>(parent))};
  instanceFeature = {LV2_INSTANCE_ACCESS_URI, plugin->handle};
  using Self = std::remove_pointer_t<decltype(this)>;
  resize = {this, [](LV2UI_Feature_Handle h, int w, int hgt) {
              static_cast<Self*>(h)->size = {w, hgt};
              return 0;
            }};
  resizeFeature = {LV2_UI__resize, &resize};
  const LV2_Feature* f[] = {&parentFeature,   &resizeFeature,  &plugin->mapFeature,
                            &instanceFeature, &optionsFeature, nullptr};
  LV2UI_Widget widget = nullptr;
  ui = uiDescriptor->instantiate(
      uiDescriptor, "http://vek-sonimark.com/plugins/korva", "/nonexistent/",
      [](LV2UI_Controller, uint32_t, uint32_t, uint32_t, const void*) {}, this, &widget, f);
  ASSERT_NE(ui, nullptr);
  EXPECT_EQ(size, std::make_pair(1740, 202));
  idle =
      static_cast<const LV2UI_Idle_Interface*>(uiDescriptor->extension_data(LV2_UI__idleInterface));
  const auto* options = static_cast<const LV2_Options_Interface*>(
      uiDescriptor->extension_data(LV2_OPTIONS__interface));
  ASSERT_NE(options, nullptr);

  float oneAndAHalf = 1.5f;
  const LV2_Options_Option later[] = {
      {LV2_OPTIONS_INSTANCE, 0, scaleKey, sizeof(float), floatType, &oneAndAHalf},
      {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
  EXPECT_EQ(options->set(ui, later), 0u);
  idleFor(100);
  EXPECT_EQ(size, std::make_pair(1305, 152));
  XWindowAttributes a;
  ASSERT_TRUE(XGetWindowAttributes(display, reinterpret_cast<uintptr_t>(widget), &a));
  EXPECT_EQ(a.width, 1305);
  EXPECT_EQ(a.height, 152);

  int32_t whole = 3;
  const LV2_Options_Option wrongType[] = {
      {LV2_OPTIONS_INSTANCE, 0, scaleKey, sizeof(int32_t), plugin->urids.id(LV2_ATOM__Int), &whole},
      {LV2_OPTIONS_INSTANCE, 0, plugin->urids.id(LV2_UI__updateRate), sizeof(float), floatType,
       &two},
      {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
  EXPECT_EQ(options->set(ui, wrongType),
            static_cast<uint32_t>(LV2_OPTIONS_ERR_BAD_VALUE | LV2_OPTIONS_ERR_BAD_KEY));
  idleFor(50);
  EXPECT_EQ(size, std::make_pair(1305, 152));
}
