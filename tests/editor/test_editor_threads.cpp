// The editor's lifetime against the other threads a host runs: its automation
// thread sets parameters and its audio thread delivers controller messages
// that drive one (and end a MIDI learn), at any moment, while the UI thread
// opens and closes the editor over and over. Under AddressSanitizer a control
// touched after close is a use after free; under ThreadSanitizer any control
// touched off the UI thread is a race.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "editor/Editor.h"
#include "editor/controls/CPSOnOffButton.h"
#include "engine/ParameterIds.h"
#include "host/AudioEffect.h"
#include "presets/CPresetSystemEffect.h"
#include "tests/support/TempConfigHome.h"
#include "toolkit/CControl.h"

// Xlib's macros would break the test framework's headers.
#include <X11/Xlib.h>

#include "tests/support/XvfbServer.h"

namespace {

// Answers without keeping records, so it is safe from any thread.
VstIntPtr quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

constexpr int kController = 7;
constexpr VstInt32 kDriven = kFbck;

class EditorLifetime : public ::testing::Test {
 protected:
  void SetUp() override {
    e = pluginEntry(&quietHost);
    ASSERT_NE(e, nullptr);
    effect = static_cast<AudioEffect*>(e->object);
    fx = dynamic_cast<CPresetSystemEffect*>(effect);
    editor = dynamic_cast<Editor*>(effect->getEditor());
    ASSERT_NE(fx, nullptr);
    ASSERT_NE(editor, nullptr);
    dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
    dispatch(effSetBlockSize, 0, 64);
    dispatch(effMainsChanged, 0, 1);
    fx->assignController(kDriven, kController);
  }
  void TearDown() override {
    if (!e) return;
    dispatch(effEditClose);
    dispatch(effMainsChanged, 0, 0);
    dispatch(effClose);
  }
  VstIntPtr dispatch(VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0) {
    return e->dispatcher(e, op, index, value, ptr, opt);
  }

  // Opens (with `parent` as the host's window, null for offscreen), idles and
  // closes the editor while the other threads run: at least kMinCycles times,
  // then until `cycles` are done or the time is up. Returns the cycles done.
  static constexpr int kMinCycles = 50;
  int openAndCloseUnderFire(void* parent, int cycles, std::chrono::milliseconds limit) {
    std::atomic<bool> stop{false};
    std::thread automation([&] {
      unsigned seed = 1;
      while (!stop.load(std::memory_order_relaxed)) {
        seed = seed * 1103515245u + 12345u;
        const VstInt32 index = static_cast<VstInt32>(seed >> 8) % kNumParams;
        e->setParameter(e, index, static_cast<float>((seed >> 12) % 1000) / 999.0f);
      }
    });
    std::thread audio([&] {
      std::vector<float> l(64, 0.1f), r(64, 0.1f);
      float* ins[2] = {l.data(), r.data()};
      float* outs[2] = {l.data(), r.data()};
      VstMidiEvent cc{};
      cc.type = kVstMidiType;
      cc.byteSize = sizeof cc;
      cc.midiData[0] = static_cast<char>(0xB0);
      cc.midiData[1] = kController;
      VstEvents events{};
      events.numEvents = 1;
      events.events[0] = reinterpret_cast<VstEvent*>(&cc);
      int n = 0;
      while (!stop.load(std::memory_order_relaxed)) {
        cc.midiData[2] = static_cast<char>(n++ % 128);
        dispatch(effProcessEvents, 0, 0, &events);
        e->processReplacing(e, ins, outs, 64);
      }
    });
    const auto end = std::chrono::steady_clock::now() + limit;
    int done = 0;
    while (done < kMinCycles || (done < cycles && std::chrono::steady_clock::now() < end)) {
      if (dispatch(effEditOpen, 0, 0, parent) != 1) break;
      // A learn the next controller message ends from the audio thread.
      fx->startLearn();
      fx->setLearnTarget(kDriven);
      dispatch(effEditIdle);
      dispatch(effEditClose);
      ++done;
    }
    stop = true;
    automation.join();
    audio.join();
    return done;
  }

  // With the threads gone: a value the automation thread sets, and a learn
  // the audio thread ends, show in the open editor by the next idle.
  void expectOtherThreadsShownByNextIdle(void* parent) {
    ASSERT_EQ(dispatch(effEditOpen, 0, 0, parent), 1);
    dispatch(effEditIdle);
    for (const float v : {0.125f, 0.875f}) {
      std::thread([&] { e->setParameter(e, kMix, v); }).join();
      dispatch(effEditIdle);
      EXPECT_FLOAT_EQ(editor->getParameterControl(kMix)->getValue(), v);
    }
    editor->getLearnButton()->setValue(1.f);
    fx->startLearn();
    fx->setLearnTarget(kMix);
    std::thread([&] {
      VstMidiEvent cc{};
      cc.type = kVstMidiType;
      cc.byteSize = sizeof cc;
      cc.midiData[0] = static_cast<char>(0xB0);
      cc.midiData[1] = 9;
      cc.midiData[2] = 64;
      VstEvents events{};
      events.numEvents = 1;
      events.events[0] = reinterpret_cast<VstEvent*>(&cc);
      dispatch(effProcessEvents, 0, 0, &events);
    }).join();
    EXPECT_FALSE(fx->isLearnActive());
    dispatch(effEditIdle);
    EXPECT_FLOAT_EQ(editor->getLearnButton()->getValue(), 0.f);
    EXPECT_FLOAT_EQ(editor->getParameterControl(kMix)->getValue(), 64.f / 127.f);
    dispatch(effEditClose);
  }

  TempConfigHome config;
  AEffect* e = nullptr;
  AudioEffect* effect = nullptr;
  CPresetSystemEffect* fx = nullptr;
  Editor* editor = nullptr;
};

TEST_F(EditorLifetime, OffscreenEditorOpensAndClosesWhileHostThreadsSetParameters) {
  const int done = openAndCloseUnderFire(nullptr, 3000, std::chrono::seconds(3));
  RecordProperty("cycles", done);
  EXPECT_GE(done, kMinCycles);
  expectOtherThreadsShownByNextIdle(nullptr);
}

TEST_F(EditorLifetime, X11EditorOpensAndClosesWhileHostThreadsSetParameters) {
  XvfbServer& server = XvfbServer::shared();
  if (!server.running()) GTEST_SKIP() << "Xvfb is not installed";
  setenv("DISPLAY", server.display().c_str(), 1);
  Display* display = openTestDisplay(server.display().c_str());
  ASSERT_NE(display, nullptr);
  const int screen = DefaultScreen(display);
  const Window parent = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, 870, 101, 0,
                                            BlackPixel(display, screen), 0);
  XMapRaised(display, parent);
  XSync(display, False);
  void* parentPtr = reinterpret_cast<void*>(static_cast<uintptr_t>(parent));

  const int done = openAndCloseUnderFire(parentPtr, 2000, std::chrono::seconds(3));
  RecordProperty("cycles", done);
  EXPECT_GE(done, kMinCycles);
  expectOtherThreadsShownByNextIdle(parentPtr);

  XDestroyWindow(display, parent);
  XCloseDisplay(display);
}

}  // namespace
