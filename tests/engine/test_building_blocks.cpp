// The small pieces of the engine, each against values worked out by hand.
#include <gtest/gtest.h>

#include <complex>
#include <vector>

#include "engine/dsp/AntiAliasFilter.h"
#include "engine/dsp/ClockedDelayLine.h"
#include "engine/dsp/CycleCounter.h"
#include "engine/dsp/LevelLimiter.h"
#include "engine/dsp/ModulationOscillator.h"

using namespace dsp;

TEST(CatmullRom, PassesInnerPointsAndKnownMidpoint) {
  EXPECT_EQ(catmullRom(0.3f, -0.7f, 0.25f, 0.9f, 0.0f), -0.7f);
  EXPECT_EQ(catmullRom(0.0f, 0.0f, 1.0f, 0.0f, 1.0f), 1.0f);
  // 0.5 * (0.5 + 4 * 0.25 - 3 * 0.125) by hand.
  EXPECT_FLOAT_EQ(catmullRom(0.0f, 0.0f, 1.0f, 0.0f, 0.5f), 0.5625f);
  // A straight line is reproduced exactly.
  EXPECT_FLOAT_EQ(catmullRom(1.0f, 2.0f, 3.0f, 4.0f, 0.25f), 2.25f);
}

TEST(Flush, RemovesOnlyTinyValues) {
  EXPECT_EQ(flush(1.0e-30f), 0.0f);
  EXPECT_EQ(flush(-1.0e-27f), 0.0f);
  EXPECT_EQ(flush(0.5f), 0.5f);
  EXPECT_NEAR(flush(1.0e-10f), 1.0e-10f, 1.0e-17f);
}

TEST(SanitizeInput, NonFiniteIsSilenceHugeIsLimited) {
  EXPECT_EQ(sanitizeInput(std::nanf("")), 0.0f);
  EXPECT_EQ(sanitizeInput(INFINITY), 0.0f);
  EXPECT_EQ(sanitizeInput(-INFINITY), 0.0f);
  EXPECT_EQ(sanitizeInput(3.0e38f), kInputLimit);
  EXPECT_EQ(sanitizeInput(-3.0e38f), -kInputLimit);
  EXPECT_EQ(sanitizeInput(0.25f), 0.25f);
}

// |H| of one section at frequency f, from the coefficients.
static double sectionGain(const BiquadCoefficients& c, double f, double rate) {
  const std::complex<double> z = std::polar(1.0, -2.0 * M_PI * f / rate);
  const double b0 = c.b0, b1 = c.b1, b2 = c.b2, a1 = c.a1, a2 = c.a2;
  return std::abs((b0 + b1 * z + b2 * z * z) / (1.0 + a1 * z + a2 * z * z));
}

TEST(AntiAliasFilter, ButterworthUnityAtDcHalfPowerAtCutoff) {
  BiquadCoefficients c;
  c.design(14000.0f, 44100.0f);
  EXPECT_NEAR(sectionGain(c, 0.0, 44100.0), 1.0, 1e-5);
  EXPECT_NEAR(sectionGain(c, 14000.0, 44100.0), std::sqrt(0.5), 1e-4);
  EXPECT_NEAR(sectionGain(c, 22050.0, 44100.0), 0.0, 1e-4);
  // Step response of both sections settles at 1.
  AntiAliasChannel ch;
  float y = 0;
  for (int i = 0; i < 2000; ++i) y = ch.run(c, 1.0f);
  EXPECT_NEAR(y, 1.0f, 1e-5f);
}

TEST(AntiAliasFilter, CutoffRules) {
  EXPECT_EQ(antiAliasCutoff(false, 44100.0f, 28000.0f), 14000.0f);
  EXPECT_NEAR(antiAliasCutoff(false, 22050.0f, 30000.0f), 7000.0f, 1e-2f);
  EXPECT_EQ(antiAliasCutoff(true, 96000.0f, 30000.0f), 6000.0f);
  EXPECT_NEAR(antiAliasCutoff(true, 22050.0f, 28000.0f), 3000.0f, 1e-2f);
  // 29 kHz lies between the two thresholds.
  EXPECT_EQ(antiAliasCutoff(false, 29000.0f, 28000.0f), 14000.0f);
  EXPECT_NEAR(antiAliasCutoff(false, 29000.0f, 30000.0f), 14.0f * 29000.0f / 44.1f, 1e-2f);
}

TEST(LevelLimiter, SteadyLevelsComeOutAsAMinusASquaredOverFour) {
  struct Case {
    float level, gain;
  } cases[] = {{1.0f, 0.75f}, {4.0f, 0.25f}, {0.1f, 0.975f}, {2.0f, 0.5f}, {3.0f, 1.0f / 3.0f}};
  for (const Case& c : cases) {
    LevelLimiter lim;
    lim.length = 4;
    float g = 0;
    for (int i = 0; i < 8; ++i) g = lim.gainFor(c.level);
    EXPECT_NEAR(g, c.gain, 1e-6f) << c.level;
  }
}

TEST(LevelLimiter, RingLengthFollowsRate) {
  EXPECT_EQ(LevelLimiter::lengthForRate(22050), 2);
  EXPECT_EQ(LevelLimiter::lengthForRate(25000), 2);
  EXPECT_EQ(LevelLimiter::lengthForRate(25001), 4);
  EXPECT_EQ(LevelLimiter::lengthForRate(50000), 4);
  EXPECT_EQ(LevelLimiter::lengthForRate(96000), 8);
  EXPECT_EQ(LevelLimiter::lengthForRate(100000), 8);
  EXPECT_EQ(LevelLimiter::lengthForRate(192000), 16);
}

TEST(ModulationOscillator, SquareStartsPlusOneThenMinusOne) {
  ModulationOscillator osc;
  osc.clear();
  const float inc = kTwoPi / 441000.0f;
  osc.step(true, inc, 0.5f);
  EXPECT_EQ(osc.oscillatorValue, 0.5f);
  osc.step(true, inc, 0.5f);
  EXPECT_EQ(osc.oscillatorValue, -0.5f);
  // The sine starts at -sin(0).
  ModulationOscillator s;
  s.step(false, inc, 0.5f);
  EXPECT_EQ(s.oscillatorValue, 0.0f);
}

TEST(ModulationOscillator, PhaseWrapsIntoRange) {
  ModulationOscillator osc;
  osc.phase = 3.1f;
  osc.step(false, 0.1f, 0.5f);
  EXPECT_NEAR(osc.phase, 3.2f - 6.2831855f, 1e-6f);
  osc.step(false, 1000.0f, 0.5f);  // absurd rate: still inside -pi..pi
  EXPECT_LE(std::fabs(osc.phase), 3.1415927f);
}

TEST(ClockPeriod, FloorOnlyBelowTheSteadyStateMinimum) {
  // Steady-state extremes with Depth in 0..1: modulation -0.5, manual factor
  // 0.5 + 0.5 * Depth, so (-0.5 D + 0.5 + 0.5 D) = 0.5 times the multiplier.
  EXPECT_EQ(clockPeriodFor(-0.5f, 0.0f, 0.5f, 1.0f), 0.5f);
  EXPECT_EQ(clockPeriodFor(-0.5f, 1.0f, 1.0f, 1.0f), 0.5f);
  EXPECT_FLOAT_EQ(clockPeriodFor(-0.5f, 0.3f, 0.65f, 1.0f), 0.5f);
  // Depth dropped from 1 to 0 at ManVCO 0 while the smoother still reads 1.
  EXPECT_EQ(clockPeriodFor(-0.5f, 1.0f, 0.5f, 1.0f), kMinClockPeriod);
  EXPECT_EQ(clockPeriodFor(std::nanf(""), 1.0f, 1.0f, 1.0f), kMinClockPeriod);
  EXPECT_EQ(clockPeriodFor(1.0e30f, 1.0e30f, 1.0f, 2.0f), kMaxClockPeriod);
  EXPECT_LT(kMinClockPeriod, 0.5f);
}

TEST(ClockedDelayLine, ImpulseAtUnitClockArrivesDelayPlusThree) {
  ClockedDelayLine line;
  ASSERT_TRUE(line.allocate(141121));
  line.placeRead(44100.0f);
  const int n = 100;
  for (int s = 0; s < n + 44110; ++s) {
    line.pushInput(s == n ? 1.0f : 0.0f, s == n ? -1.0f : 0.0f);
    float l, r;
    line.advance(1.0f, false, l, r);
    if (s == n + 44103) {
      EXPECT_EQ(l, 1.0f);
      EXPECT_EQ(r, -1.0f);
    } else {
      ASSERT_EQ(l, 0.0f) << s;
    }
  }
}

TEST(ClockedDelayLine, HalfClockDoublesTheDelay) {
  ClockedDelayLine line;
  ASSERT_TRUE(line.allocate(141121));
  line.placeRead(44100.0f);
  // A smooth pulse centred on n: at one tick per two samples a lone impulse
  // could fall between the ticks.
  const int n = 100;
  int peakAt = -1;
  float peak = 0;
  for (int s = 0; s < n + 88300; ++s) {
    const int d = s - n;
    const float pulse = (d > -10 && d < 10) ? 0.5f + 0.5f * std::cos(d * 3.14159265f / 10) : 0.0f;
    line.pushInput(pulse, 0.0f);
    float l, r;
    line.advance(2.0f, false, l, r);
    if (std::fabs(l) > peak) {
      peak = std::fabs(l);
      peakAt = s;
    }
  }
  // 44100 ticks of two samples, plus a few samples of interpolation.
  EXPECT_GE(peakAt, n + 88200);
  EXPECT_LE(peakAt, n + 88212);
}

TEST(ClockedDelayLine, ZeroDistanceReadsTheTickJustWritten) {
  ClockedDelayLine line;
  ASSERT_TRUE(line.allocate(100));
  line.placeRead(0.0f);
  EXPECT_EQ(line.readPosition(), line.writePosition());
  line.placeRead(5.7f);  // truncated
  EXPECT_EQ(line.readPosition(), 95);
}

TEST(CycleCounter, NoCycleAtZeroDelay) {
  CycleCounter c;
  c.start(0.0f, 44100.0f, 120.0f, 3.0f);
  EXPECT_FALSE(c.active);
  c.start(500.0f, 44100.0f, 120.0f, 0.5f);  // half a beat into a one-beat cycle
  EXPECT_TRUE(c.active);
  EXPECT_EQ(c.length, 22050);
  EXPECT_NEAR(c.position, 11025, 1);
}
