// Extended effect interface: the opcodes 25..79 and the extended host queries.
#pragma once

#include "host/AudioEffect.h"

class AudioEffectX : public AudioEffect {
 public:
  AudioEffectX(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
      : AudioEffect(audioMaster, numPrograms, numParams) {}

  VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                       float opt) override;

  virtual VstInt32 processEvents(VstEvents* /*events*/) { return 0; }
  virtual bool canParameterBeAutomated(VstInt32 /*index*/) { return true; }
  virtual bool string2parameter(VstInt32 /*index*/, char* /*text*/) { return false; }
  virtual bool getProgramNameIndexed(VstInt32 /*category*/, VstInt32 /*index*/, char* /*text*/) {
    return false;
  }
  virtual bool getInputProperties(VstInt32 /*index*/, void* /*properties*/) { return false; }
  virtual bool getOutputProperties(VstInt32 /*index*/, void* /*properties*/) { return false; }
  virtual VstInt32 getPlugCategory();
  virtual bool setSpeakerArrangement(void* /*pluginInput*/, void* /*pluginOutput*/) {
    return false;
  }
  virtual bool setBypass(bool /*onOff*/) { return false; }
  virtual bool getEffectName(char* /*name*/) { return false; }
  virtual bool getVendorString(char* /*text*/) { return false; }
  virtual bool getProductString(char* /*text*/) { return false; }
  virtual VstInt32 getVendorVersion() { return 0; }
  virtual VstIntPtr vendorSpecific(VstInt32, VstIntPtr, void*, float) { return 0; }
  virtual VstInt32 canDo(char* /*text*/) { return 0; }
  virtual VstInt32 getGetTailSize() { return 0; }
  virtual bool getParameterProperties(VstInt32 /*index*/, VstParameterProperties* /*p*/) {
    return false;
  }
  virtual VstInt32 getVstVersion() { return kVstVersion; }
  virtual VstInt32 getCurrentMidiProgram(VstInt32 /*channel*/, void* /*currentProgram*/) {
    return -1;
  }
  virtual bool getSpeakerArrangement(void** pluginInput, void** pluginOutput);
  virtual VstInt32 setTotalSampleToProcess(VstInt32 value) { return value; }

  // Extended host queries.
  virtual VstTimeInfo* getTimeInfo(VstInt32 filter);
  virtual bool wantEvents(VstInt32 filter = 1);
  virtual VstInt32 canHostDo(char* text);
  virtual bool updateDisplay();
  virtual bool beginEdit(VstInt32 index);
  // Asks the host to give the editor's window this size; true when it did.
  virtual bool sizeWindow(VstInt32 width, VstInt32 height);
  virtual bool endEdit(VstInt32 index);
};
