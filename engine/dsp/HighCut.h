// The high cut on the feedback path: a 4 kHz one-pole low-pass (6 dB per
// octave), so the first echo is unfiltered and each further repeat passes it
// once more.
#pragma once

#include <cmath>

#include "engine/dsp/StereoPair.h"

namespace dsp {

struct HighCut {
  Pair keep = {}, take = {};

  HighCut() = default;
  explicit HighCut(float coefficient) : keep(splat(coefficient)), take(splat(1.0f - coefficient)) {}

  static float coefficientFor(float rate) { return std::exp(-25132.742f / rate); }

  // The filter's next state from the delayed signal. Off, the state follows
  // the input, so that switching the filter on starts without a step.
  Pair run(bool on, Pair state, Pair in) const {
    return flushPairLikelyLarge(on ? keep * state + take * in : in);
  }
};

}  // namespace dsp
