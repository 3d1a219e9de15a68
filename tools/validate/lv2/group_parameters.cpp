// parameters: every input control port across its declared range, alone and
// all at once, and odd values (NaN, infinities, far outside the range). The
// output stays finite and bounded; output control ports stay within their
// ranges. A value outside the range is the host's error, so only output
// that goes non-finite or unbounded after it fails.
#include <cfloat>
#include <cmath>
#include <limits>

#include "tools/base/cli.h"
#include "tools/validate/cases.h"
#include "tools/validate/lv2/lv2_groups.h"
#include "tools/validate/signals.h"

namespace validate::lv2 {

namespace {

constexpr uint32_t kBlock = 256;

// Runs a few blocks; reports unbounded output (of `kind`) and output
// control ports outside their ranges.
void runAndJudge(Check& c, Instance& inst, const std::string& what, int64_t& clock,
                 float bound = kOutputBound) {
  for (int b = 0; b < 4; ++b) {
    float value = 0;
    long at = 0;
    const bool ok = runChecked(inst, kBlock, clock, bound, &value, &at);
    clock += kBlock;
    if (!ok && std::isfinite(value) &&
        loudByGain(c.pluginPath(), inst.rate(), inst.controlValues(), bound))
      break;
    if (!ok) {
      c.reportAgain(Kind::Output, what + ": output " + describeFloat(value) + " at frame " +
                                      std::to_string(at) + " of block " + std::to_string(b));
      break;
    }
  }
  const Plugin& p = inst.plugin();
  const std::vector<float> outs = inst.controlOutputs();
  for (size_t k = 0; k < outs.size(); ++k) {
    const Port& port = p.port(p.controlOuts[k]);
    if (port.hasMinimum && port.hasMaximum && !(outs[k] >= port.minimum && outs[k] <= port.maximum))
      c.reportAgain(Kind::Letter, what + ": " + port.describe() + " reads " +
                                      describeFloat(outs[k]) + ", outside " +
                                      describeFloat(port.minimum) + ".." +
                                      describeFloat(port.maximum));
  }
}

std::string setting(const Port& port, float v) {
  return port.symbol + " = " + describeFloat(v);
}

void acrossRange(Check& c) {
  Instance inst(c.pluginPath());
  if (inst.controls() == 0) return c.skip("no input control ports");
  inst.activate();
  int64_t clock = 0;
  const int steps = 8 * c.level();
  for (size_t k = 0; k < inst.controls(); ++k) {
    const Port& port = inst.plugin().port(inst.plugin().controlIns[k]);
    const auto place = c.at({{"port", port.symbol}});
    std::vector<float> values;
    for (int s = 0; s <= steps; ++s) values.push_back(static_cast<float>(s) / steps);
    for (int s = 0; s < 4 * c.level(); ++s) values.push_back(static_cast<float>(c.uniform(0, 1)));
    for (float v : values) {
      inst.setNormalized(k, v);
      const std::string what = setting(port, inst.control(k));
      c.step(what);
      c.tried();
      runAndJudge(c, inst, what, clock);
    }
    inst.setControl(k, port.defaultValue);
  }
}

void allAtOnce(Check& c) {
  Instance inst(c.pluginPath());
  if (inst.controls() == 0) return c.skip("no input control ports");
  inst.activate();
  int64_t clock = 0;
  for (long round = 0; round < 25 * c.level(); ++round) {
    std::string what = "round " + std::to_string(round) + ":";
    for (size_t k = 0; k < inst.controls(); ++k) {
      const int mode = static_cast<int>(c.between(0, 2));
      inst.setNormalized(k, mode == 0   ? 0.0f
                            : mode == 1 ? 1.0f
                                        : static_cast<float>(c.uniform(0, 1)));
      what += " " + khost::formatDouble(inst.control(k), 3);
    }
    c.step(what);
    c.tried();
    runAndJudge(c, inst, what, clock);
  }
}

void oddValues(Check& c) {
  Instance probe(c.pluginPath());
  if (probe.controls() == 0) return c.skip("no input control ports");
  for (size_t k = 0; k < probe.controls(); ++k) {
    const Port& port = probe.plugin().port(probe.plugin().controlIns[k]);
    const float span = std::max(1.0f, port.maximum - port.minimum);
    const float odd[] = {std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity(),
                         port.minimum - span,
                         port.maximum + span,
                         port.maximum * 1000.0f + 1000.0f,
                         1e30f,
                         -1e30f,
                         FLT_MAX,
                         -0.0f,
                         1e-42f};
    for (float v : odd) {
      const std::string what = setting(port, v) + " (range " + describeFloat(port.minimum) + ".." +
                               describeFloat(port.maximum) + ")";
      const auto place = c.at({{"port", port.symbol}, {"value", describeFloat(v)}});
      c.step(what);
      // A fresh instance each: a value that poisons the plug-in for good
      // would otherwise fail every case after it.
      Instance inst(c.pluginPath());
      inst.activate();
      int64_t clock = 0;
      inst.setControl(k, v);
      c.tried();
      // As for VST: a host's error, so only output that is no longer finite.
      runAndJudge(c, inst, what, clock, 1e30f);
    }
  }
}

}  // namespace

std::vector<CheckDef> parameterChecks() {
  return {{"ports across their range", acrossRange, Kind::Output},
          {"all ports at once", allAtOnce, Kind::Output},
          {"odd values", oddValues, Kind::Output}};
}

}  // namespace validate::lv2
