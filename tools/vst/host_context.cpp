#include "tools/vst/host_context.h"

#include <cmath>
#include <cstring>

namespace khost {

namespace {

thread_local HostContext* loadingContext = nullptr;

constexpr VstInt32 kHostVendorVersion = 1000;

HostContext* contextOf(AEffect* effect) {
  if (effect != nullptr && effect->resvd1 != 0)
    return reinterpret_cast<HostContext*>(effect->resvd1);
  return loadingContext;
}

// Texts the host answers yes to; anything else is "don't know" (0).
bool hostCanDo(const char* text) {
  static const char* const yes[] = {"sendVstEvents",    "sendVstMidiEvent",   "sendVstTimeInfo",
                                    "sizeWindow",       "supplyIdle",         "startStopProcess",
                                    "receiveVstEvents", "receiveVstMidiEvent"};
  for (const char* t : yes)
    if (std::strcmp(text, t) == 0) return true;
  return false;
}

void copyText(void* ptr, const char* text, size_t limit) {
  if (ptr == nullptr) return;
  std::strncpy(static_cast<char*>(ptr), text, limit);
  static_cast<char*>(ptr)[limit] = '\0';
}

}  // namespace

void setLoadingContext(HostContext* context) {
  loadingContext = context;
}

void HostContext::updateTimeInfo() {
  VstTimeInfo t{};
  t.samplePos = static_cast<double>(samplePos);
  t.sampleRate = sampleRate;
  const double seconds = static_cast<double>(samplePos) / sampleRate;
  t.ppqPos = ppqStart + seconds * tempo / 60.0;
  t.tempo = tempo;
  t.nanoSeconds = seconds * 1e9;
  t.timeSigNumerator = 4;
  t.timeSigDenominator = 4;
  t.barStartPos = std::floor(t.ppqPos / 4.0) * 4.0;
  t.flags = kVstTransportPlaying | kVstTempoValid | kVstPpqPosValid | kVstTimeSigValid |
            kVstBarsValid | kVstNanosValid;
  if (samplePos == 0) t.flags |= kVstTransportChanged;
  timeInfo = t;
}

VstIntPtr hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                       float opt) {
  (void)opt;
  HostContext* host = contextOf(effect);
  switch (opcode) {
    case audioMasterVersion:
      return kVstVersion;
    case audioMasterCurrentId:
      return effect != nullptr ? effect->uniqueID : 0;
    case audioMasterAutomate:
      if (host != nullptr) ++host->automateCount;
      return 0;
    case audioMasterIdle:
      return 0;
    case audioMasterPinConnected: {
      // 0 means connected. value 0 asks about an input, 1 about an output.
      if (host == nullptr || index < 0) return 1;
      if (index == 0) return 0;
      if (index == 1)
        return (value == 0 ? host->inputRightConnected : host->outputRightConnected) ? 0 : 1;
      return 1;
    }
    case audioMasterWantMidi:
      if (host != nullptr) host->wantsMidi = true;
      return 1;
    case audioMasterGetTime:
      if (host == nullptr || !host->transport) return 0;
      host->updateTimeInfo();
      return reinterpret_cast<VstIntPtr>(&host->timeInfo);
    case audioMasterProcessEvents:
      return 1;  // events from the plug-in are accepted and dropped
    case audioMasterSizeWindow:
      if (host != nullptr && host->sizeWindow)
        return host->sizeWindow(index, static_cast<int>(value)) ? 1 : 0;
      return 0;
    case audioMasterGetSampleRate:
      return host != nullptr ? static_cast<VstIntPtr>(host->sampleRate) : 0;
    case audioMasterGetBlockSize:
      return host != nullptr ? host->blockSize : 0;
    case audioMasterGetInputLatency:
    case audioMasterGetOutputLatency:
      return 0;
    case audioMasterGetCurrentProcessLevel:
      // 1 user-interface thread, 2 real-time audio.
      return (host != nullptr && host->processing) ? 2 : 1;
    case audioMasterGetAutomationState:
      return 1;  // off
    case audioMasterGetVendorString:
      copyText(ptr, "korva-host", kVstMaxVendorStrLen);
      return 1;
    case audioMasterGetProductString:
      copyText(ptr, "korva-host command-line VST host", kVstMaxProductStrLen);
      return 1;
    case audioMasterGetVendorVersion:
      return kHostVendorVersion;
    case audioMasterCanDo:
      if (ptr == nullptr) return 0;
      if (host != nullptr && !host->transport &&
          std::strcmp(static_cast<const char*>(ptr), "sendVstTimeInfo") == 0)
        return -1;
      return hostCanDo(static_cast<const char*>(ptr)) ? 1 : 0;
    case audioMasterGetLanguage:
      return 1;  // English
    case audioMasterGetDirectory:
      return host != nullptr ? reinterpret_cast<VstIntPtr>(host->pluginDirectory.c_str()) : 0;
    case audioMasterUpdateDisplay:
      if (host != nullptr) ++host->updateDisplayCount;
      return 1;
    case audioMasterBeginEdit:
    case audioMasterEndEdit:
      return 1;
    case audioMasterIOChanged:
    case audioMasterOpenFileSelector:
    case audioMasterCloseFileSelector:
    default:
      return 0;
  }
}

}  // namespace khost
