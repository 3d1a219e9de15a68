// A whole plug-in with its editor open on the offscreen backend, a recording
// host and a private settings folder.
#pragma once

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "editor/Editor.h"
#include "host/AudioEffect.h"
#include "tests/support/FakeHost.h"
#include "tests/support/TempConfigHome.h"
#include "toolkit/CControl.h"
#include "toolkit/CFrame.h"
#include "toolkit/OffscreenFrame.h"

typedef std::pair<VstInt32, VstInt32> HostEvent;  // opcode, index

class EditorFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    effect = createEffectInstance(FakeHost::callback());
    ASSERT_NE(effect, nullptr);
    editor = dynamic_cast<Editor*>(effect->getEditor());
    ASSERT_NE(editor, nullptr);
    aeffect = effect->getAeffect();
    ASSERT_EQ(dispatch(effEditOpen), 1);
    ASSERT_NE(editor->getFrame(), nullptr);
    driver = new toolkit::OffscreenFrame(editor->getFrame());
    host.calls.clear();
  }
  void TearDown() override {
    delete driver;
    if (aeffect) {
      dispatch(effEditClose);
      dispatch(effClose);
    }
  }

  VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.f) {
    return aeffect->dispatcher(aeffect, opcode, index, value, ptr, opt);
  }
  // As the host does it: through the record, not reported back.
  void hostSets(VstInt32 index, float value) { aeffect->setParameter(aeffect, index, value); }
  float param(VstInt32 index) { return aeffect->getParameter(aeffect, index); }
  void idle() { dispatch(effEditIdle); }

  CFrame* frame() const { return editor->getFrame(); }
  CControl* control(int32_t tag) const {
    for (int32_t i = 0; i < frame()->getNbViews(); ++i)
      if (auto* c = dynamic_cast<CControl*>(frame()->getView(i)))
        if (c->getTag() == tag) return c;
    return nullptr;
  }
  CPoint centre(int32_t tag) const {
    CControl* c = control(tag);
    return c ? c->getViewSize().getCenter() : CPoint(-1, -1);
  }
  // Each click well apart from the last, so no two make a double click.
  void click(int32_t tag, CButtonState buttons = kLButton) {
    driver->advanceTime(1000);
    driver->click(centre(tag), buttons);
  }

  // Edit brackets and automation reaching the host, in order.
  std::vector<HostEvent> edits() const {
    std::vector<HostEvent> out;
    for (const HostCall& c : host.calls)
      if (c.opcode == audioMasterAutomate || c.opcode == audioMasterBeginEdit ||
          c.opcode == audioMasterEndEdit)
        out.push_back({c.opcode, c.index});
    return out;
  }
  std::vector<float> automated(VstInt32 index) const {
    std::vector<float> out;
    for (const HostCall& c : host.calls)
      if (c.opcode == audioMasterAutomate && c.index == index) out.push_back(c.opt);
    return out;
  }
  int automateCount() const { return host.count(audioMasterAutomate); }

  TempConfigHome config;
  FakeHost host;
  AudioEffect* effect = nullptr;
  AEffect* aeffect = nullptr;
  Editor* editor = nullptr;
  toolkit::OffscreenFrame* driver = nullptr;
};

inline HostEvent beginOf(VstInt32 i) {
  return {audioMasterBeginEdit, i};
}
inline HostEvent endOf(VstInt32 i) {
  return {audioMasterEndEdit, i};
}
inline HostEvent automateOf(VstInt32 i) {
  return {audioMasterAutomate, i};
}
