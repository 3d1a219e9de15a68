// The whole loop against the per-sample model (tests/reference): the engine
// must match it bit for bit. Parameter changes are applied between blocks,
// where the engine's deferred requests (write-fade restart, filter redesign)
// must act exactly as immediate ones.
#include <gtest/gtest.h>

#include "EngineRig.h"
#include "tests/reference/ReferenceComparison.h"

namespace {

void expectSame(const reference::Setting& s) {
  const reference::Difference d = reference::compare(s);
  EXPECT_FALSE(d.found) << d.describe();
}

// A host with transport: tempo changes and a song position that jumps back.
BlockTiming hostTransport(int n) {
  BlockTiming t;
  t.hasTempo = true;
  t.tempo = n < 40 ? 128.0 : (n < 80 ? 20.0 : 97.5);  // 20 is clamped to 40
  t.hasPosition = n % 3 != 0;
  t.ppqPos = n < 60 ? 0.37 + n * 0.061 : 1.5 + (n - 60) * 0.02;
  return t;
}

}  // namespace

TEST(EngineReference, SineModulationFeedbackAndHighCut) {
  expectSame({"sine modulation feedback and high cut",
              {{-1, kDlyTime, 0.01f},
               {-1, kMix, 0.6f},
               {-1, kFbck, 0.7f},
               {-1, kHiCut, kOn},
               {-1, kDepth, 0.4f},
               {-1, kWaveform, 0.15f},
               {-1, kRate, 0.8f},
               {-1, kManVCO, 0.3f},
               {40, kFbInv, kOn},
               {60, kDlyTime, 0.004f},
               {80, kInput, 0.8f},
               {90, kDlyInv, kOn}},
              160,
              128,
              false,
              5});
}

TEST(EngineReference, SquareEnvelopeDlyx2AndMonoOutput) {
  expectSame({"square envelope dlyx2 and mono output",
              {{-1, kDlyTime, 0.02f},
               {-1, kFbck, 0.5f},
               {-1, kDepth, 0.9f},
               {-1, kWaveform, 0.8f},
               {-1, kRate, 1.0f},
               {30, kDlyx2, kOn},
               {70, kOutput, 0.3f},
               {100, kDlyx2, kOff}},
              150,
              100,
              true,
              9});
}

TEST(EngineReference, HoldReleaseAndShortDelays) {
  expectSame({"hold release and short delays",
              {{-1, kDlyTime, 0.005f},
               {-1, kFbck, 0.4f},
               {-1, kMix, 1.0f},
               {50, kRptInf, kOn},
               {80, kFbck, 0.9f},
               {90, kDlyTime, 0.0f},  // frozen while held
               {100, kRptInf, kOff},
               {120, kDlyTime, 0.00002f},  // under three ticks: bypass
               {140, kPower, kOff},
               {150, kPower, kOn}},
              180,
              64,
              false,
              13});
}

TEST(EngineReference, SynchronisedHoldAndIndicator) {
  expectSame({"synchronised hold and indicator",
              {{-1, kNum, 0.0f},
               {-1, kDen, stepCenter(10, 13)},  // 1/48 at 120 BPM: 41.67 ms
               {-1, kDlyClk, kOn},
               {-1, kFbck, 0.6f},
               {-1, kDepth, 0.2f},
               {20, kRptInf, kOn},
               {60, kRptInf, kOff},
               {70, kDen, stepCenter(8, 13)}},
              120,
              97,
              false,
              17});
}

TEST(EngineReference, SyncAtNinetySixKilohertzWithHostTransport) {
  expectSame({"sync at ninety six kilohertz with host transport",
              {{-1, kDlyx2, kOn},
               {-1, kNum, stepCenter(1, 5)},
               {-1, kDen, stepCenter(9, 13)},  // 3/32
               {-1, kDlyClk, kOn},
               {-1, kFbck, 0.8f},
               {-1, kHiCut, kOn},
               {-1, kDepth, 0.5f},
               {-1, kWaveform, 0.3f},
               {-1, kRate, 0.6f},
               {30, kRptInf, kOn},
               {90, kRptInf, kOff}},
              130,
              256,
              false,
              23,
              96000.0f,
              hostTransport});
}

TEST(EngineReference, LowRateWithDlyx2Switching) {
  expectSame({"low rate with dlyx2 switching",
              {{-1, kDlyTime, 0.02f},
               {-1, kFbck, 0.6f},
               {-1, kDepth, 0.3f},
               {-1, kWaveform, 0.9f},
               {-1, kRate, 0.9f},
               {20, kDlyx2, kOn},
               {60, kDlyx2, kOff}},
              100,
              64,
              true,
              29,
              22050.0f});
}

// The highest rate, with the longest level ring, and values beyond the range
// that both take as the nearest end.
TEST(EngineReference, HighestRateAndValuesBeyondTheRange) {
  expectSame({"highest rate, values beyond the range",
              {{-1, kDlyTime, 0.001f},
               {-1, kFbck, 0.8f},
               {-1, kDepth, 0.6f},
               {-1, kWaveform, 0.2f},
               {-1, kRate, 0.9f},
               {-1, kHiCut, kOn},
               {20, kInput, 1000.0f},
               {40, kFbck, -3.0f},
               {50, kMix, 7.0f}},
              80,
              512,
              false,
              31,
              768000.0f});
}

// At a rate the engine does not run at, both pass the input through.
TEST(EngineReference, UnsupportedRatePassesThrough) {
  expectSame({"4 kHz", {{-1, kFbck, 0.5f}, {-1, kMix, 0.7f}}, 20, 100, false, 37, 4000.0f});
}
