// The engine's building blocks, in the stereo form the loop uses, each against
// values worked out by hand; and the loop's shortcuts against the work they
// leave out.
#include <gtest/gtest.h>

#include <complex>
#include <cstring>
#include <random>
#include <vector>

#include "engine/dsp/AntiAliasFilter.h"
#include "engine/dsp/ClockedDelayLine.h"
#include "engine/dsp/CycleCounter.h"
#include "engine/dsp/LevelLimiter.h"
#include "engine/dsp/ModulationOscillator.h"

using namespace dsp;

namespace {

bool sameBits(float a, float b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace

TEST(CatmullRom, PassesInnerPointsAndKnownMidpointInBothLanes) {
  // Left: a straight line, reproduced exactly; right: a lone 1 at p2.
  const Pair y = catmullRom(pair(1.0f, 0.0f), pair(2.0f, 0.0f), pair(3.0f, 1.0f), pair(4.0f, 0.0f),
                            splat(0.25f));
  EXPECT_FLOAT_EQ(left(y), 2.25f);
  // 0.5 * (0.25 + 4 * 0.0625 - 3 * 0.015625) by hand.
  EXPECT_FLOAT_EQ(right(y), 0.2265625f);
  const Pair ends = catmullRom(pair(0.3f, 0.0f), pair(-0.7f, 0.0f), pair(0.25f, 1.0f),
                               pair(0.9f, 0.0f), pair(0.0f, 1.0f));
  EXPECT_EQ(left(ends), -0.7f);
  EXPECT_EQ(right(ends), 1.0f);
}

TEST(Flush, RemovesOnlyTinyValues) {
  EXPECT_EQ(flush(1.0e-30f), 0.0f);
  EXPECT_EQ(flush(-1.0e-27f), 0.0f);
  EXPECT_EQ(flush(0.5f), 0.5f);
  EXPECT_NEAR(flush(1.0e-10f), 1.0e-10f, 1.0e-17f);
  const Pair p = flushPairLikelyLarge(pair(1.0e-30f, 0.5f));
  EXPECT_EQ(left(p), 0.0f);
  EXPECT_EQ(right(p), 0.5f);
}

TEST(SanitizeInput, NonFiniteIsSilenceHugeIsLimited) {
  const Pair a = sanitizeInput(pair(std::nanf(""), INFINITY));
  EXPECT_EQ(left(a), 0.0f);
  EXPECT_EQ(right(a), 0.0f);
  const Pair b = sanitizeInput(pair(-INFINITY, 3.0e38f));
  EXPECT_EQ(left(b), 0.0f);
  EXPECT_EQ(right(b), kInputLimit);
  const Pair c = sanitizeInput(pair(-3.0e38f, 0.25f));
  EXPECT_EQ(left(c), -kInputLimit);
  EXPECT_EQ(right(c), 0.25f);
  EXPECT_TRUE(sameBits(left(sanitizeInput(pair(-0.0f, 0.0f))), -0.0f));
}

// |H| of one section at frequency f, from the coefficients.
static double sectionGain(const BiquadCoefficients& c, double f, double rate) {
  const std::complex<double> z = std::polar(1.0, -2.0 * M_PI * f / rate);
  const double b0 = c.b0, b1 = c.b1, b2 = c.b2, a1 = c.a1, a2 = c.a2;
  return std::abs((b0 + b1 * z + b2 * z * z) / (1.0 + a1 * z + a2 * z * z));
}

// At every rate the engine runs at, down to the lowest cutoff at the highest
// rate, where the poles come closest to the unit circle.
TEST(AntiAliasFilter, ButterworthUnityAtDcHalfPowerAtCutoffAtTheExtremes) {
  struct Case {
    float cutoff, rate;
  } cases[] = {{14000.0f, 44100.0f},
               {14000.0f * 8000.0f / 44100.0f, 8000.0f},
               {6000.0f * 5000.0f / 44100.0f, 5000.0f},
               {14000.0f, 768000.0f},
               {6000.0f, 768000.0f}};
  for (const Case& k : cases) {
    BiquadCoefficients c;
    c.design(k.cutoff, k.rate);
    EXPECT_NEAR(sectionGain(c, 0.0, k.rate), 1.0, 1e-4) << k.rate;
    EXPECT_NEAR(sectionGain(c, k.cutoff, k.rate), std::sqrt(0.5), 1e-3) << k.rate;
    EXPECT_NEAR(sectionGain(c, k.rate / 2.0, k.rate), 0.0, 1e-3) << k.rate;
    // Step response of both sections, both channels, settles at 1.
    StereoAntiAlias filter;
    const StereoAntiAlias::Taps taps(c);
    Pair y = {};
    for (int i = 0; i < 20000; ++i) y = filter.run(taps, pair(1.0f, -0.5f));
    EXPECT_NEAR(left(y), 1.0f, 1e-3f) << k.rate;
    EXPECT_NEAR(right(y), -0.5f, 5e-4f) << k.rate;
  }
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
  for (int length : {2, 16, 64})
    for (const Case& l : cases)
      for (const Case& r : cases) {
        StereoLevelLimiter lim;
        lim.clear();
        lim.length = length;
        Pair g = {};
        for (int i = 0; i < 2 * length; ++i)
          g = lim.gainFor(pair(l.level, r.level), 1.0f / static_cast<float>(length));
        EXPECT_NEAR(left(g), l.gain, 1e-6f) << l.level << " " << length;
        EXPECT_NEAR(right(g), r.gain, 1e-6f) << r.level << " " << length;
      }
}

TEST(LevelLimiter, RingSpansAboutTheSameTimeAtEveryRate) {
  EXPECT_EQ(StereoLevelLimiter::lengthForRate(8000), 2);
  EXPECT_EQ(StereoLevelLimiter::lengthForRate(25000), 2);
  EXPECT_EQ(StereoLevelLimiter::lengthForRate(25001), 4);
  EXPECT_EQ(StereoLevelLimiter::lengthForRate(50000), 4);
  EXPECT_EQ(StereoLevelLimiter::lengthForRate(96000), 8);
  EXPECT_EQ(StereoLevelLimiter::lengthForRate(100000), 8);
  EXPECT_EQ(StereoLevelLimiter::lengthForRate(192000), 16);
  EXPECT_EQ(StereoLevelLimiter::lengthForRate(200000), 16);
  EXPECT_EQ(StereoLevelLimiter::lengthForRate(384000), 32);
  EXPECT_EQ(StereoLevelLimiter::lengthForRate(768000), 64);
  EXPECT_LE(StereoLevelLimiter::lengthForRate(768000), kMaxLevelRing);
}

TEST(ModulationOscillator, SquareStartsPlusOneThenMinusOneSineAtMinusZero) {
  const float inc = kTwoPi / 441000.0f;
  EXPECT_EQ(oscillatorWave(true, 0.0f), 1.0f);
  EXPECT_EQ(oscillatorWave(true, advancePhase(0.0f, inc)), -1.0f);
  EXPECT_TRUE(sameBits(oscillatorWave(false, 0.0f), -0.0f));
  EXPECT_FLOAT_EQ(oscillatorWave(false, -kPi / 2), 1.0f);
}

TEST(ModulationOscillator, PhaseWrapsIntoRange) {
  EXPECT_NEAR(advancePhase(3.1f, 0.1f), 3.2f - 6.2831855f, 1e-6f);
  // An absurd rate: still inside -pi..pi.
  EXPECT_LE(std::fabs(advancePhase(3.1f, 1000.0f)), 3.1415927f);
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

// The negligible-modulation shortcut: wherever the bounds call the modulation
// negligible, the full computation gives the manual period bit for bit, for
// waves and envelopes anywhere in their ranges.
TEST(Shortcuts, NegligibleModulationLeavesThePeriodBitForBit) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f), wave(-1.0f, 1.0f);
  int negligible = 0;
  for (int i = 0; i < 200000; ++i) {
    const float waveform = unit(rng);
    const float lfoAmount = std::fabs(waveform - 0.5f), envAmount = 1.0f - 2.0f * lfoAmount;
    const float manual = 0.5f + unit(rng);
    const float depth = std::ldexp(unit(rng), -static_cast<int>(unit(rng) * 40.0f));
    const float envelope = std::ldexp(unit(rng), static_cast<int>(unit(rng) * 8.0f));
    const float multiplier = unit(rng) < 0.5f ? 1.0f : 2.0f;
    const ModulationBounds bounds(lfoAmount, envAmount, manual);
    if (!bounds.negligibleAt(depth, std::max(envelope, 1.0f))) continue;
    ++negligible;
    const float modulation = wave(rng) * lfoAmount + envelopeModulation(envelope, envAmount);
    ASSERT_TRUE(sameBits(clockPeriodFor(modulation, depth, manual, multiplier),
                         clockPeriodFor(0.0f, depth, manual, multiplier)))
        << "depth " << depth << " envelope " << envelope << " waveform " << waveform;
  }
  EXPECT_GT(negligible, 10000);
}

namespace {

// One channel pair through the delay line at a given clock period per sample.
struct Line {
  ClockedDelayLine line;
  explicit Line(int length) { line.allocate(length); }
  Pair step(Pair in, float period) {
    ClockedDelayLine::Cursor c = line.cursor();
    c.pushInput(in);
    const Pair o = c.advance<false>(1.0f / period, false, 0.0f);
    line.store(c);
    return o;
  }
};

}  // namespace

TEST(ClockedDelayLine, ImpulseAtUnitClockArrivesDelayPlusThree) {
  Line l(141121);
  l.line.placeRead(44100.0f);
  const int n = 100;
  for (int s = 0; s < n + 44110; ++s) {
    const Pair o = l.step(s == n ? pair(1.0f, -1.0f) : Pair{}, 1.0f);
    if (s == n + 44103) {
      EXPECT_EQ(left(o), 1.0f);
      EXPECT_EQ(right(o), -1.0f);
    } else {
      ASSERT_EQ(left(o), 0.0f) << s;
    }
  }
}

TEST(ClockedDelayLine, HalfClockDoublesTheDelay) {
  Line l(141121);
  l.line.placeRead(44100.0f);
  // A smooth pulse centred on n: at one tick per two samples a lone impulse
  // could fall between the ticks.
  const int n = 100;
  int peakAt = -1;
  float peak = 0;
  for (int s = 0; s < n + 88300; ++s) {
    const int d = s - n;
    const float pulse = (d > -10 && d < 10) ? 0.5f + 0.5f * std::cos(d * 3.14159265f / 10) : 0.0f;
    const float o = left(l.step(pair(pulse, 0.0f), 2.0f));
    if (std::fabs(o) > peak) {
      peak = std::fabs(o);
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

// The exact-step shortcut: a clock driven through ClockStep (which skips the
// rescaling and divides by multiplying where the step is a power of two and
// unchanged) gives the same bits as the plain clock, through changes of
// period between powers of two and others.
TEST(Shortcuts, ExactClockStepsGiveTheSameBits) {
  Line plain(4000), fast(4000);
  plain.line.placeRead(1000.0f);
  fast.line.placeRead(1000.0f);
  ClockStep step;
  const float periods[] = {1.0f, 2.0f, 0.5f, 0.75f, 2.0f, 1.3f, 0.25f, 4.0f};
  for (int s = 0; s < 12000; ++s) {
    const float period = periods[(s / 700) % 8];
    const Pair in = pair(std::sin(0.01f * s), std::cos(0.013f * s));
    const Pair a = plain.step(in, period);
    ClockedDelayLine::Cursor c = fast.line.cursor();
    c.pushInput(in);
    const Pair b = step.advance(c, period, false);
    fast.line.store(c);
    ASSERT_TRUE(sameBits(left(a), left(b)) && sameBits(right(a), right(b)))
        << "sample " << s << ", period " << period;
  }
}

TEST(CycleCounter, NoCycleAtZeroDelayIndicatorNearBoundaries) {
  CycleCounter c;
  c.start(0.0f, 44100.0f, 120.0f, 3.0f);
  EXPECT_FALSE(c.active);
  c.start(500.0f, 44100.0f, 120.0f, 0.5f);  // half a beat into a one-beat cycle
  EXPECT_TRUE(c.active);
  EXPECT_EQ(c.length, 22050);
  EXPECT_NEAR(c.position, 11025, 1);
  c.window = 882;
  c.position = 22050 - 882;
  bool indicator = false;
  EXPECT_FALSE(c.tick(indicator));  // 22050 - 881: near
  EXPECT_TRUE(indicator);
  c.position = 22049;
  EXPECT_FALSE(c.tick(indicator));  // 22050: the last sample of the cycle
  EXPECT_TRUE(c.tick(indicator));   // the boundary
  EXPECT_EQ(c.position, 0);
  c.position = 882;
  indicator = false;
  EXPECT_FALSE(c.tick(indicator));  // 883: mid-cycle
  EXPECT_FALSE(indicator);
}

// The per-chunk cycle counter: skipping n samples gives the position and the
// indicator of n ticks, across boundaries, several boundaries in one chunk
// and the negative positions a song position before zero gives.
TEST(Shortcuts, SkippingSamplesOfTheCycleCounterIsTicking) {
  std::mt19937 rng(3);
  for (int i = 0; i < 20000; ++i) {
    CycleCounter ticked;
    ticked.active = true;
    ticked.length = static_cast<int>(rng() % 300);
    ticked.window = static_cast<int>(rng() % 40);
    const int span = ticked.length + 1;
    ticked.position = static_cast<int>(rng() % (2 * span)) - span;
    CycleCounter skipped = ticked;
    const int n = 1 + static_cast<int>(rng() % 64);
    bool tickedIndicator = false, skippedIndicator = false;
    for (int k = 0; k < n; ++k) ticked.tick(tickedIndicator);
    skipped.skip(n, skippedIndicator);
    ASSERT_EQ(skipped.position, ticked.position) << i;
    ASSERT_EQ(skippedIndicator, tickedIndicator) << i;
  }
}
