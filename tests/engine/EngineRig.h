// Drives a DelayEngine block by block for the engine tests.
#pragma once

#include <cmath>
#include <functional>
#include <vector>

#include "engine/ParameterIds.h"
#include "engine/dsp/DelayEngine.h"

// Switch values as presets store them.
constexpr float kOff = 0.25f;
constexpr float kOn = 0.75f;

// DlyTime for a delay in milliseconds.
inline float dlyTimeFor(float ms) {
  return ms / 3200.0f;
}

struct Signal {
  std::vector<float> left, right;
  explicit Signal(std::size_t n = 0) : left(n, 0.0f), right(n, 0.0f) {}
  std::size_t size() const { return left.size(); }
};

// Settles the smoothers at their targets and clears the signal state, the way
// a host's suspend/resume pair does.
inline void settle(DelayEngine& e, float rate = 44100.0f) {
  e.suspend();
  e.resume(rate);
}

// Processes `in` in blocks of `block` frames; stereo out unless mono.
inline Signal run(DelayEngine& e, const Signal& in, int block = 256, bool monoOut = false,
                  BlockTiming timing = BlockTiming{}) {
  Signal out(in.size());
  for (std::size_t pos = 0; pos < in.size(); pos += block) {
    const int n = static_cast<int>(std::min<std::size_t>(block, in.size() - pos));
    e.process(in.left.data() + pos, in.right.data() + pos, out.left.data() + pos,
              monoOut ? nullptr : out.right.data() + pos, n, timing);
  }
  return out;
}

inline Signal constant(std::size_t n, float l, float r) {
  Signal s(n);
  for (std::size_t i = 0; i < n; ++i) {
    s.left[i] = l;
    s.right[i] = r;
  }
  return s;
}

// Deterministic noise in -amp..amp.
inline Signal noise(std::size_t n, float amp, unsigned seed = 1) {
  Signal s(n);
  unsigned x = seed * 2654435761u + 1u;
  for (std::size_t i = 0; i < n; ++i) {
    x = x * 1664525u + 1013904223u;
    s.left[i] = amp * (static_cast<float>(x >> 8) / 8388608.0f - 1.0f);
    x = x * 1664525u + 1013904223u;
    s.right[i] = amp * (static_cast<float>(x >> 8) / 8388608.0f - 1.0f);
  }
  return s;
}

// Wet only, unity gains, no modulation, no feedback: the output is the
// delayed signal o itself.
inline void wetOnly(DelayEngine& e, float delayMs) {
  e.setParameter(kInput, 0.5f);
  e.setParameter(kOutput, 0.5f);
  e.setParameter(kMix, 1.0f);
  e.setParameter(kDlyTime, dlyTimeFor(delayMs));
  e.setParameter(kDepth, 0.0f);
  e.setParameter(kManVCO, 0.5f);
  e.setParameter(kFbck, 0.0f);
  e.setParameter(kDlyx2, 0.0f);
}

// First-sample response of the two anti-alias sections to a unit impulse at
// cutoff fc, worked out in double precision: b0 squared.
inline double antiAliasB0(double fc, double rate) {
  const double k = 1.0 / std::tan(M_PI * fc / rate);
  return 1.0 / (k * k + std::sqrt(2.0) * k + 1.0);
}
