// bad-input: NaN, Inf, denormals and huge finite bursts on the input, then
// normal signal (bad_input.h); here the LV2 way to play them. LV2 declares
// no tail, so the output must be finite and bounded again within 10 s.
#include "tools/validate/bad_input.h"
#include "tools/validate/lv2/lv2_groups.h"

namespace validate::lv2 {

namespace {

using namespace bad_input;

Played play(Check& c, const Burst* b, const std::vector<float>& settings, int variant, float bound,
            const std::string& what) {
  Instance inst(c.pluginPath(), kRate, kBlock);
  for (size_t k = 0; k < settings.size(); ++k) inst.setNormalized(k, settings[k]);
  Played p;
  const int64_t total = beginRun(p, b, variant, 0);
  inst.activate();
  std::vector<float> in(kBlock);
  for (int64_t done = 0; done < total; done += kBlock) {
    blockInput(in, done, b, variant, p);
    c.step(what + (b != nullptr ? "" : ", without the burst") + ", frames " + std::to_string(done) +
           ".." + std::to_string(done + kBlock));
    inst.run(in.data(), kBlock);
    account(p, inst.outputs(), done, bound);
  }
  return p;
}

void run(Check& c, const Burst& b) {
  const int ports = static_cast<int>(Plugin::find(c.pluginPath()).controlIns.size());
  recovery(
      c, b, ports,
      [&c](const Burst* burst, const std::vector<float>& settings, int variant, float bound,
           const std::string& what) { return play(c, burst, settings, variant, bound, what); });
}

}  // namespace

std::vector<CheckDef> badInputChecks() {
  return bad_input::checks<run>();
}

}  // namespace validate::lv2
