// Soft limiter on the average magnitude of the last N samples, both channels
// at once in one ring of pairs.
#pragma once

#include "engine/dsp/StereoPair.h"

namespace dsp {

constexpr int kMaxLevelRing = 64;

struct StereoLevelLimiter {
  // The first `length` entries are in use; clear() zeroes them all. Left
  // uninitialised here, so that the loop's copy (LevelRingCopy) costs only
  // the entries in use.
  Pair ring[kMaxLevelRing];
  int length = 4;
  int position = 0;
  Pair sum = {};

  // Ring length for a sample rate: about the same span of time at any rate
  // (80 to 160 microseconds above 25 kHz, two samples below), and a power of
  // two, so the average is an exact multiplication.
  static int lengthForRate(int rate) {
    int n = 2;
    for (int top = 25000; rate > top && n < kMaxLevelRing; top *= 2) n *= 2;
    return n;
  }

  // The running sum is rebuilt from the ring so rounding never accumulates.
  void resum() {
    Pair s = {};
    for (int i = 0; i < length; ++i) s += ring[i];
    sum = s;
  }

  // Enters |t| for both channels; answers the gains for t: 1 - avg/4 up to an
  // average of 2, 1/avg above, so a steady level a comes out as a - a*a/4, at
  // most 1.
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
