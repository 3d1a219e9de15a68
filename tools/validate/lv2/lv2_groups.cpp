// The LV2 groups in the order they run, and what their checks share.
#include "tools/validate/lv2/lv2_groups.h"

#include <algorithm>
#include <cmath>

#include "tools/base/cli.h"
#include "tools/validate/cases.h"
#include "tools/validate/isolation.h"
#include "tools/validate/signals.h"

namespace validate {

const std::vector<GroupDef>& allLv2Groups() {
  static const std::vector<GroupDef> groups = {
      {"identity", lv2::identityChecks()},
      {"parameters", lv2::parameterChecks()},
      {"processing", lv2::processingChecks()},
      {"bad-input", lv2::badInputChecks()},
      {"real-time", lv2::realtimeChecks()},
      {"state", lv2::stateChecks()},
      {"atom-input", lv2::atomChecks()},
      {"threads", lv2::threadChecks()},
      {"ui", lv2::uiChecks()},
      {"lifecycle", lv2::lifecycleChecks()},
      {"environment", lv2::environmentChecks()},
  };
  return groups;
}

namespace lv2 {

std::string preflight(const std::string& uri, double timeoutSeconds) {
  // cleanup activates first: a cleanup without activate is the lifecycle
  // group's case, not a failure to load.
  return preflightWith(uri, timeoutSeconds, [&] {
    Instance instance(uri);
    instance.cleanup();
  });
}

bool runChecked(Instance& inst, uint32_t frames, int64_t start, float bound, float* value,
                long* at) {
  std::vector<float> in(frames);
  musicalSignal(in, start, inst.rate(), 7);
  inst.run(in.data(), frames);
  long where = 0;
  float v = 0;
  if (badSamples(inst.outputs(), static_cast<int32_t>(frames), bound, &where, &v) == 0) return true;
  if (value != nullptr) *value = v;
  if (at != nullptr) *at = where;
  return false;
}

bool loudByGain(const std::string& uri, double rate, const std::vector<float>& controls,
                float bound) {
  constexpr uint32_t kFrames = 256;
  constexpr int kBlocks = 16;
  float peaks[2] = {0, 0};
  float halves[2] = {0, 0};  // the full-level run's peak in each half
  const float levels[2] = {1.0f, 0.01f};
  for (int r = 0; r < 2; ++r) {
    Instance inst(uri, rate);
    for (size_t k = 0; k < controls.size() && k < inst.controls(); ++k)
      inst.setControl(k, controls[k]);
    inst.activate();
    std::vector<float> in(kFrames);
    for (int b = 0; b < kBlocks; ++b) {
      musicalSignal(in, b * int64_t{kFrames}, inst.rate(), 7);
      for (float& x : in) x *= levels[r];
      inst.run(in.data(), kFrames);
      if (badSamples(inst.outputs(), kFrames, 1e30f) > 0) return false;
      const float peak = peakOf(inst.outputs(), kFrames);
      peaks[r] = std::max(peaks[r], peak);
      if (r == 0) halves[b * 2 / kBlocks] = std::max(halves[b * 2 / kBlocks], peak);
    }
  }
  if (peaks[0] <= bound) return true;
  if (halves[1] > 4 * halves[0]) return false;
  const float scaled = peaks[1] * 100.0f;
  return scaled >= peaks[0] / 2 && scaled <= peaks[0] * 2;
}

void sendMidiBurst(Instance& inst, uint32_t frames, std::mt19937_64& rng) {
  if (frames == 0) return;
  for (const VstMidiEvent& e : midiBurst(static_cast<int32_t>(frames), rng))
    inst.midi(static_cast<uint32_t>(e.deltaFrames),
              {static_cast<uint8_t>(e.midiData[0]), static_cast<uint8_t>(e.midiData[1]),
               static_cast<uint8_t>(e.midiData[2])});
}

void feed(Check& c, Instance& inst, int block, int64_t frames, bool inPlace,
          std::vector<float>* keep, uint64_t signalSeed, Kind kind) {
  const int maxBlock = std::min(maxBlockOf(block), inst.maxBlock());
  const double rate = inst.rate();
  inst.activate();
  std::vector<float> in(static_cast<size_t>(maxBlock));
  const std::string context = "rate " + khost::formatGeneral(rate) + ", block " + blockName(block) +
                              (inPlace ? ", in place" : "");
  const auto place = c.at({{"rate", khost::formatGeneral(rate)},
                           {"block", blockName(block)},
                           {"buffers", inPlace ? "in place" : "separate"}});
  std::mt19937_64 midiRng(signalSeed);
  int loud = -1;
  for (int64_t done = 0; done < frames;) {
    int32_t n = maxBlock;
    if (block < 0) n = static_cast<int32_t>(c.between(1, maxBlock));
    n = static_cast<int32_t>(std::min<int64_t>(n, frames - done));
    in.resize(static_cast<size_t>(n));
    musicalSignal(in, done, rate, signalSeed);
    if ((done / maxBlock) % 8 == 0) sendMidiBurst(inst, static_cast<uint32_t>(n), midiRng);
    c.step(context + ", frames " + std::to_string(done) + ".." + std::to_string(done + n));
    inst.run(in.data(), static_cast<uint32_t>(n), inPlace);
    c.tried();
    long at = 0;
    float value = 0;
    if (badSamples(inst.outputs(), n, kOutputBound, &at, &value) > 0) {
      // The settings do not change within a feed: one verdict on loudness.
      if (std::isfinite(value) && loud < 0)
        loud = loudByGain(c.pluginPath(), rate, inst.controlValues(), kOutputBound) ? 1 : 0;
      if (!std::isfinite(value) || loud != 1)
        c.reportAgain(kind, context + ": output " + describeFloat(value) + " at frame " +
                                std::to_string(done + at));
    }
    if (keep != nullptr)
      for (const auto& ch : inst.outputs()) keep->insert(keep->end(), ch.begin(), ch.begin() + n);
    if (block == 0) {
      c.step(context + ", 0-frame run after frame " + std::to_string(done + n));
      inst.run(in.data(), 0, inPlace);
    }
    done += n;
  }
  inst.deactivate();
}

}  // namespace lv2

}  // namespace validate
