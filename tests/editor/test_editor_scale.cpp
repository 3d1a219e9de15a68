// The editor at every scale: its drawing against a reference image per scale,
// the pointer and clicks at scaled places, and where the scale comes from.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "editor/controls/CScaleMenu.h"
#include "engine/ParameterIds.h"
#include "platform/SettingsStore.h"
#include "presets/CPresetSystemEffect.h"
#include "presets/PresetFileFormat.h"
#include "tests/editor/ShownEditor.h"
#include "tests/support/FakeHost.h"
#include "tests/support/TempConfigHome.h"
#include "toolkit/CAnimKnob.h"
#include "toolkit/COptionMenu.h"
#include "toolkit/CTextEdit.h"

#ifndef KORVA_SOURCE_DIR
#error "KORVA_SOURCE_DIR names the source tree, for the reference images"
#endif

namespace {

// Every scale, and the image the editor must draw at it (100 % and 200 % are
// the README's pictures). After an intended change of the look they are made
// again with the target editor_reference_images.
struct ScaleCase {
  float scale;
  const char* reference;
};
const ScaleCase kScales[] = {
    {1.f, "docs/editor.png"},
    {1.25f, "tests/editor/reference/editor-125.png"},
    {1.5f, "tests/editor/reference/editor-150.png"},
    {1.75f, "tests/editor/reference/editor-175.png"},
    {2.f, "docs/editor-200.png"},
    {2.25f, "tests/editor/reference/editor-225.png"},
    {2.5f, "tests/editor/reference/editor-250.png"},
    {2.75f, "tests/editor/reference/editor-275.png"},
    {3.f, "tests/editor/reference/editor-300.png"},
};

std::string percent(float scale) {
  return std::to_string(static_cast<int>(std::lround(scale * 100))) + " %";
}

// The control a logical point of the window shows, for a person to read.
std::string controlAt(ShownEditor& shown, const CPoint& where) {
  CView* view = shown.frame()->getViewAt(where);
  if (!view) return "the background";
  std::ostringstream name;
  name << view->getClassName();
  if (auto* control = dynamic_cast<CControl*>(view)) {
    const int32_t tag = control->getTag();
    name << " tag " << tag;
    if (tag >= 0 && tag < kNumParams) {
      char text[64] = {0};
      shown.dispatch(effGetParamName, tag, 0, text);
      name << " (" << text << ")";
    }
  }
  return name.str();
}

CPoint deviceCentre(const CRect& logical, float scale) {
  return CPoint((logical.left + logical.right) / 2 * scale,
                (logical.top + logical.bottom) / 2 * scale);
}

CView* topControlWithTag(CFrame* frame, int32_t tag) {
  for (int32_t i = frame->getNbViews() - 1; i >= 0; --i)
    if (auto* c = dynamic_cast<CControl*>(frame->getView(i)))
      if (c->getTag() == tag) return c;
  return nullptr;
}

class ScaledEditorTest : public ::testing::Test {
 protected:
  TempConfigHome config;
  FakeHost host;
};

}  // namespace

// Each scale draws exactly its reference image; a pixel that differs fails and
// names the control under it.
TEST_F(ScaledEditorTest, EachScaleDrawsItsReferenceImage) {
  for (const ScaleCase& c : kScales) {
    SCOPED_TRACE(percent(c.scale));
    ShownEditor shown(FakeHost::callback(), c.scale);
    ASSERT_NE(shown.driver, nullptr);
    const std::vector<uint32_t> drawn = shown.driver->surfacePixels();
    const int width = shown.driver->width(), height = shown.driver->height();
    EXPECT_EQ(width, static_cast<int>(std::floor(870 * c.scale + 0.5)));
    EXPECT_EQ(height, static_cast<int>(std::floor(101 * c.scale + 0.5)));

    const std::string path = std::string(KORVA_SOURCE_DIR) + "/" + c.reference;
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> reference(
        cairo_image_surface_create_from_png(path.c_str()), &cairo_surface_destroy);
    ASSERT_EQ(cairo_surface_status(reference.get()), CAIRO_STATUS_SUCCESS) << path;
    ASSERT_EQ(cairo_image_surface_get_width(reference.get()), width) << path;
    ASSERT_EQ(cairo_image_surface_get_height(reference.get()), height) << path;
    cairo_surface_flush(reference.get());
    const unsigned char* data = cairo_image_surface_get_data(reference.get());
    const int stride = cairo_image_surface_get_stride(reference.get());

    std::map<std::string, int> wrongPixels;
    std::string first;
    for (int y = 0; y < height; ++y) {
      const auto* row = reinterpret_cast<const uint32_t*>(data + y * stride);
      for (int x = 0; x < width; ++x) {
        if (((drawn[static_cast<size_t>(y) * width + x] ^ row[x]) & 0xFFFFFF) == 0) continue;
        const CPoint logical(x / c.scale, y / c.scale);
        const std::string name = controlAt(shown, logical);
        if (first.empty())
          first = "device pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") in " + name;
        ++wrongPixels[name];
      }
    }
    std::ostringstream report;
    for (const auto& w : wrongPixels) report << "\n  " << w.second << " pixels in " << w.first;
    EXPECT_TRUE(wrongPixels.empty())
        << "the drawing differs from " << c.reference << ", first at " << first << report.str();
  }
}

// The pointer at a scaled place is over the control that is there at 100 %.
TEST_F(ScaledEditorTest, APointerAtAScaledPlaceIsOverTheControlThere) {
  for (const ScaleCase& c : kScales) {
    SCOPED_TRACE(percent(c.scale));
    ShownEditor shown(FakeHost::callback(), c.scale);
    ASSERT_NE(shown.driver, nullptr);
    CFrame* frame = shown.frame();
    for (int32_t i = 0; i < frame->getNbViews(); ++i) {
      const CRect size = frame->getView(i)->getViewSize();
      CView* there = frame->getViewAt(size.getCenter());
      shown.driver->mouseMoved(deviceCentre(size, c.scale));
      CPoint where;
      ASSERT_TRUE(frame->getCurrentMouseLocation(where));
      EXPECT_EQ(frame->getViewAt(where), there) << controlAt(shown, size.getCenter());
    }
  }
}

// A click or drag at the scaled place of a control does what it does at 100 %.
TEST_F(ScaledEditorTest, ClicksAndDragsAtScaledPlacesActAsAtOneHundredPercent) {
  auto knobAfterDrag = [&](float scale) {
    ShownEditor shown(FakeHost::callback(), scale);
    const CPoint from = deviceCentre(topControlWithTag(shown.frame(), kFbck)->getViewSize(), scale);
    shown.driver->mouseDown(from);
    shown.driver->mouseMoved(CPoint(from.x, from.y - 40 * scale), kLButton);
    shown.driver->mouseUp(CPoint(from.x, from.y - 40 * scale));
    return shown.aeffect->getParameter(shown.aeffect, kFbck);
  };
  const float draggedAt100 = knobAfterDrag(1.f);
  ASSERT_GT(draggedAt100, 0.f);

  for (float scale : {1.25f, 2.f, 2.75f}) {
    SCOPED_TRACE(percent(scale));
    EXPECT_FLOAT_EQ(knobAfterDrag(scale), draggedAt100);

    ShownEditor shown(FakeHost::callback(), scale);
    CFrame* frame = shown.frame();
    AEffect* e = shown.aeffect;
    auto click = [&](int32_t tag, CButtonState buttons = kLButton) {
      shown.driver->advanceTime(1000);
      shown.driver->click(deviceCentre(topControlWithTag(frame, tag)->getViewSize(), scale),
                          buttons);
    };
    click(kHiCut);
    EXPECT_FLOAT_EQ(e->getParameter(e, kHiCut), 0.75f);
    const float delay = e->getParameter(e, kDlyTime);
    click(kTagDelayUp);
    EXPECT_NEAR(e->getParameter(e, kDlyTime), delay + 1.f / 3200.f, 1e-6);

    auto* field = dynamic_cast<CTextEdit*>(topControlWithTag(frame, kTagPresetName));
    ASSERT_NE(field, nullptr);
    click(kTagPresetName);
    EXPECT_TRUE(field->isEditing());
    shown.driver->click(CPoint(1, 1));  // elsewhere: the field commits and lets go
    EXPECT_FALSE(field->isEditing());

    auto* menu = dynamic_cast<COptionMenu*>(topControlWithTag(frame, kTagPresetMenu));
    ASSERT_NE(menu, nullptr);
    click(kTagPresetMenu);
    ASSERT_TRUE(menu->isPopupOpen());
    EXPECT_TRUE(menu->choosePopupEntry(3));
    EXPECT_EQ(dynamic_cast<CPresetSystemEffect*>(shown.effect)->getCurrentPreset(), 3);

    click(kTagAbout);
    ASSERT_NE(frame->getModalView(), nullptr);
    shown.driver->advanceTime(1000);
    shown.driver->click(CPoint(100 * scale, 50 * scale));
    EXPECT_EQ(frame->getModalView(), nullptr);
  }
}

// The size menu behind the logo: a right click at its scaled place opens it,
// a size chosen there resizes the open window at the next idle, asks the host
// to follow, and is the size of every editor opened later, whatever the host
// asks; "Automatic" gives the host's scale back.
TEST_F(ScaledEditorTest, TheLogosMenuChoosesTheSizeForEveryEditor) {
  {
    ShownEditor shown(FakeHost::callback(), 2.f);
    auto* menu = dynamic_cast<CScaleMenu*>(topControlWithTag(shown.frame(), kTagScaleMenu));
    ASSERT_NE(menu, nullptr);
    const CPoint logo = deviceCentre(menu->getViewSize(), 2.f);
    shown.driver->advanceTime(1000);
    shown.driver->click(logo, kLButton);  // the left button opens the about view
    EXPECT_FALSE(menu->isPopupOpen());
    shown.driver->advanceTime(1000);
    shown.driver->click(logo, kLButton);  // and closes it
    ASSERT_EQ(shown.frame()->getModalView(), nullptr);
    shown.driver->advanceTime(1000);
    shown.driver->click(logo, kRButton);
    ASSERT_TRUE(menu->isPopupOpen());
    EXPECT_STREQ(menu->getEntry(0), "Automatic (200 %)");
    EXPECT_EQ(menu->getCurrentIndex(), 0);
    host.calls.clear();
    EXPECT_TRUE(menu->choosePopupEntry(CScaleMenu::entryOfScale(1.5)));
    shown.dispatch(effEditIdle);
    EXPECT_EQ(shown.frame()->getScale(), 1.5);
    EXPECT_EQ(shown.driver->width(), 1305);
    EXPECT_EQ(shown.driver->height(), 152);
    ERect* rect = nullptr;
    shown.dispatch(effEditGetRect, 0, 0, &rect);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right, 1305);
    EXPECT_EQ(rect->bottom, 152);
    const std::vector<HostCall> resized = host.callsOf(audioMasterSizeWindow);
    ASSERT_EQ(resized.size(), 1u);
    EXPECT_EQ(resized[0].index, 1305);
    EXPECT_EQ(resized[0].value, 152);
  }
  {
    ShownEditor shown(FakeHost::callback(), 2.f);
    EXPECT_EQ(shown.frame()->getScale(), 1.5);
    auto* menu = dynamic_cast<CScaleMenu*>(topControlWithTag(shown.frame(), kTagScaleMenu));
    EXPECT_EQ(menu->getCurrentIndex(), CScaleMenu::entryOfScale(1.5));
    shown.driver->advanceTime(1000);
    shown.driver->click(deviceCentre(menu->getViewSize(), 1.5f), kRButton);
    EXPECT_TRUE(menu->choosePopupEntry(0));
    shown.dispatch(effEditIdle);
    EXPECT_EQ(shown.frame()->getScale(), 2.0);
  }
  ShownEditor shown(FakeHost::callback(), 1.75f);
  EXPECT_EQ(shown.frame()->getScale(), 1.75);
}

// Hosts may ask for any factor: it is rounded to a quarter within 1..3, and a
// request that is no factor leaves the desktop's scale (1 in the tests). A
// request while the editor is open resizes it at the next idle.
TEST_F(ScaledEditorTest, HostRequestsAreRoundedToAQuarterAndFollowedWhileOpen) {
  AudioEffect* effect = createEffectInstance(FakeHost::callback());
  ASSERT_NE(effect, nullptr);
  AEffect* e = effect->getAeffect();
  auto ask = [&](float scale) {
    return e->dispatcher(e, effVendorSpecific, vstFourCC('P', 'r', 'e', 'S'),
                         vstFourCC('A', 'e', 'C', 's'), nullptr, scale);
  };
  auto rect = [&]() {
    ERect* r = nullptr;
    e->dispatcher(e, effEditGetRect, 0, 0, &r, 0.f);
    return r ? std::make_pair<int, int>(r->right - r->left, r->bottom - r->top)
             : std::make_pair(0, 0);
  };
  using Size = std::pair<int, int>;
  const struct {
    float asked;
    Size size;
  } cases[] = {
      {2.f, {1740, 202}},
      {1.1f, {870, 101}},
      {1.13f, {1088, 126}},
      {2.6f, {2175, 253}},
      {3.7f, {2610, 303}},
      {0.5f, {870, 101}},
      {0.f, {870, 101}},
      {-2.f, {870, 101}},
      {std::numeric_limits<float>::quiet_NaN(), {870, 101}},
      {std::numeric_limits<float>::infinity(), {870, 101}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ask(c.asked), 1) << c.asked;
    EXPECT_EQ(rect(), c.size) << c.asked;
  }
  // Other vendor requests are not this one.
  EXPECT_EQ(e->dispatcher(e, effVendorSpecific, vstFourCC('P', 'r', 'e', 'S'), 0, nullptr, 2.f), 0);
  EXPECT_EQ(rect(), Size(870, 101));

  ask(1.5f);
  ASSERT_EQ(e->dispatcher(e, effEditOpen, 0, 0, nullptr, 0.f), 1);
  auto* editor = static_cast<Editor*>(effect->getEditor());
  EXPECT_EQ(editor->getFrame()->getScale(), 1.5);
  host.calls.clear();
  ask(2.25f);
  EXPECT_EQ(rect(), Size(1305, 152));  // the open window's, until the editor follows
  e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0.f);
  EXPECT_EQ(editor->getFrame()->getScale(), 2.25);
  EXPECT_EQ(rect(), Size(1958, 227));
  ASSERT_EQ(host.count(audioMasterSizeWindow), 1);
  EXPECT_EQ(host.callsOf(audioMasterSizeWindow)[0].index, 1958);
  e->dispatcher(e, effEditClose, 0, 0, nullptr, 0.f);
  e->dispatcher(e, effClose, 0, 0, nullptr, 0.f);
}

// The stored size is taken only when it is one of the menu's sizes.
TEST_F(ScaledEditorTest, AStoredSizeCountsOnlyWhenItIsOneOfTheSizes) {
  auto store = [&](const char* text, uint32_t size) {
    platform::SettingsKey key = nullptr;
    ASSERT_EQ(platform::settingsCreateKey(kSettingsKeyPath, platform::kSettingsWriteAccess, &key),
              platform::kSettingsOk);
    platform::settingsSetValue(key, "EditorScale", platform::kSettingsText,
                               reinterpret_cast<const unsigned char*>(text), size);
    platform::settingsCloseKey(key);
  };
  const struct {
    const char* text;
    uint32_t size;
    double scale;
  } cases[] = {{"150", 4, 1.5}, {"175", 3, 1.75}, {"300", 4, 3.0},  {"130", 4, 1.0},
               {"325", 4, 1.0}, {"075", 4, 1.0},  {"1500", 5, 1.0}, {"15", 3, 1.0},
               {"abc", 4, 1.0}, {"150x", 5, 1.0}, {"", 1, 1.0},     {"2\0000", 4, 1.0}};
  for (const auto& c : cases) {
    store(c.text, c.size);
    ShownEditor shown(FakeHost::callback(), 0.f);  // no host request
    ASSERT_NE(shown.frame(), nullptr);
    EXPECT_EQ(shown.frame()->getScale(), c.scale) << '"' << c.text << '"';
  }
}
