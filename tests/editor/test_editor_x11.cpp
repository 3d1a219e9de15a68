// The editor in a real X11 window on a private Xvfb server, clicked with XTest.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "engine/ParameterIds.h"
#include "tests/editor/EditorFixture.h"

// Xlib's macros (None, Bool) would break the test framework's headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include "tests/editor/EditorX11Fixture.h"

namespace {

class EditorX11Test : public EditorX11Fixture {
 protected:
  // The editor's pixels as 0xRRGGBB.
  std::vector<uint32_t> grab() {
    XSync(display, False);
    XImage* image = XGetImage(display, parent, 0, 0, 870, 101, AllPlanes, ZPixmap);
    std::vector<uint32_t> out;
    if (!image) return out;
    for (int y = 0; y < 101; ++y)
      for (int x = 0; x < 870; ++x) out.push_back(XGetPixel(image, x, y) & 0xFFFFFFu);
    XDestroyImage(image);
    return out;
  }
};

TEST_F(EditorX11Test, RealClickTogglesAButtonInTheEffect) {
  aeffect->setParameter(aeffect, kDlyInv, 0.25f);
  host.calls.clear();
  const CPoint at = editor->getParameterControl(kDlyInv)->getViewSize().getCenter();
  clickAt(static_cast<int>(at.x), static_cast<int>(at.y));
  for (int i = 0; i < 100 && aeffect->getParameter(aeffect, kDlyInv) < 0.5f; ++i) idleFor(20);
  EXPECT_FLOAT_EQ(aeffect->getParameter(aeffect, kDlyInv), 0.75f);
  EXPECT_EQ(host.count(audioMasterBeginEdit), 1);
  EXPECT_EQ(host.count(audioMasterEndEdit), 1);
  ASSERT_EQ(host.count(audioMasterAutomate), 1);
  EXPECT_EQ(host.callsOf(audioMasterAutomate)[0].index, kDlyInv);
}

TEST_F(EditorX11Test, WindowShowsWhatTheOffscreenBackendRenders) {
  // Same state in both: host-set values, pointer parked over the background.
  const struct {
    VstInt32 index;
    float value;
  } state[] = {{kFbck, 0.6f}, {kHiCut, 0.75f}, {kDepth, 0.3f}, {kDlyTime, 0.2f}};
  for (const auto& s : state) aeffect->setParameter(aeffect, s.index, s.value);
  clickAt(5, 5);  // no control there
  idleFor(300);
  const std::vector<uint32_t> window = grab();
  ASSERT_EQ(window.size(), 870u * 101u);

  // A second instance, drawn offscreen.
  FakeHost otherHost;
  AudioEffect* other = createEffectInstance(FakeHost::callback());
  ASSERT_NE(other, nullptr);
  AEffect* o = other->getAeffect();
  for (const auto& s : state) o->setParameter(o, s.index, s.value);
  ASSERT_EQ(o->dispatcher(o, effEditOpen, 0, 0, nullptr, 0.f), 1);
  CFrame* frame = static_cast<Editor*>(other->getEditor())->getFrame();
  toolkit::OffscreenFrame driver(frame);
  driver.mouseMoved(CPoint(5, 5));
  for (int i = 0; i < 3; ++i) o->dispatcher(o, effEditIdle, 0, 0, nullptr, 0.f);
  const std::vector<uint32_t> offscreen = driver.surfacePixels();
  o->dispatcher(o, effEditClose, 0, 0, nullptr, 0.f);
  o->dispatcher(o, effClose, 0, 0, nullptr, 0.f);
  ASSERT_EQ(offscreen.size(), window.size());

  size_t differing = 0;
  for (size_t i = 0; i < window.size(); ++i) {
    const uint32_t a = window[i], b = offscreen[i] & 0xFFFFFFu;
    int worst = 0;
    for (int shift = 0; shift < 24; shift += 8)
      worst = std::max(worst, std::abs(static_cast<int>((a >> shift) & 0xFF) -
                                       static_cast<int>((b >> shift) & 0xFF)));
    differing += worst > 8;
  }
  // Allow a few pixels of text antialiasing to differ.
  EXPECT_LE(differing, window.size() / 1000) << differing << " pixels differ";
}

// Press, ten motions and release reaching the window before one idle (a quick
// drag, or a busy host) move the knob as far as the same events handled one
// idle apart.
TEST_F(EditorX11Test, QuickDragBetweenTwoIdlesMovesTheKnobLikeASlowOne) {
  const CPoint knob = editor->getParameterControl(kFbck)->getViewSize().getCenter();
  const int x = kX + static_cast<int>(knob.x), y = kY + static_cast<int>(knob.y);
  auto dragUp = [&](bool idleBetween) {
    aeffect->setParameter(aeffect, kFbck, 0.2f);
    XTestFakeMotionEvent(display, -1, 5, 5, CurrentTime);  // away from the editor
    XSync(display, False);
    idleFor(450);  // no double click with the last drag's press
    auto step = [&] {
      XSync(display, False);
      if (idleBetween) idleFor(20);
    };
    XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
    step();
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    step();
    for (int i = 1; i <= 10; ++i) {
      XTestFakeMotionEvent(display, -1, x, y - 4 * i, CurrentTime);
      step();
    }
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XSync(display, False);
    // Every event waits in the editor's queue before its one idle.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    dispatch(effEditIdle);
    return aeffect->getParameter(aeffect, kFbck);
  };
  const float slow = dragUp(true);
  EXPECT_GT(slow, 0.2f);
  const float quick = dragUp(false);
  EXPECT_FLOAT_EQ(quick, slow);
}

TEST_F(EditorX11Test, OpenAndCloseRepeatedly) {
  for (int i = 0; i < 20; ++i) {
    dispatch(effEditClose);
    ASSERT_EQ(dispatch(effEditOpen, reinterpret_cast<VstIntPtr>(display),
                       reinterpret_cast<void*>(static_cast<uintptr_t>(parent))),
              1);
    dispatch(effEditIdle);
  }
  XSync(display, False);
  Window root, par;
  Window* children = nullptr;
  unsigned int n = 0;
  XQueryTree(display, parent, &root, &par, &children, &n);
  if (children) XFree(children);
  EXPECT_EQ(n, 1u);  // only the editor that is open now
}

}  // namespace
