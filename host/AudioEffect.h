// Base effect object: owns the effect record handed to the host, routes the
// record's function pointers to virtual operations and wraps the basic host
// callbacks. Threads: the dispatcher and parameter calls may come on any host
// thread; processReplacing on the audio thread.
#pragma once

#include "host/vst_abi.h"

class AEffEditor;

class AudioEffect {
 public:
  AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
  virtual ~AudioEffect();

  virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                               float opt);

  virtual void open() {}
  virtual void close() {}
  virtual void suspend() {}
  virtual void resume() {}

  virtual void setSampleRate(float newSampleRate) { sampleRate = newSampleRate; }
  virtual void setBlockSize(VstInt32 newBlockSize) { blockSize = newBlockSize; }

  virtual void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) = 0;
  virtual void processDoubleReplacing(double** /*inputs*/, double** /*outputs*/,
                                      VstInt32 /*sampleFrames*/) {}

  virtual void setParameter(VstInt32 /*index*/, float /*value*/) {}
  virtual float getParameter(VstInt32 /*index*/) { return 0; }
  virtual void setParameterAutomated(VstInt32 index, float value);
  // Tells the host a value the plug-in has already given a parameter itself
  // (audioMasterAutomate), so that hosts keeping their own copy follow.
  void reportParameterToHost(VstInt32 index, float value);

  virtual VstInt32 getProgram() { return curProgram; }
  virtual void setProgram(VstInt32 program) { curProgram = program; }
  virtual void setProgramName(char* /*name*/) {}
  virtual void getProgramName(char* name) {
    if (name) *name = 0;
  }
  virtual void getParameterLabel(VstInt32 /*index*/, char* label) {
    if (label) *label = 0;
  }
  virtual void getParameterDisplay(VstInt32 /*index*/, char* text) {
    if (text) *text = 0;
  }
  virtual void getParameterName(VstInt32 /*index*/, char* text) {
    if (text) *text = 0;
  }
  virtual VstInt32 getChunk(void** /*data*/, bool /*isPreset*/ = false) { return 0; }
  virtual VstInt32 setChunk(void* /*data*/, VstInt32 /*byteSize*/, bool /*isPreset*/ = false) {
    return 0;
  }

  virtual void setUniqueID(VstInt32 iD) { cEffect.uniqueID = iD; }
  virtual void setNumInputs(VstInt32 inputs) { cEffect.numInputs = inputs; }
  virtual void setNumOutputs(VstInt32 outputs) { cEffect.numOutputs = outputs; }
  virtual void canProcessReplacing(bool state = true);
  virtual void programsAreChunks(bool state = true);

  virtual AEffect* getAeffect() { return &cEffect; }
  virtual float getSampleRate() { return sampleRate; }
  AEffEditor* getEditor() const { return editor; }
  // Stores the editor and keeps effFlagsHasEditor in step with it.
  void setEditor(AEffEditor* newEditor);

  // Host queries.
  virtual VstInt32 getMasterVersion();
  virtual VstInt32 getCurrentUniqueId();
  virtual void masterIdle();
  virtual bool isInputConnected(VstInt32 input);
  virtual bool isOutputConnected(VstInt32 output);

  // Value texts for parameter displays; always '.' as decimal point.
  virtual void dB2string(float value, char* text, VstInt32 maxLen);
  virtual void float2string(float value, char* text, VstInt32 maxLen);
  virtual void int2string(VstInt32 value, char* text, VstInt32 maxLen);

  // Deprecated accumulating process: leaves the outputs untouched. Last slot,
  // after everything the current interface uses.
  virtual void process(float** /*inputs*/, float** /*outputs*/, VstInt32 /*sampleFrames*/) {}

  audioMasterCallback getAudioMaster() const { return audioMaster; }

 protected:
  // Calls the host with our record; 0 when there is no host.
  VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f);

  audioMasterCallback audioMaster;
  AEffEditor* editor;
  float sampleRate;
  VstInt32 blockSize;
  VstInt32 numPrograms;
  VstInt32 numParams;
  VstInt32 curProgram;
  AEffect cEffect;

 private:
  static VstIntPtr dispatchTrampoline(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                      void* ptr, float opt);
  static void processTrampoline(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames);
  static void processReplacingTrampoline(AEffect* e, float** inputs, float** outputs,
                                         VstInt32 sampleFrames);
  static void processDoubleReplacingTrampoline(AEffect* e, double** inputs, double** outputs,
                                               VstInt32 sampleFrames);
  static void setParameterTrampoline(AEffect* e, VstInt32 index, float value);
  static float getParameterTrampoline(AEffect* e, VstInt32 index);
};

// The factory the entry point calls; defined by the plug-in (creates its effect).
AudioEffect* createEffectInstance(audioMasterCallback audioMaster);

// The entry point's work, shared by the exported names.
AEffect* pluginEntry(audioMasterCallback audioMaster);
