// The editor as the README and the reference images show it: a fresh instance
// (factory preset 0) at 44.1 kHz, resumed, its editor opened offscreen at a
// scale asked for as a host asks (the public scale extension), after three
// idles. The caller points XDG_CONFIG_HOME at a folder without a stored size.
#pragma once

#include "editor/Editor.h"
#include "host/AudioEffect.h"
#include "toolkit/CFrame.h"
#include "toolkit/OffscreenFrame.h"

class ShownEditor {
 public:
  ShownEditor(audioMasterCallback host, float scale) {
    effect = createEffectInstance(host);
    if (!effect) return;
    aeffect = effect->getAeffect();
    dispatch(effSetSampleRate, 0, 0, nullptr, 44100.f);
    dispatch(effMainsChanged, 0, 1);
    dispatch(effVendorSpecific, vstFourCC('P', 'r', 'e', 'S'), vstFourCC('A', 'e', 'C', 's'),
             nullptr, scale);
    if (dispatch(effEditOpen) != 1) return;
    editor = static_cast<Editor*>(effect->getEditor());
    for (int i = 0; i < 3; ++i) dispatch(effEditIdle);
    driver = new toolkit::OffscreenFrame(editor->getFrame());
  }
  ~ShownEditor() {
    delete driver;
    if (!aeffect) return;
    if (editor) dispatch(effEditClose);
    dispatch(effClose);
  }
  ShownEditor(const ShownEditor&) = delete;
  ShownEditor& operator=(const ShownEditor&) = delete;

  VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.f) {
    return aeffect->dispatcher(aeffect, opcode, index, value, ptr, opt);
  }
  CFrame* frame() const { return editor ? editor->getFrame() : nullptr; }

  AudioEffect* effect = nullptr;
  AEffect* aeffect = nullptr;
  Editor* editor = nullptr;  // null when the editor did not open
  toolkit::OffscreenFrame* driver = nullptr;
};
