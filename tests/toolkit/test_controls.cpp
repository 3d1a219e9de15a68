// Controls driven through an offscreen frame: values, edit brackets and images.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "ToolkitTestSupport.h"
#include "toolkit/OffscreenFrame.h"
#include "toolkit/Toolkit.h"

namespace {

class Controls : public ::testing::Test {
 protected:
  void SetUp() override {
    frame = new CFrame(CRect(0, 0, 300, 120), nullptr, &log);
    drv = new toolkit::OffscreenFrame(frame);
  }
  void TearDown() override {
    delete drv;
    frame->close();
    AEffGUIEditor knobModeOwner(nullptr);
    knobModeOwner.setKnobMode(kCircularMode);
  }
  static void setKnobMode(VstInt32 mode) {
    AEffGUIEditor knobModeOwner(nullptr);
    knobModeOwner.setKnobMode(mode);
  }
  // Adds a 35 × 35 knob at (10, 10) with tag 6.
  CAnimKnob* addKnob(float value) {
    CBitmap* strip = makeStrip(35, 35, 101);
    auto* knob = new CAnimKnob(CRect(10, 10, 45, 45), &log, 6, 101, 35, strip);
    strip->forget();
    knob->setValue(value);
    frame->addView(knob);
    return knob;
  }
  uint32_t pixel(int x, int y) { return drv->surfacePixels()[static_cast<size_t>(y) * 300 + x]; }

  EventLog log;
  CFrame* frame = nullptr;
  toolkit::OffscreenFrame* drv = nullptr;
};

std::vector<std::string> bracket(int tag, int values) {
  std::vector<std::string> v{"begin " + std::to_string(tag)};
  for (int i = 0; i < values; ++i) v.push_back("value " + std::to_string(tag));
  v.push_back("end " + std::to_string(tag));
  return v;
}

TEST_F(Controls, LinearKnobDragFollowsTravelInsideOneEditBracket) {
  setKnobMode(kLinearMode);
  CAnimKnob* knob = addKnob(0.5f);
  EXPECT_EQ(drv->mouseDown(CPoint(20, 30), kLButton), kMouseEventHandled);
  drv->mouseMoved(CPoint(20, 10), kLButton);  // 20 px up: +20/200
  EXPECT_NEAR(knob->getValue(), 0.6f, 1e-6);
  drv->mouseMoved(CPoint(40, 10), kLButton);  // and 20 px right: +20/200 more
  EXPECT_NEAR(knob->getValue(), 0.7f, 1e-6);
  drv->mouseMoved(CPoint(40, 110), kLButton);  // 20 right, 80 down from the press: −60
  EXPECT_NEAR(knob->getValue(), 0.2f, 1e-6);
  drv->mouseUp(CPoint(40, 110), kLButton);
  EXPECT_EQ(log.events, bracket(6, 3));
  EXPECT_FALSE(knob->isEditing());
}

TEST_F(Controls, LinearKnobClampsAndShiftDividesTravelByZoomFactor) {
  setKnobMode(kLinearMode);
  CAnimKnob* knob = addKnob(0.5f);
  knob->setZoomFactor(5.f);
  // Shift from the press: 100 px up moves 100 / (200 × 5).
  drv->mouseDown(CPoint(20, 30), kLButton | kShift);
  drv->mouseMoved(CPoint(20, -70), kLButton | kShift);
  EXPECT_NEAR(knob->getValue(), 0.6f, 1e-5);
  // Shift released mid-drag: no jump, then the normal rate (20 px = 0.1).
  drv->mouseMoved(CPoint(20, -70), kLButton);
  EXPECT_NEAR(knob->getValue(), 0.6f, 1e-5);
  drv->mouseMoved(CPoint(20, -90), kLButton);
  EXPECT_NEAR(knob->getValue(), 0.7f, 1e-5);
  // Far beyond the top clamps at the maximum.
  drv->mouseMoved(CPoint(20, -900), kLButton);
  EXPECT_EQ(knob->getValue(), 1.f);
  drv->mouseUp(CPoint(20, -900), kLButton);
}

TEST_F(Controls, CircularKnobTakesTheAngleAroundTheCentre) {
  setKnobMode(kCircularMode);
  CAnimKnob* knob = addKnob(0.f);
  const CPoint c(27.5, 27.5);
  // Straight up is the middle of the 270 degree arc that starts bottom-left.
  drv->mouseDown(CPoint(c.x, c.y - 15), kLButton);
  EXPECT_NEAR(knob->getValue(), 0.5f, 1e-4);
  // Straight left is 45 of 270 degrees.
  drv->mouseMoved(CPoint(c.x - 15, c.y), kLButton);
  EXPECT_NEAR(knob->getValue(), 45.f / 270.f, 1e-4);
  // Straight right is 225 of 270 degrees.
  drv->mouseMoved(CPoint(c.x + 15, c.y), kLButton);
  EXPECT_NEAR(knob->getValue(), 225.f / 270.f, 1e-4);
  drv->mouseUp(CPoint(c.x + 15, c.y), kLButton);
}

TEST_F(Controls, WheelStepsByTheIncrementAndStopsAtTheEnds) {
  CAnimKnob* knob = addKnob(0.5f);
  knob->setWheelInc(0.03125f);
  EXPECT_TRUE(drv->wheel(CPoint(20, 20), 1.f));
  EXPECT_FLOAT_EQ(knob->getValue(), 0.53125f);
  EXPECT_TRUE(drv->wheel(CPoint(20, 20), -3.f));
  EXPECT_FLOAT_EQ(knob->getValue(), 0.4375f);
  EXPECT_TRUE(drv->wheel(CPoint(20, 20), 1.f, kShift));  // a tenth with Shift
  EXPECT_FLOAT_EQ(knob->getValue(), 0.4375f + 0.003125f);
  EXPECT_EQ(log.events.size(), 9u);  // three brackets of begin, value, end
  knob->setValue(1.f);
  log.clear();
  EXPECT_TRUE(drv->wheel(CPoint(20, 20), 1.f));  // at the top: consumed, nothing sent
  EXPECT_EQ(knob->getValue(), 1.f);
  EXPECT_TRUE(log.events.empty());
  EXPECT_FALSE(drv->wheel(CPoint(200, 100), 1.f));  // over no control
}

TEST_F(Controls, CtrlClickResetsToTheDefaultAsOneEdit) {
  setKnobMode(kLinearMode);
  CAnimKnob* knob = addKnob(0.8f);
  knob->setDefaultValue(0.25f);
  EXPECT_EQ(drv->mouseDown(CPoint(20, 20), kLButton | kControl),
            kMouseDownEventHandledButDontNeedMovedOrUpEvents);
  EXPECT_FLOAT_EQ(knob->getValue(), 0.25f);
  drv->mouseMoved(CPoint(20, 0), kLButton | kControl);  // no drag follows
  drv->mouseUp(CPoint(20, 0), kLButton | kControl);
  EXPECT_FLOAT_EQ(knob->getValue(), 0.25f);
  EXPECT_EQ(log.events, bracket(6, 1));
  // Ctrl with Shift is not the reset gesture; a right click does nothing.
  log.clear();
  knob->setValue(0.8f);
  drv->mouseDown(CPoint(20, 20), kRButton | kControl);
  EXPECT_FLOAT_EQ(knob->getValue(), 0.8f);
  EXPECT_TRUE(log.events.empty());
}

TEST_F(Controls, MovieBitmapShowsTheNearestImageClamped) {
  CBitmap* strip = makeStrip(14, 20, 12);
  auto* digit = new CMovieBitmap(CRect(100, 30, 114, 50), nullptr, 21, 12, 20, strip);
  strip->forget();
  frame->addView(digit);
  struct Case {
    float value;
    int image;
  } cases[] = {{0.f, 0},   {1.f / 11, 1}, {5.f / 11, 5}, {10.f / 11, 10},
               {1.f, 11},  {0.04f, 0},    {0.05f, 1},    {-0.3f, 0},
               {1.7f, 11}, {0.5f, 6},     {0.954f, 10},  {0.955f, 11}};
  // 0.04·11 + 0.5 = 0.94 → 0; 0.05·11 + 0.5 = 1.05 → 1; 0.5·11 + 0.5 = 6;
  // 0.954·11 + 0.5 = 10.994 → 10; 0.955·11 + 0.5 = 11.005 → 11.
  for (const Case& c : cases) {
    digit->setValue(c.value);
    EXPECT_EQ(pixel(107, 40), stripColour(c.image)) << "value " << c.value;
    EXPECT_EQ(pixel(100, 30), stripColour(c.image)) << "value " << c.value;
    EXPECT_EQ(pixel(113, 49), stripColour(c.image)) << "value " << c.value;
  }
  // Not a mouse target.
  EXPECT_EQ(drv->mouseDown(CPoint(105, 40), kLButton), kMouseEventNotHandled);
}

TEST_F(Controls, AnimKnobImageFollowsValue) {
  CAnimKnob* knob = addKnob(0.f);
  EXPECT_EQ(pixel(27, 27), stripColour(0));
  knob->setValue(0.5f);
  EXPECT_EQ(pixel(27, 27), stripColour(50));
  knob->setValue(0.996f);  // 99.6 + 0.5 → 100
  EXPECT_EQ(pixel(27, 27), stripColour(100));
}

TEST_F(Controls, OnOffButtonTogglesBetweenMinAndMax) {
  CBitmap* strip = makeStrip(21, 26, 2);
  auto* button = new COnOffButton(CRect(50, 40, 71, 66), &log, 8, strip);
  strip->forget();
  frame->addView(button);
  EXPECT_EQ(pixel(60, 50), stripColour(0));
  EXPECT_EQ(drv->mouseDown(CPoint(60, 50), kLButton),
            kMouseDownEventHandledButDontNeedMovedOrUpEvents);
  drv->mouseUp(CPoint(60, 50), kLButton);
  EXPECT_EQ(button->getValue(), 1.f);
  EXPECT_EQ(pixel(60, 50), stripColour(1));
  drv->click(CPoint(60, 50), kLButton);
  EXPECT_EQ(button->getValue(), 0.f);
  EXPECT_EQ(log.values, (std::vector<float>{1.f, 0.f}));
  std::vector<std::string> expected = bracket(8, 1);
  std::vector<std::string> twice = expected;
  twice.insert(twice.end(), expected.begin(), expected.end());
  EXPECT_EQ(log.events, twice);
  // Only at the exact maximum is the on image shown.
  button->setValue(0.5f);
  EXPECT_EQ(pixel(60, 50), stripColour(0));
  // Right and middle clicks change nothing.
  log.clear();
  drv->click(CPoint(60, 50), kRButton);
  drv->click(CPoint(60, 50), kMButton);
  EXPECT_EQ(button->getValue(), 0.5f);
  EXPECT_TRUE(log.events.empty());
}

TEST_F(Controls, KickButtonFiresOnReleaseInsideOnly) {
  CBitmap* strip = makeStrip(26, 26, 2);
  auto* kick = new CKickButton(CRect(80, 30, 106, 56), &log, 20, 26, strip);
  strip->forget();
  frame->addView(kick);
  drv->mouseDown(CPoint(90, 40), kLButton);
  EXPECT_EQ(kick->getValue(), 1.f);
  EXPECT_EQ(pixel(90, 40), stripColour(1));
  drv->mouseMoved(CPoint(150, 40), kLButton);  // out: released image
  EXPECT_EQ(kick->getValue(), 0.f);
  EXPECT_EQ(pixel(90, 40), stripColour(0));
  drv->mouseMoved(CPoint(95, 45), kLButton);  // back in: pressed
  EXPECT_EQ(kick->getValue(), 1.f);
  drv->mouseUp(CPoint(95, 45), kLButton);
  EXPECT_EQ(kick->getValue(), 0.f);
  EXPECT_EQ(log.values, (std::vector<float>{1.f, 0.f}));
  EXPECT_EQ(log.events, bracket(20, 2));
  // Released outside: cancelled, the listener hears nothing.
  log.clear();
  drv->mouseDown(CPoint(90, 40), kLButton);
  drv->mouseMoved(CPoint(150, 40), kLButton);
  drv->mouseUp(CPoint(150, 40), kLButton);
  EXPECT_EQ(log.events, bracket(20, 0));
  EXPECT_EQ(kick->getValue(), 0.f);
}

TEST_F(Controls, HorizontalSwitchPicksThePositionUnderTheMouse) {
  CBitmap* strip = makeStrip(15, 10, 2);
  auto* sw = new CHorizontalSwitch(CRect(120, 20, 135, 30), &log, 15, 2, 10, 2, strip);
  strip->forget();
  frame->addView(sw);
  drv->click(CPoint(129, 25));  // right half
  EXPECT_EQ(sw->getValue(), 1.f);
  EXPECT_EQ(pixel(125, 25), stripColour(1));
  drv->mouseDown(CPoint(129, 25));             // same position: no change to report
  drv->mouseMoved(CPoint(121, 25), kLButton);  // drag to the left half
  drv->mouseUp(CPoint(121, 25));
  EXPECT_EQ(sw->getValue(), 0.f);
  EXPECT_EQ(log.values, (std::vector<float>{1.f, 0.f}));
  std::vector<std::string> expected = bracket(15, 1);
  std::vector<std::string> twice = expected;
  twice.insert(twice.end(), expected.begin(), expected.end());
  EXPECT_EQ(log.events, twice);
  // Three positions over 30 px: 0, 0.5, 1.
  auto* three = new CHorizontalSwitch(CRect(160, 20, 190, 30), nullptr, 1, 3, 10, 3, nullptr);
  frame->addView(three);
  drv->click(CPoint(175, 25));
  EXPECT_EQ(three->getValue(), 0.5f);
  drv->click(CPoint(189, 25));
  EXPECT_EQ(three->getValue(), 1.f);
}

TEST_F(Controls, RockerSwitchGivesMinusOneZeroPlusOne) {
  CBitmap* strip = makeStrip(30, 13, 3);
  auto* rocker = new CRockerSwitch(CRect(200, 50, 230, 63), &log, 34, 13, strip);
  strip->forget();
  frame->addView(rocker);
  EXPECT_EQ(rocker->getValue(), 0.f);
  EXPECT_EQ(pixel(205, 55), stripColour(1));
  drv->mouseDown(CPoint(205, 55));
  EXPECT_EQ(rocker->getValue(), -1.f);
  EXPECT_EQ(pixel(205, 55), stripColour(0));
  drv->mouseMoved(CPoint(225, 55), kLButton);
  EXPECT_EQ(rocker->getValue(), 1.f);
  EXPECT_EQ(pixel(205, 55), stripColour(2));
  drv->mouseUp(CPoint(225, 55));
  EXPECT_EQ(rocker->getValue(), 0.f);
  EXPECT_EQ(log.values, (std::vector<float>{-1.f, 1.f, 0.f}));
  EXPECT_EQ(log.events, bracket(34, 3));
  // The centre line belongs to the right half.
  log.clear();
  drv->mouseDown(CPoint(215, 55));
  EXPECT_EQ(rocker->getValue(), 1.f);
  drv->mouseUp(CPoint(215, 55));
}

TEST_F(Controls, ParamDisplayShowsTheConvertedText) {
  auto* display = new CParamDisplay(CRect(10, 60, 110, 80));
  display->setBackColor(kBlackCColor);
  display->setFontColor(kWhiteCColor);
  display->setStyle(kNoFrame);
  frame->addView(display);
  char text[256];
  display->getDisplayString(0.375f, text);
  EXPECT_STREQ(text, "0.38");  // two decimals, '.' whatever the locale
  display->setValueToStringProc(
      [](float v, char out[256], void*) {
        std::snprintf(out, 256, "%s", v > 0.5f ? "high" : "");
        return true;
      },
      nullptr);
  display->getDisplayString(0.75f, text);
  EXPECT_STREQ(text, "high");
  // An empty text leaves the back colour; a text puts white pixels inside.
  display->setValue(0.f);
  std::vector<uint32_t> px = drv->surfacePixels();
  int bright = 0;
  for (int y = 60; y < 80; ++y)
    for (int x = 10; x < 110; ++x) bright += (px[y * 300 + x] & 0xFF) > 128;
  EXPECT_EQ(bright, 0);
  display->setValue(1.f);
  px = drv->surfacePixels();
  for (int y = 60; y < 80; ++y)
    for (int x = 10; x < 110; ++x) bright += (px[y * 300 + x] & 0xFF) > 128;
  EXPECT_GT(bright, 10);
}

TEST_F(Controls, SplashScreenShowsAModalViewUntilItIsClicked) {
  CBitmap* about = makeSolid(300, 120, 0xFF123456);
  auto* splash = new CSplashScreen(CRect(250, 5, 290, 25), &log, 32, about, CRect(0, 0, 300, 120));
  about->forget();
  frame->addView(splash);
  CAnimKnob* knob = addKnob(0.5f);
  const int viewsBefore = frame->getNbViews();
  drv->click(CPoint(260, 10), kRButton);  // right click: nothing
  EXPECT_EQ(frame->getModalView(), nullptr);
  drv->click(CPoint(260, 10));
  ASSERT_NE(frame->getModalView(), nullptr);
  EXPECT_EQ(splash->getValue(), 1.f);
  EXPECT_EQ(frame->getNbViews(), viewsBefore + 1);
  EXPECT_EQ(pixel(150, 100), 0xFF123456u);
  // The knob under it is out of reach.
  EXPECT_FALSE(drv->wheel(CPoint(20, 20), 1.f));
  drv->click(CPoint(20, 20), kRButton);  // not a closing click
  ASSERT_NE(frame->getModalView(), nullptr);
  drv->click(CPoint(20, 20));
  EXPECT_EQ(frame->getModalView(), nullptr);
  EXPECT_EQ(splash->getValue(), 0.f);
  EXPECT_EQ(frame->getNbViews(), viewsBefore);
  EXPECT_TRUE(drv->wheel(CPoint(20, 20), 1.f));
  EXPECT_GT(knob->getValue(), 0.5f);
}

TEST_F(Controls, CopiesKeepTheirSettingsAndClassNames) {
  CAnimKnob* knob = addKnob(0.3f);
  knob->setDefaultValue(0.7f);
  knob->setWheelInc(0.125f);
  CView* copy = knob->newCopy();
  auto* knobCopy = dynamic_cast<CAnimKnob*>(copy);
  ASSERT_NE(knobCopy, nullptr);
  EXPECT_STREQ(copy->getClassName(), "CAnimKnob");
  EXPECT_EQ(knobCopy->getValue(), 0.3f);
  EXPECT_EQ(knobCopy->getDefaultValue(), 0.7f);
  EXPECT_EQ(knobCopy->getWheelInc(), 0.125f);
  EXPECT_EQ(knobCopy->getTag(), 6);
  EXPECT_EQ(knobCopy->getBackground(), knob->getBackground());
  EXPECT_FALSE(copy->isAttached());
  copy->forget();
}

}  // namespace
