// The LV2 groups in the order they run, and what their checks share.
#include "tools/validate/lv2/lv2_groups.h"

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
    if (badSamples(inst.outputs(), n, kOutputBound, &at, &value) > 0)
      c.reportAgain(kind, context + ": output " + describeFloat(value) + " at frame " +
                              std::to_string(done + at));
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
