// lifecycle: many instantiate/cleanup cycles (heap and RSS growth as
// figures, a steady heap growth per instance fails), activate/deactivate
// cycles with port buffers moved in between, instances at several rates at
// once, and calls in the odd orders LV2 allows (cleanup without activate,
// connect_port at any time outside run). Run before activate is the host's
// error and is not tried.
#include <chrono>
#include <fstream>

#include "tools/base/cli.h"
#include "tools/validate/cases.h"
#include "tools/validate/cycles.h"
#include "tools/validate/lv2/lv2_groups.h"
#include "tools/validate/rt_monitor.h"
#include "tools/validate/signals.h"

namespace validate::lv2 {

namespace {

void oneLife(Check& c, long k) {
  c.step("instance " + std::to_string(k) +
         ": instantiate, activate, one block, deactivate, cleanup");
  Instance inst(c.pluginPath(), 44100, 64);
  inst.activate();
  runChecked(inst, 64, 0, 1e30f);
  inst.cleanup();
}

void createDestroy(Check& c) {
  lifeCycles(c, [&c](long k) { oneLife(c, k); },
             {"instantiate/cleanup", "instantiate-to-cleanup", "instantiated and cleaned-up"});
}

void activateCycles(Check& c) {
  Instance inst(c.pluginPath(), 44100, 4096);
  for (long round = 0; round < 20 * c.level(); ++round) {
    const uint32_t block = static_cast<uint32_t>(c.between(1, 4096));
    const std::string what = "round " + std::to_string(round) + ", block " + std::to_string(block);
    c.step(what + ": activate");
    inst.activate();
    for (int b = 0; b < 3; ++b) {
      c.step(what + ": run " + std::to_string(b));
      float value = 0;
      long at = 0;
      c.tried();
      if (!runChecked(inst, block, b * block, kOutputBound, &value, &at))
        c.reportAgain(Kind::Output, what + ": output " + describeFloat(value) + " at frame " +
                                        std::to_string(at));
    }
    c.step(what + ": deactivate");
    inst.deactivate();
  }
}

void severalRates(Check& c) {
  c.step("instances at 44100, 48000 and 96000 Hz at once");
  std::vector<std::unique_ptr<Instance>> all;
  for (double rate : {44100.0, 48000.0, 96000.0}) {
    try {
      all.push_back(std::make_unique<Instance>(c.pluginPath(), rate, 512));
    } catch (const Refused&) {
    }
  }
  for (auto& inst : all) inst->activate();
  for (int b = 0; b < 20 * c.level(); ++b)
    for (auto& inst : all) {
      c.step("rate " + khost::formatGeneral(inst->rate()) + ", block " + std::to_string(b));
      float value = 0;
      long at = 0;
      c.tried();
      if (!runChecked(*inst, 512, b * 512, kOutputBound, &value, &at))
        c.reportAgain(Kind::Output, "rate " + khost::formatGeneral(inst->rate()) +
                                        " beside other instances: output " + describeFloat(value));
    }
}

void oddOrders(Check& c) {
  {
    c.step("instantiate then cleanup at once");
    Instance inst(c.pluginPath());
    inst.cleanupAtOnce();
    c.tried();
  }
  {
    c.step("activate, deactivate, cleanup without a run");
    Instance inst(c.pluginPath());
    inst.activate();
    inst.deactivate();
    inst.cleanup();
    c.tried();
  }
  {
    c.step("a 0-frame run right after activate");
    Instance inst(c.pluginPath());
    inst.activate();
    inst.run(nullptr, 0);
    float value = 0;
    c.tried();
    if (!runChecked(inst, 128, 0, kOutputBound, &value))
      c.report(Kind::Output, "after a 0-frame first run: output " + describeFloat(value));
  }
  {
    c.step("state saved before activate, restored after");
    Instance inst(c.pluginPath());
    if (inst.hasState()) {
      Instance::State s;
      inst.save(s);
      inst.activate();
      c.tried();
      const LV2_State_Status status = inst.restore(s);
      if (status != LV2_STATE_SUCCESS)
        c.report(Kind::State, "a state saved before activate is refused after it (status " +
                                  std::to_string(static_cast<int>(status)) + ")");
      float value = 0;
      if (!runChecked(inst, 128, 0, kOutputBound, &value))
        c.report(Kind::Output, "after it: output " + describeFloat(value));
    }
  }
}

}  // namespace

std::vector<CheckDef> lifecycleChecks() {
  return {{"instantiate/cleanup cycles", createDestroy, Kind::Resources},
          {"activate/deactivate cycles", activateCycles, Kind::Output},
          {"instances at several rates", severalRates, Kind::Output},
          {"odd orders", oddOrders, Kind::Interface}};
}

}  // namespace validate::lv2
