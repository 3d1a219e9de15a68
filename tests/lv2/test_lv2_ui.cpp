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

#include "lv2/Lv2Korva.h"
#include "lv2/Lv2Ui.h"
#include "lv2/atom/atom.h"
#include "lv2/instance-access/instance-access.h"
#include "lv2/options/options.h"
#include "lv2/ui/ui.h"
#include "tests/lv2/Lv2TestHost.h"
#include "tests/support/TempConfigHome.h"
#include "tests/support/XvfbServer.h"
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

  void open(bool instanceAccess) {
    uiDescriptor = lv2ui_descriptor(0);
    ASSERT_NE(uiDescriptor, nullptr);
    parentFeature = {LV2_UI__parent, reinterpret_cast<void*>(static_cast<uintptr_t>(parent))};
    instanceFeature = {LV2_INSTANCE_ACCESS_URI, plugin->handle};
    resize = {this, [](LV2UI_Feature_Handle h, int w, int hgt) {
                static_cast<Lv2UiTest*>(h)->size = {w, hgt};
                return 0;
              }};
    resizeFeature = {LV2_UI__resize, &resize};
    std::vector<const LV2_Feature*> f = {&parentFeature, &resizeFeature, &plugin->mapFeature};
    if (instanceAccess) f.push_back(&instanceFeature);
    f.push_back(nullptr);
    LV2UI_Widget widget = nullptr;
    ui = uiDescriptor->instantiate(
        uiDescriptor, "http://vek-sonimark.com/plugins/korva", "/nonexistent/",
        [](LV2UI_Controller c, uint32_t port, uint32_t size, uint32_t format, const void* buf) {
          ASSERT_EQ(size, sizeof(float));
          ASSERT_EQ(format, 0u);
          float v;
          std::memcpy(&v, buf, sizeof v);
          static_cast<Lv2UiTest*>(c)->writes.push_back({port, v});
        },
        this, &widget, f.data());
    ASSERT_NE(ui, nullptr);
    EXPECT_NE(widget, nullptr);  // the editor's own X11 window
    EXPECT_EQ(size, std::make_pair(870, 101));
    idle = static_cast<const LV2UI_Idle_Interface*>(
        uiDescriptor->extension_data(LV2_UI__idleInterface));
    ASSERT_NE(idle, nullptr);
    idleFor(200);
    writes.clear();
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
