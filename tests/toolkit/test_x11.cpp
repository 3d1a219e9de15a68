// The X11 backend against a private Xvfb server started by this program: a
// frame as the child of a window of the test's own, real input events through
// XTest, the window's pixels against the offscreen render, and open/close
// cycles that must leave no connection or window behind.
// gtest first: X11 defines None, Bool and Status as macros.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
// clang-format on
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "ToolkitTestSupport.h"
#include "platform/FileDialog.h"
#include "tests/support/XvfbServer.h"
#include "toolkit/CNewFileSelector.h"
#include "toolkit/OffscreenFrame.h"
#include "toolkit/Toolkit.h"

extern char** environ;

namespace {

bool haveDisplay = false;

// The program's private Xvfb; DISPLAY points at it (this test program's own
// environment).
class XvfbEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    XvfbServer& server = XvfbServer::shared();
    if (!server.running()) return;
    setenv("DISPLAY", server.display().c_str(), 1);
    haveDisplay = true;
  }
};

const auto* const xvfbEnvironment = ::testing::AddGlobalTestEnvironment(new XvfbEnvironment);

int openFds() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d)) ++n;
    closedir(d);
  }
  return n;
}

// A view that records the buttons of every press.
class PressProbe : public CView {
 public:
  explicit PressProbe(const CRect& r) : CView(r) {}
  CMouseEventResult onMouseDown(CPoint&, const CButtonState& b) override {
    presses.push_back(b);
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
  }
  std::vector<CButtonState> presses;
};

class X11 : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!haveDisplay) GTEST_SKIP() << "Xvfb not available";
    dpy = openTestDisplay(nullptr);
    ASSERT_NE(dpy, nullptr);
    parent = makeParent();
  }
  void TearDown() override {
    if (!dpy) return;
    XDestroyWindow(dpy, parent);
    XCloseDisplay(dpy);
  }
  Window makeParent() {
    XSetWindowAttributes attrs{};
    attrs.override_redirect = True;
    attrs.background_pixel = WhitePixel(dpy, DefaultScreen(dpy));
    Window w = XCreateWindow(dpy, DefaultRootWindow(dpy), 0, 0, 300, 120, 0, CopyFromParent,
                             InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &attrs);
    XMapRaised(dpy, w);
    XSync(dpy, False);
    return w;
  }
  Window childOf(Window w) {
    Window root, par, *kids = nullptr;
    unsigned int n = 0;
    Window child = 0;
    if (XQueryTree(dpy, w, &root, &par, &kids, &n) && n > 0) child = kids[0];
    if (kids) XFree(kids);
    return child;
  }
  unsigned int childCount(Window w) {
    Window root, par, *kids = nullptr;
    unsigned int n = 0;
    XQueryTree(dpy, w, &root, &par, &kids, &n);
    if (kids) XFree(kids);
    return n;
  }
  // Idles the frame until `done` holds or two seconds pass.
  template <typename F>
  bool idleUntil(CFrame* frame, F done) {
    for (int i = 0; i < 200; ++i) {
      frame->idle();
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  void clickAt(int x, int y, unsigned int button = 1) {
    XTestFakeMotionEvent(dpy, DefaultScreen(dpy), x, y, 0);
    XTestFakeButtonEvent(dpy, button, True, 0);
    XTestFakeButtonEvent(dpy, button, False, 0);
    XFlush(dpy);
  }
  // Builds the same views into any frame.
  static COnOffButton* populate(CFrame* frame, EventLog* log) {
    CBitmap* bg = makeStrip(300, 120, 1);
    frame->setBackground(bg);
    bg->forget();
    CBitmap* strip = makeStrip(21, 26, 2);
    auto* button = new COnOffButton(CRect(50, 40, 71, 66), log, 8, strip);
    strip->forget();
    frame->addView(button);
    CBitmap* digits = makeStrip(14, 20, 12);
    auto* digit = new CMovieBitmap(CRect(100, 30, 114, 50), nullptr, 21, 12, 20, digits);
    digits->forget();
    digit->setValue(7.f / 11);
    frame->addView(digit);
    return button;
  }

  Display* dpy = nullptr;
  Window parent = 0;
};

TEST_F(X11, ChildWindowGetsRealClicks) {
  EventLog log;
  CFrame* frame = new CFrame(CRect(0, 0, 300, 120), reinterpret_cast<void*>(parent), &log);
  ASSERT_TRUE(frame->isWindowed());
  COnOffButton* button = populate(frame, &log);
  Window child = childOf(parent);
  ASSERT_NE(child, 0u);
  ASSERT_TRUE(idleUntil(frame, [&] {
    XWindowAttributes a;
    return XGetWindowAttributes(dpy, child, &a) && a.map_state == IsViewable;
  }));
  // The XEmbed information some hosts wait for.
  Atom info = XInternAtom(dpy, "_XEMBED_INFO", True);
  ASSERT_NE(info, static_cast<Atom>(None));
  Atom type;
  int format;
  unsigned long count, rest;
  unsigned char* data = nullptr;
  ASSERT_EQ(
      XGetWindowProperty(dpy, child, info, 0, 2, False, info, &type, &format, &count, &rest, &data),
      Success);
  EXPECT_EQ(count, 2u);
  if (data) XFree(data);

  clickAt(60, 50);
  ASSERT_TRUE(idleUntil(frame, [&] { return !log.values.empty(); }));
  EXPECT_EQ(button->getValue(), 1.f);
  EXPECT_EQ(log.events, (std::vector<std::string>{"begin 8", "value 8", "end 8"}));
  frame->close();
}

TEST_F(X11, ModifiersDoubleClicksAndWheelArrive) {
  CFrame* frame = new CFrame(CRect(0, 0, 300, 120), reinterpret_cast<void*>(parent), nullptr);
  auto* probe = new PressProbe(CRect(0, 0, 100, 100));
  frame->addView(probe);
  auto* knob = new CAnimKnob(CRect(150, 10, 190, 50), nullptr, 1, 10, 40, nullptr);
  knob->setValue(0.5f);
  knob->setWheelInc(0.125f);
  frame->addView(knob);
  Window child = childOf(parent);
  ASSERT_TRUE(idleUntil(frame, [&] {
    XWindowAttributes a;
    return XGetWindowAttributes(dpy, child, &a) && a.map_state == IsViewable;
  }));
  const KeyCode shift = XKeysymToKeycode(dpy, XK_Shift_L);
  XTestFakeKeyEvent(dpy, shift, True, 0);
  clickAt(20, 20);
  XTestFakeKeyEvent(dpy, shift, False, 0);
  clickAt(20, 20);  // right after: a double click
  clickAt(30, 30, 3);
  XFlush(dpy);
  ASSERT_TRUE(idleUntil(frame, [&] { return probe->presses.size() == 3; }));
  EXPECT_EQ(probe->presses[0].getButtonState(), kLButton | kShift);
  EXPECT_EQ(probe->presses[1].getButtonState(), kLButton | kDoubleClick);
  EXPECT_EQ(probe->presses[2].getButtonState(), kRButton);
  XTestFakeMotionEvent(dpy, DefaultScreen(dpy), 170, 30, 0);
  XTestFakeButtonEvent(dpy, 4, True, 0);  // wheel up
  XTestFakeButtonEvent(dpy, 4, False, 0);
  XFlush(dpy);
  ASSERT_TRUE(idleUntil(frame, [&] { return knob->getValue() != 0.5f; }));
  EXPECT_FLOAT_EQ(knob->getValue(), 0.625f);
  CPoint where;
  ASSERT_TRUE(frame->getCurrentMouseLocation(where));
  EXPECT_EQ(where, CPoint(170, 30));
  EXPECT_EQ(frame->getViewAt(where), knob);
  frame->close();
}

TEST_F(X11, WindowShowsWhatTheOffscreenRenderShows) {
  EventLog log;
  CFrame* frame = new CFrame(CRect(0, 0, 300, 120), reinterpret_cast<void*>(parent), &log);
  populate(frame, &log)->setValue(1.f);
  CFrame* offscreen = new CFrame(CRect(0, 0, 300, 120), nullptr, nullptr);
  populate(offscreen, &log)->setValue(1.f);
  Window child = childOf(parent);
  ASSERT_TRUE(idleUntil(frame, [&] {
    XWindowAttributes a;
    return XGetWindowAttributes(dpy, child, &a) && a.map_state == IsViewable;
  }));
  for (int i = 0; i < 5; ++i) frame->idle();  // exposures answered
  XSync(dpy, False);
  XImage* shot = XGetImage(dpy, child, 0, 0, 300, 120, AllPlanes, ZPixmap);
  ASSERT_NE(shot, nullptr);
  toolkit::OffscreenFrame drv(offscreen);
  const std::vector<uint32_t> expected = drv.surfacePixels();
  int differing = 0;
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 300; ++x)
      differing += (XGetPixel(shot, x, y) & 0xFFFFFF) != (expected[y * 300 + x] & 0xFFFFFF);
  EXPECT_EQ(differing, 0);
  // Spot checks against the known colours.
  EXPECT_EQ(XGetPixel(shot, 60, 50) & 0xFFFFFF, stripColour(1) & 0xFFFFFF);
  EXPECT_EQ(XGetPixel(shot, 105, 40) & 0xFFFFFF, stripColour(7) & 0xFFFFFF);
  EXPECT_EQ(XGetPixel(shot, 5, 5) & 0xFFFFFF, stripColour(0) & 0xFFFFFF);
  XDestroyImage(shot);
  offscreen->close();
  frame->close();
}

TEST_F(X11, OpenAndCloseHundredTimesLeavesNothingBehind) {
  // One cycle first: libraries allocate their one-time state.
  {
    CFrame* frame = new CFrame(CRect(0, 0, 300, 120), reinterpret_cast<void*>(parent), nullptr);
    frame->idle();
    frame->close();
  }
  const int fdsBefore = openFds();
  EventLog log;
  for (int i = 0; i < 100; ++i) {
    CFrame* frame = new CFrame(CRect(0, 0, 300, 120), reinterpret_cast<void*>(parent), &log);
    ASSERT_TRUE(frame->isWindowed());
    populate(frame, &log);
    frame->idle();
    frame->idle();
    frame->close();
  }
  EXPECT_EQ(openFds(), fdsBefore);
  XSync(dpy, False);
  EXPECT_EQ(childCount(parent), 0u);
}

TEST_F(X11, ParentDestroyedBeforeCloseIsSurvived) {
  CFrame* frame = new CFrame(CRect(0, 0, 300, 120), reinterpret_cast<void*>(parent), nullptr);
  frame->idle();
  XDestroyWindow(dpy, parent);
  XSync(dpy, False);
  parent = makeParent();  // for TearDown
  frame->setDirty();
  frame->idle();  // draws into a window that no longer exists
  frame->idle();
  frame->close();
  SUCCEED();
}

TEST_F(X11, BadParentFallsBackToOffscreen) {
  CFrame* frame =
      new CFrame(CRect(0, 0, 50, 50), reinterpret_cast<void*>(uintptr_t{0x7fffff0}), nullptr);
  EXPECT_FALSE(frame->isWindowed());
  frame->idle();
  frame->close();
}

}  // namespace

namespace {

class RequestRecorder : public platform::FileDialogRunner {
 public:
  std::optional<std::string> run(const platform::FileDialogRequest& request) override {
    requests.push_back(request);
    return std::nullopt;
  }
  std::vector<platform::FileDialogRequest> requests;
};

}  // namespace

// Hosts nest the editor in windows of their own; the dialog belongs to the
// top-level one, or window managers place it anywhere on the desktop.
TEST_F(X11, FileDialogsBelongToTheHostsTopLevelWindow) {
  Window nested = XCreateSimpleWindow(dpy, parent, 5, 5, 290, 110, 0, 0, 0);
  XMapWindow(dpy, nested);
  XSync(dpy, False);
  EventLog log;
  CFrame* frame = new CFrame(CRect(0, 0, 200, 80), reinterpret_cast<void*>(nested), &log);
  ASSERT_TRUE(frame->isWindowed());
  RequestRecorder recorder;
  platform::setFileDialogRunnerForTesting(&recorder);
  CNewFileSelector selector(frame, CNewFileSelector::kSelectFile);
  EXPECT_FALSE(selector.runModal());
  platform::setFileDialogRunnerForTesting(nullptr);
  ASSERT_EQ(recorder.requests.size(), 1u);
  EXPECT_EQ(recorder.requests[0].parentWindow, parent);
  frame->close();
  XDestroyWindow(dpy, nested);
}
