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
  // The host asks for the editor at `scale` times its size (1 = 100 %), when
  // it opens it or while it is open; 0 or less withdraws the request. true
  // when the editor takes requests.
  virtual bool setScaleFactor(float /*scale*/) { return false; }
  // The effect's one hook into its editor: called after every parameter
  // change, on whichever thread made it (a host may automate from its own).
  virtual void setParameter(VstInt32 /*index*/, float /*value*/) {}

 protected:
  AudioEffect* effect;
  void* systemWindow = nullptr;
};

// The factory the effect calls during its construction to get its editor;
// defined by the plug-in's editor. The editor registers itself with the effect
// (setEditor); the pointer is also returned. Null when it cannot be created.
AEffEditor* createPluginEditor(AudioEffect* effect);
