// Base class of the editor as the dispatcher sees it. The toolkit's binding and
// the plug-in's editor derive from it; every editor opcode lands on one of these.
#pragma once

#include "host/vst_abi.h"

class AudioEffect;

class AEffEditor {
 public:
  explicit AEffEditor(AudioEffect* effect) : effect(effect) {}
  virtual ~AEffEditor() {}

  virtual AudioEffect* getEffect() { return effect; }
  virtual bool getRect(ERect** rect) {
    if (rect) *rect = nullptr;
    return false;
  }
  virtual bool open(void* ptr) {
    systemWindow = ptr;
    return false;
  }
  virtual void close() { systemWindow = nullptr; }
  virtual bool isOpen() { return systemWindow != nullptr; }
  virtual void idle() {}
  virtual bool onKeyDown(VstKeyCode& /*keyCode*/) { return false; }
  virtual bool onKeyUp(VstKeyCode& /*keyCode*/) { return false; }
  virtual bool onWheel(float /*distance*/) { return false; }
  virtual bool setKnobMode(VstInt32 /*val*/) { return false; }

 protected:
  AudioEffect* effect;
  void* systemWindow = nullptr;
};
