// The real plug-in's editor opened through effEditOpen as the child of a
// window the test creates on the program's private Xvfb, driven by XTest.
// Include after the test framework: Xlib's macros would break its headers.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <thread>

#include "editor/Editor.h"
#include "host/AudioEffect.h"
#include "tests/support/FakeHost.h"
#include "tests/support/TempConfigHome.h"
#include "tests/support/XvfbServer.h"

class EditorX11Fixture : public ::testing::Test {
 protected:
  // Where the host window sits on the screen.
  static constexpr int kX = 40, kY = 30;

  void SetUp() override {
    XvfbServer& server = XvfbServer::shared();
    if (!server.running()) GTEST_SKIP() << "Xvfb is not installed";
    setenv("DISPLAY", server.display().c_str(), 1);
    display = openTestDisplay(server.display().c_str());
    ASSERT_NE(display, nullptr);
    int ev, err, major, minor;
    ASSERT_TRUE(XTestQueryExtension(display, &ev, &err, &major, &minor));

    effect = createEffectInstance(FakeHost::callback());
    ASSERT_NE(effect, nullptr);
    aeffect = effect->getAeffect();
    editor = dynamic_cast<Editor*>(effect->getEditor());
    ASSERT_NE(editor, nullptr);
    const int screen = DefaultScreen(display);
    parent = XCreateSimpleWindow(display, RootWindow(display, screen), kX, kY, 870, 101, 0,
                                 BlackPixel(display, screen), BlackPixel(display, screen));
    XMapRaised(display, parent);
    XSync(display, False);
    ASSERT_EQ(dispatch(effEditOpen, reinterpret_cast<VstIntPtr>(display),
                       reinterpret_cast<void*>(static_cast<uintptr_t>(parent))),
              1);
    ASSERT_NE(editor->getFrame(), nullptr);
    ASSERT_TRUE(editor->getFrame()->isWindowed());
    XSync(display, False);
    idleFor(300);
  }
  void TearDown() override {
    if (aeffect) {
      dispatch(effEditClose);
      dispatch(effClose);
    }
    if (display) {
      if (parent) XDestroyWindow(display, parent);
      XCloseDisplay(display);
    }
  }

  VstIntPtr dispatch(VstInt32 opcode, VstIntPtr value = 0, void* ptr = nullptr) {
    return aeffect->dispatcher(aeffect, opcode, 0, value, ptr, 0.f);
  }
  // Idle calls as a host makes them, about every 10 ms.
  void idleFor(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      dispatch(effEditIdle);
      XSync(display, False);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  // A real left click at a point of the screen.
  void clickAtRoot(int x, int y) {
    XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XSync(display, False);
  }
  // A real left click at a point of the editor, in window coordinates.
  void clickAt(int x, int y) { clickAtRoot(kX + x, kY + y); }

  TempConfigHome config;
  FakeHost host;
  Display* display = nullptr;
  Window parent = 0;
  AudioEffect* effect = nullptr;
  AEffect* aeffect = nullptr;
  Editor* editor = nullptr;
};
