// Frozen copy of the engine as it was before the block-wise rewrite, in its
// own namespace: the benchmarks run it beside the current engine so the
// speed ratio comes from one run on one machine. Never built into korva.so.
// The low-pass in front of the delay memory: two identical second-order
// Butterworth sections per channel sharing one coefficient set.
#pragma once

#include <cmath>

#include "bench/engine/baseline/DspMath.h"

namespace baseline {
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

struct BiquadSection {
  float x1 = 0, x2 = 0, y1 = 0, y2 = 0;

  float run(const BiquadCoefficients& c, float in) {
    const float u = flush(c.b0 * in + c.b1 * x1 + c.b2 * x2 - c.a1 * y1 - c.a2 * y2);
    x2 = x1;
    x1 = in;
    y2 = y1;
    y1 = u;
    return u;
  }
  void clear() { x1 = x2 = y1 = y2 = 0.0f; }
};

struct AntiAliasChannel {
  BiquadSection first, second;
  float run(const BiquadCoefficients& c, float in) { return second.run(c, first.run(c, in)); }
  void clear() {
    first.clear();
    second.clear();
  }
};

// Cutoff when Dlyx2 is switched: full bandwidth above `threshold` Hz, scaled
// with the rate below it.
inline float antiAliasCutoff(bool dlyx2, float rate, float threshold) {
  const float base = dlyx2 ? 6.0f : 14.0f;
  return rate > threshold ? base * 1000.0f : base * rate / 44.1f;
}

}  // namespace dsp
}  // namespace baseline
