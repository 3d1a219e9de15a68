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

namespace validate {

namespace {

double threadSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

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

double median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  std::nth_element(v.begin(), v.begin() + static_cast<ptrdiff_t>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

// The tail's cost is compared with a second instance that keeps playing the
// loud signal, block for block in turn, so that a busy machine slows both
// alike and only the tail's own extra cost shows.
void denormalTail(Check& c) {
  Instance inst(c.pluginPath());
  Instance loud(c.pluginPath());
  const double rate = 44100;
  const int block = 256;
  const int blocksPerSecond = static_cast<int>(rate / block);
  double ratio = 0.0;
  double worstAt = 0.0;
  double extraNs = 0.0;  // the worst second's extra cost per frame
  onAudioThread([&] {
    inst.start(rate, block);
    loud.start(rate, block);
    std::vector<float> in(block), silence(block, 0.0f);
    std::mt19937 noise(5);
    std::uniform_real_distribution<float> d(-0.9f, 0.9f);
    c.step("loud burst");
    for (int b = 0; b < 2 * blocksPerSecond; ++b) {
      for (float& x : in) x = d(noise);
      inst.processSignal(in.data(), block);
      loud.processSignal(in.data(), block);
    }
    const int seconds = 10 * c.level();
    for (int s = 0; s < seconds; ++s) {
      c.step("silent tail, second " + std::to_string(s));
      std::vector<double> tail, burst;
      for (int b = 0; b < blocksPerSecond; ++b) {
        for (float& x : in) x = d(noise);
        double t0 = threadSeconds();
        inst.processSignal(silence.data(), block);
        tail.push_back(threadSeconds() - t0);
        t0 = threadSeconds();
        loud.processSignal(in.data(), block);
        burst.push_back(threadSeconds() - t0);
      }
      c.tried();
      const double burstCost = median(burst);
      const double r = burstCost > 0 ? median(tail) / burstCost : 0.0;
      if (r > ratio) {
        ratio = r;
        worstAt = s;
        extraNs = (median(tail) - burstCost) * 1e9 / block;
      }
    }
    inst.stop();
    loud.stop();
  });
  c.figure("silent tail / burst cost", ratio, "ratio (worst second)");
  // Denormals cost tens of nanoseconds per operation; a few nanoseconds per
  // frame more in a plug-in that costs next to nothing is timer noise.
  if (ratio > 1.2 && extraNs > 5.0)
    c.report(Kind::RealTime, "silent tail second " + khost::formatGeneral(worstAt) + " costs " +
                                 khost::formatDouble(ratio, 2) + "x the burst (limit 1.2), " +
                                 khost::formatDouble(extraNs, 1) + " ns more per frame");
}

}  // namespace

std::vector<CheckDef> realtimeChecks() {
  return {{"no allocation or lock", noAllocation, Kind::RealTime},
          {"denormal tail cost", denormalTail, Kind::RealTime}};
}

}  // namespace validate
