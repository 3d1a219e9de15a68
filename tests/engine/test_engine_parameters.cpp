// Parameter mapping of the engine: defaults, derived fields, sync and hold
// interlocks, each against values worked out by hand.
#include <gtest/gtest.h>

#include "EngineRig.h"

TEST(EngineDefaults, ValuesBeforeTheFirstPreset) {
  DelayEngine e;
  const float raw[kNumParams] = {0.5f, 0.5f, 0.5f, 0.625f, 0, 0,    0, 0, 0,
                                 0.5f, 0,    0.5f, 0,      0, 0.5f, 0, 0, 0};
  for (int i = 0; i < kNumParams; ++i) EXPECT_EQ(e.getParameter(i), raw[i]) << i;
  EXPECT_EQ(e.inputGain(), 1.0f);
  EXPECT_EQ(e.outputGain(), 1.0f);
  EXPECT_EQ(e.delayMs(), 2000.0f);
  EXPECT_EQ(e.clockMultiplier(), 1.0f);
  EXPECT_EQ(e.manualFactor(), 1.0f);
  EXPECT_EQ(e.clockPeriod(), 1.0f);
  EXPECT_EQ(e.lfoAmount(), 0.0f);
  EXPECT_EQ(e.envAmount(), 1.0f);
  EXPECT_TRUE(e.squareWave());
  EXPECT_FLOAT_EQ(e.lfoRateHz(), 0.1f);
  EXPECT_FLOAT_EQ(e.lfoPeriod(), 441000.0f);
  EXPECT_FLOAT_EQ(e.lfoPhaseIncrement(), 2.0f * 3.14159265f / 441000.0f);
  EXPECT_TRUE(e.powerOn());
  EXPECT_FALSE(e.holdRequested());
  EXPECT_FALSE(e.holding());
  EXPECT_FALSE(e.syncOn());
  EXPECT_FALSE(e.delayJumpPending());
  EXPECT_EQ(e.getTempo(), 120.0f);
  EXPECT_EQ(e.sampleRate(), 44100);
  EXPECT_EQ(e.writeFade(), 1.0f);
  EXPECT_NEAR(e.highCutCoeff(), 0.5655f, 1e-4f);
  // 2000 ms behind the write position (what lasts how long at each rate:
  // test_engine_lifecycle.cpp, EngineRates).
  EXPECT_EQ((e.writePosition() - e.readPosition() + e.bufferLength()) % e.bufferLength(), 88200);
}

TEST(EngineParameters, GainsAreFourTimesTheSquare) {
  DelayEngine e;
  e.setParameter(kInput, 1.0f);
  EXPECT_EQ(e.inputGain(), 4.0f);
  e.setParameter(kInput, 0.25f);
  EXPECT_EQ(e.inputGain(), 0.25f);
  e.setParameter(kOutput, 0.0f);
  EXPECT_EQ(e.outputGain(), 0.0f);
}

TEST(EngineParameters, RateSpansPointOneToTenHertz) {
  DelayEngine e;
  e.setParameter(kRate, 0.5f);
  EXPECT_NEAR(e.lfoRateHz(), 1.0f, 1e-5f);
  EXPECT_NEAR(e.lfoPeriod(), 44100.0f, 0.5f);
  e.setParameter(kRate, 1.0f);
  EXPECT_NEAR(e.lfoRateHz(), 10.0f, 1e-4f);
  EXPECT_NEAR(e.lfoPhaseIncrement(), 2 * M_PI * 10 / 44100, 1e-8);
}

TEST(EngineParameters, SwitchesAndSigns) {
  DelayEngine e;
  e.setParameter(kDlyx2, 0.5f);  // on at exactly 0.5
  EXPECT_TRUE(e.dlyx2On());
  EXPECT_EQ(e.clockMultiplier(), 2.0f);
  EXPECT_EQ(e.clockPeriod(), 2.0f);
  e.setParameter(kDlyx2, 0.49f);
  EXPECT_FALSE(e.dlyx2On());
  EXPECT_EQ(e.clockPeriod(), 1.0f);
  e.setParameter(kFbInv, kOn);
  EXPECT_TRUE(e.fbInvOn());
  e.setParameter(kHiCut, kOn);
  EXPECT_TRUE(e.hiCutOn());
  e.setParameter(kPower, kOff);
  EXPECT_FALSE(e.powerOn());
}

TEST(EngineParameters, WaveformBlend) {
  DelayEngine e;
  e.setParameter(kWaveform, 0.25f);
  EXPECT_EQ(e.lfoAmount(), 0.25f);
  EXPECT_EQ(e.envAmount(), 0.5f);
  EXPECT_FALSE(e.squareWave());
  e.setParameter(kWaveform, 1.0f);
  EXPECT_EQ(e.lfoAmount(), 0.5f);
  EXPECT_EQ(e.envAmount(), 0.0f);
  EXPECT_TRUE(e.squareWave());
  e.setParameter(kWaveform, 0.0f);
  EXPECT_EQ(e.lfoAmount(), 0.5f);
  EXPECT_FALSE(e.squareWave());
}

TEST(EngineParameters, ManualFactorFromManVcoAndDepthInEitherOrder) {
  DelayEngine e;
  e.setParameter(kDepth, 1.0f);
  for (float m : {0.0f, 0.3f, 1.0f}) {
    e.setParameter(kManVCO, m);
    EXPECT_EQ(e.manualFactor(), 1.0f) << m;
  }
  e.setParameter(kManVCO, 0.0f);
  e.setParameter(kDepth, 0.0f);  // Depth last
  EXPECT_EQ(e.manualFactor(), 0.5f);
  e.setParameter(kDepth, 1.0f);
  e.setParameter(kManVCO, 1.0f);
  e.setParameter(kDepth, 0.0f);
  EXPECT_EQ(e.manualFactor(), 1.5f);
  e.setParameter(kManVCO, 0.0f);  // ManVCO last
  EXPECT_EQ(e.manualFactor(), 0.5f);
  e.setParameter(kDlyx2, kOn);
  EXPECT_EQ(e.clockPeriod(), 1.0f);
}

TEST(EngineParameters, NumAndDenQuantisation) {
  DelayEngine e;
  const float values[] = {0.0f, 0.19f, 0.2f, 0.99f, 1.0f, -3.0f};
  const float expected[] = {1, 1, 3, 9, 9, 1};
  for (int i = 0; i < 6; ++i) {
    e.setParameter(kNum, values[i]);
    EXPECT_EQ(kNumerators[e.numIndex()], expected[i]) << values[i];
  }
  e.setParameter(kDen, 1.0f);
  EXPECT_EQ(kDenominators[e.denIndex()], 96.0f);
  e.setParameter(kDen, stepCenter(3, 13));
  EXPECT_EQ(kDenominators[e.denIndex()], 4.0f);
}

TEST(EngineParameters, DelayTimeClampsAndRaisesAJump) {
  DelayEngine e;
  e.setParameter(kDlyTime, 0.3125f);
  EXPECT_EQ(e.delayMs(), 1000.0f);
  EXPECT_TRUE(e.delayJumpPending());
  e.setParameter(kDlyTime, 2.0f);
  EXPECT_EQ(e.getParameter(kDlyTime), 1.0f);
  EXPECT_EQ(e.delayMs(), 3200.0f);
  e.setParameter(kDlyTime, -0.5f);
  EXPECT_EQ(e.getParameter(kDlyTime), 0.0f);
  EXPECT_EQ(e.delayMs(), 0.0f);
  e.setParameter(kDlyTime, 0.5f);
  e.setParameter(kDlyTime, std::nanf(""));
  EXPECT_EQ(e.delayMs(), 0.0f);
  e.setParameter(kDlyTime, INFINITY);
  EXPECT_EQ(e.delayMs(), 3200.0f);
}

TEST(EngineSync, NoteValueAtTheTempo) {
  DelayEngine e;
  e.setParameter(kNum, 0.0f);
  e.setParameter(kDen, stepCenter(3, 13));  // 4
  e.setParameter(kDlyClk, kOn);
  EXPECT_TRUE(e.syncOn());
  EXPECT_EQ(e.delayMs(), 500.0f);
  EXPECT_EQ(e.getParameter(kDlyTime), 0.15625f);
  // Num 9, Den 1 at 40 BPM: 54000 ms, clamped.
  e.setParameter(kNum, 1.0f);
  e.setParameter(kDen, 0.0f);
  e.setTempoFromControl(0.1f);
  EXPECT_EQ(e.getTempo(), 40.0f);
  EXPECT_EQ(e.delayMs(), 3200.0f);
  EXPECT_EQ(e.getParameter(kDlyTime), 1.0f);
}

TEST(EngineSync, HostDelayTimeIgnoredWhileSynced) {
  DelayEngine e;
  e.setParameter(kDlyClk, kOn);  // 1/1 at 120: 2000 ms
  e.setParameter(kDlyTime, 0.1f);
  EXPECT_EQ(e.delayMs(), 2000.0f);
  EXPECT_EQ(e.getParameter(kDlyTime), 0.625f);
  // Sync off keeps the last synced delay.
  e.setParameter(kDlyClk, kOff);
  EXPECT_FALSE(e.syncOn());
  EXPECT_EQ(e.delayMs(), 2000.0f);
  e.setParameter(kDlyTime, 0.1f);
  EXPECT_EQ(e.delayMs(), 320.0f);
}

TEST(EngineSync, HoldFreezesDelaySyncAndSwitch) {
  DelayEngine e;
  e.setParameter(kDlyTime, 0.3125f);
  e.setParameter(kRptInf, kOn);
  EXPECT_TRUE(e.holdRequested());
  EXPECT_TRUE(e.holding());  // sync off: at once
  e.setParameter(kDlyTime, 0.5f);
  EXPECT_EQ(e.getParameter(kDlyTime), 0.3125f);
  EXPECT_EQ(e.delayMs(), 1000.0f);
  e.setParameter(kDlyClk, kOn);
  EXPECT_FALSE(e.syncOn());
  EXPECT_EQ(e.getParameter(kDlyClk), 0.0f);
  e.setParameter(kRptInf, kOff);
  EXPECT_FALSE(e.holding());
  e.setParameter(kDlyClk, kOn);
  EXPECT_TRUE(e.syncOn());
}

TEST(EngineSync, HoldInSyncModeWaitsAndFreezesTheSyncedDelay) {
  DelayEngine e;
  e.setParameter(kDlyClk, kOn);
  e.setParameter(kRptInf, kOn);
  EXPECT_TRUE(e.holdRequested());
  EXPECT_FALSE(e.holding());
  e.setParameter(kDen, stepCenter(1, 13));  // would be 1000 ms
  EXPECT_EQ(e.delayMs(), 2000.0f);
  e.setTempoFromControl(0.25f);  // 100 BPM
  EXPECT_EQ(e.delayMs(), 2000.0f);
}

TEST(EngineSync, TempoControlRaisedToForty) {
  DelayEngine e;
  e.setTempoFromControl(0.05f);
  EXPECT_EQ(e.getTempo(), 40.0f);
  e.setTempoFromControl(0.5f);
  EXPECT_EQ(e.getTempo(), 200.0f);
  e.setTempoFromControl(std::nanf(""));
  EXPECT_EQ(e.getTempo(), 40.0f);
}

TEST(EngineSync, PresetHookClearsSync) {
  DelayEngine e;
  e.setParameter(kDlyClk, kOn);
  e.clearSyncForPreset();
  EXPECT_FALSE(e.syncOn());
  EXPECT_EQ(e.getParameter(kDlyClk), 0.0f);
  EXPECT_FALSE(e.delayJumpPending());
  // The preset's DlyTime is applied, then its Dly<>Clk switches sync back on.
  e.setParameter(kDlyTime, 0.1f);
  EXPECT_EQ(e.delayMs(), 320.0f);
  e.setParameter(kDlyClk, kOn);
  EXPECT_EQ(e.delayMs(), 2000.0f);
}

// No value outside 0..1 reaches the sound, whoever sends it: beyond the range
// a value is taken as the nearest end, and getParameter answers what was
// taken. NaN keeps each value's rule: refused, but DlyTime takes it as 0.
TEST(EngineParameters, ValuesOutsideTheRangeAreTakenAsTheNearestEnd) {
  DelayEngine huge, top;
  huge.setParameter(kInput, 1000.0f);
  top.setParameter(kInput, 1.0f);
  EXPECT_EQ(huge.getParameter(kInput), 1.0f);
  EXPECT_EQ(huge.inputGain(), 4.0f);
  settle(huge);
  settle(top);
  Signal sine(4410);
  for (std::size_t i = 0; i < sine.size(); ++i)
    sine.left[i] = sine.right[i] = 0.5f * std::sin(2.0f * 3.14159265f * 441.0f * i / 44100.0f);
  const Signal a = run(huge, sine), b = run(top, sine);
  for (std::size_t i = 0; i < sine.size(); ++i) {
    ASSERT_EQ(a.left[i], b.left[i]) << i;
    ASSERT_LE(std::fabs(a.left[i]), 4.0f) << i;
  }
  for (int index = 0; index < kNumParams; ++index) {
    DelayEngine e;
    e.setParameter(index, 1.0e30f);
    EXPECT_EQ(e.getParameter(index), 1.0f) << index;
    e.setParameter(index, 0.3f);
    e.setParameter(index, -INFINITY);
    EXPECT_EQ(e.getParameter(index), 0.0f) << index;
    e.setParameter(index, 0.3f);
    e.setParameter(index, std::nanf(""));
    EXPECT_EQ(e.getParameter(index), index == kDlyTime ? 0.0f : 0.3f) << index;
  }
  DelayEngine e;
  e.setParameter(18, 0.9f);
  e.setParameter(-1, 0.9f);
  EXPECT_EQ(e.getParameter(18), 0.0f);
  EXPECT_EQ(e.getParameter(-1), 0.0f);
}
