// bad-input: NaN, Inf, denormals and huge finite bursts on the input, then
// normal signal (bad_input.h); here the VST way to play them.
#include "tools/validate/bad_input.h"
#include "tools/validate/check.h"
#include "tools/validate/instance.h"

namespace validate {

namespace {

using namespace bad_input;

Played play(Check& c, const Burst* b, const std::vector<float>& settings, int variant, float bound,
            const std::string& what) {
  Instance inst(c.pluginPath());
  for (size_t i = 0; i < settings.size(); ++i) inst.setParameter(static_cast<int>(i), settings[i]);
  Played p;
  const int64_t total = beginRun(p, b, variant, inst.dispatch(effGetTailSize));
  inst.start(kRate, kBlock);
  std::vector<float> in(kBlock);
  for (int64_t done = 0; done < total; done += kBlock) {
    blockInput(in, done, b, variant, p);
    c.step(what + (b != nullptr ? "" : ", without the burst") + ", frames " + std::to_string(done) +
           ".." + std::to_string(done + kBlock));
    inst.processSignal(in.data(), kBlock);
    account(p, inst.outputs(), done, bound);
  }
  return p;
}

void run(Check& c, const Burst& b) {
  int parameters = 0;
  {
    Instance probe(c.pluginPath());
    parameters = probe.plugin().numParams();
  }
  recovery(
      c, b, parameters,
      [&c](const Burst* burst, const std::vector<float>& settings, int variant, float bound,
           const std::string& what) { return play(c, burst, settings, variant, bound, what); });
}

}  // namespace

std::vector<CheckDef> badInputChecks() {
  return bad_input::checks<run>();
}

}  // namespace validate
