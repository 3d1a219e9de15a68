// processing: 12 sample rates by 16 block sizes with the output finite and
// bounded, and 1234.5678 Hz apart (a warning only); two instances fed the same give the same bytes;
// in-place buffers give what separate ones give, within one instance, so that a plug-in that is
// random by design shows once, as such; an unconnected right input.
#include <cmath>
#include <cstring>

#include "tools/base/cli.h"
#include "tools/validate/cases.h"
#include "tools/validate/check.h"
#include "tools/validate/instance.h"
#include "tools/validate/signals.h"

namespace validate {

namespace {

std::string where(double rate, int block, bool inPlace) {
  return "rate " + khost::formatGeneral(rate) + ", block " + blockName(block) +
         (inPlace ? ", in place" : "");
}

// Feeds `frames` frames of signal with MIDI now and then; returns the output
// of every channel concatenated block by block when `keep` is given.
void feed(Check& c, Instance& inst, double rate, int block, int64_t frames, bool inPlace,
          std::vector<float>* keep, uint64_t signalSeed) {
  const int maxBlock = maxBlockOf(block);
  // From the top of the song each time, so that a run can be repeated.
  inst.host().samplePos = 0;
  inst.start(rate, maxBlock);
  std::vector<float> in(static_cast<size_t>(maxBlock));
  const std::string context = where(rate, block, inPlace);
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
    if ((done / maxBlock) % 8 == 0) inst.sendMidi(midiBurst(n, midiRng));
    c.step(context + ", frames " + std::to_string(done) + ".." + std::to_string(done + n));
    inst.processSignal(in.data(), n, inPlace);
    if (block == 0) {
      c.step(context + ", 0-frame call after frame " + std::to_string(done + n));
      inst.processSignal(in.data(), 0, inPlace);
    }
    c.tried();
    long at = 0;
    float value = 0;
    if (badSamples(inst.outputs(), n, kOutputBound, &at, &value) > 0)
      c.reportAgain(
          rate == kOddRate ? Kind::OddRate : Kind::Output,
          context + ": output " + describeFloat(value) + " at frame " + std::to_string(done + at));
    if (keep != nullptr)
      for (const auto& ch : inst.outputs()) keep->insert(keep->end(), ch.begin(), ch.begin() + n);
    done += n;
  }
  inst.stop();
}

void oddRate(Check& c) {
  Instance inst(c.pluginPath());
  for (int block : kBlocks)
    feed(c, inst, kOddRate, block, framesFor(kOddRate, block, c.level()), false, nullptr, 7);
}

void ratesAndBlocks(Check& c) {
  Instance inst(c.pluginPath());
  for (double rate : kRates)
    for (int block : kBlocks)
      feed(c, inst, rate, block, framesFor(rate, block, c.level()), false, nullptr, 7);
}

// Hosts hand the same buffers for input and output; the result must not
// change. One instance is compared with itself (a suspend and resume
// between the runs), so that only the buffers differ, never the instance;
// where it does not repeat itself, two fresh ones are compared if they agree.
void inPlace(Check& c) {
  const double rates[] = {44100, 96000};
  const int blocks[] = {64, 512, 2027};
  for (double rate : rates)
    for (int block : blocks) {
      const int64_t frames = framesFor(rate, block, c.level());
      const auto place = c.at({{"rate", khost::formatGeneral(rate)}, {"block", blockName(block)}});
      std::vector<float> separate, again, same;
      Instance a(c.pluginPath());
      feed(c, a, rate, block, frames, false, &separate, 11);
      feed(c, a, rate, block, frames, false, &again, 11);
      if (separate == again) {
        feed(c, a, rate, block, frames, true, &same, 11);
      } else {
        std::vector<float> other;
        {
          Instance b(c.pluginPath());
          feed(c, b, rate, block, frames, false, &other, 11);
        }
        if (other != separate) {
          c.skip(
              "the output does not repeat for the same input, in one instance or two (see "
              "\"two instances agree\"), so in-place buffers cannot be compared");
          return;
        }
        Instance b(c.pluginPath());
        feed(c, b, rate, block, frames, true, &same, 11);
      }
      c.tried();
      if (separate != same)
        c.report(Kind::Output, where(rate, block, true) +
                                   ": output differs from separate buffers at " +
                                   firstDifference(separate, same));
    }
}

void monoInput(Check& c) {
  Instance inst(c.pluginPath());
  if (inst.numInputs() < 2) return c.skip("fewer than two inputs");
  inst.host().inputRightConnected = false;
  const int64_t frames = static_cast<int64_t>(44100 * 0.5 * c.level());
  inst.start(44100, 512);
  std::vector<float> left(512);
  for (int64_t done = 0; done < frames; done += 512) {
    musicalSignal(left, done, 44100, 3);
    c.step("right input unconnected, frames " + std::to_string(done));
    std::vector<const float*> pins(static_cast<size_t>(inst.numInputs()), nullptr);
    pins[0] = left.data();
    inst.process(pins, {}, 512);
    c.tried();
    long at = 0;
    float value = 0;
    if (badSamples(inst.outputs(), 512, kOutputBound, &at, &value) > 0)
      c.reportAgain(Kind::Output, "right input unconnected: output " + describeFloat(value) +
                                      " at frame " + std::to_string(done + at));
  }
}

void deterministic(Check& c) {
  const int settings = 2 * c.level();
  for (int s = 0; s < settings; ++s) {
    std::vector<float> values;
    Instance probe(c.pluginPath());
    for (int i = 0; i < probe.plugin().numParams(); ++i)
      values.push_back(s == 0 ? probe.getParameter(i) : static_cast<float>(c.uniform(0, 1)));
    probe.close();
    std::vector<float> out[2];
    const double rate = s % 2 == 0 ? 44100 : 48000;
    const uint64_t blockSeed = c.rng()();
    for (auto& o : out) {
      Instance inst(c.pluginPath());
      for (size_t i = 0; i < values.size(); ++i) inst.setParameter(static_cast<int>(i), values[i]);
      std::mt19937_64 saved = c.rng();
      c.rng().seed(blockSeed);
      feed(c, inst, rate, -1, static_cast<int64_t>(rate), false, &o, 5);
      c.rng() = saved;
    }
    c.tried();
    if (out[0] != out[1])
      c.report(Kind::Random,
               "setting " + std::to_string(s) + (s == 0 ? " (defaults)" : " (random parameters)") +
                   ": two instances differ at output " + firstDifference(out[0], out[1]));
  }
}

}  // namespace

std::vector<CheckDef> processingChecks() {
  return {{"rates and block sizes", ratesAndBlocks, Kind::Output},
          {"two instances agree", deterministic, Kind::Random},
          {"in-place buffers", inPlace, Kind::Output},
          {"unconnected right input", monoInput, Kind::Output},
          {"a rate no host uses", oddRate, Kind::OddRate}};
}

}  // namespace validate
