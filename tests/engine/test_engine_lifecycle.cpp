// Sample-rate changes, resume, suspend, tempo and song position.
#include <gtest/gtest.h>

#include "EngineRig.h"

TEST(EngineResume, SampleRateChangesReallocateAndRescale) {
  struct Case {
    float rate;
    int length, ring, n50, window;
  } cases[] = {{48000.0f, 153601, 4, 2400, 960},    {96000.0f, 307201, 8, 4800, 1920},
               {192000.0f, 614401, 16, 9600, 3840}, {22050.0f, 70561, 2, 1102, 441},
               {5000.0f, 16001, 2, 250, 100},       {200000.0f, 640001, 16, 10000, 4000}};
  for (const Case& c : cases) {
    DelayEngine e;
    e.resume(c.rate);
    EXPECT_EQ(e.sampleRate(), static_cast<int>(c.rate));
    EXPECT_EQ(e.bufferLength(), c.length) << c.rate;
    EXPECT_EQ(e.levelRingLength(), c.ring) << c.rate;
    EXPECT_EQ(e.fadeTicks(), c.n50) << c.rate;
    EXPECT_EQ(e.cycleWindow(), c.window) << c.rate;
    EXPECT_FLOAT_EQ(e.smoothingCoeff(), static_cast<float>(std::exp(-2 * M_PI * 30 / c.rate)));
    EXPECT_FLOAT_EQ(e.highCutCoeff(), static_cast<float>(std::exp(-2 * M_PI * 4000 / c.rate)));
    EXPECT_FLOAT_EQ(e.envelopeCoeff(), static_cast<float>(std::exp(-2 * M_PI * 10 / c.rate)));
    EXPECT_NEAR(e.lfoPhaseIncrement(), 2 * M_PI * 0.1 / c.rate, 1e-6 * 2 * M_PI * 0.1 / c.rate);
    EXPECT_NEAR(std::pow(static_cast<double>(e.writeFadeStep()), c.n50) * 0.001, 1.0, 2e-3);
    // 2000 ms behind the write position, in the new rate's ticks.
    const int behind = static_cast<int>(2.0f * c.rate);
    EXPECT_EQ((e.writePosition() - e.readPosition() + c.length) % c.length, behind) << c.rate;
    EXPECT_FALSE(e.delayJumpPending());
    EXPECT_EQ(e.delayMs(), 2000.0f);
  }
}

TEST(EngineResume, BadRatesRunAt44100) {
  for (float r : {0.0f, 4999.0f, 250000.0f, -48000.0f, std::nanf(""), INFINITY}) {
    DelayEngine e;
    e.resume(48000.0f);
    e.resume(r);
    EXPECT_EQ(e.sampleRate(), 44100) << r;
    EXPECT_EQ(e.bufferLength(), 141121) << r;
  }
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
