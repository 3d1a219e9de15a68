// The toolkit's binding of a frame to the VST 2.4 editor interface.
// Threads: everything here runs on the host's UI thread, except setParameter,
// which a host may call from its automation thread (it only moves values).
#pragma once

#include <cstdint>

#include "host/AEffEditor.h"

class AudioEffect;
class CFrame;

enum { kCircularMode = 0, kRelativCircularMode = 1, kLinearMode = 2 };

class AEffGUIEditor : public AEffEditor {
 public:
  explicit AEffGUIEditor(AudioEffect* effect);  // registers itself with effect->setEditor
  ~AEffGUIEditor() override;

  bool getRect(ERect** ppRect) override;
  bool open(void* ptr) override;
  void close() override;
  void idle() override;
  bool onKeyDown(VstKeyCode& keyCode) override;
  bool onKeyUp(VstKeyCode& keyCode) override;
  bool onWheel(float distance) override;
  bool setKnobMode(VstInt32 val) override;

  // Called by the effect after every parameter change.
  virtual void setParameter(VstInt32 /*index*/, float /*value*/) {}
  // Edit brackets of a user gesture, passed on to the host.
  virtual void beginEdit(VstInt32 index);
  virtual void endEdit(VstInt32 index);

  static VstInt32 getKnobMode();
  uint32_t getTicks();  // milliseconds, monotonic
  void doIdleStuff();   // processes pending window events, gives the host idle time
  CFrame* getFrame() const { return frame; }

 protected:
  ERect rect;
  CFrame* frame = nullptr;
};
