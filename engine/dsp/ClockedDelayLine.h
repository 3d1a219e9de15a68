// The stereo delay memory on its variable-rate tick clock. The input is
// resampled onto the tick grid when written and the ticks read back are
// resampled onto the sample grid, both by Catmull-Rom interpolation, so the
// delay heard is (delay in ticks) x (samples per tick).
//
// The memory is interleaved (left, right per tick) so one tick is one 64-bit
// load or store, and both channels are interpolated in one register.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/dsp/DspMath.h"
#include "engine/dsp/StereoPair.h"

namespace dsp {

// Where the write crossfade starts: 60 dB below full.
constexpr float kFadeStart = 0.001f;

class ClockedDelayLine {
 public:
  // The line's whole state: memory, positions, histories, tick clock and
  // write fade; the loop works on a copy in its locals for a block.
  struct Cursor {
    float* memory = nullptr;  // interleaved: left, right of each tick
    int length = 0;
    int writePos = 0, readPos = 0;
    Pair h0 = {}, h1 = {}, h2 = {}, h3 = {};  // write history, oldest first
    Pair r0 = {}, r1 = {}, r2 = {}, r3 = {};  // ticks read back, oldest first
    float tickPhase = 0.0f, tickStep = 1.0f;
    float writeFade = 1.0f, writeFadeStep = 1.0f;

    void pushInput(Pair t) {
      h0 = h1;
      h1 = h2;
      h2 = h3;
      h3 = t;
    }

    // Runs the clock for one sample, given newStep = 1 / clockPeriod, and
    // produces the delayed signal. `exact`: newStep equals tickStep and is a
    // power of two whose reciprocal is `inverse`; then the rescaling is an
    // identity and the divisions are exact multiplications.
    template <bool holding>
    Pair advance(float newStep, bool exact, float inverse) {
      // Rescaling keeps the time left to the next tick when the clock
      // changes.
      float prior;
      if (exact)
        prior = 1.0f - (1.0f - tickPhase);
      else
        prior = 1.0f - (1.0f - tickPhase) * newStep / tickStep;
      tickPhase = prior + newStep;
      tickStep = newStep;
      float f = 1.0f - prior;
      while (tickPhase >= 1.0f) {
        tickPhase -= 1.0f;
        const float x = exact ? f * inverse : f / tickStep;
        const Pair y = catmullRom(h0, h1, h2, h3, splat(x));
        const Pair mv = loadPair(memory + 2 * readPos);
        const Pair keep = splat(1.0f - writeFade), put = splat(writeFade);
        storePair(memory + 2 * writePos, holding ? keep * y + put * mv : keep * mv + put * y);
        writeFade *= writeFadeStep;
        if (writeFade > 1.0f) writeFade = 1.0f;
        // Read after the write: a zero distance reads the tick just written.
        r0 = r1;
        r1 = r2;
        r2 = r3;
        r3 = loadPair(memory + 2 * readPos);
        if (++writePos >= length) writePos = 0;
        if (++readPos >= length) readPos = 0;
        f += 1.0f;
      }
      return catmullRom(r0, r1, r2, r3, splat(tickPhase));
    }
  };

  ClockedDelayLine() = default;
  ~ClockedDelayLine() { release(); }
  ClockedDelayLine(const ClockedDelayLine&) = delete;
  ClockedDelayLine& operator=(const ClockedDelayLine&) = delete;

  // Replaces the memory with `length` zeroed ticks per channel; false (and no
  // memory) when it cannot be had. Write position back at the first slot.
  bool allocate(int length);
  void release();
  bool ready() const { return state.memory != nullptr; }
  int length() const { return state.length; }

  // Zeroes the memories, both histories and the tick phase; positions,
  // tickStep and the write fade stay.
  void clear();

  // Places the read positions trunc(delayTicks) ticks behind the write
  // positions.
  void placeRead(float delayTicks);
  static int readPositionFor(int writePos, int length, float delayTicks);

  // The clock state, copied into the loop's locals and back.
  const Cursor& cursor() const { return state; }
  void store(const Cursor& c) { state = c; }

  int writePosition() const { return state.writePos; }
  int readPosition() const { return state.readPos; }
  // Write crossfade: kFadeStart grows to 1 by writeFadeStep per tick.
  float writeFade() const { return state.writeFade; }
  void restartWriteFade() { state.writeFade = kFadeStart; }
  void setWriteFadeStep(float step) { state.writeFadeStep = step; }

 private:
  Cursor state;
};

// Shortcut: exact clock steps. When the step (1 / clock period) is a power of
// two and equals the last one, the rescaling in advance() is an identity and
// dividing by the step is multiplying by its reciprocal, both exactly. Which
// step that is gets worked out one sample after the period changes, so the
// test stays off the path from the period to the tick phase; the clock runs
// in both branches so the new step reaches it in a register.
struct ClockStep {
  float lastPeriod = -1.0f;  // no period yet
  float step = 1.0f, inverse = 1.0f;
  bool powerOfTwo = false, unchecked = false;

  static bool isPowerOfTwo(float v) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    const std::uint32_t exponent = (bits >> 23) & 0xffu;
    return (bits & 0x807fffffu) == 0 && exponent != 0 && exponent != 0xffu;
  }

  // One sample of the clock at `period` samples per tick. Always inlined: the
  // loop's wide builds must not call out to a build for any x86-64.
  __attribute__((always_inline)) Pair advance(ClockedDelayLine::Cursor& c, float period,
                                              bool holding) {
    if (period != lastPeriod) {
      lastPeriod = detached(period);
      const float s = 1.0f / period;
      step = detached(s);
      unchecked = true;
      return holding ? c.advance<true>(s, false, inverse) : c.advance<false>(s, false, inverse);
    }
    if (unchecked) {
      unchecked = false;
      powerOfTwo = isPowerOfTwo(step);
      if (powerOfTwo) inverse = 1.0f / step;
    }
    const bool exact = powerOfTwo && step == c.tickStep;
    return holding ? c.advance<true>(step, exact, inverse) : c.advance<false>(step, exact, inverse);
  }
};

}  // namespace dsp
