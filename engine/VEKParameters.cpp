// The 18 sound parameters as the host sees them: values, names, texts and
// properties. The engine does the mapping; this file does the words.
#include <charconv>
#include <cmath>
#include <cstring>

#include "engine/VEK.h"
#include "host/AEffEditor.h"

const char* const kParameterNames[kNumParams] = {
    "Input",  "Output", "Mix",      "DlyTime", "Dlyx2",  "DlyInv", "Fbck",     "HiCut", "FbInv",
    "ManVCO", "Depth",  "Waveform", "Rate",    "RptInf", "Power",  "Dly<>Clk", "Num",   "Den"};

namespace {

constexpr VstInt32 kDisplayLength = 12;

// Decimal digits of n, locale-free.
struct IntText {
  char digits[16];
  explicit IntText(int n) {
    auto r = std::to_chars(digits, digits + sizeof(digits) - 1, n);
    *r.ptr = 0;  // an int always fits; on error ptr is the last slot
  }
};

void writePair(char* text, int first, int second) {
  std::strcpy(text, IntText(first).digits);
  std::strcat(text, "-");
  std::strcat(text, IntText(second).digits);
}

void writeInt(char* text, int n) {
  std::strcpy(text, IntText(n).digits);
}

void writeText(char* text, const char* s) {
  std::strcpy(text, s);
}

const char* onOff(bool on) {
  return on ? "on" : "off";
}

}  // namespace

void VEK::setParameter(VstInt32 index, float value) {
  if (!isLoadingPreset() && isHostEcho(index, value)) return;
  if (!isLoadingPreset()) CPresetSystemEffect::setParameter(index, value);
  if (index >= 0 && index < kNumParams) {
    dsp.setParameter(index, value);
    // Held, synced, NaN or clamped to 0..1: what the engine did not take as
    // sent would otherwise be saved.
    const float taken = dsp.getParameter(index);
    if (std::memcmp(&taken, &value, sizeof taken) != 0) recordTakenValue(index, taken);
  }
  // The editor shows what the effect took, read back on its own thread.
  if (editor) editor->setParameter(index, getParameter(index));
}

bool VEK::keepsOwnValue(VstInt32 index) {
  if (index == kDlyTime) return dsp.syncOn() || dsp.holdRequested();
  return index == kDlyClk && dsp.holdRequested();
}

float VEK::getParameter(VstInt32 index) {
  if (index >= 0 && index < kNumParams) return dsp.getParameter(index);
  return CPresetSystemEffect::getParameter(index);
}

void VEK::getParameterName(VstInt32 index, char* text) {
  if (!text) return;
  if (index >= 0 && index < kNumParams) {
    writeText(text, kParameterNames[index]);
  } else if (index >= kNumParams && index < kNumHostParams) {
    writeText(text, "CC# ");
    std::strcat(text, kParameterNames[index - kNumParams]);
  }
}

void VEK::getParameterLabel(VstInt32 index, char* label) {
  if (!label) return;
  switch (index) {
    case kInput:
    case kOutput:
    case kFbck:
      writeText(label, "dB");
      break;
    case kMix:
    case kDepth:
      writeText(label, "%");
      break;
    case kDlyTime:
      writeText(label, "ms");
      break;
    case kManVCO:
      writeText(label, "X");
      break;
    case kWaveform:
      writeText(label, "");
      break;
    case kRate:
      writeText(label, "Hz");
      break;
    default:
      writeText(label, " ");
      break;
  }
}

void VEK::getParameterDisplay(VstInt32 index, char* text) {
  if (!text || index < 0 || index >= kNumParams) return;
  const float v = dsp.getParameter(index);  // 0..1: the engine takes nothing else
  switch (index) {
    case kInput:
    case kOutput:
      dB2string(4.0f * v * v, text, kDisplayLength);  // the gain as the engine derives it
      break;
    case kMix: {
      const int dry = static_cast<int>((1.0f - v) * 100.0f);  // dry share in percent
      if (dry == 0)
        writeText(text, "wet");
      else if (dry == 100)
        writeText(text, "dry");
      else
        writePair(text, dry, 100 - dry);
      break;
    }
    case kDlyTime: {
      const float ms = dsp.delayMs();  // 0..3200 from any value the engine took
      int2string(static_cast<VstInt32>((ms > 3200.0f ? 3200.0f
                                        : ms >= 0.0f ? ms
                                                     : 0.0f) +
                                       0.5f),
                 text, kDisplayLength);
      break;
    }
    case kDlyx2:
      writeText(text, onOff(dsp.dlyx2On()));
      break;
    case kDlyInv:
      writeText(text, onOff(dsp.dlyInvOn()));
      break;
    case kFbck:
      dB2string(v, text, kDisplayLength);
      break;
    case kHiCut:
      writeText(text, onOff(dsp.hiCutOn()));
      break;
    case kFbInv:
      writeText(text, onOff(dsp.fbInvOn()));
      break;
    case kManVCO:
      float2string(v + 0.5f, text, kDisplayLength);
      break;
    case kDepth:
      int2string(static_cast<VstInt32>(v * 100.0f), text, kDisplayLength);
      break;
    case kWaveform:
      // Sine/envelope shares below the middle, envelope/square above.
      if (v == 0.0f)
        writeText(text, "sin");
      else if (v < 0.5f)
        writePair(text, static_cast<int>(100.0f - 200.0f * v), static_cast<int>(200.0f * v));
      else if (v == 0.5f)
        writeText(text, "env");
      else if (v < 1.0f)
        writePair(text, static_cast<int>(200.0f - 200.0f * v),
                  static_cast<int>(200.0f * v - 100.0f));
      else
        writeText(text, "sqr");
      break;
    case kRate:
      float2string(0.1f * std::pow(100.0f, v), text, kDisplayLength);  // as the engine's rate
      break;
    case kRptInf:
      writeText(text, onOff(dsp.holdRequested()));
      break;
    case kPower:
      writeText(text, onOff(dsp.powerOn()));
      break;
    case kDlyClk:
      writeText(text, dsp.syncOn() ? "clk" : "dly");
      break;
    case kNum:
      writeInt(text, static_cast<int>(kNumerators[dsp.numIndex()]));
      break;
    case kDen:
      writeInt(text, static_cast<int>(kDenominators[dsp.denIndex()]));
      break;
  }
}

bool VEK::getParameterProperties(VstInt32 index, VstParameterProperties* p) {
  if (!p) return false;
  switch (index) {
    case kDlyTime:
      // One step per 0.5 ms of the 3200 ms range.
      p->stepFloat = p->smallStepFloat = 1.0f / 6401.0f;
      p->flags = kVstParameterUsesFloatStep;
      return true;
    case kDlyx2:
    case kDlyInv:
    case kHiCut:
    case kFbInv:
    case kRptInf:
    case kPower:
    case kDlyClk:
      p->flags &= 0xB;
      p->minInteger = 0;
      p->maxInteger = 1;
      p->stepInteger = 1;
      p->largeStepInteger = 1;
      return true;
    case kNum:
    case kDen:
      p->minInteger = 1;
      p->maxInteger = index == kNum ? kNumNumerators : kNumDenominators;
      p->stepInteger = 1;
      p->flags = 0;
      return true;
    default:
      return false;
  }
}
