#include "host/AudioEffectX.h"

#include <cmath>

#include "host/AEffEditor.h"

namespace {
// The low 8 bits of a float truncated to an integer; out-of-range floats are
// not converted at all (that would be undefined), they give 0.
unsigned char lowByteOf(float opt) {
  if (!std::isfinite(opt) || opt >= 2147483648.0f || opt < -2147483648.0f) return 0;
  return static_cast<unsigned char>(static_cast<VstInt32>(opt) & 0xFF);
}
}  // namespace

VstInt32 AudioEffectX::getPlugCategory() {
  return (cEffect.flags & effFlagsIsSynth) ? kPlugCategSynth : kPlugCategUnknown;
}

bool AudioEffectX::getSpeakerArrangement(void** pluginInput, void** pluginOutput) {
  if (pluginInput) *pluginInput = nullptr;
  if (pluginOutput) *pluginOutput = nullptr;
  return false;
}

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                   float opt) {
  switch (opcode) {
    case effProcessEvents:
      return processEvents(static_cast<VstEvents*>(ptr));
    case effCanBeAutomated:
      return canParameterBeAutomated(index) ? 1 : 0;
    case effString2Parameter:
      return string2parameter(index, static_cast<char*>(ptr)) ? 1 : 0;
    case effGetProgramNameIndexed:
      if (!ptr) return 0;
      return getProgramNameIndexed(static_cast<VstInt32>(value), index, static_cast<char*>(ptr))
                 ? 1
                 : 0;
    case effGetInputProperties:
      return getInputProperties(index, ptr) ? 1 : 0;
    case effGetOutputProperties:
      return getOutputProperties(index, ptr) ? 1 : 0;
    case effGetPlugCategory:
      return getPlugCategory();
    case effOfflineNotify:
    case effOfflinePrepare:
    case effOfflineRun:
    case effProcessVarIo:
      return 0;
    case effSetSpeakerArrangement:
      return setSpeakerArrangement(reinterpret_cast<void*>(value), ptr) ? 1 : 0;
    case effSetBypass:
      return setBypass(value != 0) ? 1 : 0;
    case effGetEffectName:
      if (!ptr) return 0;
      return getEffectName(static_cast<char*>(ptr)) ? 1 : 0;
    case effGetVendorString:
      if (!ptr) return 0;
      return getVendorString(static_cast<char*>(ptr)) ? 1 : 0;
    case effGetProductString:
      if (!ptr) return 0;
      return getProductString(static_cast<char*>(ptr)) ? 1 : 0;
    case effGetVendorVersion:
      return getVendorVersion();
    case effVendorSpecific:
      // The public scale extension some hosts send (Carla on Linux, JUCE
      // hosts): index 'PreS', value 'AeCs', opt the scale factor.
      if (index == vstFourCC('P', 'r', 'e', 'S') && value == vstFourCC('A', 'e', 'C', 's'))
        return editor && editor->setScaleFactor(opt) ? 1 : 0;
      return vendorSpecific(index, value, ptr, opt);
    case effCanDo:
      if (!ptr) return 0;
      return canDo(static_cast<char*>(ptr));
    case effGetTailSize:
      return getGetTailSize();
    case effGetParameterProperties:
      if (!ptr) return 0;
      return getParameterProperties(index, static_cast<VstParameterProperties*>(ptr)) ? 1 : 0;
    case effGetVstVersion:
      return getVstVersion();
    case effEditKeyDown:
    case effEditKeyUp: {
      if (!editor) return 0;
      VstKeyCode key;
      key.character = index;
      key.virt = static_cast<unsigned char>(value & 0xFF);
      key.modifier = lowByteOf(opt);
      bool used = opcode == effEditKeyDown ? editor->onKeyDown(key) : editor->onKeyUp(key);
      return used ? 1 : 0;
    }
    case effSetEditKnobMode:
      if (!editor) return 0;
      return editor->setKnobMode(static_cast<VstInt32>(value)) ? 1 : 0;
    case effGetMidiProgramName:
    case effGetMidiProgramCategory:
    case effHasMidiProgramsChanged:
    case effGetMidiKeyName:
    case effBeginSetProgram:
    case effEndSetProgram:
      return 0;
    case effGetCurrentMidiProgram:
      return getCurrentMidiProgram(index, ptr);
    case effGetSpeakerArrangement:
      return getSpeakerArrangement(reinterpret_cast<void**>(value), static_cast<void**>(ptr)) ? 1
                                                                                              : 0;
    case effShellGetNextPlugin:
    case effStartProcess:
    case effStopProcess:
      return 0;
    case effSetTotalSampleToProcess:
      return setTotalSampleToProcess(static_cast<VstInt32>(value));
    case effSetPanLaw:
    case effBeginLoadBank:
    case effBeginLoadProgram:
    case effSetProcessPrecision:
    case effGetNumMidiInputChannels:
    case effGetNumMidiOutputChannels:
      return 0;
    default:
      return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
  }
}

VstTimeInfo* AudioEffectX::getTimeInfo(VstInt32 filter) {
  if (!audioMaster) return nullptr;
  return reinterpret_cast<VstTimeInfo*>(callHost(audioMasterGetTime, 0, filter));
}

bool AudioEffectX::wantEvents(VstInt32 filter) {
  if (!audioMaster) return false;
  return callHost(audioMasterWantMidi, 0, filter) != 0;
}

VstInt32 AudioEffectX::canHostDo(char* text) {
  if (!audioMaster) return 0;
  return static_cast<VstInt32>(callHost(audioMasterCanDo, 0, 0, text));
}

bool AudioEffectX::updateDisplay() {
  return callHost(audioMasterUpdateDisplay) != 0;
}

bool AudioEffectX::sizeWindow(VstInt32 width, VstInt32 height) {
  return callHost(audioMasterSizeWindow, width, height) != 0;
}

bool AudioEffectX::beginEdit(VstInt32 index) {
  return callHost(audioMasterBeginEdit, index) != 0;
}

bool AudioEffectX::endEdit(VstInt32 index) {
  return callHost(audioMasterEndEdit, index) != 0;
}
