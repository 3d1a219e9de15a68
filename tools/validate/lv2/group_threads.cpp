// threads: run on the audio thread while another thread writes port values
// (as hosts' GUI and automation do) and a third saves the state (save may
// run beside run); restore beside run only where the plug-in declares
// state:threadSafeRestore. No crash, output finite and bounded; under a
// thread sanitizer races show as such.
#include <atomic>
#include <exception>
#include <thread>

#include "tools/base/cli.h"
#include "tools/validate/cases.h"
#include "tools/validate/lv2/lv2_groups.h"
#include "tools/validate/signals.h"

namespace validate::lv2 {

namespace {

// Runs `blocks` blocks on an audio thread while `other` runs on another;
// an exception on either comes back on the caller's thread.
template <typename Other>
void beside(Check& c, Instance& inst, long blocks, Other other) {
  std::atomic<bool> running{true};
  std::exception_ptr audioError, otherError;
  std::thread audio([&] {
    try {
      std::vector<float> in(256);
      for (long b = 0; b < blocks; ++b) {
        musicalSignal(in, b * 256, 44100, 9);
        inst.run(in.data(), 256);
        c.tried();
        long at = 0;
        float value = 0;
        // Ports written at random: as for VST, only output that is no
        // longer finite counts here; loudness is the parameters group's.
        if (badSamples(inst.outputs(), 256, 1e30f, &at, &value) > 0)
          c.reportAgain(Kind::Output,
                        "block " + std::to_string(b) + ": output " + describeFloat(value));
      }
    } catch (...) {
      audioError = std::current_exception();
    }
    running = false;
  });
  try {
    while (running) other();
  } catch (...) {
    otherError = std::current_exception();
    running = false;
  }
  audio.join();
  if (audioError) std::rethrow_exception(audioError);
  if (otherError) std::rethrow_exception(otherError);
}

void portWritesAndSave(Check& c) {
  Instance inst(c.pluginPath());
  inst.activate();
  std::mt19937_64 rng(c.seed());
  c.step("run beside port writes and save");
  long saves = 0;
  beside(c, inst, 400 * c.level(), [&] {
    for (size_t k = 0; k < inst.controls(); ++k)
      inst.setNormalized(k, static_cast<float>(static_cast<double>(rng() >> 11) * 0x1p-53));
    if (inst.hasState()) {
      Instance::State s;
      inst.save(s);
      ++saves;
    }
    std::this_thread::yield();
  });
  c.figure("saves beside run", static_cast<double>(saves), "");
}

void restoreBesideRun(Check& c) {
  Instance inst(c.pluginPath());
  if (!inst.hasState()) return c.skip("no state interface");
  if (!inst.plugin().threadSafeRestore)
    return c.skip("no state:threadSafeRestore: hosts restore only while run is not running");
  inst.activate();
  Instance::State good;
  inst.save(good);
  c.step("run beside restore");
  beside(c, inst, 400 * c.level(), [&] { inst.restore(good); });
}

}  // namespace

std::vector<CheckDef> threadChecks() {
  return {{"run beside port writes and save", portWritesAndSave, Kind::Race},
          {"restore beside run", restoreBesideRun, Kind::Race}};
}

}  // namespace validate::lv2
