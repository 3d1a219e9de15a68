#include "presets/CPresetSystemEffect.h"

#include <cmath>
#include <cstring>
#include <new>

#include "presets/FactoryPresets.h"

CPresetSystemEffect::CPresetSystemEffect(audioMasterCallback audioMaster)
    : AudioEffectX(audioMaster, 1, kNumHostParams) {
  programsAreChunks(true);
  for (auto& v : assignmentValues)
    v.store(assignmentValue(kNoAssignment), std::memory_order_relaxed);

  chunkBuffer = new (std::nothrow) unsigned char[kChunkSize];
  currentPreset.store(0, std::memory_order_relaxed);
  curProgram = 0;

  presets = new (std::nothrow) PresetRecord[kNumPresets];
  if (presets) fillFactoryPresets();

  parameterController = new (std::nothrow) std::atomic<VstInt32>[kNumParams];
  controllerParameter = new (std::nothrow) std::atomic<VstInt32>[kNumControllers];
  resetControllerMap();

  learnActive.store(false, std::memory_order_relaxed);
  learnTarget.store(kNoAssignment, std::memory_order_relaxed);
  forgetActive.store(false, std::memory_order_relaxed);

  // The plug-in class does not exist yet, so only this class's entry runs.
  loadingPreset.store(true, std::memory_order_relaxed);
  curProgram = 0;
  if (presets) {
    for (VstInt32 i = 0; i < kNumParams; ++i)
      CPresetSystemEffect::setParameter(i, presets[0].values[i]);
  }
  loadingPreset.store(false, std::memory_order_relaxed);
}

CPresetSystemEffect::~CPresetSystemEffect() {
  delete[] presets;
  delete[] chunkBuffer;
  delete[] parameterController;
  delete[] controllerParameter;
}

// Preset values are plain floats shared with the processing thread (MIDI
// stores into the current preset); each is moved as one relaxed atomic word.
float CPresetSystemEffect::storedValue(VstInt32 preset, VstInt32 parameter) const {
  float v;
  __atomic_load(&presets[preset].values[parameter], &v, __ATOMIC_RELAXED);
  return v;
}

void CPresetSystemEffect::storeValue(VstInt32 preset, VstInt32 parameter, float value) {
  __atomic_store(&presets[preset].values[parameter], &value, __ATOMIC_RELAXED);
}

void CPresetSystemEffect::storeName(VstInt32 preset, const char* name) {
  char scratch[kPresetNameLength + 1] = {0};
  if (name) {
    size_t n = 0;
    while (n < static_cast<size_t>(kPresetNameLength) && name[n] != 0) ++n;
    std::memcpy(scratch, name, n);
  }
  std::memcpy(presets[preset].name, scratch, kPresetNameLength);
  stateChanged();
}

void CPresetSystemEffect::copyName(VstInt32 preset, char* text) const {
  std::memcpy(text, presets[preset].name, kPresetNameLength);
  text[kPresetNameLength] = 0;
}

VstInt32 CPresetSystemEffect::getCurrentPreset() {
  return currentPreset.load(std::memory_order_relaxed);
}

void CPresetSystemEffect::selectPreset(VstInt32 index) {
  // Callers pass 0..16; anything else would read outside the bank.
  if (!presets || index < 0 || index >= kNumPresets) return;
  loadingPreset.store(true, std::memory_order_release);
  curProgram = 0;
  currentPreset.store(index, std::memory_order_relaxed);
  float values[kNumParams];
  for (VstInt32 i = 0; i < kNumParams; ++i) values[i] = storedValue(index, i);
  applyPresetValues(values);
  stateChanged();
  updateDisplay();
  loadingPreset.store(false, std::memory_order_release);
}

void CPresetSystemEffect::applyPresetValues(const float* values) {
  for (VstInt32 i = 0; i < kNumParams; ++i) setParameter(i, values[i]);
}

void CPresetSystemEffect::renameCurrentPreset(const char* name) {
  curProgram = 0;
  if (presets && name) storeName(getCurrentPreset(), name);
  updateDisplay();
}

VstInt32 CPresetSystemEffect::getPluginId() {
  return cEffect.uniqueID;
}

void CPresetSystemEffect::loadDefaults() {
  if (PresetEditorInterface* e = presetEditor()) e->loadStoredDefaults();
}

void CPresetSystemEffect::fillFactoryPresets() {
  if (!presets) return;
  for (VstInt32 p = 0; p < kNumPresets; ++p) {
    storeName(p, kFactoryPresets[p].name);
    for (VstInt32 i = 0; i < kNumParams; ++i) storeValue(p, i, kFactoryPresets[p].values[i]);
  }
}

void CPresetSystemEffect::resume() {
  wantEvents(1);
}

void CPresetSystemEffect::setParameter(VstInt32 index, float value) {
  // Without the store or the controller tables the preset system is out of
  // service as a whole; the plug-in class still drives its engine.
  if (!presets || !hasTables()) return;
  if (index >= 0 && index < kNumParams) {
    // While a whole preset is applied its own values pass through here; they
    // are neither written back nor taken as learn or forget gestures.
    if (loadingPreset.load(std::memory_order_acquire)) return;
    // The store holds only what a state may hold, or a saved state could not
    // be restored; the effect's class records what its engine took.
    if (value != value) return;
    storeValue(getCurrentPreset(), index, value < 0.0f ? 0.0f : value > 1.0f ? 1.0f : value);
    if (learnActive.load(std::memory_order_relaxed))
      learnTarget.store(index, std::memory_order_relaxed);
    if (forgetActive.load(std::memory_order_relaxed)) {
      unassignParameter(index);
      stopForget();
    }
  } else if (index >= kNumParams && index < kNumHostParams) {
    applyAssignmentValue(index - kNumParams, value);
  }
}

void CPresetSystemEffect::recordTakenValue(VstInt32 index, float value) {
  if (!presets || !hasTables() || index < 0 || index >= kNumParams) return;
  if (!isStorableValue(value)) return;
  if (loadingPreset.load(std::memory_order_acquire)) return;
  storeValue(getCurrentPreset(), index, value);
}

namespace {
// Six significant digits are off by at most 5e-6 of the value.
bool nearlyEqual(float value, float held) {
  return std::fabs(value - held) <= 1e-5f * std::fabs(held);
}
}  // namespace

bool CPresetSystemEffect::isHostEcho(VstInt32 index, float value) {
  if (index < 0 || index >= kNumParams) return false;
  if (nearlyEqual(value, getParameter(index))) return true;
  // The effect heeds no value now, and this one is what the preset was saved
  // with: recording the effect's own value instead would change the preset.
  return keepsOwnValue(index) && presets &&
         nearlyEqual(value, storedValue(getCurrentPreset(), index));
}

float CPresetSystemEffect::getParameter(VstInt32 index) {
  if (index >= kNumParams && index < kNumHostParams) {
    if (!presets || !hasTables()) return -1.0f;
    return assignmentHostValue(
        parameterController[index - kNumParams].load(std::memory_order_relaxed));
  }
  // The plug-in class answers the sound parameters from the engine; this is
  // the stored value for a class that does not.
  if (index >= 0 && index < kNumParams && presets) return storedValue(getCurrentPreset(), index);
  return 0.0f;
}

void CPresetSystemEffect::setProgramName(char* name) {
  if (!presets || !name) return;
  char scratch[kPresetNameLength + 1] = {0};
  size_t n = 0;
  while (n < static_cast<size_t>(kPresetNameLength) && name[n] != 0) ++n;
  std::memcpy(scratch, name, n);
  // The strip shows the stored name at its next idle: this request may come
  // on any host thread, and the editor's controls belong to the UI thread.
  storeName(getCurrentPreset(), scratch);
}

void CPresetSystemEffect::getProgramName(char* name) {
  if (!name) return;
  if (!presets) {
    name[0] = 0;
    return;
  }
  copyName(getCurrentPreset(), name);
}

bool CPresetSystemEffect::getProgramNameIndexed(VstInt32 /*category*/, VstInt32 index, char* text) {
  if (!presets || !text || index < 0 || index >= kNumPresets) return false;
  copyName(index, text);
  return true;
}

VstInt32 CPresetSystemEffect::canDo(char* text) {
  // MIDI input is declared whatever the host says of its own output: some
  // scanners (Qtractor's) ask before saying they send MIDI and would then
  // route none to us. "receiveVstEvents" stays unanswered: MusE files every
  // plug-in that can receive VST events as an instrument, and Ardour and
  // Qtractor find the MIDI input by the question above.
  if (!text) return 0;
  return std::strcmp(text, "receiveVstMidiEvent") == 0 ? 1 : 0;
}
