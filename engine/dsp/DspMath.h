// Small single-precision helpers shared by the engine's building blocks.
#pragma once

#include <cmath>

namespace dsp {

// Adding and removing this constant rounds anything far below it to zero, so
// recursive filters never drift into the slow denormal range.
constexpr float kFlushOffset = 1.0e-18f;

inline float flush(float x) {
  return (x + kFlushOffset) - kFlushOffset;
}

// flush() for a value that is usually far above the offset: from 2^-34 up the
// offset is below half an ulp either side, so adding and removing it gives x
// back exactly. Branching on that keeps two additions off a recursion's
// critical path.
constexpr float kFlushIdentity = 0x1p-34f;

inline float flushLikelyLarge(float x) {
  if (__builtin_expect(std::fabs(x) >= kFlushIdentity, 1)) return x;
  return flush(x);
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

// The delay path takes at most full scale at the Input control's maximum gain
// (x4): beyond it the soft limiter holds its output near full scale anyway,
// and a level far beyond it would swamp the limiter's running sum, whose
// rounding then lets the burst into the loop unlimited.
constexpr float kWetInputLimit = 4.0f;

inline float limitWetInput(float g) {
  return g > kWetInputLimit ? kWetInputLimit : (g < -kWetInputLimit ? -kWetInputLimit : g);
}

// One-pole smoother step with the dither term that keeps it out of denormals.
inline float smooth(float state, float target, float a, float b, float dither) {
  return a * state + b * target + dither;
}

}  // namespace dsp
