// Frozen copy of the engine as it was before the block-wise rewrite, in its
// own namespace: the benchmarks run it beside the current engine so the
// speed ratio comes from one run on one machine. Never built into korva.so.
// The stereo delay memory on its variable-rate tick clock. The input is
// resampled onto the tick grid when written and the ticks read back are
// resampled onto the sample grid, both by Catmull-Rom interpolation, so the
// delay heard is (delay in ticks) x (samples per tick).
#pragma once

#include <cstddef>

#include "bench/engine/baseline/DspMath.h"

namespace baseline {
namespace dsp {

class ClockedDelayLine {
 public:
  ClockedDelayLine() = default;
  ~ClockedDelayLine() { release(); }
  ClockedDelayLine(const ClockedDelayLine&) = delete;
  ClockedDelayLine& operator=(const ClockedDelayLine&) = delete;

  // Replaces the memory with `length` zeroed ticks per channel; false (and no
  // memory) when it cannot be had. Write position back at the first slot.
  bool allocate(int length);
  void release();
  bool ready() const { return memory != nullptr; }
  int length() const { return bufferLength; }

  // Zeroes the memories, both histories and the tick phase; positions,
  // tickStep and the write fade stay.
  void clear();

  // Places the read positions trunc(delayTicks) ticks behind the write
  // positions.
  void placeRead(float delayTicks);
  void resetWritePosition() { writePos = 0; }

  // One input sample: shifts the conditioned samples into the write history.
  void pushInput(float tL, float tR) {
    hL[0] = hL[1];
    hL[1] = hL[2];
    hL[2] = hL[3];
    hL[3] = tL;
    hR[0] = hR[1];
    hR[1] = hR[2];
    hR[2] = hR[3];
    hR[3] = tR;
  }

  // Runs the clock for one sample at `clockPeriod` samples per tick and
  // produces the delayed signal. Needs ready().
  void advance(float clockPeriod, bool holding, float& oL, float& oR) {
    const float newStep = 1.0f / clockPeriod;
    // Rescaling keeps the time left to the next tick when the clock changes.
    const float prior = 1.0f - (1.0f - tickPhase) * newStep / tickStep;
    tickPhase = prior + newStep;
    tickStep = newStep;
    float f = 1.0f - prior;
    float* mL = memory;
    float* mR = memory + bufferLength;
    while (tickPhase >= 1.0f) {
      tickPhase -= 1.0f;
      const float x = f / tickStep;
      const float yL = catmullRom(hL[0], hL[1], hL[2], hL[3], x);
      const float yR = catmullRom(hR[0], hR[1], hR[2], hR[3], x);
      const float mvL = mL[readPos];
      const float mvR = mR[readPos];
      if (!holding) {
        mL[writePos] = (1.0f - writeFade) * mvL + writeFade * yL;
        mR[writePos] = (1.0f - writeFade) * mvR + writeFade * yR;
      } else {
        mL[writePos] = (1.0f - writeFade) * yL + writeFade * mvL;
        mR[writePos] = (1.0f - writeFade) * yR + writeFade * mvR;
      }
      writeFade *= writeFadeStep;
      if (writeFade > 1.0f) writeFade = 1.0f;
      // Read after the write: a zero distance reads the tick just written.
      rL[0] = rL[1];
      rL[1] = rL[2];
      rL[2] = rL[3];
      rL[3] = mL[readPos];
      rR[0] = rR[1];
      rR[1] = rR[2];
      rR[2] = rR[3];
      rR[3] = mR[readPos];
      if (++writePos >= bufferLength) writePos = 0;
      if (++readPos >= bufferLength) readPos = 0;
      f += 1.0f;
    }
    oL = catmullRom(rL[0], rL[1], rL[2], rL[3], tickPhase);
    oR = catmullRom(rR[0], rR[1], rR[2], rR[3], tickPhase);
  }

  int writePosition() const { return writePos; }
  int readPosition() const { return readPos; }
  float phase() const { return tickPhase; }
  float step() const { return tickStep; }

  // Write crossfade: 0.001 grows to 1 by writeFadeStep per tick.
  float writeFade = 1.0f;
  float writeFadeStep = 1.0f;

 private:
  float* memory = nullptr;  // left channel, then right channel
  int bufferLength = 0;
  int writePos = 0;
  int readPos = 0;
  float hL[4] = {}, hR[4] = {};
  float rL[4] = {}, rR[4] = {};
  float tickPhase = 0.0f;
  float tickStep = 1.0f;
};

}  // namespace dsp
}  // namespace baseline
