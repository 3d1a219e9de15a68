// The editor binding against an effect and a recording host.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "ToolkitTestSupport.h"
#include "host/AudioEffectX.h"
#include "tests/support/FakeHost.h"
#include "toolkit/OffscreenFrame.h"
#include "toolkit/Toolkit.h"

namespace {

class TestEffect : public AudioEffectX {
 public:
  explicit TestEffect(audioMasterCallback host) : AudioEffectX(host, 1, 8) {}
  void processReplacing(float**, float**, VstInt32) override {}
};

// An editor with one knob (tag 6), built the way a plug-in's editor is.
class KnobEditor : public AEffGUIEditor {
 public:
  explicit KnobEditor(AudioEffect* fx) : AEffGUIEditor(fx) {
    rect.right = 100;
    rect.bottom = 50;
  }
  bool open(void* parent) override {
    AEffGUIEditor::open(parent);
    frame = new CFrame(CRect(0, 0, 100, 50), parent, this);
    knob = new CAnimKnob(CRect(10, 10, 40, 40), nullptr, 6, 10, 30, nullptr);
    knob->setValue(0.5f);
    frame->addView(knob);
    setKnobMode(kLinearMode);
    return true;
  }
  void close() override {
    knob = nullptr;
    AEffGUIEditor::close();
  }
  CAnimKnob* knob = nullptr;
};

TEST(Binding, RegistersWithTheEffectAndReportsItsRect) {
  FakeHost host;
  auto* fx = new TestEffect(FakeHost::callback());
  auto* editor = new KnobEditor(fx);
  EXPECT_EQ(fx->getEditor(), editor);
  EXPECT_NE(fx->getAeffect()->flags & effFlagsHasEditor, 0);
  ERect* r = nullptr;
  ASSERT_TRUE(editor->getRect(&r));
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->right, 100);
  EXPECT_EQ(r->bottom, 50);
  EXPECT_EQ(r->top, 0);
  EXPECT_FALSE(editor->getRect(nullptr));
  delete fx;  // deletes the editor too
}

TEST(Binding, KnobGestureReachesTheHostAsBeginAndEndEdit) {
  FakeHost host;
  auto* fx = new TestEffect(FakeHost::callback());
  auto* editor = new KnobEditor(fx);
  ASSERT_TRUE(editor->open(nullptr));
  CFrame* frame = editor->getFrame();
  ASSERT_NE(frame, nullptr);
  EXPECT_FALSE(frame->isWindowed());
  toolkit::OffscreenFrame drv(frame);
  drv.mouseDown(CPoint(20, 30));
  drv.mouseMoved(CPoint(20, 10), kLButton);
  drv.mouseUp(CPoint(20, 10));
  EXPECT_NEAR(editor->knob->getValue(), 0.6f, 1e-6);
  std::vector<VstInt32> edits;
  for (const HostCall& c : host.calls)
    if (c.opcode == audioMasterBeginEdit || c.opcode == audioMasterEndEdit) {
      edits.push_back(c.opcode);
      EXPECT_EQ(c.index, 6);
    }
  EXPECT_EQ(edits, (std::vector<VstInt32>{audioMasterBeginEdit, audioMasterEndEdit}));
  editor->close();
  EXPECT_EQ(editor->getFrame(), nullptr);
  delete fx;
}

TEST(Binding, IdleStuffGivesTheHostIdleTimeButIdleDoesNot) {
  FakeHost host;
  auto* fx = new TestEffect(FakeHost::callback());
  auto* editor = new KnobEditor(fx);
  editor->open(nullptr);
  editor->idle();
  EXPECT_EQ(host.count(audioMasterIdle), 0);
  editor->doIdleStuff();
  EXPECT_EQ(host.count(audioMasterIdle), 1);
  editor->close();
  editor->doIdleStuff();  // closed: still gives idle time, touches no frame
  EXPECT_EQ(host.count(audioMasterIdle), 2);
  delete fx;
}

TEST(Binding, KnobModeIsProcessWide) {
  AEffGUIEditor first(nullptr);
  AEffGUIEditor second(nullptr);
  EXPECT_TRUE(first.setKnobMode(kLinearMode));
  EXPECT_EQ(AEffGUIEditor::getKnobMode(), kLinearMode);
  EXPECT_TRUE(second.setKnobMode(kRelativCircularMode));
  EXPECT_EQ(AEffGUIEditor::getKnobMode(), kRelativCircularMode);
  first.setKnobMode(kCircularMode);
}

TEST(Binding, TicksCountMillisecondsForward) {
  AEffGUIEditor editor(nullptr);
  const uint32_t t0 = editor.getTicks();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  const uint32_t t1 = editor.getTicks();
  EXPECT_GE(t1 - t0, 29u);
  EXPECT_LT(t1 - t0, 5000u);
}

TEST(Binding, WheelAndKeysGoThroughTheFrame) {
  FakeHost host;
  auto* fx = new TestEffect(FakeHost::callback());
  auto* editor = new KnobEditor(fx);
  editor->open(nullptr);
  editor->knob->setWheelInc(0.25f);
  EXPECT_FALSE(editor->onWheel(1.f));  // mouse position not known yet
  toolkit::OffscreenFrame drv(editor->getFrame());
  drv.mouseMoved(CPoint(20, 20));
  EXPECT_TRUE(editor->onWheel(1.f));
  EXPECT_FLOAT_EQ(editor->knob->getValue(), 0.75f);
  VstKeyCode key{0, VKEY_UP, 0};
  EXPECT_FALSE(editor->onKeyDown(key));  // no focus view
  editor->getFrame()->setFocusView(editor->knob);
  EXPECT_TRUE(editor->onKeyDown(key));
  EXPECT_FLOAT_EQ(editor->knob->getValue(), 1.f);
  delete fx;  // closes the still open frame
}

}  // namespace
