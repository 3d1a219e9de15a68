// The editor window on the offscreen backend, inside a whole plug-in.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "editor/controls/CInvisibleSlider.h"
#include "editor/controls/VEKKickButton.h"
#include "engine/ParameterIds.h"
#include "engine/VEK.h"
#include "presets/CPresetSystemEffect.h"
#include "tests/editor/EditorFixture.h"
#include "toolkit/CAnimKnob.h"
#include "toolkit/CBitmap.h"
#include "toolkit/CMovieBitmap.h"

namespace {

class EditorTest : public EditorFixture {
 protected:
  VEK* vek() const { return static_cast<VEK*>(effect); }
  CPresetSystemEffect* presets() const { return static_cast<CPresetSystemEffect*>(effect); }
  // Puts the effect into a known state, as a host would.
  void setDelayMode(float dlyTime) {
    hostSets(kRptInf, 0.25f);
    hostSets(kDlyClk, 0.25f);
    hostSets(kDlyTime, dlyTime);
    host.calls.clear();
  }
  void setClockMode() {
    hostSets(kRptInf, 0.25f);
    hostSets(kDlyClk, 0.75f);
    host.calls.clear();
  }
  void drag(int32_t tag, double upPixels, CButtonState buttons = kLButton) {
    const CPoint from = centre(tag);
    driver->advanceTime(1000);
    driver->mouseDown(from, buttons);
    driver->mouseMoved(CPoint(from.x, from.y - upPixels / 2), buttons);
    driver->mouseMoved(CPoint(from.x, from.y - upPixels), buttons);
    driver->mouseUp(CPoint(from.x, from.y - upPixels), buttons);
  }
  float sliderValue(int32_t tag) const { return control(tag)->getValue(); }
  // The readout's images as digits, -1 for the blank image.
  std::vector<int> shownDigits() const {
    std::vector<int> out;
    for (int32_t tag = kTagDigit1; tag <= kTagDigit4; ++tag) {
      const int image = static_cast<int>(control(tag)->getValue() * 11.f + 0.5f);
      out.push_back(image == 10 ? -1 : image);
    }
    return out;
  }
};

TEST(EditorRectTest, RectangleIs870By101BeforeOpening) {
  TempConfigHome config;
  FakeHost host;
  AudioEffect* effect = createEffectInstance(FakeHost::callback());
  ASSERT_NE(effect, nullptr);
  AEffect* e = effect->getAeffect();
  EXPECT_NE(e->flags & effFlagsHasEditor, 0);
  ERect* rect = nullptr;
  EXPECT_EQ(e->dispatcher(e, effEditGetRect, 0, 0, &rect, 0.f), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->top, 0);
  EXPECT_EQ(rect->left, 0);
  EXPECT_EQ(rect->bottom, 101);
  EXPECT_EQ(rect->right, 870);
  e->dispatcher(e, effClose, 0, 0, nullptr, 0.f);
}

TEST_F(EditorTest, ControlsAreCreatedInDrawingOrderWithTheirRectangles) {
  struct Expected {
    int32_t tag;
    CRect rect;
  };
  const Expected layout[] = {
      {kTagDigit1, CRect(511, 32, 525, 52)},
      {kTagDigit2, CRect(528, 32, 542, 52)},
      {kTagDigit3, CRect(545, 32, 560, 52)},
      {kTagDigit4, CRect(563, 32, 577, 52)},
      {kTagStatusLamps, CRect(577, 26, 593, 58)},
      {kTagBypassLamp, CRect(341, 59, 352, 70)},
      {kTagLfoLamp, CRect(786, 61, 796, 71)},
      {0, CRect(109, 25, 144, 60)},
      {1, CRect(154, 25, 189, 60)},
      {6, CRect(200, 25, 235, 60)},
      {2, CRect(352, 25, 387, 60)},
      {9, CRect(616, 25, 651, 60)},
      {10, CRect(661, 25, 697, 61)},
      {7, CRect(247, 44, 270, 70)},
      {11, CRect(706, 25, 742, 61)},
      {12, CRect(752, 25, 788, 61)},
      {8, CRect(276, 44, 297, 70)},
      {5, CRect(306, 44, 327, 70)},
      {13, CRect(399, 44, 421, 70)},
      {4, CRect(74, 45, 95, 65)},
      {14, CRect(818, 45, 840, 65)},
      {15, CRect(457, 23, 472, 33)},
      {kTagDelayDown, CRect(431, 33, 457, 59)},
      {kTagDelayUp, CRect(470, 33, 496, 59)},
      {kTagLevelMeter, CRect(41, 21, 48, 64)},
      {kTagDelayStrip, CRect(458, 34, 470, 59)},
      {kTagDelayDrag, CRect(505, 27, 591, 57)},
      {kTagAbout, CRect(806, 15, 867, 39)},
  };
  ASSERT_GE(frame()->getNbViews(), 28);
  for (int i = 0; i < 28; ++i) {
    auto* c = dynamic_cast<CControl*>(frame()->getView(i));
    ASSERT_NE(c, nullptr) << "view " << i;
    EXPECT_EQ(c->getTag(), layout[i].tag) << "view " << i;
    EXPECT_EQ(c->getViewSize(), layout[i].rect) << "tag " << layout[i].tag;
    EXPECT_EQ(c->getListener(), static_cast<CControlListener*>(editor)) << "tag " << c->getTag();
  }
  EXPECT_STREQ(frame()->getView(7)->getClassName(), "CAnimKnob");
  EXPECT_STREQ(frame()->getView(13)->getClassName(), "VEKOnOffButton");
  EXPECT_STREQ(frame()->getView(21)->getClassName(), "VEKSwitch");
  EXPECT_STREQ(frame()->getView(22)->getClassName(), "VEKKickButton");
  EXPECT_STREQ(frame()->getView(25)->getClassName(), "CInvisibleSlider");
  EXPECT_STREQ(frame()->getView(27)->getClassName(), "CAbout");
  ASSERT_NE(frame()->getBackground(), nullptr);
  EXPECT_EQ(frame()->getBackground()->getWidth(), 870);
  EXPECT_EQ(frame()->getBackground()->getHeight(), 101);
}

TEST_F(EditorTest, SkinBitmapsHaveTheSizesOfTheResourceTable) {
  const struct {
    int32_t id, w, h;
  } skin[] = {{128, 870, 101}, {129, 870, 101}, {130, 21, 40},   {131, 35, 3535}, {132, 35, 3535},
              {133, 35, 3535}, {134, 21, 52},   {135, 21, 52},   {136, 35, 3535}, {137, 22, 52},
              {138, 26, 52},   {139, 26, 52},   {140, 14, 240},  {141, 14, 240},  {142, 15, 240},
              {143, 14, 240},  {144, 16, 256},  {145, 11, 22},   {146, 7, 903},   {147, 23, 52},
              {148, 36, 3636}, {149, 35, 3535}, {150, 36, 3636}, {151, 36, 3636}, {152, 22, 40},
              {153, 10, 1010}, {154, 12, 25},   {155, 15, 20}};
  for (const auto& b : skin) {
    CBitmap* bitmap = new CBitmap(b.id);
    EXPECT_EQ(bitmap->getWidth(), b.w) << b.id;
    EXPECT_EQ(bitmap->getHeight(), b.h) << b.id;
    bitmap->forget();
  }
  // Each control shows the bitmap of its row: width and height of the strip,
  // and for the displays the number of images and the height of one.
  const struct {
    int32_t tag, w, h, images, imageHeight;
  } controls[] = {{0, 35, 3535, 0, 0},
                  {1, 35, 3535, 0, 0},
                  {6, 35, 3535, 0, 0},
                  {2, 35, 3535, 0, 0},
                  {9, 35, 3535, 0, 0},
                  {10, 36, 3636, 0, 0},
                  {11, 36, 3636, 0, 0},
                  {12, 36, 3636, 0, 0},
                  {7, 23, 52, 0, 0},
                  {8, 21, 52, 0, 0},
                  {5, 21, 52, 0, 0},
                  {13, 22, 52, 0, 0},
                  {4, 21, 40, 0, 0},
                  {14, 22, 40, 0, 0},
                  {15, 15, 20, 0, 0},
                  {kTagDelayDown, 26, 52, 0, 0},
                  {kTagDelayUp, 26, 52, 0, 0},
                  {kTagDigit1, 14, 240, 12, 20},
                  {kTagDigit2, 14, 240, 12, 20},
                  {kTagDigit3, 15, 240, 12, 20},
                  {kTagDigit4, 14, 240, 12, 20},
                  {kTagStatusLamps, 16, 256, 8, 32},
                  {kTagBypassLamp, 11, 22, 2, 11},
                  {kTagLfoLamp, 10, 1010, 101, 10},
                  {kTagLevelMeter, 7, 903, 21, 43},
                  {kTagAbout, 870, 101, 0, 0}};
  for (const auto& c : controls) {
    CControl* control = this->control(c.tag);
    ASSERT_NE(control, nullptr) << c.tag;
    ASSERT_NE(control->getBackground(), nullptr) << c.tag;
    EXPECT_EQ(control->getBackground()->getWidth(), c.w) << c.tag;
    EXPECT_EQ(control->getBackground()->getHeight(), c.h) << c.tag;
    if (c.images) {
      auto* display = dynamic_cast<CMovieBitmap*>(control);
      ASSERT_NE(display, nullptr) << c.tag;
      EXPECT_EQ(display->getNumSubPixmaps(), c.images) << c.tag;
      EXPECT_EQ(display->getHeightOfOneImage(), c.imageHeight) << c.tag;
    }
  }
  EXPECT_EQ(control(kTagDelayStrip)->getBackground(), nullptr);
  EXPECT_EQ(control(kTagDelayDrag)->getBackground(), nullptr);
  auto* knob = dynamic_cast<CAnimKnob*>(control(kDepth));
  ASSERT_NE(knob, nullptr);
  EXPECT_EQ(knob->getHeightOfOneImage(), 36);
}

// No tag is ever taken for a host parameter: a display, the about button or a
// control the layout does not know changes no parameter, the controller
// assignments (18..35) included, and nothing reaches the host.
TEST_F(EditorTest, UnknownAndEditorOnlyTagsChangeNoParameter) {
  std::vector<float> before;
  for (VstInt32 i = 0; i < kNumHostParams; ++i) before.push_back(param(i));
  for (int32_t tag : {-1, 3, 16, 18, 21, 25, 26, 29, 32, 35, 36, 999}) {
    auto* stranger = new CMovieBitmap(CRect(0, 0, 1, 1), editor, tag, 2, 1, nullptr);
    stranger->setValue(0.75f);
    editor->valueChanged(stranger);
    stranger->forget();
  }
  for (int32_t tag : {kTagDigit1, kTagDigit4, kTagStatusLamps, kTagBypassLamp, kTagLfoLamp,
                      kTagLevelMeter, kTagAbout}) {
    control(tag)->setValue(0.75f);
    editor->valueChanged(control(tag));
  }
  for (VstInt32 i = 0; i < kNumHostParams; ++i) EXPECT_EQ(param(i), before[i]) << "parameter " << i;
  EXPECT_EQ(automateCount(), 0);
}

TEST_F(EditorTest, KnobsCarryDefaultsWheelIncrementAndZoom) {
  const struct {
    int32_t tag;
    float defaultValue;
  } knobs[] = {{0, 0.5f}, {1, 0.5f}, {6, 0.f},   {2, 0.5f},
               {9, 0.5f}, {10, 0.f}, {11, 0.5f}, {12, 0.f}};
  for (const auto& k : knobs) {
    auto* knob = dynamic_cast<CAnimKnob*>(control(k.tag));
    ASSERT_NE(knob, nullptr) << k.tag;
    EXPECT_FLOAT_EQ(knob->getDefaultValue(), k.defaultValue) << k.tag;
    EXPECT_FLOAT_EQ(knob->getWheelInc(), 1.f / 32.f) << k.tag;
    EXPECT_FLOAT_EQ(knob->getZoomFactor(), 5.f) << k.tag;
    EXPECT_EQ(knob->getNumSubPixmaps(), 101) << k.tag;
    EXPECT_FLOAT_EQ(knob->getValue(), param(k.tag)) << k.tag;
  }
  EXPECT_EQ(AEffGUIEditor::getKnobMode(), kLinearMode);
}

TEST_F(EditorTest, InitialValuesComeFromTheEffect) {
  dispatch(effEditClose);
  hostSets(kDlyTime, 0.36f);
  hostSets(kPower, 0.25f);  // off: the bypass lamp is lit
  hostSets(kHiCut, 0.75f);
  delete driver;
  driver = nullptr;
  ASSERT_EQ(dispatch(effEditOpen), 1);
  driver = new toolkit::OffscreenFrame(frame());
  EXPECT_FLOAT_EQ(sliderValue(kTagDelayStrip), std::sqrt(0.36f));
  EXPECT_FLOAT_EQ(sliderValue(kTagDelayDrag), std::sqrt(0.36f));
  EXPECT_FLOAT_EQ(control(kTagBypassLamp)->getValue(), 0.5f);
  EXPECT_FLOAT_EQ(control(kHiCut)->getValue(), param(kHiCut));
  EXPECT_FLOAT_EQ(control(kTagDelayDown)->getValue(), 0.f);
  EXPECT_FLOAT_EQ(control(kTagLfoLamp)->getValue(), 0.f);
  hostSets(kPower, 0.75f);
  dispatch(effEditClose);
  ASSERT_EQ(dispatch(effEditOpen), 1);
  delete driver;
  driver = new toolkit::OffscreenFrame(frame());
  EXPECT_FLOAT_EQ(control(kTagBypassLamp)->getValue(), 0.f);
}

TEST_F(EditorTest, FbckDragIsOneBracketedGestureReachingTheHost) {
  hostSets(kFbck, 0.2f);
  host.calls.clear();
  drag(kFbck, 40);
  const std::vector<HostEvent> seq = edits();
  ASSERT_GE(seq.size(), 3u);
  EXPECT_EQ(seq.front(), beginOf(kFbck));
  EXPECT_EQ(seq.back(), endOf(kFbck));
  for (size_t i = 1; i + 1 < seq.size(); ++i) EXPECT_EQ(seq[i], automateOf(kFbck)) << i;
  const std::vector<float> values = automated(kFbck);
  ASSERT_GE(values.size(), 2u);
  for (size_t i = 1; i < values.size(); ++i) EXPECT_GT(values[i], values[i - 1]);
  EXPECT_GT(values.front(), 0.2f);
  EXPECT_FLOAT_EQ(param(kFbck), values.back());
  EXPECT_FLOAT_EQ(control(kFbck)->getValue(), values.back());
}

TEST_F(EditorTest, OnOffClickSendsThreeQuartersThenOneQuarter) {
  hostSets(kDlyInv, 0.25f);
  host.calls.clear();
  click(kDlyInv);
  click(kDlyInv);
  EXPECT_EQ(automated(kDlyInv), (std::vector<float>{0.75f, 0.25f}));
  const std::vector<HostEvent> expected = {beginOf(5), automateOf(5), endOf(5),
                                           beginOf(5), automateOf(5), endOf(5)};
  EXPECT_EQ(edits(), expected);
  EXPECT_FLOAT_EQ(param(kDlyInv), 0.25f);
}

TEST_F(EditorTest, StepButtonsInDelayModeStepMilliseconds) {
  const struct {
    int32_t tag;
    int32_t buttons;
    float ms;
  } cases[] = {{kTagDelayUp, kLButton, 1},
               {kTagDelayUp, kLButton | kShift, 10},
               {kTagDelayUp, kLButton | kControl, 100},
               {kTagDelayUp, kLButton | kShift | kControl, 100},
               {kTagDelayDown, kLButton, -1},
               {kTagDelayDown, kLButton | kShift, -10},
               {kTagDelayDown, kLButton | kControl, -100},
               {kTagDelayDown, kLButton | kShift | kControl, -100}};
  for (const auto& c : cases) {
    setDelayMode(0.5f);
    click(c.tag, c.buttons);
    const float expected = 0.5f + c.ms / 3200.f;
    const std::vector<float> sent = automated(kDlyTime);
    ASSERT_EQ(sent.size(), 1u) << c.tag << " " << c.buttons;
    EXPECT_NEAR(sent[0], expected, 1e-7) << c.tag << " " << c.buttons;
    EXPECT_NEAR(sliderValue(kTagDelayStrip), std::sqrt(expected), 1e-6);
    EXPECT_NEAR(sliderValue(kTagDelayDrag), std::sqrt(expected), 1e-6);
    const std::vector<HostEvent> seq = {beginOf(kDlyTime), automateOf(kDlyTime), endOf(kDlyTime)};
    EXPECT_EQ(edits(), seq);
  }
}

// Touch automation arms the lane of the bracketed index: the step buttons and
// delay areas must bracket the parameter they change, never their own tags
// (19, 20, 30 and 31 are the CC# assignment parameters).
TEST_F(EditorTest, StepButtonsAndDelayAreasBracketOnlyTheParameterTheyChange) {
  auto bracketsOnly = [this]() {
    std::vector<HostEvent> out;
    for (const HostEvent& e : edits())
      if (e.first != audioMasterAutomate) out.push_back(e);
    return out;
  };
  const std::vector<HostEvent> dlyTime = {beginOf(kDlyTime), endOf(kDlyTime)};
  setDelayMode(0.5f);
  click(kTagDelayUp);
  EXPECT_EQ(bracketsOnly(), dlyTime);
  host.calls.clear();
  drag(kTagDelayStrip, 30);
  EXPECT_EQ(bracketsOnly(), dlyTime);
  host.calls.clear();
  drag(kTagDelayDrag, -30);
  EXPECT_EQ(bracketsOnly(), dlyTime);

  setClockMode();
  click(kTagDelayDown);
  EXPECT_EQ(bracketsOnly(), (std::vector<HostEvent>{beginOf(kNum), endOf(kNum)}));
  host.calls.clear();
  click(kTagDelayUp);
  EXPECT_EQ(bracketsOnly(), (std::vector<HostEvent>{beginOf(kDen), endOf(kDen)}));
  host.calls.clear();
  drag(kTagDelayDrag, 30);  // the tempo, which is no parameter
  EXPECT_TRUE(edits().empty());

  // Held repeats refuse every delay edit: nothing to bracket.
  setDelayMode(0.5f);
  hostSets(kRptInf, 0.75f);
  host.calls.clear();
  click(kTagDelayUp);
  drag(kTagDelayDrag, 30);
  EXPECT_TRUE(edits().empty());
}

// A drag still held when the editor closes leaves no lane armed.
TEST_F(EditorTest, ClosingDuringADragEndsItsEdit) {
  setDelayMode(0.25f);
  const CPoint from = centre(kTagDelayDrag);
  driver->advanceTime(1000);
  driver->mouseDown(from, kLButton);
  driver->mouseMoved(CPoint(from.x, from.y - 20), kLButton);
  delete driver;
  driver = nullptr;
  dispatch(effEditClose);
  const std::vector<HostEvent> seq = edits();
  ASSERT_FALSE(seq.empty());
  EXPECT_EQ(seq.front(), beginOf(kDlyTime));
  EXPECT_EQ(seq.back(), endOf(kDlyTime));
  EXPECT_EQ(host.count(audioMasterBeginEdit), host.count(audioMasterEndEdit));
}

TEST_F(EditorTest, StepButtonsStopAtTheEndsOfTheDelayRange) {
  setDelayMode(1.f);
  click(kTagDelayUp, kLButton | kControl);
  EXPECT_EQ(automated(kDlyTime), std::vector<float>{1.f});
  setDelayMode(0.f);
  click(kTagDelayDown, kLButton | kControl);
  EXPECT_EQ(automated(kDlyTime), std::vector<float>{0.f});
  setDelayMode(0.00001f);
  click(kTagDelayDown);
  EXPECT_EQ(automated(kDlyTime), std::vector<float>{0.f});
}

TEST_F(EditorTest, ClockModeStepsNumAndDenWithWrapRules) {
  setClockMode();
  // A plain click adds 0.2 to Num; a sum of exactly 1.0 does not wrap.
  hostSets(kNum, 0.8f);
  host.calls.clear();
  click(kTagDelayDown);
  ASSERT_EQ(0.8f + 0.2f, 1.f);
  EXPECT_EQ(automated(kNum), std::vector<float>{1.f});
  const std::vector<HostEvent> seq = {beginOf(kNum), automateOf(kNum), endOf(kNum)};
  EXPECT_EQ(edits(), seq);
  // Above 1.0 it wraps to 0.
  host.calls.clear();
  click(kTagDelayDown);
  EXPECT_EQ(automated(kNum), std::vector<float>{0.f});
  // Shift or Ctrl subtract; exactly 0.0 does not wrap, below 0.0 wraps to 1.0.
  hostSets(kNum, 0.2f);
  host.calls.clear();
  click(kTagDelayDown, kLButton | kShift);
  EXPECT_EQ(automated(kNum), std::vector<float>{0.2f - 0.2f});
  host.calls.clear();
  click(kTagDelayDown, kLButton | kControl);
  EXPECT_EQ(automated(kNum), std::vector<float>{1.f});
  hostSets(kNum, 0.5f);
  host.calls.clear();
  click(kTagDelayDown, kLButton | kShift | kControl);
  ASSERT_EQ(automated(kNum).size(), 1u);
  EXPECT_NEAR(automated(kNum)[0], 0.3f, 1e-6);

  // Den steps by 1/13.
  hostSets(kDen, 0.5f);
  host.calls.clear();
  click(kTagDelayUp);
  ASSERT_EQ(automated(kDen).size(), 1u);
  EXPECT_NEAR(automated(kDen)[0], 0.5f + 1.f / 13.f, 1e-6);
  hostSets(kDen, 0.95f);
  host.calls.clear();
  click(kTagDelayUp);
  EXPECT_EQ(automated(kDen), std::vector<float>{0.f});
  hostSets(kDen, 0.05f);
  host.calls.clear();
  click(kTagDelayUp, kLButton | kShift);
  EXPECT_EQ(automated(kDen), std::vector<float>{1.f});
  EXPECT_TRUE(automated(kDlyTime).empty());
}

TEST_F(EditorTest, RepeatHoldBlocksSlidersSwitchAndStepButtons) {
  setDelayMode(0.25f);
  hostSets(kRptInf, 0.75f);
  host.calls.clear();
  drag(kTagDelayDrag, 100);
  drag(kTagDelayStrip, -100);
  EXPECT_EQ(automateCount(), 0);
  EXPECT_FLOAT_EQ(param(kDlyTime), 0.25f);
  EXPECT_FLOAT_EQ(sliderValue(kTagDelayStrip), 0.5f);
  EXPECT_FLOAT_EQ(sliderValue(kTagDelayDrag), 0.5f);

  const CRect sw = control(kDlyClk)->getViewSize();
  driver->advanceTime(1000);
  driver->click(CPoint(sw.right - 2, sw.top + 5));
  EXPECT_EQ(automateCount(), 0);
  EXPECT_FLOAT_EQ(param(kDlyClk), 0.25f);
  EXPECT_FLOAT_EQ(control(kDlyClk)->getValue(), 0.25f);

  click(kTagDelayUp);
  click(kTagDelayDown, kLButton | kShift);
  EXPECT_EQ(automateCount(), 0);
  EXPECT_FLOAT_EQ(param(kDlyTime), 0.25f);

  hostSets(kDlyClk, 0.75f);
  hostSets(kNum, 0.5f);
  host.calls.clear();
  click(kTagDelayDown);
  drag(kTagDelayDrag, 100);
  EXPECT_EQ(automateCount(), 0);
  EXPECT_FLOAT_EQ(param(kNum), 0.5f);
}

TEST_F(EditorTest, SlidersSetTheDelayInDelayMode) {
  setDelayMode(0.25f);  // sliders at 0.5
  ASSERT_FLOAT_EQ(sliderValue(kTagDelayDrag), 0.5f);
  drag(kTagDelayDrag, 100);
  std::vector<float> sent = automated(kDlyTime);
  ASSERT_FALSE(sent.empty());
  const float s = 0.5f + 100.f / 1000.f;
  EXPECT_NEAR(sent.back(), s * s, 1e-6);
  EXPECT_NEAR(sliderValue(kTagDelayStrip), s, 1e-6);
  EXPECT_NEAR(sliderValue(kTagDelayDrag), s, 1e-6);
  // The drag is one edit of DlyTime.
  const std::vector<HostEvent> seq = edits();
  EXPECT_EQ(seq.front(), beginOf(kDlyTime));
  for (size_t i = 1; i + 1 < seq.size(); ++i) EXPECT_EQ(seq[i], automateOf(kDlyTime)) << i;
  EXPECT_EQ(seq.back(), endOf(kDlyTime));

  // The small strip keeps the delay off both ends; the drag area does not.
  setDelayMode(0.25f);
  drag(kTagDelayStrip, -1000);
  EXPECT_FLOAT_EQ(automated(kDlyTime).back(), 0.5f / 3201.f);
  setDelayMode(0.25f);
  drag(kTagDelayStrip, 1000);
  EXPECT_FLOAT_EQ(automated(kDlyTime).back(), 3200.5f / 3201.f);
  setDelayMode(0.25f);
  drag(kTagDelayDrag, -1000);
  EXPECT_FLOAT_EQ(automated(kDlyTime).back(), 0.f);
  EXPECT_FLOAT_EQ(sliderValue(kTagDelayStrip), 0.f);
}

TEST_F(EditorTest, SlidersSetTheTempoInClockMode) {
  setClockMode();
  const float s0 = sliderValue(kTagDelayDrag);
  drag(kTagDelayDrag, 100);
  const float s = std::min(1.f, s0 + 0.1f);
  EXPECT_TRUE(automated(kDlyTime).empty());
  EXPECT_NEAR(vek()->getTempo(), std::max(40.f, 400.f * s * s), 1e-3);
  EXPECT_NEAR(sliderValue(kTagDelayStrip), s, 1e-6);
  // The floor of 40 BPM.
  drag(kTagDelayStrip, -1000);
  EXPECT_FLOAT_EQ(vek()->getTempo(), 40.f);
  EXPECT_FLOAT_EQ(sliderValue(kTagDelayDrag), 0.f);
}

TEST_F(EditorTest, SwitchChangesModeAndRebasesTheSliders) {
  setDelayMode(0.16f);
  const CRect sw = control(kDlyClk)->getViewSize();
  driver->advanceTime(1000);
  driver->click(CPoint(sw.right - 2, sw.top + 5));
  EXPECT_EQ(automated(kDlyClk), std::vector<float>{1.f});
  EXPECT_NEAR(sliderValue(kTagDelayDrag), std::sqrt(vek()->getTempo() / 400.f), 1e-6);
  EXPECT_NEAR(sliderValue(kTagDelayStrip), std::sqrt(vek()->getTempo() / 400.f), 1e-6);
  host.calls.clear();
  driver->advanceTime(1000);
  driver->click(CPoint(sw.left + 2, sw.top + 5));
  EXPECT_EQ(automated(kDlyClk), std::vector<float>{0.f});
  // Back in delay mode the sliders follow DlyTime (which clock mode may have
  // moved to the synced delay).
  EXPECT_NEAR(sliderValue(kTagDelayDrag), std::sqrt(param(kDlyTime)), 1e-6);
  EXPECT_NEAR(sliderValue(kTagDelayStrip), std::sqrt(param(kDlyTime)), 1e-6);
  EXPECT_EQ(edits().front(), beginOf(kDlyClk));
  EXPECT_EQ(edits().back(), endOf(kDlyClk));
}

TEST_F(EditorTest, RightClicksOnThePanelsOwnControlsChangeNothing) {
  setDelayMode(0.25f);
  std::vector<float> before;
  for (int32_t p = 0; p < kNumParams; ++p) before.push_back(param(p));
  for (int32_t tag : {4, 5, 7, 8, 13, 14, 15, 19, 20, 30, 31}) {
    driver->advanceTime(1000);
    const CPoint at = centre(tag);
    driver->mouseDown(at, kRButton);
    driver->mouseMoved(CPoint(at.x, at.y - 50), kRButton);
    driver->mouseUp(CPoint(at.x, at.y - 50), kRButton);
  }
  EXPECT_TRUE(edits().empty());
  for (int32_t p = 0; p < kNumParams; ++p) EXPECT_EQ(param(p), before[p]) << p;
}

TEST_F(EditorTest, HostAutomationMovesControlsAndDrawsAtIdle) {
  idle();
  idle();
  ASSERT_FALSE(frame()->isDirty());
  const CRect knobRect = control(kFbck)->getViewSize();
  auto knobPixels = [&]() {
    std::vector<uint32_t> all = driver->surfacePixels();
    std::vector<uint32_t> out;
    for (int y = static_cast<int>(knobRect.top); y < knobRect.bottom; ++y)
      for (int x = static_cast<int>(knobRect.left); x < knobRect.right; ++x)
        out.push_back(all[static_cast<size_t>(y) * driver->width() + x]);
    return out;
  };
  hostSets(kFbck, 0.f);
  idle();
  const std::vector<uint32_t> atZero = knobPixels();
  const uint64_t draws = frame()->getDrawCount();

  hostSets(kFbck, 0.7f);
  EXPECT_FLOAT_EQ(control(kFbck)->getValue(), 0.7f);
  EXPECT_TRUE(control(kFbck)->isDirty());
  EXPECT_EQ(frame()->getDrawCount(), draws);  // nothing drawn outside idle
  idle();
  EXPECT_FALSE(control(kFbck)->isDirty());
  EXPECT_GT(frame()->getDrawCount(), draws);
  EXPECT_NE(knobPixels(), atZero);

  hostSets(kHiCut, 0.75f);
  EXPECT_FLOAT_EQ(control(kHiCut)->getValue(), 0.75f);
  hostSets(kDlyTime, 0.49f);
  EXPECT_FLOAT_EQ(sliderValue(kTagDelayStrip), 0.7f);
  EXPECT_FLOAT_EQ(sliderValue(kTagDelayDrag), 0.7f);
  EXPECT_TRUE(automated(kFbck).empty());  // a host's own change is not reported back

  // Num and Den have no control of their own.
  std::vector<float> values;
  for (int32_t i = 0; i < frame()->getNbViews(); ++i)
    if (auto* c = dynamic_cast<CControl*>(frame()->getView(i))) values.push_back(c->getValue());
  hostSets(kNum, 0.9f);
  hostSets(kDen, 0.1f);
  size_t k = 0;
  for (int32_t i = 0; i < frame()->getNbViews(); ++i) {
    if (auto* c = dynamic_cast<CControl*>(frame()->getView(i))) {
      EXPECT_EQ(c->getValue(), values[k++]) << "tag " << c->getTag();
    }
  }
}

TEST_F(EditorTest, IdleWithNothingChangingDrawsNothing) {
  setDelayMode(0.3f);
  for (int i = 0; i < 5; ++i) idle();
  const uint64_t draws = frame()->getDrawCount();
  for (int i = 0; i < 100; ++i) idle();
  EXPECT_EQ(frame()->getDrawCount(), draws);
}

TEST_F(EditorTest, ClosedEditorIgnoresParameterChanges) {
  dispatch(effEditClose);
  delete driver;
  driver = nullptr;
  EXPECT_EQ(editor->getFrame(), nullptr);
  hostSets(kFbck, 0.4f);
  idle();
  EXPECT_FLOAT_EQ(param(kFbck), 0.4f);
  ASSERT_EQ(dispatch(effEditOpen), 1);
  driver = new toolkit::OffscreenFrame(frame());
  EXPECT_FLOAT_EQ(control(kFbck)->getValue(), 0.4f);
}

TEST_F(EditorTest, OpeningEndsLearnAndForget) {
  dispatch(effEditClose);
  delete driver;
  driver = nullptr;
  presets()->startLearn();
  ASSERT_TRUE(presets()->isLearnActive());
  ASSERT_EQ(dispatch(effEditOpen), 1);
  driver = new toolkit::OffscreenFrame(frame());
  EXPECT_FALSE(presets()->isLearnActive());
  EXPECT_FALSE(presets()->isForgetActive());
}

TEST_F(EditorTest, ReadoutDigits) {
  const struct {
    float n;
    int digits[4];  // -1 blank
  } cases[] = {{1005, {1, 0, 0, 5}}, {50, {-1, -1, 5, 0}}, {5, {-1, -1, -1, 5}},
               {3200, {3, 2, 0, 0}}, {0, {-1, -1, -1, 0}}, {120.7f, {-1, 1, 2, 0}}};
  for (const auto& c : cases) {
    editor->displayNumber(c.n);
    for (int i = 0; i < 4; ++i) {
      const float want = c.digits[i] < 0 ? 10.f / 11.f : c.digits[i] / 11.f;
      EXPECT_FLOAT_EQ(control(kTagDigit1 + i)->getValue(), want) << c.n << " digit " << i;
    }
  }
  editor->blankDisplay();
  for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(control(kTagDigit1 + i)->getValue(), 10.f / 11.f);
  // The units digit is never blank: a negative count shows the 0 image
  // (image (int)(v x 11 + 0.5) clamped to the strip).
  editor->displayNumber(-7.f);
  for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(control(kTagDigit1 + i)->getValue(), 10.f / 11.f);
  EXPECT_LT(control(kTagDigit4)->getValue() * 11.f + 0.5f, 1.f);
}

class EditorClockTest : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    editor->setClock([this] { return ticks; });
  }
  void idleAfter(uint32_t ms) {
    ticks += ms;
    idle();
  }
  uint32_t ticks = 7000;
};

TEST_F(EditorClockTest, MeterFallsFromFullScaleToEmptyIn500Ms) {
  // No audio has run: the engine reports no level, so only the fall acts.
  control(kTagLevelMeter)->setValue(1.f);
  const float expected[] = {0.8f, 0.6f, 0.4f, 0.2f, 0.f, 0.f};
  for (float want : expected) {
    idleAfter(100);
    EXPECT_NEAR(control(kTagLevelMeter)->getValue(), want, 1e-6);
  }
  // The fall counts idle time, not idle calls: one late pass drops further.
  control(kTagLevelMeter)->setValue(1.f);
  idleAfter(250);
  EXPECT_NEAR(control(kTagLevelMeter)->getValue(), 0.5f, 1e-6);
  idleAfter(0);
  EXPECT_NEAR(control(kTagLevelMeter)->getValue(), 0.5f, 1e-6);
}

TEST_F(EditorClockTest, MeterRisesAtOnceToFullScale) {
  std::vector<float> loud(512, 1.5f), outL(512), outR(512);
  float* ins[2] = {loud.data(), loud.data()};
  float* outs[2] = {outL.data(), outR.data()};
  hostSets(kInput, 1.f);
  aeffect->processReplacing(aeffect, ins, outs, 512);
  idleAfter(10);
  EXPECT_FLOAT_EQ(control(kTagLevelMeter)->getValue(), 1.f);
}

// A host may stop calling process without suspending (transport stopped,
// track disabled): the last block's level and cycle must not stay lit.
TEST_F(EditorClockTest, MeterAndCycleLampFallToRestWhenTheHostStopsProcessing) {
  std::vector<float> loud(512, 1.5f), outL(512), outR(512);
  float* ins[2] = {loud.data(), loud.data()};
  float* outs[2] = {outL.data(), outR.data()};
  hostSets(kInput, 1.f);
  hostSets(kDlyTime, 0.01f);  // 32 ms: every block passes a cycle boundary
  auto cycleLamp = [this] {
    return static_cast<int>(control(kTagStatusLamps)->getValue() * 7.f + 0.5f) >= 4;
  };
  // Processing between idles, as slowly as 8192-frame blocks: the readings hold.
  for (int i = 0; i < 10; ++i) {
    aeffect->processReplacing(aeffect, ins, outs, 512);
    idleAfter(190);
    EXPECT_FLOAT_EQ(control(kTagLevelMeter)->getValue(), 1.f) << i;
    EXPECT_TRUE(cycleLamp()) << i;
  }
  // No more process calls: both come to rest within a second.
  for (int i = 0; i < 20; ++i) idleAfter(50);
  EXPECT_FLOAT_EQ(control(kTagLevelMeter)->getValue(), 0.f);
  EXPECT_FALSE(cycleLamp());
  // And light again with the next block.
  aeffect->processReplacing(aeffect, ins, outs, 512);
  idleAfter(10);
  EXPECT_FLOAT_EQ(control(kTagLevelMeter)->getValue(), 1.f);
  EXPECT_TRUE(cycleLamp());
}

TEST_F(EditorClockTest, OutOfRangeFractionBlinksEvery500Ms) {
  setClockMode();
  hostSets(kNum, 0.9f);              // 9
  hostSets(kDen, 0.f);               // 1
  vek()->setTempoFromControl(0.1f);  // 40 BPM: 9 x 240000 / 40 = 54000 ms
  ASSERT_FLOAT_EQ(vek()->getTempo(), 40.f);
  const std::vector<int> fraction = {9, -1, -1, 1}, blank = {-1, -1, -1, -1};
  idleAfter(0);
  EXPECT_EQ(shownDigits(), fraction);
  idleAfter(499);
  EXPECT_EQ(shownDigits(), fraction);
  idleAfter(1);  // 500 ms
  EXPECT_EQ(shownDigits(), blank);
  idleAfter(499);
  EXPECT_EQ(shownDigits(), blank);
  idleAfter(1);  // 1000 ms
  EXPECT_EQ(shownDigits(), fraction);
  idleAfter(500);
  EXPECT_EQ(shownDigits(), blank);
  idleAfter(500);
  EXPECT_EQ(shownDigits(), fraction);

  // 9/1 at 400 BPM is 5400 ms, still too long; 1/1 at 400 BPM (150 ms) fits.
  hostSets(kNum, 0.f);
  vek()->setTempoFromControl(1.f);
  for (int i = 0; i < 4; ++i) {
    idleAfter(500);
    EXPECT_EQ(shownDigits(), (std::vector<int>{1, -1, -1, 1}));
  }
}

TEST_F(EditorClockTest, StepEditShowsTheDelayAsSetFor500MsThenTheDelayInEffect) {
  setDelayMode(800.f / 3200.f);
  hostSets(kDlyx2, 0.75f);  // half clock: the delay in effect is twice the set one
  hostSets(kManVCO, 0.5f);
  hostSets(kDepth, 0.f);
  std::vector<float> silence(512, 0.f), outL(512), outR(512);
  float* ins[2] = {silence.data(), silence.data()};
  float* outs[2] = {outL.data(), outR.data()};
  auto run = [&](int blocks) {
    for (int i = 0; i < blocks; ++i) aeffect->processReplacing(aeffect, ins, outs, 512);
  };
  run(200);
  click(kTagDelayUp);  // 801 ms as set
  run(200);
  const std::vector<int> asSet = {-1, 8, 0, 1}, inEffect = {1, 6, 0, 2};
  idleAfter(0);
  EXPECT_EQ(shownDigits(), asSet);
  idleAfter(499);
  EXPECT_EQ(shownDigits(), asSet);
  idleAfter(1);  // 500 ms: shown once more, then the edit is over
  EXPECT_EQ(shownDigits(), asSet);
  idleAfter(0);
  EXPECT_EQ(shownDigits(), inEffect);
}

TEST_F(EditorClockTest, TempoEditShowsTheTempoUntilMoreThan500MsHavePassed) {
  setClockMode();
  hostSets(kNum, 0.5f);  // 5
  hostSets(kDen, 0.5f);  // 12
  const CPoint at = centre(kTagDelayDrag);
  driver->advanceTime(1000);
  driver->mouseDown(at);
  driver->mouseMoved(CPoint(at.x, at.y - 30));
  driver->mouseUp(CPoint(at.x, at.y - 30));
  const int tempo = static_cast<int>(vek()->getTempo());
  ASSERT_GE(tempo, 100);
  ASSERT_LT(tempo, 1000);
  const std::vector<int> tempoDigits = {-1, tempo / 100, tempo / 10 % 10, tempo % 10};
  idleAfter(0);
  EXPECT_EQ(shownDigits(), tempoDigits);
  idleAfter(500);
  EXPECT_EQ(shownDigits(), tempoDigits);
  idleAfter(0);  // exactly 500 ms still counts as editing
  EXPECT_EQ(shownDigits(), tempoDigits);
  idleAfter(1);  // the pass that ends the edit still shows the tempo
  EXPECT_EQ(shownDigits(), tempoDigits);
  idleAfter(0);
  EXPECT_EQ(shownDigits(), (std::vector<int>{5, -1, 1, 2}));
}

TEST_F(EditorTest, AboutViewCoversThePanelUntilLeftClicked) {
  hostSets(kFbck, 0.2f);
  hostSets(kDlyInv, 0.25f);
  host.calls.clear();
  click(kTagAbout);
  CView* view = frame()->getModalView();
  ASSERT_NE(view, nullptr);
  EXPECT_STREQ(view->getClassName(), "CSplashScreenMyView");
  EXPECT_EQ(view->getViewSize(), CRect(0, 0, 870, 101));
  EXPECT_FLOAT_EQ(control(kTagAbout)->getValue(), 1.f);

  // Right clicks and the wheel reach nothing under it and leave it open.
  click(kDlyInv, kRButton);
  click(kFbck, kRButton);
  driver->wheel(centre(kFbck), 3.f);
  EXPECT_EQ(frame()->getModalView(), view);
  // Host automation still moves the controls underneath.
  hostSets(kFbck, 0.6f);
  EXPECT_FLOAT_EQ(control(kFbck)->getValue(), 0.6f);

  // A left click anywhere closes it and goes no further: a Ctrl click on the
  // Fbck knob would otherwise reset it to its default 0.
  click(kFbck, kLButton | kControl);
  EXPECT_EQ(frame()->getModalView(), nullptr);
  EXPECT_FALSE(frame()->isChild(view));
  EXPECT_FLOAT_EQ(control(kTagAbout)->getValue(), 0.f);
  EXPECT_FLOAT_EQ(param(kFbck), 0.6f);
  EXPECT_FLOAT_EQ(param(kDlyInv), 0.25f);
  EXPECT_TRUE(edits().empty());
  // Reachable again once it is gone.
  click(kFbck, kLButton | kControl);
  EXPECT_FLOAT_EQ(param(kFbck), 0.f);
}

TEST_F(EditorTest, ControllerDisplayNamesTheAssignmentUnderTheMouse) {
  CControl* display = control(kTagControllerDisplay);
  ASSERT_NE(display, nullptr);
  auto shown = [&](CPoint at) {
    driver->mouseMoved(at);
    idle();
    return display->getValue();
  };
  presets()->unassignParameter(kDepth);
  presets()->unassignParameter(kDlyTime);
  EXPECT_FLOAT_EQ(shown(centre(kDepth)), 128.5f / 130.f);  // "not assigned"
  presets()->assignController(kDepth, 7);
  EXPECT_FLOAT_EQ(shown(centre(kDepth)), 7.5f / 130.f);
  presets()->assignController(kDlyTime, 74);
  EXPECT_FLOAT_EQ(shown(centre(kTagDelayDrag)), 74.5f / 130.f);
  EXPECT_FLOAT_EQ(shown(centre(kTagDelayStrip)), 74.5f / 130.f);
  EXPECT_FLOAT_EQ(shown(CPoint(5, 5)), 129.5f / 130.f);       // background
  EXPECT_FLOAT_EQ(shown(centre(kTagLearn)), 129.5f / 130.f);  // learn button
  EXPECT_FLOAT_EQ(shown(centre(kTagAbout)), 129.5f / 130.f);  // editor-only tag
}

TEST_F(EditorTest, ClockModeReadoutShowsTheFraction) {
  setClockMode();
  const struct {
    float num, den;
    int digits[4];
  } cases[] = {{0.5f, 0.5f, {5, -1, 1, 2}},    // 5 / 12
               {0.1f, 0.f, {1, -1, -1, 1}},    // 1 / 1
               {0.9f, 0.99f, {9, -1, 9, 6}}};  // 9 / 96
  for (const auto& c : cases) {
    hostSets(kNum, c.num);
    hostSets(kDen, c.den);
    vek()->setTempoFromControl(0.36f);  // 144 BPM: every fraction fits in 3200 ms
    idle();
    for (int i = 0; i < 4; ++i) {
      const float want = c.digits[i] < 0 ? 10.f / 11.f : c.digits[i] / 11.f;
      EXPECT_FLOAT_EQ(control(kTagDigit1 + i)->getValue(), want)
          << c.num << "/" << c.den << " " << i;
    }
  }
}

TEST_F(EditorTest, LampsFollowTheSwitches) {
  hostSets(kHiCut, 0.75f);
  hostSets(kRptInf, 0.75f);
  hostSets(kPower, 0.25f);
  idle();
  const float lamps = control(kTagStatusLamps)->getValue();
  // High cut and hold lit; the cycle lamp may blink with the engine.
  EXPECT_TRUE(lamps == 3.f / 7.f || lamps == 7.f / 7.f) << lamps;
  EXPECT_FLOAT_EQ(control(kTagBypassLamp)->getValue(), 0.5f);
  hostSets(kHiCut, 0.25f);
  hostSets(kRptInf, 0.25f);
  hostSets(kPower, 0.75f);
  idle();
  EXPECT_TRUE(control(kTagStatusLamps)->getValue() == 0.f ||
              control(kTagStatusLamps)->getValue() == 4.f / 7.f);
  EXPECT_FLOAT_EQ(control(kTagBypassLamp)->getValue(), 0.f);
}

TEST_F(EditorTest, LearnAndForgetButtonsExcludeEachOther) {
  click(kTagLearn);
  EXPECT_TRUE(presets()->isLearnActive());
  EXPECT_FLOAT_EQ(control(kTagLearn)->getValue(), 1.f);
  click(kTagForget);
  EXPECT_TRUE(presets()->isForgetActive());
  EXPECT_FALSE(presets()->isLearnActive());
  EXPECT_FLOAT_EQ(control(kTagLearn)->getValue(), 0.f);
  EXPECT_FLOAT_EQ(control(kTagForget)->getValue(), 1.f);
  click(kTagLearn);
  EXPECT_FALSE(presets()->isForgetActive());
  EXPECT_FLOAT_EQ(control(kTagForget)->getValue(), 0.f);
  click(kTagLearn);
  EXPECT_FALSE(presets()->isLearnActive());
  EXPECT_FLOAT_EQ(control(kTagLearn)->getValue(), 0.f);
  EXPECT_TRUE(edits().empty());  // strip controls are no host parameters
}

TEST_F(EditorTest, RockerStepsThroughThePresetsAndStopsAtTheEnds) {
  const CRect r = control(kTagPresetRocker)->getViewSize();
  const CPoint right(r.getCenter().x, r.top + 5), left(r.left + 2, r.top + 5);
  presets()->selectPreset(15);
  driver->advanceTime(1000);
  driver->click(right);
  EXPECT_EQ(presets()->getCurrentPreset(), 16);
  driver->advanceTime(1000);
  driver->click(right);  // the centre line counts as the right half
  EXPECT_EQ(presets()->getCurrentPreset(), 16);
  driver->advanceTime(1000);
  driver->click(left);
  EXPECT_EQ(presets()->getCurrentPreset(), 15);
  presets()->selectPreset(0);
  driver->advanceTime(1000);
  driver->click(left);
  EXPECT_EQ(presets()->getCurrentPreset(), 0);
  EXPECT_FLOAT_EQ(control(kTagPresetRocker)->getValue(), 0.f);
}

TEST_F(EditorTest, ClosingWithTheAboutViewOpenDiscardsIt) {
  click(kTagAbout);
  ASSERT_NE(frame()->getModalView(), nullptr);
  delete driver;
  driver = nullptr;
  dispatch(effEditClose);
  EXPECT_EQ(editor->getFrame(), nullptr);
  ASSERT_EQ(dispatch(effEditOpen), 1);
  driver = new toolkit::OffscreenFrame(frame());
  EXPECT_EQ(frame()->getModalView(), nullptr);
  EXPECT_FLOAT_EQ(control(kTagAbout)->getValue(), 0.f);
  click(kTagAbout);  // opens again on the new frame
  EXPECT_NE(frame()->getModalView(), nullptr);
}

}  // namespace
