// Position inside the current delay cycle, for the cycle indicator and the
// synchronised start of a hold. Rebuilt at every block from the song position.
#pragma once

#include <cmath>

namespace dsp {

struct CycleCounter {
  bool active = false;  // false: no delay cycle (delay 0), no indicator
  int position = 0;     // i, samples into the cycle
  int length = 0;       // P, samples per cycle
  int window = 882;     // W, samples either side of a boundary that count as near

  // delayMs and tempo finite and positive; songPosition in quarter notes.
  void start(float delayMs, float rate, float tempo, float songPosition) {
    const float p = delayMs * rate / 1000.0f;
    const float beats = delayMs * tempo / 60000.0f;
    active = beats > 0.0f;
    if (!active) {
      position = 0;
      length = 0;
      return;
    }
    length = static_cast<int>(p);  // at most 3200 ms at the highest rate
    const float whole = std::trunc(songPosition / beats);
    const float i = (songPosition - whole * beats) * rate * 60.0f / tempo;
    // A song position too large for float arithmetic gives no usable phase.
    position = (std::fabs(i) <= static_cast<float>(length) + 1.0f) ? static_cast<int>(i) : 0;
  }

  bool near(int i) const { return i < window || i > length - window; }

  // Advances n samples at once, to the position and indicator n ticks give
  // (positions run 0..length, a boundary passed counts as near).
  void skip(int n, bool& indicator) {
    if (position + 1 < window || position + n > length - window) indicator = true;
    position = (position + n) % (length + 1);
  }

  // Advances one sample and sets `indicator` near a boundary; true when a
  // boundary was passed.
  bool tick(bool& indicator) {
    ++position;
    if (near(position)) indicator = true;
    if (position > length) {
      position = 0;
      return true;
    }
    return false;
  }
};

}  // namespace dsp
