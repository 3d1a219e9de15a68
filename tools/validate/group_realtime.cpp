// real-time: processReplacing and effProcessEvents neither allocate nor lock
// nor wait nor touch files, counted on the audio thread by the validator's
// own interposer (rt_interposer.cpp); a
// silent tail after a loud burst costs at most 1.2x the burst (denormals).
#include <time.h>

#include <algorithm>
#include <cmath>
#include <thread>

#include "tools/base/cli.h"
#include "tools/validate/check.h"
#include "tools/validate/instance.h"
#include "tools/validate/rt_monitor.h"
#include "tools/validate/signals.h"
#include "tools/validate/tail_cost.h"

namespace validate {

namespace {

// Runs `body` on a thread of its own, as hosts run audio.
template <typename F>
void onAudioThread(F body) {
  std::thread t(body);
  t.join();
}

void noAllocation(Check& c) {
  Instance inst(c.pluginPath());
  const int n = inst.plugin().numParams();
  onAudioThread([&] {
    const double rates[] = {44100, 96000};
    std::vector<float> in(512);
    for (double rate : rates) {
      inst.start(rate, 512);
      // The first block after a resume may set things up.
      musicalSignal(in, 0, rate, 1);
      inst.processSignal(in.data(), 512);
      rt::reset();
      const long blocks = 100 * c.level();
      const auto place = c.at({{"rate", khost::formatGeneral(rate)}});
      for (long b = 1; b <= blocks; ++b) {
        musicalSignal(in, b * 512, rate, 1);
        const int32_t frames = static_cast<int32_t>(b % 7 == 0 ? c.between(1, 512) : 512);
        if (n > 0) inst.setParameter(static_cast<int>(b % n), static_cast<float>(c.uniform(0, 1)));
        c.step("rate " + khost::formatGeneral(rate) + ", block " + std::to_string(b) +
               ": effProcessEvents");
        inst.sendMidi(midiBurst(frames, c.rng()));
        const rt::Counts events = rt::lastCall();
        c.step("rate " + khost::formatGeneral(rate) + ", block " + std::to_string(b) +
               ": processReplacing(" + std::to_string(frames) + ")");
        inst.processSignal(in.data(), frames);
        const rt::Counts process = rt::lastCall();
        c.tried(2);
        const std::string where =
            "rate " + khost::formatGeneral(rate) + ", block " + std::to_string(b) + ", ";
        // Each call and what it did is one finding; the same again in later
        // blocks only counts.
        for (const auto& [call, counts] : {std::make_pair("effProcessEvents", events),
                                           std::make_pair("processReplacing", process)}) {
          const auto what = c.at({{"call", call}});
          if (counts.allocations > 0)
            c.reportAgain(Kind::RealTime,
                          where + call + " allocated or freed " +
                              std::to_string(counts.allocations) + " time(s)",
                          {{"made", "malloc or free"}});
          if (counts.blocking > 0)
            c.reportAgain(Kind::RealTime,
                          where + call + " made a locking or blocking call (" +
                              counts.firstBlocking + (counts.blocking > 1 ? ", and more" : "") +
                              ")",
                          {{"made", counts.firstBlocking}});
        }
      }
      inst.stop();
      const rt::Counts total = rt::counts();
      c.figure("audio-thread allocations at " + khost::formatGeneral(rate) + " Hz",
               static_cast<double>(total.allocations), "in " + std::to_string(blocks) + " blocks");
    }
  });
}

void denormalTail(Check& c) {
  Instance inst(c.pluginPath());
  Instance loud(c.pluginPath());
  onAudioThread([&] {
    inst.start(44100, 256);
    loud.start(44100, 256);
    tailCost(
        c, [&](const float* in) { inst.processSignal(in, 256); },
        [&](const float* in) { loud.processSignal(in, 256); });
    inst.stop();
    loud.stop();
  });
}

}  // namespace

std::vector<CheckDef> realtimeChecks() {
  return {{"no allocation or lock", noAllocation, Kind::RealTime},
          {"denormal tail cost", denormalTail, Kind::RealTime}};
}

}  // namespace validate
