// Left and right in the two low lanes of one SSE register, so every filter,
// interpolator and limiter step runs once for both channels: the engine's
// per-sample maths exists only in this form. Each lane does exactly the
// single-precision operations of a plain per-channel evaluation, in the same
// order. The two high lanes stay zero (or some other value that can never
// become denormal) and are ignored.
#pragma once

#include <emmintrin.h>

#include "engine/dsp/DspMath.h"

namespace dsp {

typedef float Pair __attribute__((vector_size(16)));
typedef int PairMask __attribute__((vector_size(16)));

// The same value as a copy the compiler must treat as a different one. A
// value on the feedback path that is also carried to the next sample is
// carried through such a copy: the carried one may then live in memory while
// the path keeps its register (otherwise GCC spills the variable as a whole
// and the path waits for a store and a reload). No arithmetic happens here.
template <class T>
inline T detached(T x) {
  asm("" : "+x"(x));
  return x;
}

inline Pair pair(float l, float r) {
  return Pair{l, r, 0.0f, 0.0f};
}
inline Pair splat(float x) {
  return Pair{x, x, x, x};
}
inline float left(Pair v) {
  return v[0];
}
inline float right(Pair v) {
  return v[1];
}

// Two adjacent floats (an interleaved frame) in and out.
inline Pair loadPair(const float* p) {
  return static_cast<Pair>(_mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(p)));
}
inline void storePair(float* p, Pair v) {
  _mm_storel_pi(reinterpret_cast<__m64*>(p), static_cast<__m128>(v));
}

// True when any of the two signal lanes is set.
inline bool anyLane(PairMask m) {
  return (_mm_movemask_ps(static_cast<__m128>(reinterpret_cast<Pair>(m))) & 3) != 0;
}

inline Pair select(PairMask m, Pair a, Pair b) {
  return m ? a : b;
}
inline Pair absPair(Pair x) {
  return static_cast<Pair>(_mm_andnot_ps(_mm_set1_ps(-0.0f), static_cast<__m128>(x)));
}
// min/max return their second operand for equal inputs and for NaN, so a
// value inside the range comes back as it was, signed zeros included.
inline Pair clampPair(Pair x, float lo, float hi) {
  return static_cast<Pair>(
      _mm_min_ps(_mm_max_ps(static_cast<__m128>(x), _mm_set1_ps(lo)), _mm_set1_ps(hi)));
}

// The sign bit in every lane when s is negative: x times s = +-1 as a flip.
inline PairMask signMask(float s) {
  const int bit = s < 0.0f ? static_cast<int>(0x80000000u) : 0;
  return PairMask{bit, bit, bit, bit};
}
inline Pair flipSign(Pair x, PairMask sign) {
  return reinterpret_cast<Pair>(reinterpret_cast<PairMask>(x) ^ sign);
}

inline Pair flushPair(Pair x) {
  return (x + kFlushOffset) - kFlushOffset;
}

// flushLikelyLarge on both lanes.
inline Pair flushPairLikelyLarge(Pair x) {
  const PairMask small = absPair(x) < kFlushIdentity;
  if (__builtin_expect(!anyLane(small), 1)) return x;
  return flushPair(x);
}

// Input conditioning: what the signal path makes of a host frame. NaN and
// infinities count as silence, absurd but finite values are limited.
inline Pair sanitizeInput(Pair x) {
  const Pair limited = clampPair(x, -kInputLimit, kInputLimit);
  // Not (|x| <= FLT_MAX): NaN or an infinity, silence.
  const PairMask finite = absPair(x) <= splat(3.4028235e38f);
  return select(finite, limited, splat(0.0f));
}

// The gained input as the delay path takes it (see kWetInputLimit).
inline Pair limitWetInput(Pair g) {
  return clampPair(g, -kWetInputLimit, kWetInputLimit);
}

// Interpolation: the cubic through p1 (x = 0) and p2 (x = 1) with tangents
// from the outer points (Catmull-Rom).
inline Pair catmullRom(Pair p0, Pair p1, Pair p2, Pair p3, Pair x) {
  return 0.5f * (2.0f * p1 + (p2 - p0) * x + (2.0f * p0 - 5.0f * p1 + 4.0f * p2 - p3) * x * x +
                 (p3 - 3.0f * p2 + 3.0f * p1 - p0) * x * x * x);
}

}  // namespace dsp
