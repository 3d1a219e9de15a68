// Bad input from the host: non-finite or absurd samples, tempi, positions,
// rates and parameter values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <random>

#include "EngineRig.h"

namespace {

void expectFiniteState(const DelayEngine& e) {
  EXPECT_TRUE(std::isfinite(e.envelopeState()));
  EXPECT_TRUE(std::isfinite(e.smoothedFeedback()));
  EXPECT_TRUE(std::isfinite(e.feedbackValueL()));
  EXPECT_TRUE(std::isfinite(e.feedbackValueR()));
  EXPECT_TRUE(std::isfinite(e.clockPeriod()));
  EXPECT_TRUE(std::isfinite(e.songPosition()));
}

void busy(DelayEngine& e) {
  wetOnly(e, 40.0f);
  e.setParameter(kMix, 0.5f);
  e.setParameter(kFbck, 0.9f);
  e.setParameter(kDepth, 0.5f);
  e.setParameter(kWaveform, 0.3f);
  e.setParameter(kRate, 0.8f);
  e.setParameter(kHiCut, kOn);
  settle(e);
}

}  // namespace

TEST(EngineRobustness, NonFiniteBurstCountsAsSilence) {
  DelayEngine bad, ref;
  busy(bad);
  busy(ref);
  Signal in = noise(20000, 0.7f, 5);
  Signal zeroed = in;
  const float burst[] = {std::nanf(""), INFINITY, -INFINITY};
  for (int i = 5000; i < 5030; ++i) {
    in.left[i] = burst[i % 3];
    in.right[i] = burst[(i + 1) % 3];
    zeroed.left[i] = zeroed.right[i] = 0.0f;
  }
  Signal a = run(bad, in, 128);
  Signal b = run(ref, zeroed, 128);
  for (std::size_t i = 0; i < in.size(); ++i) {
    ASSERT_EQ(a.left[i], b.left[i]) << i;
    ASSERT_EQ(a.right[i], b.right[i]) << i;
  }
  expectFiniteState(bad);
}

TEST(EngineRobustness, HugeSamplesNeverMakeTheStateNonFinite) {
  DelayEngine e;
  busy(e);
  e.setParameter(kInput, 1.0f);
  Signal in = noise(20000, 0.5f, 9);
  for (int i = 3000; i < 3100; ++i) in.left[i] = in.right[i] = (i & 1) ? 3.0e38f : -3.0e38f;
  Signal out = run(e, in, 100);
  for (std::size_t i = 0; i < out.size(); ++i) {
    ASSERT_TRUE(std::isfinite(out.left[i])) << i;
    ASSERT_TRUE(std::isfinite(out.right[i])) << i;
  }
  expectFiniteState(e);
  // After the burst has left the loop the engine sounds normal again.
  e.setParameter(kFbck, 0.0f);
  Signal tail = run(e, noise(44100, 0.5f, 10));
  EXPECT_LT(std::fabs(tail.left[44099]), 2.0f);
}

TEST(EngineRobustness, HostTempoAndPositionThatAreNotFiniteAreIgnored) {
  DelayEngine e;
  e.setParameter(kDlyClk, kOn);
  settle(e);
  BlockTiming t;
  t.hasTempo = true;
  t.hasPosition = true;
  t.tempo = 90.0;
  t.ppqPos = 4.0;
  run(e, Signal(64), 64, false, t);
  const float ms = e.delayMs();
  for (double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
    t.tempo = bad;
    t.ppqPos = bad;
    run(e, Signal(64), 64, false, t);
    EXPECT_EQ(e.getTempo(), 90.0f);
    EXPECT_EQ(e.songPosition(), 4.0f);
    EXPECT_EQ(e.delayMs(), ms);
  }
  t.tempo = 1.0e300;  // finite but absurd: clamped
  t.ppqPos = 1.0e300;
  run(e, Signal(64), 64, false, t);
  EXPECT_EQ(e.getTempo(), 400.0f);
  EXPECT_EQ(e.songPosition(), 4.0f);
  t.ppqPos = 1.0e11;  // far but representable: accepted, cycle position still sane
  run(e, Signal(64), 64, false, t);
  EXPECT_EQ(e.songPosition(), 1.0e11f);
  expectFiniteState(e);
}

TEST(EngineRobustness, NegativeSongPosition) {
  DelayEngine e;
  e.setParameter(kDlyClk, kOn);
  settle(e);
  BlockTiming t;
  t.hasPosition = true;
  t.ppqPos = -3.3;  // pre-roll
  Signal out = run(e, noise(4096, 0.5f), 512, false, t);
  for (float v : out.left) ASSERT_TRUE(std::isfinite(v));
}

TEST(EngineRobustness, ExtremeParameterValuesKeepEverythingFinite) {
  std::mt19937 rng(42);
  std::uniform_real_distribution<float> wide(-1.0e6f, 1.0e6f);
  std::uniform_real_distribution<float> unit(-2.0f, 3.0f);
  for (int round = 0; round < 20; ++round) {
    DelayEngine e;
    settle(e);
    for (int i = 0; i < kNumParams; ++i) e.setParameter(i, round % 2 ? wide(rng) : unit(rng));
    BlockTiming t;
    t.hasTempo = true;
    t.tempo = round * 37.0;
    Signal out = run(e, noise(8192, 1.0f, round), 512, round % 3 == 0, t);
    for (float v : out.left) ASSERT_TRUE(std::isfinite(v)) << round;
    expectFiniteState(e);
    EXPECT_GE(e.clockPeriod(), dsp::kMinClockPeriod);
  }
}

TEST(EngineRobustness, BlockLengthsZeroOneAndNegative) {
  DelayEngine e;
  busy(e);
  float l = 0.5f, r = -0.5f, ol = 9.0f, orr = 9.0f;
  e.process(&l, &r, &ol, &orr, 1, BlockTiming{});
  EXPECT_TRUE(std::isfinite(ol));
  ol = 9.0f;
  e.process(&l, &r, &ol, &orr, 0, BlockTiming{});
  e.process(&l, &r, &ol, &orr, -5, BlockTiming{});
  EXPECT_EQ(ol, 9.0f);
}

namespace {

struct BurstCase {
  const char* name;
  std::vector<std::pair<int, float>> params;
  int holdAt;  // sample at which RptInf goes on, -1 never
};

// Noise at 0.5 with a burst of 256 samples at `amp` (its sign alternating in
// steps of 8, both channels) at sample 4000, into an engine started the way a
// host starts it (resume only). Returns the output.
Signal burstRender(const BurstCase& c, float amp, int block) {
  DelayEngine e;
  e.setParameter(kDlyx2, 0.0f);
  for (auto [index, value] : c.params) e.setParameter(index, value);
  e.resume(44100.0f);
  Signal in = noise(12000, 0.5f, 3);  // the first echo of a 50 ms delay and more
  for (int i = 4000; i < 4256; ++i) in.left[i] = in.right[i] = (i & 8) ? amp : -amp;
  Signal out(in.size());
  for (std::size_t pos = 0; pos < in.size(); pos += block) {
    if (c.holdAt >= 0 && pos <= static_cast<std::size_t>(c.holdAt) &&
        static_cast<std::size_t>(c.holdAt) < pos + block)
      e.setParameter(kRptInf, kOn);
    const int n = static_cast<int>(std::min<std::size_t>(block, in.size() - pos));
    e.process(in.left.data() + pos, in.right.data() + pos, out.left.data() + pos,
              out.right.data() + pos, n, BlockTiming{});
  }
  return out;
}

}  // namespace

// Finite samples far beyond any real level (up to FLT_MAX) once sent the
// limiter's running sum into cancellation: the loop then stored the burst
// unlimited and fed it back until it overflowed.
TEST(EngineRobustness, HugeFiniteBurstsStayFiniteAndEchoNoLouderThanFullScale) {
  const std::vector<BurstCase> cases = {
      {"feedback 1, FbInv, HiCut",
       {{kFbck, 1.0f}, {kFbInv, kOn}, {kHiCut, kOn}, {kDlyTime, 0.05f}},
       -1},
      {"feedback 1, DlyInv", {{kFbck, 1.0f}, {kDlyInv, kOn}, {kDlyTime, 0.05f}}, -1},
      {"hold", {{kFbck, 0.5f}, {kDlyTime, 0.05f}}, 4300},
      {"sync hold", {{kFbck, 0.5f}, {kDen, stepCenter(8, 13)}, {kDlyClk, kOn}}, 4300},
      {"ManVCO 0, envelope",
       {{kFbck, 1.0f}, {kManVCO, 0.0f}, {kDepth, 0.5f}, {kWaveform, 0.5f}, {kDlyTime, 0.025f}},
       -1},
      {"Dlyx2", {{kFbck, 1.0f}, {kDlyx2, kOn}, {kDlyTime, 0.025f}}, -1},
      {"gains at maximum",
       {{kInput, 1.0f}, {kOutput, 1.0f}, {kMix, 1.0f}, {kFbck, 1.0f}, {kDlyTime, 0.05f}},
       -1},
  };
  const float amps[] = {1.0e4f, 1.0e12f, 1.0e20f, 1.0e30f, FLT_MAX};
  int round = 0;
  for (const BurstCase& c : cases)
    for (int block : {1, 37, 512}) {
      // The loudest full-scale signal: full scale with the Input control at
      // its maximum (four times the unity gain).
      float input = 0.5f;
      for (auto [index, value] : c.params)
        if (index == kInput) input = value;
      const float sign = round % 2 ? -1.0f : 1.0f;
      const float amp = amps[round % 5] * sign;
      ++round;
      const Signal full = burstRender(c, sign / (input * input), block);
      float fullPeak = 0.0f;
      for (std::size_t i = 4300; i < full.size(); ++i)
        fullPeak = std::max({fullPeak, std::fabs(full.left[i]), std::fabs(full.right[i])});
      const Signal out = burstRender(c, amp, block);
      float peak = 0.0f;
      for (std::size_t i = 0; i < out.size(); ++i) {
        ASSERT_TRUE(std::isfinite(out.left[i]) && std::isfinite(out.right[i]))
            << c.name << ", block " << block << ", burst " << amp << ", sample " << i;
        if (i >= 4300) peak = std::max({peak, std::fabs(out.left[i]), std::fabs(out.right[i])});
      }
      EXPECT_LE(peak, fullPeak * 1.0001f) << c.name << ", block " << block << ", burst " << amp;
    }
}
