// real-time: run (and a worker's work_response and end_run, which hosts call
// on the audio thread too) neither allocates nor locks nor waits nor touches files,
// counted on the audio thread by the validator's own interposer
// (rt_interposer.cpp), with port values changing and MIDI and time:Position
// arriving. Hosts run every plug-in on the audio thread, so this fails
// whether or not the plug-in declares lv2:hardRTCapable; one that declares
// it is named as such.
#include <exception>
#include <thread>

#include "tools/base/cli.h"
#include "tools/validate/lv2/lv2_groups.h"
#include "tools/validate/rt_monitor.h"
#include "tools/validate/signals.h"
#include "tools/validate/tail_cost.h"

namespace validate::lv2 {

namespace {

void noAllocation(Check& c) {
  const double rates[] = {44100, 96000};
  for (double rate : rates) {
    Instance inst(c.pluginPath(), rate, 512);
    const bool declared = inst.plugin().hardRTCapable;
    std::exception_ptr error;
    std::thread audio([&] {
      try {
        inst.activate();
        std::vector<float> in(512);
        // The first block after activate may set things up.
        musicalSignal(in, 0, rate, 1);
        inst.run(in.data(), 512);
        rt::reset();
        const long blocks = 100 * c.level();
        const auto place = c.at({{"rate", khost::formatGeneral(rate)}});
        Position pos;
        for (long b = 1; b <= blocks; ++b) {
          musicalSignal(in, b * 512, rate, 1);
          const uint32_t frames = static_cast<uint32_t>(b % 7 == 0 ? c.between(1, 512) : 512);
          if (inst.controls() > 0)
            inst.setNormalized(static_cast<size_t>(b) % inst.controls(),
                               static_cast<float>(c.uniform(0, 1)));
          sendMidiBurst(inst, frames, c.rng());
          pos.frame = b * 512;
          pos.beat = static_cast<double>(pos.frame) / rate * pos.bpm / 60.0;
          if (b % 5 == 0) pos.bpm = c.uniform(40, 240);
          inst.position(0, pos);
          c.step("rate " + khost::formatGeneral(rate) + ", block " + std::to_string(b) + ": run(" +
                 std::to_string(frames) + ")");
          inst.run(in.data(), frames);
          // work_response and end_run too: the audio thread runs them.
          const Instance::AudioCounts& audio = inst.lastAudio();
          const rt::Counts& counts = audio.counts;
          c.tried();
          auto where = [&](const char* call) {
            return "rate " + khost::formatGeneral(rate) + ", block " + std::to_string(b) + ", " +
                   call + (declared ? " (the plug-in declares lv2:hardRTCapable)" : "");
          };
          if (counts.allocations > 0)
            c.reportAgain(Kind::RealTime,
                          where(audio.allocatedIn) + " allocated or freed " +
                              std::to_string(counts.allocations) + " time(s)",
                          {{"made", "malloc or free"}});
          if (counts.blocking > 0)
            c.reportAgain(Kind::RealTime,
                          where(audio.blockedIn) + " made a locking or blocking call (" +
                              counts.firstBlocking + (counts.blocking > 1 ? ", and more" : "") +
                              ")",
                          {{"made", counts.firstBlocking}});
        }
        inst.deactivate();
        c.figure("audio-thread allocations at " + khost::formatGeneral(rate) + " Hz",
                 static_cast<double>(rt::counts().allocations),
                 "in " + std::to_string(blocks) + " blocks");
      } catch (...) {
        error = std::current_exception();
      }
    });
    audio.join();
    if (error) std::rethrow_exception(error);
  }
  if (c.failures() == 0 && !Plugin::find(c.pluginPath()).hardRTCapable)
    c.note("real-time safe, though it does not declare lv2:hardRTCapable");
}

void denormalTail(Check& c) {
  Instance inst(c.pluginPath(), 44100, 256), loud(c.pluginPath(), 44100, 256);
  inst.activate();
  loud.activate();
  std::exception_ptr error;
  std::thread audio([&] {
    try {
      tailCost(
          c, [&](const float* in) { inst.run(in, 256); },
          [&](const float* in) { loud.run(in, 256); });
    } catch (...) {
      error = std::current_exception();
    }
  });
  audio.join();
  if (error) std::rethrow_exception(error);
}

}  // namespace

std::vector<CheckDef> realtimeChecks() {
  return {{"no allocation or lock", noAllocation, Kind::RealTime},
          {"denormal tail cost", denormalTail, Kind::RealTime}};
}

}  // namespace validate::lv2
