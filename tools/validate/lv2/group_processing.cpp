// processing: the rates hosts use by block sizes up to the declared maximum
// (0-frame runs and random sizes included), output finite and bounded;
// 1234.5678 Hz apart (a warning only); two instances fed the same give the
// same bytes; in-place buffers (unless lv2:inPlaceBroken) give what separate
// ones give in the same instance; an unconnected optional port.
#include "tools/base/cli.h"
#include "tools/validate/cases.h"
#include "tools/validate/lv2/lv2_groups.h"
#include "tools/validate/signals.h"

namespace validate::lv2 {

namespace {

// One instance per rate, as LV2 fixes the rate at instantiation; a plug-in
// may refuse a rate it does not support.
std::unique_ptr<Instance> instanceAt(Check& c, double rate, int maxBlock,
                                     std::vector<std::string>& refused) {
  c.step("instantiate at " + khost::formatGeneral(rate) + " Hz");
  try {
    return std::make_unique<Instance>(c.pluginPath(), rate, maxBlock);
  } catch (const Refused&) {
    refused.push_back(khost::formatGeneral(rate));
    return nullptr;
  }
}

void noteRefused(Check& c, const std::vector<std::string>& refused) {
  if (refused.empty()) return;
  std::string rates;
  for (const std::string& r : refused) rates += (rates.empty() ? "" : ", ") + r;
  c.note("instantiate refused " + rates + " Hz (allowed)");
}

void ratesAndBlocks(Check& c) {
  std::vector<std::string> refused;
  for (double rate : kRates) {
    auto inst = instanceAt(c, rate, kLargestBlock, refused);
    if (!inst) continue;
    for (int block : kBlocks)
      feed(c, *inst, block, framesFor(rate, block, c.level()), false, nullptr, 7);
  }
  if (refused.size() == std::size(kRates)) return c.fail("instantiate refused every rate");
  noteRefused(c, refused);
}

void oddRate(Check& c) {
  std::vector<std::string> refused;
  auto inst = instanceAt(c, kOddRate, kLargestBlock, refused);
  if (!inst) return noteRefused(c, refused);
  for (int block : kBlocks)
    feed(c, *inst, block, framesFor(kOddRate, block, c.level()), false, nullptr, 7, Kind::OddRate);
}

void deterministic(Check& c) {
  const int settings = 2 * c.level();
  for (int s = 0; s < settings; ++s) {
    const double rate = s % 2 == 0 ? 44100 : 48000;
    std::vector<float> values;
    std::vector<float> out[2];
    const uint64_t blockSeed = c.rng()();
    for (int k = 0; k < 2; ++k) {
      Instance inst(c.pluginPath(), rate);
      if (values.empty())
        for (size_t i = 0; i < inst.controls(); ++i)
          values.push_back(s == 0 ? -1.0f : static_cast<float>(c.uniform(0, 1)));
      for (size_t i = 0; i < inst.controls() && s > 0; ++i) inst.setNormalized(i, values[i]);
      std::mt19937_64 saved = c.rng();
      c.rng().seed(blockSeed);
      feed(c, inst, -1, static_cast<int64_t>(rate), false, &out[k], 5);
      c.rng() = saved;
    }
    c.tried();
    if (out[0] != out[1])
      c.report(Kind::Random,
               "setting " + std::to_string(s) + (s == 0 ? " (defaults)" : " (random ports)") +
                   ": two instances differ at output " + firstDifference(out[0], out[1]));
  }
}

// One instance against itself: deactivate and activate between the runs, so
// that only the buffers differ.
void inPlace(Check& c) {
  const Plugin& p = Plugin::find(c.pluginPath());
  if (p.inPlaceBroken) return c.skip("lv2:inPlaceBroken: hosts give separate buffers");
  if (p.audioIns.empty() || p.audioOuts.empty()) return c.skip("no audio input and output");
  const double rates[] = {44100, 96000};
  const int blocks[] = {64, 512, 2027};
  for (double rate : rates)
    for (int block : blocks) {
      const int64_t frames = framesFor(rate, block, c.level());
      const auto place = c.at({{"rate", khost::formatGeneral(rate)}, {"block", blockName(block)}});
      std::vector<float> separate, again, same;
      Instance a(c.pluginPath(), rate);
      feed(c, a, block, frames, false, &separate, 11);
      feed(c, a, block, frames, false, &again, 11);
      if (separate == again) {
        feed(c, a, block, frames, true, &same, 11);
      } else {
        std::vector<float> other;
        {
          Instance b(c.pluginPath(), rate);
          feed(c, b, block, frames, false, &other, 11);
        }
        if (other != separate)
          return c.skip(
              "the output does not repeat for the same input, in one instance or two (see "
              "\"two instances agree\"), so in-place buffers cannot be compared");
        Instance b(c.pluginPath(), rate);
        feed(c, b, block, frames, true, &same, 11);
      }
      c.tried();
      if (separate != same)
        c.report(Kind::Output, "rate " + khost::formatGeneral(rate) + ", block " +
                                   blockName(block) +
                                   ", in place: output differs from separate buffers at " +
                                   firstDifference(separate, same));
    }
}

}  // namespace

std::vector<CheckDef> processingChecks() {
  return {{"rates and block sizes", ratesAndBlocks, Kind::Output},
          {"two instances agree", deterministic, Kind::Random},
          {"in-place buffers", inPlace, Kind::Output},
          {"a rate no host uses", oddRate, Kind::OddRate}};
}

}  // namespace validate::lv2
