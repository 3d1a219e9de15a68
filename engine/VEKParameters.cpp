// The 18 sound parameters as the host sees them: values, names, texts and
// properties, each read from the parameter table. The engine does the
// mapping; this file does the words.
#include <charconv>
#include <cmath>
#include <cstring>

#include "engine/ParameterTable.h"
#include "engine/VEK.h"
#include "host/AEffEditor.h"

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

void writeText(char* text, const char* s) {
  std::strcpy(text, s);
}

// The named point at v, or the shares of the two named points around it,
// the lower first: "80-20" is 80 % of the point below v, 20 % of the one above.
void writePointShares(char* text, const params::Parameter& p, float v) {
  const params::PointList& points = p.points;
  const float span = static_cast<float>(p.maximum - p.minimum);
  auto at = [&](int i) {  // point i as a value 0..1
    return (points.points[i].value - static_cast<float>(p.minimum)) / span;
  };
  for (int i = 0; i < points.count; ++i) {
    const float upper = at(i);
    if (v > upper) continue;
    if (v == upper || i == 0) {
      writeText(text, points.points[i].label);
    } else {
      const float lower = at(i - 1);
      const float percent = 100.0f / (upper - lower);
      writePair(text, static_cast<int>(percent * upper - percent * v),
                static_cast<int>(percent * v - percent * lower));
    }
    return;
  }
  writeText(text, points.points[points.count - 1].label);
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
  return dsp.keepsOwnValue(index);
}

float VEK::getParameter(VstInt32 index) {
  if (index >= 0 && index < kNumParams) return dsp.getParameter(index);
  return CPresetSystemEffect::getParameter(index);
}

void VEK::getParameterName(VstInt32 index, char* text) {
  if (!text) return;
  if (index >= 0 && index < kNumParams) {
    writeText(text, params::kParameters[index].name);
  } else if (index >= kNumParams && index < kNumHostParams) {
    writeText(text, "CC# ");
    std::strcat(text, params::kParameters[index - kNumParams].name);
  }
}

void VEK::getParameterLabel(VstInt32 index, char* label) {
  if (!label) return;
  writeText(label, index >= 0 && index < kNumParams ? params::kParameters[index].label : " ");
}

void VEK::getParameterDisplay(VstInt32 index, char* text) {
  if (!text || index < 0 || index >= kNumParams) return;
  const params::Parameter& p = params::kParameters[index];
  const float v = dsp.getParameter(index);  // 0..1: the engine takes nothing else
  const float q = params::engineQuantity(p, v);
  switch (p.text) {
    case params::DecibelText:
      dB2string(q, text, kDisplayLength);
      break;
    case params::DecimalText:
      float2string(q, text, kDisplayLength);
      break;
    case params::RoundedText:
      int2string(static_cast<VstInt32>(q + 0.5f), text, kDisplayLength);
      break;
    case params::TruncatedText:
      int2string(static_cast<VstInt32>(q), text, kDisplayLength);
      break;
    case params::DryWetText: {
      const int dry = static_cast<int>((1.0f - v) * 100.0f);  // dry share in percent
      if (dry == 0)
        writeText(text, "wet");
      else if (dry == 100)
        writeText(text, "dry");
      else
        writePair(text, dry, 100 - dry);
      break;
    }
    case params::PointSharesText:
      writePointShares(text, p, v);
      break;
    case params::StepNameText: {
      const int step = params::stepIndex(p, v);
      if (p.steps.names)
        writeText(text, p.steps.names[step]);
      else
        writeText(text, IntText(static_cast<int>(p.steps.values[step])).digits);
      break;
    }
  }
}

bool VEK::getParameterProperties(VstInt32 index, VstParameterProperties* props) {
  if (!props || index < 0 || index >= kNumParams) return false;
  const params::Parameter& p = params::kParameters[index];
  switch (p.kind) {
    case params::Toggle:
      props->flags &= 0xB;  // no float step; what else the host asked for stays
      props->minInteger = 0;
      props->maxInteger = 1;
      props->stepInteger = 1;
      props->largeStepInteger = 1;
      return true;
    case params::Stepped:
      props->minInteger = 1;
      props->maxInteger = p.steps.count;
      props->stepInteger = 1;
      props->flags = 0;
      return true;
    case params::Continuous:
      if (p.hostStep <= 0.0f) return false;
      props->stepFloat = props->smallStepFloat = p.hostStep;
      props->flags = kVstParameterUsesFloatStep;
      return true;
  }
  return false;
}
