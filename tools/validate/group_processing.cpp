// processing: 13 sample rates by 16 block sizes, in-place and separate
// buffers, an unconnected right input; the output finite and bounded, and
// two instances fed the same give the same bytes.
#include <cmath>
#include <cstring>

#include "tools/base/cli.h"
#include "tools/validate/check.h"
#include "tools/validate/instance.h"
#include "tools/validate/signals.h"

namespace validate {

namespace {

// Output above this, for input below 1, is a fault in any effect.
constexpr float kBound = 100.0f;

const double kRates[] = {1234.5678, 8000,  11025, 16000,  22050,  32000, 44100,
                         48000,     88200, 96000, 176400, 192000, 384000};
// 0 stands for 0-frame calls between blocks, -1 for random sizes up to the maximum.
const int kBlocks[] = {1, 2, 3, 17, 32, 64, 100, 256, 512, 1024, 2027, 4096, 8192, 16384, 0, -1};

std::string where(double rate, int block, bool inPlace) {
  return "rate " + khost::formatGeneral(rate) + ", block " +
         (block == 0  ? std::string("512 with 0-frame calls")
          : block < 0 ? std::string("random up to 4096")
                      : std::to_string(block)) +
         (inPlace ? ", in place" : "");
}

// Feeds `frames` frames of signal with MIDI now and then; returns the output
// of every channel concatenated block by block when `keep` is given.
void feed(Check& c, Instance& inst, double rate, int block, int64_t frames, bool inPlace,
          std::vector<float>* keep, uint64_t signalSeed) {
  const int maxBlock = block > 0 ? block : block == 0 ? 512 : 4096;
  inst.start(rate, maxBlock);
  std::vector<float> in(static_cast<size_t>(maxBlock));
  const std::string context = where(rate, block, inPlace);
  std::mt19937_64 midiRng(signalSeed);
  long reported = 0;
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
    if (badSamples(inst.outputs(), n, kBound, &at, &value) > 0 && reported++ == 0)
      c.fail(context + ": output " + describeFloat(value) + " at frame " +
             std::to_string(done + at));
    if (keep != nullptr)
      for (const auto& ch : inst.outputs()) keep->insert(keep->end(), ch.begin(), ch.begin() + n);
    done += n;
  }
  inst.stop();
}

int64_t framesFor(double rate, int block, int level) {
  const int64_t seconds = static_cast<int64_t>(rate * 0.05 * level);
  return std::max<int64_t>(seconds, 3 * std::max(block, 64));
}

void ratesAndBlocks(Check& c) {
  Instance inst(c.pluginPath());
  for (double rate : kRates)
    for (int block : kBlocks)
      feed(c, inst, rate, block, framesFor(rate, block, c.level()), false, nullptr, 7);
}

// Hosts hand the same buffers for input and output; the result must not change.
void inPlace(Check& c) {
  const double rates[] = {44100, 96000};
  const int blocks[] = {64, 512, 2027};
  for (double rate : rates)
    for (int block : blocks) {
      std::vector<float> separate, same;
      {
        Instance a(c.pluginPath());
        feed(c, a, rate, block, framesFor(rate, block, c.level()), false, &separate, 11);
      }
      {
        Instance b(c.pluginPath());
        feed(c, b, rate, block, framesFor(rate, block, c.level()), true, &same, 11);
      }
      c.tried();
      if (separate != same) {
        size_t k = 0;
        while (k < separate.size() && k < same.size() && separate[k] == same[k]) ++k;
        c.fail(where(rate, block, true) + ": output differs from separate buffers at sample " +
               std::to_string(k));
      }
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
    if (badSamples(inst.outputs(), 512, kBound, &at, &value) > 0) {
      c.fail("right input unconnected: output " + describeFloat(value) + " at frame " +
             std::to_string(done + at));
      break;
    }
  }
}

void deterministic(Check& c) {
  const int settings = 2 * c.level();
  for (int s = 0; s < settings; ++s) {
    std::vector<float> values;
    Instance probe(c.pluginPath());
    for (int i = 0; i < probe.plugin().numParams(); ++i)
      values.push_back(s == 0 ? probe.plugin().getParameter(i)
                              : static_cast<float>(c.uniform(0, 1)));
    probe.close();
    std::vector<float> out[2];
    const double rate = s % 2 == 0 ? 44100 : 48000;
    const uint64_t blockSeed = c.rng()();
    for (auto& o : out) {
      Instance inst(c.pluginPath());
      for (size_t i = 0; i < values.size(); ++i)
        inst.plugin().setParameter(static_cast<int>(i), values[i]);
      std::mt19937_64 saved = c.rng();
      c.rng().seed(blockSeed);
      feed(c, inst, rate, -1, static_cast<int64_t>(rate), false, &o, 5);
      c.rng() = saved;
    }
    c.tried();
    if (out[0] != out[1]) {
      size_t k = 0;
      while (k < out[0].size() && out[0][k] == out[1][k]) ++k;
      c.fail("setting " + std::to_string(s) + (s == 0 ? " (defaults)" : " (random parameters)") +
             ": two instances differ at output sample " + std::to_string(k));
    }
  }
}

}  // namespace

std::vector<CheckDef> processingChecks() {
  return {{"rates and block sizes", ratesAndBlocks},
          {"in-place buffers", inPlace},
          {"unconnected right input", monoInput},
          {"two instances agree", deterministic}};
}

}  // namespace validate
