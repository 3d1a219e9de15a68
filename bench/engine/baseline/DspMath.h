// Frozen copy of the engine as it was before the block-wise rewrite, in its
// own namespace: the benchmarks run it beside the current engine so the
// speed ratio comes from one run on one machine. Never built into korva.so.
// Small single-precision helpers shared by the engine's building blocks.
#pragma once

#include <cmath>

namespace baseline {
namespace dsp {

// Adding and removing this constant rounds anything far below it to zero, so
// recursive filters never drift into the slow denormal range.
constexpr float kFlushOffset = 1.0e-18f;

inline float flush(float x) {
  return (x + kFlushOffset) - kFlushOffset;
}

// The cubic through p1 (x = 0) and p2 (x = 1) with tangents from the outer
// points.
inline float catmullRom(float p0, float p1, float p2, float p3, float x) {
  return 0.5f * (2.0f * p1 + (p2 - p0) * x + (2.0f * p0 - 5.0f * p1 + 4.0f * p2 - p3) * x * x +
                 (p3 - 3.0f * p2 + 3.0f * p1 - p0) * x * x * x);
}

// Largest input magnitude the signal state ever sees: far above any real
// level, small enough that gains and filter sums stay finite.
constexpr float kInputLimit = 1.0e20f;

// What the signal path makes of one host sample: NaN and infinities count as
// silence, absurd but finite values are limited.
inline float sanitizeInput(float x) {
  if (std::fabs(x) <= kInputLimit) return x;
  if (std::isnan(x) || std::isinf(x)) return 0.0f;
  return x > 0.0f ? kInputLimit : -kInputLimit;
}

// One-pole smoother step with the dither term that keeps it out of denormals.
inline float smooth(float state, float target, float a, float b, float dither) {
  return a * state + b * target + dither;
}

}  // namespace dsp
}  // namespace baseline
