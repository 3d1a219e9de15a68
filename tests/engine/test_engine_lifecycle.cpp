// Sample-rate changes, resume, suspend, tempo and song position.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "EngineRig.h"

namespace {

int samples(double ms, float rate) {
  return static_cast<int>(std::lround(ms * rate / 1000.0));
}

// The first sample from `from` on whose magnitude reaches `level`, or -1.
int firstReaching(const std::vector<float>& v, float level, int from = 0) {
  for (std::size_t i = from; i < v.size(); ++i)
    if (std::fabs(v[i]) >= level) return static_cast<int>(i);
  return -1;
}

float peakOf(const std::vector<float>& v) {
  float p = 0.0f;
  for (float x : v) p = std::max(p, std::fabs(x));
  return p;
}

// Where an impulse at 60 ms (after the 50 ms write fade-in) comes back: the
// first output sample at 1 % of the echo's peak.
int echoOnset(DelayEngine& e, float rate, double afterMs) {
  const int n = samples(60.0, rate);
  Signal in(static_cast<std::size_t>(n + samples(afterMs + 5.0, rate)));
  in.left[n] = in.right[n] = 1.0f;
  const Signal out = run(e, in, 4096);
  const int onset = firstReaching(out.left, 0.01f * peakOf(out.left));
  EXPECT_EQ(firstReaching(out.right, 0.01f * peakOf(out.right)), onset) << rate;
  return onset - n;
}

}  // namespace

// Each rate runs as itself: the delay memory holds 3200 ms at that rate and a
// delay lasts its milliseconds, not samples of some other rate.
TEST(EngineRates, AHundredMillisecondsEchoAfterAHundredMillisecondsAtEveryRate) {
  for (float rate : {5000.0f, 8000.0f, 44100.0f, 384000.0f, 768000.0f}) {
    DelayEngine e;
    wetOnly(e, 100.0f);
    EXPECT_TRUE(e.resume(rate)) << rate;
    settle(e, rate);
    // 100 ms of ticks plus the interpolators' three samples, then the
    // anti-alias filter's rise, well under 0.1 ms.
    const int expected = samples(100.0, rate) + 3;
    const int onset = echoOnset(e, rate, 100.0);
    EXPECT_GE(onset, expected) << rate;
    EXPECT_LE(onset, expected + samples(0.1, rate) + 1) << rate;
  }
}

// The longest delay with Dlyx2 at the highest rate: 3200 ms of ticks at two
// samples each, so the memory for 3200 ms holds 6400 ms.
TEST(EngineRates, LongestDelayWithDlyx2AtTheHighestRate) {
  const float rate = static_cast<float>(DelayEngine::kMaxSampleRate);
  DelayEngine e;
  wetOnly(e, 3200.0f);
  e.setParameter(kDlyx2, kOn);
  settle(e, rate);
  const int onset = echoOnset(e, rate, 6400.0);
  EXPECT_GE(onset, samples(6400.0, rate));
  EXPECT_LE(onset, samples(6400.5, rate));
}

// What is set in milliseconds or hertz lasts as long at every rate: the
// control smoothers (30 Hz), the write fade-in (60 dB in 50 ms), the
// envelope (10 Hz), the oscillator (Rate) and the cycle indicator (20 ms
// either side of a boundary).
TEST(EngineRates, TimesInSecondsHoldAtTheExtremes) {
  for (float rate : {5000.0f, 44100.0f, 768000.0f}) {
    const double tolerance = 1000.0 * 2.0 / rate + 0.01;  // ms: two samples and 10 us
    {
      // Output 0.5 -> 1 (gain 1 -> 4) on a dry DC input: 63 % after 1/(2 pi 30) s.
      DelayEngine e;
      e.setParameter(kMix, 0.0f);
      settle(e, rate);
      e.setParameter(kOutput, 1.0f);
      const Signal out = run(e, constant(samples(20.0, rate), 0.25f, 0.25f), 4096);
      const float target = 0.25f + 0.75f * static_cast<float>(1.0 - std::exp(-1.0));
      const double ms = 1000.0 * firstReaching(out.left, target) / rate;
      EXPECT_NEAR(ms, 1000.0 / (2.0 * M_PI * 30.0), tolerance + 0.05) << rate;
    }
    {
      // Write fade-in after suspend, seen in the echo of a DC input 100 ms
      // later: from 1 % to 50 % of the final level takes 50 x (1 - log10(2)/3
      // - 1/3) ms on a 60 dB exponential ramp.
      DelayEngine e;
      wetOnly(e, 100.0f);
      settle(e, rate);
      const Signal out = run(e, constant(samples(200.0, rate), 0.5f, 0.5f), 4096);
      const float final = out.left.back();
      const int from = firstReaching(out.left, 0.01f * final);
      const int to = firstReaching(out.left, 0.5f * final, from);
      const double ms = 1000.0 * (to - from) / rate;
      EXPECT_NEAR(ms, 50.0 * (2.0 / 3.0 - std::log10(2.0) / 3.0), tolerance + 0.05) << rate;
    }
    {
      // The envelope of a DC input: 63 % after 1/(2 pi 10) s.
      DelayEngine settled, e;
      settle(settled, rate);
      run(settled, constant(samples(200.0, rate), 0.5f, 0.5f), 4096);
      settle(e, rate);
      Signal in = constant(samples(100.0, rate), 0.5f, 0.5f);
      int reached = -1;
      for (std::size_t k = 0; k < in.size() && reached < 0; ++k) {
        e.process(&in.left[k], &in.right[k], &in.left[k], &in.right[k], 1, BlockTiming{});
        if (e.envelopeState() >= 0.632f * settled.envelopeState()) reached = static_cast<int>(k);
      }
      EXPECT_NEAR(1000.0 * reached / rate, 1000.0 / (2.0 * M_PI * 10.0), tolerance + 0.1) << rate;
    }
    {
      // Rate 1 is 10 Hz: a quarter turn in 25 ms.
      DelayEngine e;
      e.setParameter(kRate, 1.0f);
      settle(e, rate);
      run(e, Signal(samples(25.0, rate)), 4096);
      EXPECT_NEAR(e.readStatus().phase, M_PI / 2.0, 0.01) << rate;
    }
    {
      // A 500 ms cycle (1/4 at 120 BPM): lit within 20 ms of its boundaries.
      DelayEngine e;
      e.setParameter(kNum, 0.0f);
      e.setParameter(kDen, stepCenter(3, 13));
      e.setParameter(kDlyClk, kOn);
      settle(e, rate);
      // One block from `fromMs` to `toMs`, the host's position at its start.
      auto play = [&](double fromMs, double toMs) {
        BlockTiming t;
        t.hasPosition = true;
        t.ppqPos = fromMs * 2.0 / 1000.0;
        run(e, Signal(samples(toMs, rate) - samples(fromMs, rate)), 1 << 30, false, t);
        return e.readStatus().indicator;
      };
      play(0.0, 250.0);
      EXPECT_FALSE(play(250.0, 479.0)) << rate;
      EXPECT_TRUE(play(479.0, 481.0)) << rate;
      EXPECT_TRUE(play(481.0, 521.0)) << rate;
      EXPECT_FALSE(play(521.0, 523.0)) << rate;
    }
  }
}

// Outside the rates it runs at, the engine passes its input through dry and
// keeps what it had; a supported rate later runs normally again.
TEST(EngineRates, UnsupportedRatesPassTheInputThroughDry) {
  for (float r : {0.0f, 4999.0f, 768001.0f, 1.0e6f, -48000.0f, std::nanf(""), INFINITY}) {
    DelayEngine e;
    wetOnly(e, 10.0f);
    e.setParameter(kMix, 0.5f);
    e.setParameter(kFbck, 0.5f);
    settle(e, 48000.0f);
    EXPECT_FALSE(e.resume(r)) << r;
    EXPECT_FALSE(DelayEngine::supportsSampleRate(r)) << r;
    const Signal in = noise(3000, 0.9f, 3);
    const Signal out = run(e, in);
    for (std::size_t i = 0; i < in.size(); ++i) {
      ASSERT_EQ(out.left[i], in.left[i]) << r;
      ASSERT_EQ(out.right[i], in.right[i]) << r;
    }
    const Signal mono = run(e, in, 100, true);
    EXPECT_EQ(mono.left[7], 0.5f * in.left[7] + 0.5f * in.right[7]);
    wetOnly(e, 10.0f);
    EXPECT_TRUE(e.resume(48000.0f));
    EXPECT_EQ(echoOnset(e, 48000.0f, 10.0), samples(10.0, 48000.0f) + 3) << r;
  }
  EXPECT_TRUE(DelayEngine::supportsSampleRate(DelayEngine::kMinSampleRate));
  EXPECT_TRUE(DelayEngine::supportsSampleRate(DelayEngine::kMaxSampleRate));
}

TEST(EngineResume, AntiAliasCutoffForTheNewRate) {
  DelayEngine e;
  e.resume(22050.0f);
  EXPECT_NEAR(e.antiAliasCutoff(), 7000.0f, 0.01f);
  e.setParameter(kDlyx2, kOn);
  e.resume(96000.0f);
  EXPECT_EQ(e.antiAliasCutoff(), 6000.0f);
  // Between the two thresholds a rate change scales, a Dlyx2 switch does not.
  DelayEngine f;
  f.resume(29000.0f);
  EXPECT_NEAR(f.antiAliasCutoff(), 14.0f * 29000.0f / 44.1f, 0.01f);
  f.setParameter(kDlyx2, kOff);
  run(f, Signal(1));
  EXPECT_EQ(f.antiAliasCutoff(), 14000.0f);
}

TEST(EngineResume, ClearsSignalStateAndSongPosition) {
  DelayEngine e;
  wetOnly(e, 100.0f);
  e.setParameter(kFbck, 0.9f);
  settle(e);
  run(e, noise(20000, 0.8f));
  BlockTiming t;
  t.hasPosition = true;
  t.ppqPos = 17.0;
  run(e, Signal(10), 10, false, t);
  EXPECT_EQ(e.songPosition(), 17.0f);
  e.resume(44100.0f);
  EXPECT_EQ(e.songPosition(), 0.0f);
  EXPECT_EQ(e.feedbackValueL(), 0.0f);
  // The memory is silent: no echo of the earlier noise comes back.
  e.setParameter(kFbck, 0.0f);
  Signal out = run(e, Signal(10000));
  for (float v : out.left) ASSERT_LT(std::fabs(v), 1e-6f);
}

TEST(EngineSuspend, SettlesSmoothersAndArmsTheFadeIn) {
  DelayEngine e;
  e.setParameter(kOutput, 1.0f);
  e.setParameter(kMix, 0.0f);
  e.suspend();
  EXPECT_EQ(e.writeFade(), 0.001f);
  // The first sample already has the full output gain of 4 on the dry path.
  Signal out = run(e, constant(1, 0.25f, 0.25f));
  EXPECT_NEAR(out.left[0], 1.0f, 1e-6f);
}

TEST(EngineTempo, HostTempoIsClamped) {
  DelayEngine e;
  BlockTiming t;
  t.hasTempo = true;
  t.tempo = 30.0;
  run(e, Signal(64), 64, false, t);
  EXPECT_EQ(e.getTempo(), 40.0f);
  t.tempo = 500.0;
  run(e, Signal(64), 64, false, t);
  EXPECT_EQ(e.getTempo(), 400.0f);
  t.tempo = 133.5;
  run(e, Signal(64), 64, false, t);
  EXPECT_EQ(e.getTempo(), 133.5f);
}

TEST(EngineTempo, SyncedDelayFollowsTheHostTempoWithAJump) {
  DelayEngine e;
  e.setParameter(kNum, 0.0f);
  e.setParameter(kDen, stepCenter(3, 13));
  e.setParameter(kDlyClk, kOn);
  settle(e);
  BlockTiming t;
  t.hasTempo = true;
  t.tempo = 120.0;
  run(e, Signal(64), 64, false, t);
  EXPECT_EQ(e.delayMs(), 500.0f);
  t.tempo = 100.0;
  run(e, Signal(64), 64, false, t);
  EXPECT_EQ(e.delayMs(), 600.0f);
  const int len = e.bufferLength();
  EXPECT_EQ((e.writePosition() - e.readPosition() + len) % len, 26460);
  // Sync off: the tempo no longer moves the delay.
  e.setParameter(kDlyClk, kOff);
  t.tempo = 150.0;
  run(e, Signal(64), 64, false, t);
  EXPECT_EQ(e.delayMs(), 600.0f);
}

TEST(EngineTempo, SongPositionAdvancesWithoutTimeInfo) {
  DelayEngine e;
  e.resume(44100.0f);
  run(e, Signal(44100), 44100);
  EXPECT_EQ(e.songPosition(), 2.0f);  // 44100 samples at 120 BPM
  BlockTiming slow;
  slow.hasTempo = true;
  slow.tempo = 60.0;
  run(e, Signal(22050), 22050, false, slow);
  EXPECT_EQ(e.songPosition(), 2.5f);
  // A block of 0 frames still reads the host.
  BlockTiming pos;
  pos.hasPosition = true;
  pos.ppqPos = 8.25;
  e.process(nullptr, nullptr, nullptr, nullptr, 0, pos);
  EXPECT_EQ(e.songPosition(), 8.25f);
}

TEST(EngineIndicator, LitNearBoundariesOnlyAndResetByReading) {
  DelayEngine e;
  e.setParameter(kNum, 0.0f);
  e.setParameter(kDen, stepCenter(3, 13));  // 22050 samples per cycle
  e.setParameter(kDlyClk, kOn);
  settle(e);
  run(e, Signal(100), 100);
  EXPECT_TRUE(e.readStatus().indicator);  // within 20 ms after the start
  run(e, Signal(10000), 100);
  EXPECT_TRUE(e.readStatus().indicator);  // latched from the first samples
  run(e, Signal(100), 100);
  EXPECT_FALSE(e.readStatus().indicator);  // mid-cycle, after the reset
  run(e, Signal(11000), 100);              // to 21300: within 20 ms of the boundary
  EXPECT_TRUE(e.readStatus().indicator);
  run(e, Signal(2000), 100);  // 23300: 1250 samples into the next cycle
  e.readStatus();
  run(e, Signal(100), 100);
  EXPECT_FALSE(e.readStatus().indicator);
}

TEST(EngineIndicator, NoCycleAtZeroDelay) {
  DelayEngine e;
  e.setParameter(kDlyTime, 0.0f);
  settle(e);
  BlockTiming t;
  t.hasTempo = true;
  t.tempo = 120.0;
  t.hasPosition = true;
  for (double p : {0.0, 0.5, 1.0, 1.0e6}) {
    t.ppqPos = p;
    run(e, Signal(64), 64, false, t);
    EXPECT_FALSE(e.readStatus().indicator) << p;
  }
}

TEST(EngineStatusReport, NominalAndEffectiveDelay) {
  DelayEngine e;
  e.setParameter(kDlyTime, 0.1f);  // 320 ms
  e.setParameter(kManVCO, 1.0f);   // x1.5
  EngineStatus s = e.readStatus();
  EXPECT_EQ(s.nominalDelayMs, 320);
  EXPECT_EQ(s.effectiveDelayMs, 480);
  e.setParameter(kDlyTime, 0.0f);
  s = e.readStatus();
  EXPECT_EQ(s.nominalDelayMs, 0);
  EXPECT_EQ(s.effectiveDelayMs, 0);
}

TEST(EngineInstances, TwoEnginesShareNothing) {
  DelayEngine a, b;
  wetOnly(a, 10.0f);
  settle(a);
  settle(b);
  a.setParameter(kFbck, 0.9f);
  a.setParameter(kInput, 1.0f);
  EXPECT_EQ(b.getParameter(kFbck), 0.0f);
  EXPECT_EQ(b.inputGain(), 1.0f);
  run(a, noise(5000, 0.9f));
  b.setParameter(kMix, 1.0f);
  Signal out = run(b, Signal(5000));
  for (float v : out.left) ASSERT_LT(std::fabs(v), 1e-6f);
}

TEST(EngineReset, ClearsSignalStateKeepsClockFadeSmoothersAndEnvelope) {
  DelayEngine e;
  wetOnly(e, 100.0f);
  e.setParameter(kFbck, 0.6f);
  e.setParameter(kDepth, 0.5f);
  e.setParameter(kWaveform, 0.5f);
  settle(e);
  run(e, noise(30000, 0.8f), 300);
  e.setParameter(kRptInf, kOn);  // restarts the write fade at the next sample
  run(e, noise(100, 0.8f), 100);
  const int write = e.writePosition(), read = e.readPosition();
  const float fade = e.writeFade(), envelope = e.envelopeState();
  const float feedbackSmoother = e.smoothedFeedback();
  ASSERT_GT(envelope, 0.01f);
  ASSERT_LT(fade, 1.0f);
  ASSERT_NE(e.feedbackValueL(), 0.0f);
  e.resetEngine();
  EXPECT_EQ(e.writePosition(), write);
  EXPECT_EQ(e.readPosition(), read);
  EXPECT_EQ(e.writeFade(), fade);
  EXPECT_EQ(e.envelopeState(), envelope);
  EXPECT_EQ(e.smoothedFeedback(), feedbackSmoother);
  EXPECT_EQ(e.feedbackValueL(), 0.0f);
  EXPECT_EQ(e.feedbackValueR(), 0.0f);
  const EngineStatus s = e.readStatus();
  EXPECT_EQ(s.phase, 0.0f);
  EXPECT_EQ(s.peak, 0.0f);
  EXPECT_FALSE(s.indicator);
}
