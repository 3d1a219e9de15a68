// The plug-in's own controls on a bare offscreen frame.
#include <gtest/gtest.h>

#include <vector>

#include "editor/CAbout.h"
#include "editor/controls/CInvisibleSlider.h"
#include "editor/controls/CPSKickButton.h"
#include "editor/controls/CPSOnOffButton.h"
#include "editor/controls/CPSRockerSwitch.h"
#include "editor/controls/CSaveLoadButton.h"
#include "editor/controls/VEKKickButton.h"
#include "editor/controls/VEKOnOffButton.h"
#include "editor/controls/VEKSwitch.h"
#include "tests/editor/ControlTestFrame.h"
#include "toolkit/CBitmap.h"

namespace {

constexpr uint32_t kRed = 0xFFFF0000u;
constexpr uint32_t kGreen = 0xFF00FF00u;

// Two images stacked: red on top (off), green below (on).
CBitmap* twoImageBitmap(int w, int h) {
  std::vector<uint32_t> px(static_cast<size_t>(w) * h * 2);
  for (int y = 0; y < 2 * h; ++y)
    for (int x = 0; x < w; ++x) px[static_cast<size_t>(y) * w + x] = y < h ? kRed : kGreen;
  return new CBitmap(w, 2 * h, px.data());
}

uint32_t pixelAt(ControlTestFrame& f, int x, int y) {
  std::vector<uint32_t> px = f.driver->surfacePixels();
  return px[static_cast<size_t>(y) * f.driver->width() + x];
}

class OnOffButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CBitmap* bmp = twoImageBitmap(20, 20);
    button = f.add(new VEKOnOffButton(CRect(10, 10, 30, 30), &f.editor, 5, bmp));
    bmp->forget();
  }
  ControlTestFrame f{CRect(0, 0, 100, 100)};
  VEKOnOffButton* button = nullptr;
};

TEST_F(OnOffButtonTest, UpperHalfOfTheRangeShowsTheLitImage) {
  const struct {
    float value;
    uint32_t colour;
  } cases[] = {{0.f, kRed},    {0.25f, kRed},   {0.49f, kRed},
               {0.5f, kGreen}, {0.75f, kGreen}, {1.f, kGreen}};
  for (const auto& c : cases) {
    button->setValue(c.value);
    f.driver->idle();
    EXPECT_EQ(pixelAt(f, 20, 20), c.colour) << "value " << c.value;
  }
}

TEST_F(OnOffButtonTest, ClicksSendStepCentresAsOneEditEach) {
  button->setValue(0.f);
  f.driver->click(CPoint(20, 20));
  f.driver->click(CPoint(20, 20));
  ASSERT_EQ(f.editor.calls.size(), 2u);
  EXPECT_FLOAT_EQ(f.editor.calls[0].value, 0.75f);
  EXPECT_FLOAT_EQ(f.editor.calls[1].value, 0.25f);
  const std::vector<std::pair<char, int32_t>> brackets = {{'b', 5}, {'e', 5}, {'b', 5}, {'e', 5}};
  EXPECT_EQ(f.editor.edits, brackets);
  EXPECT_EQ(f.editor.openWhileNotified, (std::vector<bool>{true, true}));
}

TEST_F(OnOffButtonTest, HalfValueCountsAsOnSoAClickTurnsItOff) {
  button->setValue(0.5f);
  f.driver->click(CPoint(20, 20));
  ASSERT_EQ(f.editor.calls.size(), 1u);
  EXPECT_FLOAT_EQ(f.editor.calls[0].value, 0.25f);
}

TEST_F(OnOffButtonTest, RightAndMiddleClicksChangeNothing) {
  button->setValue(0.75f);
  EXPECT_EQ(f.driver->mouseDown(CPoint(20, 20), kRButton), kMouseEventNotHandled);
  f.driver->mouseUp(CPoint(20, 20), kRButton);
  EXPECT_EQ(f.driver->mouseDown(CPoint(20, 20), kMButton), kMouseEventNotHandled);
  f.driver->mouseUp(CPoint(20, 20), kMButton);
  EXPECT_FLOAT_EQ(button->getValue(), 0.75f);
  EXPECT_TRUE(f.editor.calls.empty());
  EXPECT_TRUE(f.editor.edits.empty());
}

class KickButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CBitmap* bmp = twoImageBitmap(26, 26);
    button = f.add(new VEKKickButton(CRect(10, 10, 36, 36), &f.editor, 20, 26, bmp));
    bmp->forget();
  }
  ControlTestFrame f{CRect(0, 0, 100, 100)};
  VEKKickButton* button = nullptr;
};

TEST_F(KickButtonTest, ModifiersChooseTheStepSize) {
  const struct {
    int32_t buttons;
    float step;
  } cases[] = {{kLButton, 1.f},
               {kLButton | kShift, 10.f},
               {kLButton | kControl, 100.f},
               {kLButton | kShift | kControl, 100.f},
               {kLButton, 1.f}};
  for (const auto& c : cases) {
    f.driver->advanceTime(1000);  // no double clicks
    f.driver->click(CPoint(20, 20), c.buttons);
    EXPECT_FLOAT_EQ(button->getFineStep(), c.step) << "buttons " << c.buttons;
  }
  EXPECT_EQ(f.editor.calls.size(), 5u);
}

TEST_F(KickButtonTest, OnePressIsOneListenerCallAndTheReleaseIsSilent) {
  EXPECT_FLOAT_EQ(button->getValue(), 0.f);
  f.driver->mouseDown(CPoint(20, 20), kLButton);
  ASSERT_EQ(f.editor.calls.size(), 1u);
  EXPECT_FLOAT_EQ(f.editor.calls[0].value, 1.f);
  EXPECT_TRUE(f.editor.openWhileNotified[0]);
  EXPECT_FLOAT_EQ(button->getValue(), 1.f);
  f.driver->idle();
  EXPECT_EQ(pixelAt(f, 20, 20), kGreen);  // pressed image while held
  f.driver->mouseMoved(CPoint(60, 60), kLButton);
  f.driver->idle();
  EXPECT_EQ(pixelAt(f, 20, 20), kRed);  // pointer left the button while held
  f.driver->mouseMoved(CPoint(20, 20), kLButton);
  f.driver->idle();
  EXPECT_EQ(pixelAt(f, 20, 20), kGreen);
  f.driver->mouseUp(CPoint(20, 20), kLButton);
  EXPECT_EQ(f.editor.calls.size(), 1u);
  EXPECT_FLOAT_EQ(button->getValue(), 0.f);
  f.driver->idle();
  EXPECT_EQ(pixelAt(f, 20, 20), kRed);
  const std::vector<std::pair<char, int32_t>> brackets = {{'b', 20}, {'e', 20}};
  EXPECT_EQ(f.editor.edits, brackets);
}

TEST_F(KickButtonTest, RightClickChangesNothing) {
  f.driver->click(CPoint(20, 20), kLButton | kShift);
  EXPECT_EQ(f.driver->mouseDown(CPoint(20, 20), kRButton), kMouseEventNotHandled);
  f.driver->mouseUp(CPoint(20, 20), kRButton);
  EXPECT_FLOAT_EQ(button->getFineStep(), 10.f);
  EXPECT_EQ(f.editor.calls.size(), 1u);
}

TEST(VEKSwitchTest, HalvesSelectThePositions) {
  ControlTestFrame f(CRect(0, 0, 100, 100));
  CBitmap* bmp = twoImageBitmap(15, 10);
  auto* sw = f.add(new VEKSwitch(CRect(20, 20, 35, 30), &f.editor, 15, 2, 10, 2, bmp));
  bmp->forget();
  f.driver->click(CPoint(32, 25));
  EXPECT_FLOAT_EQ(sw->getValue(), 1.f);
  f.driver->idle();
  EXPECT_EQ(pixelAt(f, 27, 25), kGreen);
  f.driver->advanceTime(1000);
  f.driver->click(CPoint(22, 25));
  EXPECT_FLOAT_EQ(sw->getValue(), 0.f);
  ASSERT_FALSE(f.editor.calls.empty());
  EXPECT_FLOAT_EQ(f.editor.calls.back().value, 0.f);
  EXPECT_EQ(f.editor.edits.front(), std::make_pair('b', 15));
  EXPECT_EQ(f.editor.edits.back(), std::make_pair('e', 15));
  const size_t heard = f.editor.calls.size();
  f.driver->advanceTime(1000);
  f.driver->mouseDown(CPoint(32, 25), kRButton);
  f.driver->mouseUp(CPoint(32, 25), kRButton);
  EXPECT_FLOAT_EQ(sw->getValue(), 0.f);
  EXPECT_EQ(f.editor.calls.size(), heard);
}

class SliderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    slider = f.add(new CInvisibleSlider(CRect(100, 1100, 150, 1150), &f.editor, 31));
    slider->setValue(0.5f);
  }
  ControlTestFrame f;
  CInvisibleSlider* slider = nullptr;
  const CPoint press{120, 1120};
  CPoint up(double pixels, double right = 0) const {
    return CPoint(press.x + right, press.y - pixels);
  }
};

TEST_F(SliderTest, PressSendsTheUnchangedValueOnceAndOpensTheEdit) {
  f.driver->mouseDown(press);
  ASSERT_EQ(f.editor.calls.size(), 1u);
  EXPECT_FLOAT_EQ(f.editor.calls[0].value, 0.5f);
  EXPECT_TRUE(slider->isDragging());
  EXPECT_EQ(f.editor.openEdits(), 1);
  f.driver->mouseUp(press);
  EXPECT_FALSE(slider->isDragging());
  const std::vector<std::pair<char, int32_t>> brackets = {{'b', 31}, {'e', 31}};
  EXPECT_EQ(f.editor.edits, brackets);
}

TEST_F(SliderTest, UpwardTravelCountsFullyRightwardHalf) {
  f.driver->mouseDown(press);
  f.driver->mouseMoved(up(100), kLButton);
  EXPECT_NEAR(slider->getValue(), 0.6f, 1e-6);
  f.driver->mouseMoved(up(0, 200), kLButton);
  EXPECT_NEAR(slider->getValue(), 0.6f, 1e-6);
  f.driver->mouseMoved(up(-50, 100), kLButton);  // 50 down, 100 right: no change
  EXPECT_NEAR(slider->getValue(), 0.5f, 1e-6);
  f.driver->mouseUp(up(-50, 100));
  EXPECT_NEAR(f.editor.calls.back().value, 0.5f, 1e-6);
  EXPECT_TRUE(f.editor.openWhileNotified.back());
}

TEST_F(SliderTest, ShiftHeldFromThePressIsFourTimesFiner) {
  f.driver->mouseDown(press, kLButton | kShift);
  f.driver->mouseMoved(up(100), kLButton | kShift);
  EXPECT_NEAR(slider->getValue(), 0.5f + 100.f / 4000.f, 1e-6);
  f.driver->mouseUp(up(100), kLButton | kShift);
}

TEST_F(SliderTest, ShiftChangedMidDragRebasesWithoutAJump) {
  f.driver->mouseDown(press);
  f.driver->mouseMoved(up(100), kLButton);
  EXPECT_NEAR(slider->getValue(), 0.6f, 1e-6);
  // Shift pressed: the value stays, further travel is 5000 pixels per range.
  f.driver->mouseMoved(up(100), kLButton | kShift);
  EXPECT_NEAR(slider->getValue(), 0.6f, 1e-6);
  f.driver->mouseMoved(up(200), kLButton | kShift);
  EXPECT_NEAR(slider->getValue(), 0.6f + 100.f / 5000.f, 1e-6);
  // Shift released: again no jump, back to 1000 pixels per range.
  f.driver->mouseMoved(up(200), kLButton);
  EXPECT_NEAR(slider->getValue(), 0.62f, 1e-6);
  f.driver->mouseMoved(up(300), kLButton);
  EXPECT_NEAR(slider->getValue(), 0.72f, 1e-6);
  f.driver->mouseUp(up(300));
}

TEST_F(SliderTest, ClampsAtTheEndsUntilTheExtraTravelIsUndone) {
  f.driver->mouseDown(press);
  f.driver->mouseMoved(up(700), kLButton);
  EXPECT_FLOAT_EQ(slider->getValue(), 1.f);
  f.driver->mouseMoved(up(600), kLButton);
  EXPECT_FLOAT_EQ(slider->getValue(), 1.f);
  f.driver->mouseMoved(up(400), kLButton);
  EXPECT_NEAR(slider->getValue(), 0.9f, 1e-6);
  f.driver->mouseMoved(up(-900), kLButton);
  EXPECT_FLOAT_EQ(slider->getValue(), 0.f);
  f.driver->mouseMoved(up(-400), kLButton);
  EXPECT_NEAR(slider->getValue(), 0.1f, 1e-6);
  f.driver->mouseUp(up(-400));
}

TEST_F(SliderTest, WheelStepsAndAlwaysNotifies) {
  EXPECT_TRUE(f.driver->wheel(CPoint(120, 1120), 1.f));
  EXPECT_NEAR(slider->getValue(), 0.505f, 1e-6);
  EXPECT_TRUE(f.driver->wheel(CPoint(120, 1120), -2.f, kShift));
  EXPECT_NEAR(slider->getValue(), 0.505f - 0.0006f, 1e-6);
  slider->setValue(1.f);
  f.editor.calls.clear();
  f.editor.edits.clear();
  EXPECT_TRUE(f.driver->wheel(CPoint(120, 1120), 1.f));
  EXPECT_FLOAT_EQ(slider->getValue(), 1.f);
  ASSERT_EQ(f.editor.calls.size(), 1u);
  EXPECT_TRUE(f.editor.openWhileNotified.back());
  const std::vector<std::pair<char, int32_t>> brackets = {{'b', 31}, {'e', 31}};
  EXPECT_EQ(f.editor.edits, brackets);
}

TEST_F(SliderTest, RightDragChangesNothing) {
  EXPECT_EQ(f.driver->mouseDown(press, kRButton), kMouseEventNotHandled);
  f.driver->mouseMoved(up(100), kRButton);
  f.driver->mouseUp(up(100), kRButton);
  EXPECT_FLOAT_EQ(slider->getValue(), 0.5f);
  EXPECT_TRUE(f.editor.calls.empty());
  EXPECT_TRUE(f.editor.edits.empty());
}

TEST(SliderCopyTest, CopyKeepsClassAndState) {
  CInvisibleSlider slider(CRect(0, 0, 10, 10), nullptr, 30);
  slider.setValue(0.3f);
  CView* copy = slider.newCopy();
  EXPECT_STREQ(copy->getClassName(), "CInvisibleSlider");
  EXPECT_FLOAT_EQ(static_cast<CInvisibleSlider*>(copy)->getValue(), 0.3f);
  EXPECT_EQ(static_cast<CInvisibleSlider*>(copy)->getTag(), 30);
  copy->forget();
}

// The about button over a dark panel: the view it opens shows the about image
// with the version text, white, left-aligned in its 100 x 15 box at (520, 57).
TEST(AboutViewTest, OpensOnALeftClickAndShowsTheVersionInItsBox) {
  ControlTestFrame f{CRect(0, 0, 700, 110)};
  constexpr uint32_t kDark = 0xFF202020u;
  std::vector<uint32_t> px(700 * 100, kDark);
  CBitmap* image = new CBitmap(700, 100, px.data());
  auto* about = f.add(new CAbout(CRect(600, 5, 660, 30), &f.editor, 32, image,
                                 CRect(0, 0, 700, 100), CPoint(0, 0), CPoint(520, 57)));
  image->forget();

  f.driver->click(CPoint(610, 10), kRButton);
  EXPECT_EQ(f.editor.frame->getModalView(), nullptr);
  EXPECT_FLOAT_EQ(about->getValue(), 0.f);

  f.driver->advanceTime(1000);
  f.driver->click(CPoint(610, 10));
  CView* view = f.editor.frame->getModalView();
  ASSERT_NE(view, nullptr);
  EXPECT_STREQ(view->getClassName(), "CSplashScreenMyView");
  EXPECT_EQ(view->getViewSize(), CRect(0, 0, 700, 100));
  EXPECT_FLOAT_EQ(about->getValue(), 1.f);
  // Nobody hears of it: no listener call, no edit bracket.
  EXPECT_TRUE(f.editor.calls.empty());
  EXPECT_TRUE(f.editor.edits.empty());

  const std::vector<uint32_t> shown = f.driver->surfacePixels();
  int whiteInBox = 0, whiteNearLeft = 0, changedOutside = 0;
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 700; ++x) {
      const uint32_t p = shown[static_cast<size_t>(y) * 700 + x];
      const bool inBox = x >= 520 && x < 620 && y >= 57 && y < 72;
      if (!inBox) {
        changedOutside += p != kDark;
      } else if ((p & 0xFF) > 0xC0 && ((p >> 8) & 0xFF) > 0xC0 && ((p >> 16) & 0xFF) > 0xC0) {
        ++whiteInBox;
        whiteNearLeft += x < 526;
      }
    }
  }
  EXPECT_EQ(changedOutside, 0);
  EXPECT_GT(whiteInBox, 20);
  EXPECT_GT(whiteNearLeft, 0);

  // A right click leaves it open; a left click anywhere on it closes it.
  f.driver->advanceTime(1000);
  f.driver->click(CPoint(100, 50), kRButton);
  EXPECT_EQ(f.editor.frame->getModalView(), view);
  f.driver->advanceTime(1000);
  f.driver->click(CPoint(100, 50));
  EXPECT_EQ(f.editor.frame->getModalView(), nullptr);
  EXPECT_FLOAT_EQ(about->getValue(), 0.f);
  EXPECT_FALSE(f.editor.frame->isChild(view));
  // The next click opens a new view.
  f.driver->advanceTime(1000);
  f.driver->click(CPoint(610, 10));
  EXPECT_NE(f.editor.frame->getModalView(), nullptr);
  EXPECT_FLOAT_EQ(about->getValue(), 1.f);
  EXPECT_TRUE(f.editor.calls.empty());
}

// n images stacked, image i filled with kStrip[i].
constexpr uint32_t kStrip[] = {0xFF101010u, 0xFF2040F0u, 0xFFF04020u, 0xFF20F040u, 0xFFF0F020u};

CBitmap* stripBitmap(int w, int h, int n) {
  std::vector<uint32_t> px(static_cast<size_t>(w) * h * n);
  for (int y = 0; y < h * n; ++y)
    for (int x = 0; x < w; ++x) px[static_cast<size_t>(y) * w + x] = kStrip[y / h];
  return new CBitmap(w, h * n, px.data());
}

// Index of the strip image drawn at (x, y), -1 for none of them.
int imageAt(ControlTestFrame& f, int x, int y) {
  const uint32_t p = pixelAt(f, x, y);
  for (int i = 0; i < 5; ++i)
    if (p == kStrip[i]) return i;
  return -1;
}

TEST(StripKickButtonTest, DoubleClickButtonActsOnlyOnDoubleClicksAndCtrlSendsHalf) {
  ControlTestFrame f{CRect(0, 0, 100, 100)};
  CBitmap* bmp = stripBitmap(32, 13, 3);
  auto* button =
      f.add(new CPSKickButton(CRect(10, 10, 42, 23), &f.editor, 46, 13, bmp, CPoint(0, 0), true));
  bmp->forget();
  const CPoint at(20, 15);
  // Other buttons are swallowed without effect.
  EXPECT_EQ(f.driver->mouseDown(at, kRButton), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
  f.driver->advanceTime(1000);
  // A single click does nothing.
  f.driver->click(at);
  EXPECT_TRUE(f.editor.calls.empty());
  // The second click of a pair acts once, on the press.
  EXPECT_EQ(f.driver->mouseDown(at), kMouseEventHandled);
  ASSERT_EQ(f.editor.calls.size(), 1u);
  EXPECT_FLOAT_EQ(f.editor.calls[0].value, 1.f);
  EXPECT_EQ(imageAt(f, 20, 15), 2);  // pressed
  f.driver->mouseUp(at);
  EXPECT_EQ(f.editor.calls.size(), 1u);
  EXPECT_FLOAT_EQ(button->getValue(), 0.f);
  EXPECT_EQ(imageAt(f, 20, 15), 1);  // hovered
  f.driver->advanceTime(1000);
  f.driver->click(at, kLButton | kControl);
  f.driver->click(at, kLButton | kControl);
  ASSERT_EQ(f.editor.calls.size(), 2u);
  EXPECT_FLOAT_EQ(f.editor.calls[1].value, 0.5f);
  f.driver->mouseLeave();
  EXPECT_EQ(imageAt(f, 20, 15), 0);
  EXPECT_TRUE(f.editor.edits.empty());
}

TEST(StripKickButtonTest, PlainButtonActsOnEveryLeftClickWithValueOne) {
  ControlTestFrame f{CRect(0, 0, 100, 100)};
  CBitmap* bmp = stripBitmap(17, 15, 3);
  f.add(new CPSKickButton(CRect(10, 10, 27, 25), &f.editor, 48, 15, bmp, CPoint(0, 0), false));
  bmp->forget();
  f.driver->click(CPoint(15, 15), kLButton | kControl);
  f.driver->advanceTime(1000);
  f.driver->click(CPoint(15, 15));
  ASSERT_EQ(f.editor.calls.size(), 2u);
  EXPECT_FLOAT_EQ(f.editor.calls[0].value, 1.f);
  EXPECT_FLOAT_EQ(f.editor.calls[1].value, 1.f);
}

TEST(SaveLoadButtonTest, PlainRightClickSendsHalfEverythingElseOne) {
  ControlTestFrame f{CRect(0, 0, 100, 100)};
  CBitmap* bmp = stripBitmap(17, 15, 3);
  auto* button =
      f.add(new CSaveLoadButton(CRect(10, 10, 27, 25), &f.editor, 37, 15, bmp, CPoint()));
  bmp->forget();
  const CPoint at(15, 15);
  const struct {
    int32_t buttons;
    float value;
  } cases[] = {{kRButton, 0.5f},
               {kRButton | kShift, 1.f},
               {kRButton | kControl, 1.f},
               {kLButton, 1.f},
               {kLButton | kShift, 1.f}};
  for (const auto& c : cases) {
    f.editor.calls.clear();
    f.driver->advanceTime(1000);
    EXPECT_EQ(f.driver->mouseDown(at, c.buttons), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    f.driver->mouseUp(at, c.buttons);
    ASSERT_EQ(f.editor.calls.size(), 1u) << c.buttons;
    EXPECT_FLOAT_EQ(f.editor.calls[0].value, c.value) << c.buttons;
    EXPECT_FLOAT_EQ(button->getValue(), 0.f) << c.buttons;
  }
  f.editor.calls.clear();
  f.driver->advanceTime(1000);
  EXPECT_EQ(f.driver->mouseDown(at, kMButton), kMouseEventNotHandled);
  button->setListener(nullptr);
  EXPECT_EQ(f.driver->mouseDown(at, kLButton), kMouseEventNotHandled);
  EXPECT_TRUE(f.editor.calls.empty());
  VstKeyCode key = {13, 0, 0};
  EXPECT_EQ(button->onKeyDown(key), -1);
  EXPECT_EQ(button->onKeyUp(key), -1);
  // Hover shows image 1 at rest.
  EXPECT_EQ(imageAt(f, 15, 15), 1);
  f.driver->mouseLeave();
  EXPECT_EQ(imageAt(f, 15, 15), 0);
}

TEST(StripRockerTest, HalvesPressAndHoverWithTheCentreLineOnTheRight) {
  ControlTestFrame f{CRect(0, 0, 100, 100)};
  CBitmap* bmp = stripBitmap(30, 13, 5);
  auto* rocker =
      f.add(new CPSRockerSwitch(CRect(10, 10, 40, 23), &f.editor, 34, 13, bmp, CPoint()));
  bmp->forget();
  // Centre x = 25.
  f.driver->mouseMoved(CPoint(24, 15));
  EXPECT_EQ(rocker->getHoverSide(), -1);
  EXPECT_EQ(imageAt(f, 12, 12), 1);
  f.driver->mouseMoved(CPoint(25, 15));
  EXPECT_EQ(rocker->getHoverSide(), 1);
  EXPECT_EQ(imageAt(f, 12, 12), 2);
  f.driver->mouseDown(CPoint(25, 15));
  ASSERT_EQ(f.editor.calls.size(), 1u);
  EXPECT_FLOAT_EQ(f.editor.calls[0].value, 1.f);
  EXPECT_EQ(imageAt(f, 12, 12), 4);
  // Dragging with the button held changes neither value nor hover side.
  f.driver->mouseMoved(CPoint(12, 15), kLButton);
  EXPECT_FLOAT_EQ(rocker->getValue(), 1.f);
  EXPECT_EQ(rocker->getHoverSide(), 1);
  f.driver->mouseUp(CPoint(12, 15));
  EXPECT_EQ(f.editor.calls.size(), 1u);
  EXPECT_FLOAT_EQ(rocker->getValue(), 0.f);
  f.driver->advanceTime(1000);
  f.driver->mouseDown(CPoint(24, 15));
  ASSERT_EQ(f.editor.calls.size(), 2u);
  EXPECT_FLOAT_EQ(f.editor.calls[1].value, -1.f);
  EXPECT_EQ(imageAt(f, 12, 12), 3);
  f.driver->mouseUp(CPoint(24, 15));
  EXPECT_EQ(f.driver->mouseDown(CPoint(24, 15), kRButton), kMouseEventNotHandled);
  f.driver->mouseLeave();
  EXPECT_EQ(rocker->getHoverSide(), 0);
  EXPECT_EQ(imageAt(f, 12, 12), 0);
  EXPECT_EQ(f.editor.calls.size(), 2u);
}

TEST(StripOnOffButtonTest, HoverImageOnlyWhileOffAndOnImageOnlyAtOne) {
  ControlTestFrame f{CRect(0, 0, 100, 100)};
  CBitmap* bmp = stripBitmap(24, 16, 3);
  auto* button = f.add(new CPSOnOffButton(CRect(10, 10, 34, 26), &f.editor, 40, bmp));
  bmp->forget();
  EXPECT_EQ(imageAt(f, 20, 15), 0);
  f.driver->mouseMoved(CPoint(20, 15));
  EXPECT_EQ(imageAt(f, 20, 15), 1);
  EXPECT_EQ(f.driver->mouseDown(CPoint(20, 15), kRButton), kMouseEventNotHandled);
  f.driver->advanceTime(1000);
  EXPECT_EQ(f.driver->mouseDown(CPoint(20, 15)), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
  ASSERT_EQ(f.editor.calls.size(), 1u);
  EXPECT_FLOAT_EQ(f.editor.calls[0].value, 1.f);
  EXPECT_EQ(imageAt(f, 20, 15), 2);
  button->setValue(0.5f);  // neither off nor exactly on
  EXPECT_EQ(imageAt(f, 20, 15), 0);
  f.driver->advanceTime(1000);
  f.driver->mouseDown(CPoint(20, 15));
  EXPECT_FLOAT_EQ(f.editor.calls.back().value, 0.5f);
}

}  // namespace
