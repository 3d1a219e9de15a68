#include "tools/validate/signals.h"

#include <algorithm>
#include <cmath>

#include "tools/base/cli.h"

namespace validate {

void musicalSignal(std::vector<float>& out, int64_t start, double rate, uint64_t noiseSeed) {
  const double pi = 3.14159265358979323846;
  std::mt19937 noise(static_cast<uint32_t>(noiseSeed ^ static_cast<uint64_t>(start)));
  std::uniform_real_distribution<float> d(-0.25f, 0.25f);
  for (size_t i = 0; i < out.size(); ++i) {
    const double t = static_cast<double>(start + static_cast<int64_t>(i)) / rate;
    out[i] = static_cast<float>(0.5 * std::sin(2.0 * pi * 440.0 * t)) + d(noise);
  }
}

VstMidiEvent midiEvent(int32_t delta, uint8_t status, uint8_t data1, uint8_t data2) {
  VstMidiEvent m{};
  m.type = kVstMidiType;
  m.byteSize = sizeof(VstMidiEvent);
  m.deltaFrames = delta;
  m.flags = 1;
  m.midiData[0] = static_cast<char>(status);
  m.midiData[1] = static_cast<char>(data1);
  m.midiData[2] = static_cast<char>(data2);
  return m;
}

std::vector<VstMidiEvent> midiBurst(int32_t frames, std::mt19937_64& rng) {
  if (frames <= 0) return {};
  std::uniform_int_distribution<int32_t> at(0, frames - 1);
  std::uniform_int_distribution<int> byte(0, 127);
  int32_t t[4] = {at(rng), at(rng), at(rng), at(rng)};
  std::sort(t, t + 4);
  const uint8_t channel = static_cast<uint8_t>(byte(rng) & 15);
  const uint8_t note = static_cast<uint8_t>(36 + byte(rng) % 48);
  return {midiEvent(t[0], 0x90 | channel, note, 100),
          midiEvent(t[1], 0xB0 | channel, static_cast<uint8_t>(byte(rng)),
                    static_cast<uint8_t>(byte(rng))),
          midiEvent(t[2], 0xE0 | channel, static_cast<uint8_t>(byte(rng)),
                    static_cast<uint8_t>(byte(rng))),
          midiEvent(t[3], 0x80 | channel, note, 0)};
}

std::string describeFloat(double v) {
  if (std::isnan(v)) return "nan";
  if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
  return khost::formatGeneral(v);
}

long badSamples(const std::vector<std::vector<float>>& channels, int32_t frames, float bound,
                long* where, float* value) {
  long bad = 0;
  for (const auto& ch : channels)
    for (int32_t i = 0; i < frames && i < static_cast<int32_t>(ch.size()); ++i) {
      const float x = ch[static_cast<size_t>(i)];
      if (std::isfinite(x) && std::fabs(x) <= bound) continue;
      if (bad == 0) {
        if (where != nullptr) *where = i;
        if (value != nullptr) *value = x;
      }
      ++bad;
    }
  return bad;
}

float peakOf(const std::vector<std::vector<float>>& channels, int32_t frames) {
  float peak = 0.0f;
  for (const auto& ch : channels)
    for (int32_t i = 0; i < frames && i < static_cast<int32_t>(ch.size()); ++i)
      if (std::isfinite(ch[static_cast<size_t>(i)]))
        peak = std::max(peak, std::fabs(ch[static_cast<size_t>(i)]));
  return peak;
}

}  // namespace validate
