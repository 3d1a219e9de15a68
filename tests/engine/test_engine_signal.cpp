// The audio path: delay, clock, modulation, limiter, feedback, hold, outputs.
#include <gtest/gtest.h>

#include "EngineRig.h"

namespace {

// Expected first output sample of a unit impulse through both anti-alias
// sections and the limiter (ring of 4 holding only that sample).
double impulseHead(double fc = 14000.0) {
  const double b0 = antiAliasB0(fc, 44100.0);
  const double t = b0 * b0;
  return t * (1.0 - 0.25 * t / 4.0);
}

int firstAbove(const std::vector<float>& v, float level) {
  for (std::size_t i = 0; i < v.size(); ++i)
    if (std::fabs(v[i]) > level) return static_cast<int>(i);
  return -1;
}

}  // namespace

TEST(EngineDelay, ImpulseThroughOneSecondArrivesAfter44103Samples) {
  DelayEngine e;
  wetOnly(e, 1000.0f);
  settle(e);
  const int n = 3000;  // after the 50 ms write fade-in that follows suspend
  Signal in(n + 44200);
  in.left[n] = 1.0f;
  in.right[n] = 1.0f;
  Signal out = run(e, in);
  EXPECT_EQ(firstAbove(out.left, 1e-4f), n + 44103);
  EXPECT_NEAR(out.left[n + 44103], impulseHead(), 1e-6);
  EXPECT_NEAR(out.right[n + 44103], impulseHead(), 1e-6);
  EngineStatus s = e.readStatus();
  EXPECT_EQ(s.effectiveDelayMs, 1000);
  EXPECT_EQ(s.nominalDelayMs, 1000);
}

TEST(EngineDelay, Dlyx2DoublesTheDelayAndTheReportedEffectiveDelay) {
  DelayEngine e;
  wetOnly(e, 1000.0f);
  e.setParameter(kDlyx2, kOn);
  settle(e);
  const int n = 5000;
  Signal in(n + 88400);
  in.left[n] = 1.0f;
  Signal out = run(e, in);
  const int first = firstAbove(out.left, 1e-3f);
  EXPECT_GE(first, n + 88195);
  EXPECT_LE(first, n + 88212);
  EXPECT_EQ(e.clockPeriod(), 2.0f);
  EXPECT_EQ(e.antiAliasCutoff(), 6000.0f);
  EngineStatus s = e.readStatus();
  EXPECT_EQ(s.effectiveDelayMs, 2000);
  EXPECT_EQ(s.nominalDelayMs, 1000);
}

TEST(EngineDelay, ShortDelayPassesTheConditionedInput) {
  for (float ms : {0.0f, 0.05f}) {  // 0 and about 2.2 samples
    DelayEngine e;
    wetOnly(e, ms);
    settle(e);
    Signal in(400);
    in.left[100] = 1.0f;
    Signal out = run(e, in);
    EXPECT_EQ(firstAbove(out.left, 1e-4f), 100) << ms;
    EXPECT_NEAR(out.left[100], impulseHead(), 1e-6) << ms;
  }
}

TEST(EngineDelay, LongestDelayAt48kHzReadsOneSlotAheadOfTheWrite) {
  DelayEngine e;
  e.setParameter(kDlyTime, 1.0f);
  settle(e, 48000.0f);
  EXPECT_EQ(e.bufferLength(), 153601);
  EXPECT_EQ(e.readPosition(), (e.writePosition() + 1) % e.bufferLength());
  e.setParameter(kDlyTime, 1.0f);  // a jump, carried out by the loop
  run(e, Signal(37));
  EXPECT_EQ(e.delayTicks(), 153600.0f);
  EXPECT_EQ(e.readPosition(), (e.writePosition() + 1) % e.bufferLength());
}

TEST(EngineDelay, DelayChangeJumpsAtTheNextSample) {
  DelayEngine e;
  wetOnly(e, 1000.0f);
  settle(e);
  run(e, Signal(10));
  e.setParameter(kDlyTime, dlyTimeFor(500.0f));
  run(e, Signal(1));
  const int len = e.bufferLength();
  EXPECT_EQ((e.writePosition() - e.readPosition() + len) % len, 22050);
}

TEST(EngineOutput, MonoOutputIsTheAverageOfBothChannels) {
  DelayEngine stereo, mono;
  for (DelayEngine* e : {&stereo, &mono}) {
    wetOnly(*e, 10.0f);
    e->setParameter(kMix, 0.4f);
    e->setParameter(kFbck, 0.5f);
    settle(*e);
  }
  Signal in = noise(3000, 0.5f);
  Signal s = run(stereo, in);
  Signal m = run(mono, in, 256, true);
  for (std::size_t i = 0; i < in.size(); ++i)
    ASSERT_NEAR(m.left[i], 0.5f * (s.left[i] + s.right[i]), 1e-6f) << i;
}

TEST(EngineOutput, PowerOffPassesInputBitExactly) {
  DelayEngine e;
  e.setParameter(kPower, kOff);
  e.setParameter(kInput, 0.9f);
  e.setParameter(kFbck, 0.8f);
  Signal in = noise(5000, 0.9f, 7);
  Signal out = run(e, in);
  for (std::size_t i = 0; i < in.size(); ++i) {
    ASSERT_EQ(out.left[i], in.left[i]);
    ASSERT_EQ(out.right[i], in.right[i]);
  }
  Signal mono = run(e, in, 100, true);
  for (std::size_t i = 0; i < in.size(); ++i)
    ASSERT_EQ(mono.left[i], 0.5f * in.left[i] + 0.5f * in.right[i]);
}

TEST(EngineOutput, PowerOffKeepsTheDelayRunning) {
  DelayEngine e;
  wetOnly(e, 100.0f);
  settle(e);
  e.setParameter(kPower, kOff);
  Signal in(8000);
  in.left[7000] = 1.0f;
  run(e, in, 64);  // the echo falls due at 7000 + 4413, after the bypass
  e.setParameter(kPower, kOn);
  Signal out = run(e, Signal(8000), 64);
  EXPECT_EQ(firstAbove(out.left, 1e-4f), 7000 + 4413 - 8000);
}

TEST(EngineOutput, MixAndOutputGains) {
  DelayEngine e;
  wetOnly(e, 1000.0f);
  e.setParameter(kMix, 0.0f);     // dry only
  e.setParameter(kOutput, 1.0f);  // x4
  settle(e);
  Signal out = run(e, constant(500, 0.1f, -0.2f));
  EXPECT_NEAR(out.left[499], 0.4f, 1e-6f);
  EXPECT_NEAR(out.right[499], -0.8f, 1e-6f);
  // DlyInv inverts the wet signal only.
  DelayEngine w;
  wetOnly(w, 0.0f);
  w.setParameter(kDlyInv, kOn);
  settle(w);
  Signal wet = run(w, constant(500, 1.0f, 1.0f));
  EXPECT_NEAR(wet.left[499], -0.75f, 1e-4f);
}

TEST(EngineOutput, InPlaceProcessingMatchesSeparateBuffers) {
  DelayEngine a, b;
  for (DelayEngine* e : {&a, &b}) {
    wetOnly(*e, 20.0f);
    e->setParameter(kMix, 0.5f);
    e->setParameter(kFbck, 0.7f);
    e->setParameter(kDepth, 0.6f);
    e->setParameter(kWaveform, 0.2f);
    e->setParameter(kRate, 0.7f);
    settle(*e);
  }
  Signal in = noise(4096, 0.7f, 3);
  Signal ref = run(a, in, 128);
  Signal buf = in;
  for (int pos = 0; pos < 4096; pos += 128)
    b.process(buf.left.data() + pos, buf.right.data() + pos, buf.left.data() + pos,
              buf.right.data() + pos, 128, BlockTiming{});
  for (int i = 0; i < 4096; ++i) {
    ASSERT_EQ(buf.left[i], ref.left[i]) << i;
    ASSERT_EQ(buf.right[i], ref.right[i]) << i;
  }
}

TEST(EngineOutput, MonoSourceFeedsBothChannels) {
  DelayEngine e;
  wetOnly(e, 30.0f);
  e.setParameter(kMix, 0.5f);
  e.setParameter(kFbck, 0.5f);
  settle(e);
  Signal in = noise(4000, 0.5f);
  Signal out(in.size());
  e.process(in.left.data(), in.left.data(), out.left.data(), out.right.data(), 4000, BlockTiming{});
  for (int i = 0; i < 4000; ++i) ASSERT_EQ(out.left[i], out.right[i]) << i;
}

TEST(EngineLevels, LimiterSettlesOneAtThreeQuartersAndFourAtOne) {
  struct Case {
    float in, out;
  } cases[] = {{1.0f, 0.75f}, {4.0f, 1.0f}, {0.1f, 0.0975f}};
  for (const Case& c : cases) {
    DelayEngine e;
    wetOnly(e, 10.0f);
    settle(e);
    Signal out = run(e, constant(8820, c.in, c.in));
    EXPECT_NEAR(out.left[8819], c.out, 1e-5f) << c.in;
    EXPECT_NEAR(out.right[8819], c.out, 1e-5f) << c.in;
  }
}

TEST(EngineLevels, PeakMeterReportsHalfTheSumOfBothChannels) {
  DelayEngine e;
  wetOnly(e, 10.0f);
  settle(e);
  Signal in(44100);
  for (int i = 0; i < 44100; ++i) in.left[i] = 0.5f * std::sin(2 * M_PI * 100 * i / 44100.0);
  run(e, in);
  e.readStatus();  // restart the peak
  run(e, in);
  EXPECT_NEAR(e.readStatus().peak, 0.25f, 2e-3f);
  run(e, Signal(4410));
  e.readStatus();  // that peak still held the filter's ringing after the tone
  run(e, Signal(4410));
  EXPECT_LT(e.readStatus().peak, 1e-6f);
}

TEST(EngineFeedback, SmootherReachesExactlyZero) {
  DelayEngine e;
  wetOnly(e, 50.0f);
  e.setParameter(kFbck, 0.8f);
  settle(e);
  run(e, noise(4410, 0.5f));
  EXPECT_GT(e.smoothedFeedback(), 0.7f);
  e.setParameter(kFbck, 0.0f);
  run(e, noise(44100, 0.5f));
  EXPECT_EQ(e.smoothedFeedback(), 0.0f);
  EXPECT_EQ(e.feedbackValueL(), 0.0f);
  EXPECT_EQ(e.feedbackValueR(), 0.0f);
}

TEST(EngineFeedback, RepeatsDecayAndAlternateWithFbInv) {
  DelayEngine e;
  wetOnly(e, 100.0f);
  e.setParameter(kFbck, 0.5f);
  e.setParameter(kFbInv, kOn);
  settle(e);
  run(e, Signal(4410));  // past the write fade-in
  Signal in(4410 * 4);
  in.left[10] = 1.0f;
  Signal out = run(e, in);
  // The strongest sample of each repeat, sign kept; the second passes the
  // loop once more, 4410 ticks after the first.
  auto strongest = [&](int from, int to) {
    float best = 0;
    for (int i = from; i < to; ++i)
      if (std::fabs(out.left[i]) > std::fabs(best)) best = out.left[i];
    return best;
  };
  const float first = strongest(10 + 4413, 10 + 4413 + 30);
  const float second = strongest(10 + 4413 + 4400, 10 + 4413 + 4440);
  EXPECT_GT(first, 0.1f);
  EXPECT_LT(second, 0.0f);
  EXPECT_LT(std::fabs(second), 0.6f * first);
}

TEST(EngineModulation, EnvelopeSettlesAtThreeQuarters) {
  DelayEngine e;
  wetOnly(e, 100.0f);
  e.setParameter(kWaveform, 0.5f);
  e.setParameter(kDepth, 1.0f);
  e.setParameter(kManVCO, 0.5f);
  settle(e);
  run(e, Signal(64));
  EXPECT_NEAR(e.clockPeriod(), 0.5f, 1e-3f);  // silence: half the nominal delay
  run(e, constant(3 * 44100, 1.0f, 1.0f));
  EXPECT_NEAR(e.envelopeState(), 0.75f, 1e-4f);
  // Envelope value 0.75^0.3 - 0.5 at full depth on a manual factor of 1.
  EXPECT_NEAR(e.clockPeriod(), std::pow(0.75, 0.3) - 0.5 + 1.0, 1e-3);
  EXPECT_NEAR(e.clockPeriod(), 1.417f, 1e-3f);
}

TEST(EngineModulation, SquareAlternatesEveryFiveSecondsAtRateZero) {
  DelayEngine e;
  wetOnly(e, 100.0f);
  e.setParameter(kWaveform, 1.0f);
  e.setParameter(kDepth, 1.0f);
  e.setParameter(kRate, 0.0f);
  settle(e);
  std::vector<float> period;  // clock period at the end of every 441-sample block
  Signal block(441);
  for (int i = 0; i < 2000; ++i) {
    run(e, block, 441);
    period.push_back(e.clockPeriod());
  }
  // Mid-points of the four half periods.
  EXPECT_EQ(period[250], 0.5f);
  EXPECT_EQ(period[750], 1.5f);
  EXPECT_EQ(period[1250], 0.5f);
  EXPECT_EQ(period[1750], 1.5f);
  int firstSwitch = -1;
  for (int i = 1; i < 2000; ++i)
    if (period[i] != period[i - 1]) {
      firstSwitch = i;
      break;
    }
  EXPECT_NEAR(firstSwitch, 500, 5);  // 5 s in blocks of 10 ms
}

TEST(EngineModulation, DepthZeroIsTheManualFactorExactly) {
  DelayEngine e;
  wetOnly(e, 100.0f);
  e.setParameter(kWaveform, 0.0f);
  e.setParameter(kRate, 1.0f);
  e.setParameter(kManVCO, 0.8f);
  settle(e);
  for (int i = 0; i < 20; ++i) {
    run(e, noise(500, 0.8f, i), 500);
    ASSERT_FLOAT_EQ(e.clockPeriod(), 0.3f * 1.0f + 1.0f);
  }
}

TEST(EngineModulation, ClockPeriodFloorWhileDepthSmootherLags) {
  DelayEngine e;
  wetOnly(e, 100.0f);
  e.setParameter(kWaveform, 0.5f);  // envelope only; silence gives -0.5
  e.setParameter(kManVCO, 0.0f);
  e.setParameter(kDepth, 1.0f);
  settle(e);
  run(e, Signal(10));
  EXPECT_NEAR(e.clockPeriod(), 0.5f, 1e-3f);
  e.setParameter(kDepth, 0.0f);  // manual factor drops to 0.5 at once
  run(e, Signal(3));
  EXPECT_EQ(e.clockPeriod(), dsp::kMinClockPeriod);
  Signal out = run(e, noise(44100, 0.5f));
  for (float v : out.left) ASSERT_TRUE(std::isfinite(v));
  EXPECT_NEAR(e.clockPeriod(), 0.5f, 1e-6f);
}

TEST(EngineHold, CapturedLoopRepeatsWithoutLoss) {
  DelayEngine e;
  wetOnly(e, 100.0f);  // 4410 ticks
  e.setParameter(kFbck, 0.3f);
  settle(e);
  run(e, noise(44100, 0.4f, 11));
  e.setParameter(kRptInf, kOn);
  EXPECT_TRUE(e.holding());
  // New input is no longer recorded; the feedback controls no longer matter.
  run(e, noise(22050, 0.9f, 12));
  e.setParameter(kFbck, 1.0f);
  e.setParameter(kHiCut, kOn);
  e.setParameter(kFbInv, kOn);
  run(e, noise(4410, 0.9f, 13));
  Signal out = run(e, noise(3 * 4410, 0.9f, 14));
  double energy = 0;
  for (int i = 0; i < 2 * 4410; ++i) {
    ASSERT_EQ(out.left[i], out.left[i + 4410]) << i;
    ASSERT_EQ(out.right[i], out.right[i + 4410]) << i;
    energy += out.left[i] * out.left[i];
  }
  EXPECT_GT(energy / (2 * 4410), 0.01);
}

TEST(EngineHold, ReleasedLoopIsReplacedByNewInput) {
  DelayEngine e;
  wetOnly(e, 100.0f);
  settle(e);
  run(e, noise(44100, 0.4f, 21));
  e.setParameter(kRptInf, kOn);
  run(e, Signal(22050));
  e.setParameter(kRptInf, kOff);
  EXPECT_FALSE(e.holding());
  // 50 ms of crossfade, then one loop length for the last held tick to pass.
  Signal out = run(e, Signal(2205 + 4410 + 200));
  float tail = 0;
  for (int i = 2205 + 4410 + 10; i < 2205 + 4410 + 200; ++i)
    tail = std::max(tail, std::fabs(out.left[i]));
  EXPECT_LT(tail, 1e-3f);
}

TEST(EngineHold, SynchronisedHoldWaitsForTheCycleBoundary) {
  DelayEngine e;
  e.setParameter(kNum, 0.0f);
  e.setParameter(kDen, stepCenter(3, 13));  // a quarter note: 500 ms, 22050 samples
  e.setParameter(kDlyClk, kOn);
  settle(e);
  run(e, noise(10000, 0.3f), 100);
  e.setParameter(kRptInf, kOn);
  EXPECT_FALSE(e.holding());
  run(e, noise(11900, 0.3f), 100);  // up to sample 21900
  EXPECT_FALSE(e.holding());
  run(e, noise(300, 0.3f), 100);  // past 22050
  EXPECT_TRUE(e.holding());
  // With sync off the hold starts at once.
  DelayEngine f;
  settle(f);
  run(f, Signal(10000), 100);
  f.setParameter(kRptInf, kOn);
  EXPECT_TRUE(f.holding());
}

TEST(EngineHold, SwitchingOffWhileWaitingNeverStartsAHold) {
  DelayEngine e;
  e.setParameter(kDlyClk, kOn);
  e.setParameter(kDen, stepCenter(3, 13));
  settle(e);
  e.setParameter(kRptInf, kOn);
  run(e, Signal(11000), 100);
  e.setParameter(kRptInf, kOff);
  run(e, Signal(22050), 100);
  EXPECT_FALSE(e.holding());
}
