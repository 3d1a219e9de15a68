// Single-precision constants and helpers shared by the engine's building
// blocks.
#pragma once

#include <cmath>

namespace dsp {

constexpr float kPi = 3.1415927f;
constexpr float kTwoPi = 6.2831855f;

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

// Largest input magnitude the signal state ever sees: far above any real
// level, small enough that gains and filter sums stay finite.
constexpr float kInputLimit = 1.0e20f;

// The delay path takes at most full scale at the Input control's maximum gain
// (x4): beyond it the soft limiter holds its output near full scale anyway,
// and a level far beyond it would swamp the limiter's running sum, whose
// rounding then lets the burst into the loop unlimited.
constexpr float kWetInputLimit = 4.0f;

}  // namespace dsp
