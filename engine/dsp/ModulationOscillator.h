// The clock's modulation: a sine/square oscillator blended with an envelope
// follower of the (stereo-linked) level entering the delay memory, scaled by
// the smoothed Depth around the manual clock factor. The oscillator's phase
// and the envelope's state are the loop's (LoopState).
#pragma once

#include <algorithm>
#include <cmath>

#include "engine/dsp/DspMath.h"
#include "engine/dsp/StereoPair.h"

namespace dsp {

// The envelope follower's coefficient: a 10 Hz one-pole.
inline float envelopeCoefficientFor(float rate) {
  return std::exp(-62.831856f / rate);
}

// The oscillator's wave at a phase: the square is +1 up to phase 0, the sine
// starts at -sin(0).
inline float oscillatorWave(bool square, float phase) {
  return square ? (phase <= 0.0f ? 1.0f : -1.0f) : -std::sin(phase);
}

// The phase one sample on, back inside -pi..pi.
inline float advancePhase(float phase, float increment) {
  phase += increment;
  if (phase >= kPi) {
    phase -= kTwoPi;
    // Only rates far beyond the control range step more than a turn.
    if (phase >= kPi) phase = std::remainder(phase, kTwoPi);
  }
  return phase;
}

// Envelope: the one-pole follower's next state from the limited magnitudes
// gain x |t| of both channels. `takeHalf` is (1 - keep) x 0.5: the halving
// that averages the channels is exact, so it can go first.
inline float followEnvelope(float state, float keep, float takeHalf, Pair limitedMagnitudes) {
  return flushLikelyLarge(keep * state + takeHalf * (limitedMagnitudes[0] + limitedMagnitudes[1]));
}

// The envelope's share of the modulation. With the envelope amount at 0 the
// term is a signed zero, which adding leaves out (the state is finite), so
// pow() is skipped.
inline float envelopeModulation(float envelope, float amount) {
  return amount != 0.0f ? (std::pow(envelope, 0.3f) - 0.5f) * amount : 0.0f;
}

// Samples per tick of the delay clock. Steady state with controls in 0..1
// never goes below 0.5 * multiplier; the floor only catches the few
// milliseconds while the depth smoother lags a falling Depth, so the tick loop
// never runs away.
constexpr float kMinClockPeriod = 0.25f;
constexpr float kMaxClockPeriod = 1.0e6f;

inline float clockPeriodFor(float modulation, float smoothedDepth, float manualFactor,
                            float multiplier) {
  const float cp = (modulation * smoothedDepth + manualFactor) * multiplier;
  if (!(cp >= kMinClockPeriod)) return kMinClockPeriod;  // NaN lands here too
  return cp > kMaxClockPeriod ? kMaxClockPeriod : cp;
}

// Shortcut: modulation too small to move the clock. |oscillator| is at most
// the LFO amount, the envelope term at most (max(1, envelope) + 0.5) x the
// envelope amount (pow(e, 0.3) <= max(1, e)); a product with the depth below a
// quarter of an ulp of the manual factor leaves the sum at the manual factor,
// so clockPeriodFor(0, ...) gives the same bits. The bounds carry 0.1 % of
// margin for the rounding of the bound itself. A state that is not a number
// makes the bound NaN and the test false, as it must.
struct ModulationBounds {
  float lfo = 0.0f, envelope = 0.0f, negligible = 0.0f;

  ModulationBounds() = default;
  ModulationBounds(float lfoAmount, float envAmount, float manualFactor)
      : lfo(std::fabs(lfoAmount) * 1.001f),
        envelope(std::fabs(envAmount) * 1.001f),
        negligible(std::fabs(manualFactor) * 0x1p-26f) {}

  // envelopeCeiling: max(1, envelope) or any value known to be above it.
  bool negligibleAt(float depth, float envelopeCeiling) const {
    return std::fabs(depth) * (lfo + (envelopeCeiling + 0.5f) * envelope) < negligible;
  }
};

}  // namespace dsp
