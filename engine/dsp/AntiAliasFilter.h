// Anti-alias: the low-pass in front of the delay memory, two identical
// second-order Butterworth sections per channel sharing one coefficient set.
#pragma once

#include <cmath>

#include "engine/dsp/DspMath.h"
#include "engine/dsp/StereoPair.h"

namespace dsp {

struct BiquadCoefficients {
  float b0 = 1.0f, b1 = 0.0f, b2 = 0.0f, a1 = 0.0f, a2 = 0.0f, n = 1.0f;

  // Bilinear transform with prewarping; cutoff and rate in Hz.
  void design(float cutoff, float rate) {
    const float k = 1.0f / std::tan(3.1415927f * cutoff / rate);
    const float r = std::sqrt(2.0f) * k;
    n = k * k + r + 1.0f;
    a2 = (k * k - r + 1.0f) / n;
    b0 = 1.0f / n;
    b2 = 1.0f / n;
    a1 = (k * k - 1.0f) * -2.0f / n;
    b1 = 2.0f * b0;
  }
};

// Both channels, both sections. The second section's input history is the
// first one's output history, so it is kept once.
struct StereoAntiAlias {
  Pair in1 = {}, in2 = {};    // x1, x2 of the first section
  Pair mid1 = {}, mid2 = {};  // y1, y2 of the first = x1, x2 of the second
  Pair out1 = {}, out2 = {};  // y1, y2 of the second

  // The coefficients in all lanes, taken once per block.
  struct Taps {
    Pair b0, b1, b2, a1, a2;
    Taps() = default;
    explicit Taps(const BiquadCoefficients& c)
        : b0(splat(c.b0)), b1(splat(c.b1)), b2(splat(c.b2)), a1(splat(c.a1)), a2(splat(c.a2)) {}
  };

  Pair run(const Taps& c, Pair in) {
    const Pair m = flushPair(c.b0 * in + c.b1 * in1 + c.b2 * in2 - c.a1 * mid1 - c.a2 * mid2);
    in2 = in1;
    in1 = in;
    const Pair u = flushPair(c.b0 * m + c.b1 * mid1 + c.b2 * mid2 - c.a1 * out1 - c.a2 * out2);
    mid2 = mid1;
    mid1 = m;
    out2 = out1;
    out1 = u;
    return u;
  }
  void clear() { in1 = in2 = mid1 = mid2 = out1 = out2 = Pair{}; }
};

// Cutoff when Dlyx2 is switched: full bandwidth above `threshold` Hz, scaled
// with the rate below it.
inline float antiAliasCutoff(bool dlyx2, float rate, float threshold) {
  const float base = dlyx2 ? 6.0f : 14.0f;
  return rate > threshold ? base * 1000.0f : base * rate / 44.1f;
}

}  // namespace dsp
