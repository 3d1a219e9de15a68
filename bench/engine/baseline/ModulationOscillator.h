// Frozen copy of the engine as it was before the block-wise rewrite, in its
// own namespace: the benchmarks run it beside the current engine so the
// speed ratio comes from one run on one machine. Never built into korva.so.
// The clock's modulation source: a sine/square oscillator blended with an
// envelope follower of the (stereo-linked) input level.
#pragma once

#include <cmath>

#include "bench/engine/baseline/DspMath.h"

namespace baseline {
namespace dsp {

constexpr float kPi = 3.1415927f;
constexpr float kTwoPi = 6.2831855f;

struct ModulationOscillator {
  float phase = 0.0f;  // radians, -pi..pi
  float oscillatorValue = 0.0f;
  float envelopeState = 0.0f;  // 10 Hz level smoother, >= 0
  float envelopeValue = 0.0f;
  float envelopeCoeff = 0.0f;  // exp(-2 pi 10 / rate)

  void setRate(float rate) { envelopeCoeff = std::exp(-62.831856f / rate); }

  // Level of the current sample in, (e - 0.5) * envAmount out.
  void followEnvelope(float level, float envAmount) {
    envelopeState = flush(envelopeCoeff * envelopeState + (1.0f - envelopeCoeff) * level);
    const float e = std::pow(envelopeState, 0.3f);
    envelopeValue = (e - 0.5f) * envAmount;
  }

  // Oscillator output at the phase before this sample's increment.
  void step(bool square, float increment, float amount) {
    float w;
    if (square)
      w = phase <= 0.0f ? 1.0f : -1.0f;
    else
      w = -std::sin(phase);
    phase += increment;
    if (phase >= kPi) {
      phase -= kTwoPi;
      // Only rates far beyond the control range step more than a turn.
      if (phase >= kPi) phase = std::remainder(phase, kTwoPi);
    }
    oscillatorValue = w * amount;
  }

  // Everything but the envelope state, which keeps the level across resets.
  void clear() {
    phase = 0.0f;
    oscillatorValue = 0.0f;
    envelopeValue = 0.0f;
  }
};

// Samples per tick of the delay clock. Steady state with controls in 0..1
// never goes below 0.5 * multiplier; the floor only catches the few
// milliseconds while the depth smoother lags a falling Depth (and absurd
// control values), so the tick loop never runs away.
constexpr float kMinClockPeriod = 0.25f;
constexpr float kMaxClockPeriod = 1.0e6f;

inline float clockPeriodFor(float modulation, float smoothedDepth, float manualFactor,
                            float multiplier) {
  const float cp = (modulation * smoothedDepth + manualFactor) * multiplier;
  if (!(cp >= kMinClockPeriod)) return kMinClockPeriod;  // NaN lands here too
  return cp > kMaxClockPeriod ? kMaxClockPeriod : cp;
}

}  // namespace dsp
}  // namespace baseline
