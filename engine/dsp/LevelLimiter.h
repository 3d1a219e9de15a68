// Soft limiter on the average magnitude of the last N samples of one channel.
#pragma once

#include <cmath>

#include "engine/dsp/StereoPair.h"

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

// The same limiter for both channels at once, one ring of pairs. The ring
// length is a power of two, so the average is an exact multiplication.
struct StereoLevelLimiter {
  Pair ring[kMaxLevelRing] = {};
  int length = 4;
  int position = 0;
  Pair sum = {};

  void resum() {
    Pair s = {};
    for (int i = 0; i < length; ++i) s += ring[i];
    sum = s;
  }

  // Enters |t| for both channels; answers the gains.
  Pair gainFor(Pair magnitude, float inverseLength) {
    sum = sum + magnitude - ring[position];
    ring[position] = magnitude;
    if (++position >= length) position = 0;
    const Pair avg = sum * inverseLength;
    const PairMask loud = avg > 2.0f;
    // A branch, not a blend: the division stays off the common path. The
    // scalings by the power-of-two length and by 1/4 are exact, so they
    // fold into one multiplication.
    if (anyLane(loud)) return select(loud, 1.0f / avg, 1.0f - 0.25f * avg);
    return 1.0f - sum * (0.25f * inverseLength);
  }

  void clear() {
    for (Pair& v : ring) v = Pair{};
    sum = Pair{};
  }
};

}  // namespace dsp
