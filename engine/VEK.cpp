#include "engine/VEK.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <new>

#include "host/AEffEditor.h"

namespace {
const char kEffectName[] = "Vantrel Korva";
const char kVendor[] = "vek-sonimark.com";
const char kProduct[] = "Vantrel Korva - clocked stereo repeats, with bends, holds, sync!";
static_assert(sizeof(kEffectName) - 1 <= 32, "effect name limit");
static_assert(sizeof(kVendor) - 1 == 16, "vendor text is the 16-character web address");
static_assert(sizeof(kProduct) - 1 == 64, "product text fills the 64-character limit");

bool copyIdentity(const char* src, std::size_t size, char* text) {
  if (!text) return false;
  std::memcpy(text, src, size);  // terminating zero included
  return true;
}
}  // namespace

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
  if (!audioMaster) return nullptr;
  if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
  return new (std::nothrow) VEK(audioMaster);
}

VEK::VEK(audioMasterCallback audioMaster) : CPresetSystemEffect(audioMaster) {
  setNumInputs(2);
  setNumOutputs(2);
  setUniqueID(kPluginId);
  canProcessReplacing(true);
  // The engine member has set its defaults and allocated its memory by now.
  editor = nullptr;
  setEditor(createPluginEditor(this));
  loadDefaults();
  selectPreset(0);
}

VEK::~VEK() = default;  // the engine frees its memory

bool VEK::getEffectName(char* name) {
  return copyIdentity(kEffectName, sizeof(kEffectName), name);
}

bool VEK::getVendorString(char* text) {
  return copyIdentity(kVendor, sizeof(kVendor), text);
}

bool VEK::getProductString(char* text) {
  return copyIdentity(kProduct, sizeof(kProduct), text);
}

void VEK::resume() {
  CPresetSystemEffect::resume();
  const float rate = getSampleRate();
  if (!dsp.resume(rate) && !rateRefusalSaid) {
    rateRefusalSaid = true;
    std::fprintf(stderr, "korva: %s; the audio passes through dry\n", rateRefusal(rate).c_str());
  }
}

std::string VEK::rateRefusal(double rate) {
  char number[32];
  const auto end = std::to_chars(number, number + sizeof number, rate).ptr;
  return "a sample rate of " + std::string(number, end) + " Hz is outside the " +
         std::to_string(DelayEngine::kMinSampleRate) + " to " +
         std::to_string(DelayEngine::kMaxSampleRate) + " Hz Korva runs at";
}

void VEK::suspend() {
  dsp.suspend();
}

void VEK::applyPresetValues(const float* values) {
  // The hold freezes DlyTime and Dly<>Clk. A preset without it ends the hold
  // first, so its delay is the one heard; a preset with it starts the hold
  // last, so the delay and sync it was saved with come back first. A hold that
  // runs on keeps its loop, sync state included.
  const bool holdAfter = quantizeSteps(values[kRptInf], 2) == 1;
  if (!holdAfter) setParameter(kRptInf, values[kRptInf]);
  if (!dsp.holdRequested()) dsp.clearSyncForPreset();
  for (VstInt32 i = 0; i < kNumParams; ++i)
    if (i != kRptInf) setParameter(i, values[i]);
  if (holdAfter) setParameter(kRptInf, values[kRptInf]);
}

void VEK::setTempoFromControl(float value) {
  dsp.setTempoFromControl(value);
}

float VEK::getTempo() {
  return dsp.getTempo();
}

EngineStatus VEK::readStatus() {
  EngineStatus status = dsp.readStatus();
  status.processCalls = processCalls.load(std::memory_order_relaxed);
  return status;
}
