// The plug-in: the preset system's effect with the delay engine inside.
// Threads: parameter calls on any thread, processReplacing on the audio
// thread, everything else on the host's UI thread (see DelayEngine).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "engine/EngineStatus.h"
#include "engine/dsp/DelayEngine.h"
#include "presets/CPresetSystemEffect.h"

class VEK : public CPresetSystemEffect {
 public:
  explicit VEK(audioMasterCallback audioMaster);
  ~VEK() override;

  // Host interface.
  void setParameter(VstInt32 index, float value) override;
  float getParameter(VstInt32 index) override;
  void getParameterName(VstInt32 index, char* text) override;
  void getParameterLabel(VstInt32 index, char* label) override;
  void getParameterDisplay(VstInt32 index, char* text) override;
  bool getParameterProperties(VstInt32 index, VstParameterProperties* p) override;
  bool getEffectName(char* name) override;
  bool getVendorString(char* text) override;
  bool getProductString(char* text) override;
  void resume() override;
  void suspend() override;
  void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
  void processDoubleReplacing(double** inputs, double** outputs, VstInt32 sampleFrames) override;

  // For the editor.
  void setTempoFromControl(float value);
  float getTempo();
  EngineStatus readStatus();

  // The engine itself, for diagnostics and tests.
  const DelayEngine& engine() const { return dsp; }

  // Why the effect does not run at `rate` (one DelayEngine does not
  // support), for the messages of both builds; '.' whatever the locale.
  static std::string rateRefusal(double rate);

 protected:
  // Sync is lifted and the hold ordered so a preset comes back as it was saved.
  void applyPresetValues(const float* values) override;
  // The delay while synced or held, and Dly<>Clk while held.
  bool keepsOwnValue(VstInt32 index) override;

 private:
  DelayEngine dsp;
  std::atomic<uint32_t> processCalls{0};  // written by the audio thread only
  bool rateRefusalSaid = false;           // once per instance, not at every resume
};

// Parameter names as the host shows them.
extern const char* const kParameterNames[kNumParams];
