// Frame behaviour: mouse capture, hover, double clicks, modal view, hit
// testing, dirty tracking and what the offscreen render contains.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "ToolkitTestSupport.h"
#include "toolkit/OffscreenFrame.h"
#include "toolkit/Toolkit.h"

namespace {

// A view that records what reaches it and counts its draws.
class Probe : public CView {
 public:
  Probe(const CRect& r, std::vector<std::string>* log, const char* name,
        CMouseEventResult downAnswer = kMouseEventHandled)
      : CView(r), log(log), name(name), downAnswer(downAnswer) {}
  CMouseEventResult onMouseDown(CPoint& p, const CButtonState& b) override {
    lastButtons = b;
    record("down", p);
    return downAnswer;
  }
  CMouseEventResult onMouseUp(CPoint& p, const CButtonState&) override {
    record("up", p);
    return kMouseEventHandled;
  }
  CMouseEventResult onMouseMoved(CPoint& p, const CButtonState&) override {
    record("moved", p);
    return kMouseEventHandled;
  }
  CMouseEventResult onMouseEntered(CPoint& p, const CButtonState&) override {
    record("entered", p);
    return kMouseEventHandled;
  }
  CMouseEventResult onMouseExited(CPoint& p, const CButtonState&) override {
    record("exited", p);
    return kMouseEventHandled;
  }
  int32_t onKeyDown(VstKeyCode& key) override {
    log->push_back(std::string(name) + " key " + std::to_string(key.character));
    return 1;
  }
  void draw(CDrawContext* context) override {
    ++draws;
    CView::draw(context);
  }
  void record(const char* what, const CPoint& p) {
    log->push_back(std::string(name) + " " + what + " " + std::to_string(int(p.x)) + "," +
                   std::to_string(int(p.y)));
  }

  std::vector<std::string>* log;
  const char* name;
  CMouseEventResult downAnswer;
  CButtonState lastButtons;
  int draws = 0;
};

class Frame : public ::testing::Test {
 protected:
  void SetUp() override {
    frame = new CFrame(CRect(0, 0, 200, 100), nullptr, nullptr);
    drv = new toolkit::OffscreenFrame(frame);
    a = new Probe(CRect(10, 10, 50, 50), &log, "A");
    b = new Probe(CRect(60, 10, 100, 50), &log, "B");
    frame->addView(a);
    frame->addView(b);
  }
  void TearDown() override {
    delete drv;
    frame->close();
  }
  std::vector<std::string> log;
  CFrame* frame = nullptr;
  toolkit::OffscreenFrame* drv = nullptr;
  Probe* a = nullptr;
  Probe* b = nullptr;
};

TEST_F(Frame, DragKeepsTheMouseWithThePressedView) {
  drv->mouseDown(CPoint(20, 20));
  log.clear();
  drv->mouseMoved(CPoint(80, 30), kLButton);    // over B
  drv->mouseMoved(CPoint(300, 300), kLButton);  // outside the frame
  drv->mouseUp(CPoint(80, 30));
  EXPECT_EQ(log, (std::vector<std::string>{"A moved 80,30", "A moved 300,300", "A up 80,30",
                                           "A exited 80,30", "B entered 80,30"}));
  // After the drag, moves go to the view under the mouse again.
  log.clear();
  drv->mouseMoved(CPoint(85, 30));
  EXPECT_EQ(log, (std::vector<std::string>{"B moved 85,30"}));
}

TEST_F(Frame, PressWithoutCaptureGetsNoMovesOrUp) {
  a->downAnswer = kMouseDownEventHandledButDontNeedMovedOrUpEvents;
  drv->mouseDown(CPoint(20, 20));
  drv->mouseMoved(CPoint(80, 30), kLButton);
  drv->mouseUp(CPoint(80, 30));
  EXPECT_EQ(log[1], "A down 20,20");
  for (size_t i = 2; i < log.size(); ++i) EXPECT_EQ(log[i].rfind("A up", 0), std::string::npos);
  EXPECT_EQ(frame->getMouseDownView(), nullptr);
}

TEST_F(Frame, UnhandledPressFallsThroughToTheViewBelow) {
  auto* top = new Probe(CRect(0, 0, 40, 40), &log, "T", kMouseEventNotHandled);
  frame->addView(top);
  drv->mouseDown(CPoint(20, 20));
  EXPECT_EQ(log, (std::vector<std::string>{"T entered 20,20", "T down 20,20", "A down 20,20"}));
}

TEST_F(Frame, HoverEntersAndExitsOncePerCrossing) {
  drv->mouseMoved(CPoint(5, 5));  // background
  drv->mouseMoved(CPoint(20, 20));
  drv->mouseMoved(CPoint(25, 20));
  drv->mouseMoved(CPoint(70, 20));
  drv->mouseLeave();
  EXPECT_EQ(log, (std::vector<std::string>{"A entered 20,20", "A moved 20,20", "A moved 25,20",
                                           "A exited 70,20", "B entered 70,20", "B moved 70,20",
                                           "B exited -1,-1"}));
  CPoint where;
  ASSERT_TRUE(frame->getCurrentMouseLocation(where));
  EXPECT_EQ(where, CPoint(-1, -1));
  EXPECT_EQ(frame->getViewAt(where), nullptr);
}

TEST_F(Frame, MouseLocationIsUnknownUntilTheMouseArrives) {
  CPoint where;
  EXPECT_FALSE(frame->getCurrentMouseLocation(where));
  drv->mouseMoved(CPoint(70, 20));
  ASSERT_TRUE(frame->getCurrentMouseLocation(where));
  EXPECT_EQ(where, CPoint(70, 20));
  EXPECT_EQ(frame->getViewAt(where), b);
}

TEST_F(Frame, DoubleClickNeedsTheSameButtonPlaceAndTiming) {
  auto press = [&](CPoint p, CButtonState buttons = kLButton) {
    drv->mouseDown(p, buttons);
    drv->mouseUp(p, buttons);
    return a->lastButtons;
  };
  EXPECT_FALSE(press(CPoint(20, 20)).isDoubleClick());
  drv->advanceTime(200);
  EXPECT_TRUE(press(CPoint(22, 21)).isDoubleClick());
  drv->advanceTime(100);
  EXPECT_FALSE(press(CPoint(22, 21)).isDoubleClick());  // a third click starts anew
  drv->advanceTime(400);
  EXPECT_TRUE(press(CPoint(22, 21)).isDoubleClick());  // 400 ms is still in time
  drv->advanceTime(1000);
  press(CPoint(20, 20));
  drv->advanceTime(401);
  EXPECT_FALSE(press(CPoint(20, 20)).isDoubleClick());  // too late
  drv->advanceTime(1000);
  press(CPoint(20, 20));
  drv->advanceTime(50);
  EXPECT_FALSE(press(CPoint(25, 20)).isDoubleClick());  // moved 5 px
  drv->advanceTime(1000);
  press(CPoint(20, 20));
  drv->advanceTime(50);
  EXPECT_FALSE(press(CPoint(20, 20), kRButton).isDoubleClick());  // other button
  drv->advanceTime(50);
  const CButtonState second = press(CPoint(20, 20), kRButton | kControl);
  EXPECT_TRUE(second.isDoubleClick());  // modifiers do not matter
  EXPECT_EQ(second & ~kDoubleClick, kRButton | kControl);
}

TEST_F(Frame, ModalViewIsTheOnlyMouseTarget) {
  auto* modal = new Probe(CRect(0, 0, 55, 100), &log, "M");
  ASSERT_TRUE(frame->setModalView(modal));
  auto* second = new Probe(CRect(0, 0, 10, 10), &log, "X");
  EXPECT_FALSE(frame->setModalView(second));  // one at a time
  second->forget();
  drv->click(CPoint(20, 20));  // A under the modal view
  drv->click(CPoint(80, 20));  // B outside it
  drv->wheel(CPoint(80, 20), 1.f);
  EXPECT_EQ(log, (std::vector<std::string>{"M entered 20,20", "M down 20,20", "M up 20,20",
                                           "M exited 80,20"}));
  EXPECT_EQ(frame->getViewAt(CPoint(20, 20)), modal);
  log.clear();
  ASSERT_TRUE(frame->setModalView(nullptr));
  EXPECT_FALSE(frame->isChild(modal));
  modal->forget();  // removed without being released by the frame
  drv->click(CPoint(80, 20));
  EXPECT_EQ(log[log.size() - 2], "B down 80,20");
}

TEST_F(Frame, ViewAtPointIsTheTopmostVisibleChild) {
  auto* over = new Probe(CRect(40, 0, 70, 30), &log, "O");
  frame->addView(over);
  EXPECT_EQ(frame->getViewAt(CPoint(45, 20)), over);
  EXPECT_EQ(frame->getViewAt(CPoint(45, 35)), a);
  EXPECT_EQ(frame->getViewAt(CPoint(50, 35)), nullptr);  // right edge is outside
  EXPECT_EQ(frame->getViewAt(CPoint(49.5, 35)), a);
  over->setVisible(false);
  EXPECT_EQ(frame->getViewAt(CPoint(45, 20)), a);
  EXPECT_EQ(frame->getViewAt(CPoint(150, 80)), nullptr);
  EXPECT_TRUE(frame->removeView(a));
  EXPECT_EQ(frame->getViewAt(CPoint(20, 20)), nullptr);
}

TEST_F(Frame, KeysGoToTheFocusView) {
  VstKeyCode key{'x', 0, 0};
  EXPECT_EQ(drv->keyDown(key), -1);
  frame->setFocusView(b);
  EXPECT_EQ(drv->keyDown(key), 1);
  EXPECT_EQ(log.back(), "B key 120");
  drv->click(CPoint(20, 20));  // a click elsewhere takes the focus away
  EXPECT_EQ(frame->getFocusView(), nullptr);
}

TEST_F(Frame, IdleDrawsOnlyWhatChanged) {
  auto* c = new CControl(CRect(120, 10, 160, 50));
  frame->addView(c);
  drv->idle();  // first idle draws everything once
  EXPECT_EQ(a->draws, 1);
  EXPECT_EQ(b->draws, 1);
  const uint64_t afterFirst = frame->getDrawCount();
  EXPECT_EQ(afterFirst, 3u);
  for (int i = 0; i < 10; ++i) drv->idle();
  EXPECT_EQ(frame->getDrawCount(), afterFirst);
  // Same value again: nothing to draw.
  c->setValue(c->getValue());
  drv->idle();
  EXPECT_EQ(frame->getDrawCount(), afterFirst);
  // A value from another thread is drawn at the next idle, alone.
  std::thread t([c] { c->setValue(0.75f); });
  t.join();
  drv->idle();
  EXPECT_EQ(frame->getDrawCount(), afterFirst + 1);
  EXPECT_EQ(a->draws, 1);
  // A dirty view redraws the views it overlaps, and only those.
  auto* overAB = new Probe(CRect(45, 20, 65, 30), &log, "O");
  frame->addView(overAB);
  drv->idle();
  EXPECT_EQ(a->draws, 2);
  EXPECT_EQ(b->draws, 2);
  EXPECT_EQ(overAB->draws, 1);
  drv->idle();
  EXPECT_EQ(frame->getDrawCount(), afterFirst + 4);
  frame->setDirty();
  drv->idle();
  EXPECT_EQ(frame->getDrawCount(), afterFirst + 8);
}

TEST_F(Frame, RenderPutsBitmapsWhereTheirViewsAre) {
  CBitmap* background = makeSolid(200, 100, 0xFF204060);
  frame->setBackground(background);
  background->forget();
  CBitmap* strip = makeStrip(20, 10, 3);
  auto* movie = new CMovieBitmap(CRect(150, 60, 170, 70), nullptr, 1, 3, 10, strip);
  strip->forget();
  movie->setValue(0.5f);
  frame->addView(movie);
  // A control showing a part of a bitmap through its back offset.
  std::vector<uint32_t> px(40 * 20);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 40; ++x) px[y * 40 + x] = x < 20 ? 0xFFFF0000 : 0xFF00FF00;
  auto* part = new CBitmap(40, 20, px.data());
  auto* shifted = new CControl(CRect(110, 60, 130, 80), nullptr, 0, part);
  part->forget();
  shifted->setBackOffset(CPoint(20, 0));
  frame->addView(shifted);
  std::vector<uint32_t> out = drv->surfacePixels();
  ASSERT_EQ(out.size(), 200u * 100u);
  auto at = [&](int x, int y) { return out[y * 200 + x]; };
  EXPECT_EQ(at(0, 0), 0xFF204060u);
  EXPECT_EQ(at(199, 99), 0xFF204060u);
  EXPECT_EQ(at(150, 60), stripColour(1));
  EXPECT_EQ(at(169, 69), stripColour(1));
  EXPECT_EQ(at(170, 69), 0xFF204060u);
  EXPECT_EQ(at(149, 60), 0xFF204060u);
  EXPECT_EQ(at(110, 60), 0xFF00FF00u);
  EXPECT_EQ(at(129, 79), 0xFF00FF00u);
  // The PNG written matches the pixels.
  const std::string path = ::testing::TempDir() + "/toolkit_render.png";
  ASSERT_TRUE(drv->renderToPng(path));
  CBitmap* reread = nullptr;
  {
    FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::vector<unsigned char> bytes(1 << 20);
    const size_t n = std::fread(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    reread = new CBitmap(bytes.data(), n);
  }
  EXPECT_EQ(reread->getWidth(), 200);
  EXPECT_EQ(reread->getHeight(), 100);
  reread->forget();
  std::remove(path.c_str());
}

TEST_F(Frame, ViewsReleasedWithTheFrame) {
  // A bitmap shared by views lives while any of them does.
  CBitmap* shared = makeSolid(4, 4, 0xFFFFFFFF);
  auto* v1 = new CView(CRect(0, 0, 4, 4));
  auto* v2 = new CView(CRect(4, 0, 8, 4));
  v1->setBackground(shared);
  v2->setBackground(shared);
  EXPECT_EQ(shared->getNbReference(), 3);
  frame->addView(v1);
  frame->addView(v2);
  frame->removeView(v1);
  EXPECT_EQ(shared->getNbReference(), 2);
  shared->remember();
  frame->close();
  frame = new CFrame(CRect(0, 0, 10, 10), nullptr, nullptr);
  delete drv;
  drv = new toolkit::OffscreenFrame(frame);
  EXPECT_EQ(shared->getNbReference(), 2);  // the creator's and ours
  shared->forget();
  shared->forget();
}

}  // namespace
