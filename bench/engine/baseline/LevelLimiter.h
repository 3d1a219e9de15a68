// Frozen copy of the engine as it was before the block-wise rewrite, in its
// own namespace: the benchmarks run it beside the current engine so the
// speed ratio comes from one run on one machine. Never built into korva.so.
// Soft limiter on the average magnitude of the last N samples of one channel.
#pragma once

#include <cmath>

namespace baseline {
namespace dsp {

constexpr int kMaxLevelRing = 16;

struct LevelLimiter {
  float ring[kMaxLevelRing] = {};
  int length = 4;
  int position = 0;
  float sum = 0.0f;

  // Ring length for a sample rate: about the same span of time at any rate.
  static int lengthForRate(int rate) {
    int n = 2;
    if (rate > 25000) n = 4;
    if (rate > 50000) n = 8;
    if (rate > 100000) n = 16;
    return n;
  }

  // The running sum is rebuilt from the ring so rounding never accumulates.
  void resum() {
    float s = 0.0f;
    for (int i = 0; i < length; ++i) s += ring[i];
    sum = s;
  }

  // Enters |t| and answers the gain for t: 1 - avg/4 up to an average of 2,
  // 1/avg above, so a steady level a comes out as a - a*a/4, at most 1.
  float gainFor(float magnitude) {
    sum = sum + magnitude - ring[position];
    ring[position] = magnitude;
    if (++position >= length) position = 0;
    const float avg = sum / static_cast<float>(length);
    return avg > 2.0f ? 1.0f / avg : 1.0f - 0.25f * avg;
  }

  void clear() {
    for (float& v : ring) v = 0.0f;
    sum = 0.0f;
  }
};

}  // namespace dsp
}  // namespace baseline
