// lifecycle: many create/destroy cycles (heap and RSS growth as figures, a
// steady heap growth per instance fails), suspend/resume with rate and block
// changes in between, and calls in the odd orders the VST 2.4 conventions
// allow (never process before resume; close without suspend is allowed).
#include <chrono>
#include <climits>
#include <fstream>

#include "tools/base/cli.h"
#include "tools/validate/check.h"
#include "tools/validate/cycles.h"
#include "tools/validate/instance.h"
#include "tools/validate/rt_monitor.h"
#include "tools/validate/signals.h"

namespace validate {

namespace {

void oneLife(Check& c, long k) {
  c.step("instance " + std::to_string(k) + ": create, resume, one block, suspend, close");
  Instance inst(c.pluginPath());
  inst.start(44100, 64);
  std::vector<float> in(64);
  musicalSignal(in, 0, 44100, 1);
  inst.processSignal(in.data(), 64);
  inst.close();
}

void createDestroy(Check& c) {
  lifeCycles(c, [&c](long k) { oneLife(c, k); },
             {"create/destroy", "create-to-close", "created and closed"});
}

void suspendResume(Check& c) {
  Instance inst(c.pluginPath());
  const double rates[] = {22050, 44100, 48000, 96000, 192000};
  std::vector<float> in;
  for (long round = 0; round < 20 * c.level(); ++round) {
    const double rate = rates[c.between(0, 4)];
    const int block = static_cast<int>(c.between(1, 4096));
    const std::string what = "round " + std::to_string(round) + ": rate " +
                             khost::formatGeneral(rate) + ", block " + std::to_string(block);
    c.step(what + ": effSetSampleRate, effSetBlockSize, resume");
    inst.start(rate, block);
    in.resize(static_cast<size_t>(block));
    for (int b = 0; b < 3; ++b) {
      musicalSignal(in, b * block, rate, 4);
      c.step(what + ": block " + std::to_string(b));
      inst.processSignal(in.data(), block);
      c.tried();
      long at = 0;
      float value = 0;
      if (badSamples(inst.outputs(), block, 100.0f, &at, &value) > 0)
        c.reportAgain(Kind::Output, what + ": output " + describeFloat(value) + " at frame " +
                                        std::to_string(at));
    }
    c.step(what + ": suspend");
    inst.stop();
  }
}

void processSome(Check& c, Instance& inst, const std::string& what) {
  std::vector<float> in(128);
  musicalSignal(in, 0, 44100, 6);
  c.step(what + ": processReplacing");
  inst.processSignal(in.data(), 128);
  c.tried();
  long at = 0;
  float value = 0;
  if (badSamples(inst.outputs(), 128, 100.0f, &at, &value) > 0)
    c.report(Kind::Output,
             what + ": output " + describeFloat(value) + " at frame " + std::to_string(at));
}

void oddOrders(Check& c) {
  {
    c.step("effOpen then effClose at once");
    Instance inst(c.pluginPath());
    inst.close();
    c.tried();
  }
  {
    c.step("close while resumed, without suspend");
    Instance inst(c.pluginPath());
    inst.start(44100, 128);
    processSome(c, inst, "close while resumed");
    c.step("effClose while resumed");
    inst.closeWithoutSuspend();
    c.tried();
  }
}

void repeatedCalls(Check& c) {
  Instance inst(c.pluginPath());
  c.step("suspend before any resume");
  inst.dispatch(effStopProcess);
  inst.dispatch(effMainsChanged, 0, 0);
  c.step("effGetChunk and effGetTailSize before resume");
  inst.chunk(false);
  inst.dispatch(effGetTailSize);
  c.step("resume twice");
  inst.dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
  inst.dispatch(effSetBlockSize, 0, 128);
  inst.start(44100, 128);
  inst.dispatch(effMainsChanged, 0, 1);
  processSome(c, inst, "after resuming twice");
  c.step("0-frame call right after resume");
  inst.stop();
  inst.start(48000, 128);
  inst.processSignal(nullptr, 0);
  processSome(c, inst, "after a 0-frame call");
  c.step("suspend twice, then resume at another rate");
  inst.stop();
  inst.dispatch(effMainsChanged, 0, 0);
  inst.start(96000, 128);
  processSome(c, inst, "after suspending twice");
  const int programs = inst.plugin().numPrograms();
  const VstIntPtr odd[] = {-1, programs, programs + 5, INT_MAX};
  for (VstIntPtr p : odd) {
    c.step("effSetProgram(" + std::to_string(p) + ")");
    inst.dispatch(effSetProgram, 0, p);
    const VstIntPtr now = inst.dispatch(effGetProgram);
    c.tried();
    if (programs > 0 && (now < 0 || now >= programs))
      c.fail("effSetProgram(" + std::to_string(p) + ") leaves effGetProgram at " +
             std::to_string(now) + " (programs 0.." + std::to_string(programs - 1) + ")");
  }
  for (int p = 0; p < programs && p < 128; ++p) {
    c.step("effSetProgram(" + std::to_string(p) + ") while resumed");
    inst.dispatch(effSetProgram, 0, p);
    processSome(c, inst, "program " + std::to_string(p));
  }
  c.step("effEditGetRect without an open editor");
  ERect* r = nullptr;
  inst.dispatch(effEditGetRect, 0, 0, &r);
  c.tried();
}

}  // namespace

std::vector<CheckDef> lifecycleChecks() {
  return {{"create/destroy cycles", createDestroy, Kind::Resources},
          {"suspend/resume changes", suspendResume, Kind::Output},
          {"repeated and early calls", repeatedCalls, Kind::Interface},
          {"close without suspend", oddOrders, Kind::Output}};
}

}  // namespace validate
