// The engine's loop, stage by stage. A block reads its settings once
// (LoopSettings), takes the state its samples carry into locals (LoopState)
// and runs in chunks of three passes:
//
//   1. prepareFrame: everything that does not depend on the delayed signal:
//      input conditioning up to the anti-alias filter, the control smoothers,
//      the oscillator;
//   2. closeLoop: the loop through the delay memory: feedback in, limiter,
//      envelope, modulated clock, delay memory and interpolation, high cut
//      and feedback out, delay-cycle counter;
//   3. writeOutput: dry and wet to the host's buffers.
//
// Each pass alone keeps its state in registers (the compiler cannot keep
// members there across the stores to the output buffers). Every value is
// computed with exactly the operations, in exactly the order, of a plain
// per-sample evaluation (tests/reference); only work whose result is known
// without doing it is left out, by the shortcuts named below with the
// condition each relies on. The loop is compiled once per instruction set
// (LoopBuilds.cpp), so every stage here is inlined into each build.
#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>

#include "engine/dsp/AntiAliasFilter.h"
#include "engine/dsp/ClockedDelayLine.h"
#include "engine/dsp/CycleCounter.h"
#include "engine/dsp/HighCut.h"
#include "engine/dsp/LevelLimiter.h"
#include "engine/dsp/ModulationOscillator.h"
#include "engine/dsp/StereoPair.h"

#define KORVA_STAGE inline __attribute__((always_inline))

namespace dsp {

// The hold request and the hold itself, in one word shared with the
// parameter side, so the loop's synchronised hold start can never resurrect
// a hold that was switched off meanwhile.
constexpr int kHoldRequested = 1;
constexpr int kHolding = 2;

// The host's buffers of one block; outR null: mono output. Any output may be
// the same buffer as its input: each chunk reads all its inputs before it
// writes an output, to the same indices.
struct LoopBuffers {
  const float* inL;
  const float* inR;
  float* outL;
  float* outR;
  int frames;
};

// What a block reads once: parameters, coefficients and requests.
struct LoopSettings {
  // Smoothers: coefficient a, and b x the targets (input gain, output gain,
  // mix, depth; feedback).
  float a;
  Pair smoothTargets;
  float feedbackTarget;
  StereoAntiAlias::Taps antiAlias;
  float inverseRingLength;
  // Modulation.
  float lfoAmount, envAmount, phaseIncrement, manualFactor, multiplier;
  bool squareWave;
  ModulationBounds bounds;
  float envelopeKeep, envelopeTakeHalf;
  float likelyEnvelopeCeiling;  // where the first pass expects the envelope
  // Feedback and output.
  bool highCutOn;
  HighCut highCut;
  PairMask feedbackFlip;  // FbInv as a sign flip (x -1 is exact)
  float wetSign;
  bool powerOn;
  // A delay change to carry out after the first sample's clock step.
  float jumpTicks;
  std::atomic<int>* holdState;
};

// What the samples carry from one to the next, and from block to block: the
// engine keeps one. The clock is the delay line's, copied in and out; jump,
// clock period, step and the hold are set anew for every block.
struct LoopState {
  Pair smoothed = {};  // input gain, output gain, mix, depth
  float smoothedFeedback = 0.0f;
  float dither = 1.0e-10f;  // flipped every sample
  StereoAntiAlias antiAlias;
  ClockedDelayLine::Cursor clock;
  ClockStep step;
  float clockPeriod = 1.0f, delayTicks = 0.0f;
  bool jump = false;
  Pair highCut = {}, feedback = {};
  float phase = 0.0f;     // the oscillator's, radians, -pi..pi
  float envelope = 0.0f;  // the envelope follower's, >= 0
  float peak = 0.0f;
  bool indicator = false;
  CycleCounter cycle;
  bool holding = false, holdWaiting = false;
  bool feedbackLive = true;  // see feedbackIsSilent
};

// What the first pass leaves for the other two, per frame of a chunk.
template <int kSize>
struct Chunk {
  Pair gained[kSize], filtered[kSize], delayed[kSize];
  float dryGains[kSize], wetGains[kSize], depths[kSize], feedbacks[kSize];
  float phases[kSize], waves[kSize];
  bool waveReady[kSize];
};

// Shortcut: silent feedback. With the smoothed feedback at 0 and held there by
// its target (the next step, a x 0 + b x target, snaps back to 0), the
// feedback at 0 and no hold, the feedback is a signed zero for the whole
// block, and adding it changes nothing (the anti-alias output is never -0). The loop then leaves it
// out, so each sample no longer waits for the last; finishFeedback works it out once after the
// block.
KORVA_STAGE bool feedbackIsSilent(const LoopSettings& s, const LoopState& st) {
  return !st.holding && st.feedback[0] == 0.0f && st.feedback[1] == 0.0f &&
         st.smoothedFeedback == 0.0f && std::fabs(s.a * 0.0f + s.feedbackTarget) < 1.0e-5f;
}

// Shortcut: chunk size. Any size gives the same bits (the passes only split
// work that does not depend on the delayed signal from work that does). When
// the feedback closes the loop through the modulated clock (the envelope's
// pow on the way), each sample waits for the last: then one frame per chunk
// lets the first pass's work fill that wait. Otherwise 64 frames keep each
// pass's state in registers longer.
KORVA_STAGE bool loopWaitsOnItself(const LoopSettings& s, const LoopState& st) {
  const bool modulationLikely = std::fabs(st.smoothed[3]) > 1.0e-6f || s.smoothTargets[3] != 0.0f;
  return st.feedbackLive && modulationLikely;
}

// Pass 1 -----------------------------------------------------------------

// Input conditioning: sanitised, dithered, gained, limited and low-passed
// for the delay memory.
template <int kSize>
KORVA_STAGE void conditionInput(const LoopSettings& s, LoopState& st, Chunk<kSize>& ch, int j,
                                float left, float right) {
  const Pair x = sanitizeInput(pair(left, right));
  st.dither = -st.dither;
  const Pair g = st.smoothed[0] * x + Pair{st.dither, st.dither, 0.0f, 0.0f};
  ch.gained[j] = g;
  ch.filtered[j] = st.antiAlias.run(s.antiAlias, limitWetInput(g));
}

// The control smoothers, and the gains and depth they give this frame. The
// feedback smoother snaps to 0 below 1e-5.
template <int kSize>
KORVA_STAGE void smoothControls(const LoopSettings& s, LoopState& st, Chunk<kSize>& ch, int j) {
  st.smoothed = s.a * st.smoothed + s.smoothTargets + st.dither;
  st.smoothedFeedback = s.a * st.smoothedFeedback + s.feedbackTarget;
  if (std::fabs(st.smoothedFeedback) < 1.0e-5f) st.smoothedFeedback = 0.0f;
  ch.feedbacks[j] = st.smoothedFeedback;
  const float p = flush(st.smoothed[2] * st.smoothed[1]);
  ch.dryGains[j] = st.smoothed[1] - p;
  ch.wetGains[j] = p * s.wetSign;
  ch.depths[j] = st.smoothed[3];
}

// The oscillator's phase for this frame, and its wave off the loop's
// critical path where the clock will likely need it (the loop computes it
// itself where this guessed wrong).
template <int kSize>
KORVA_STAGE void runOscillator(const LoopSettings& s, LoopState& st, Chunk<kSize>& ch, int j) {
  ch.phases[j] = st.phase;
  ch.waveReady[j] = false;
  if (s.lfoAmount != 0.0f && !s.bounds.negligibleAt(st.smoothed[3], s.likelyEnvelopeCeiling)) {
    ch.waves[j] = oscillatorWave(s.squareWave, st.phase);
    ch.waveReady[j] = true;
  }
  st.phase = advancePhase(st.phase, s.phaseIncrement);
}

template <int kSize>
KORVA_STAGE void prepareFrame(const LoopSettings& s, LoopState& st, Chunk<kSize>& ch, int j,
                              float left, float right) {
  conditionInput(s, st, ch, j, left, right);
  smoothControls(s, st, ch, j);
  runOscillator(s, st, ch, j);
}

// Pass 2 -----------------------------------------------------------------

// Feedback in, soft limiter, peak meter and envelope; the limited sample
// enters the delay memory's write history. `envelope` is the feedback path's
// own copy of the new envelope (see detached()).
KORVA_STAGE Pair limitLoopInput(const LoopSettings& s, LoopState& st, StereoLevelLimiter& limiter,
                                Pair filtered, float& envelope) {
  Pair t = filtered;
  if (st.feedbackLive) t = t + st.feedback;
  const Pair m = absPair(t);
  const Pair gain = limiter.gainFor(m, s.inverseRingLength);
  const float level = m[0] + m[1];
  if (level > st.peak) st.peak = level;
  t = t * gain;
  envelope = followEnvelope(st.envelope, s.envelopeKeep, s.envelopeTakeHalf, gain * m);
  st.envelope = detached(envelope);
  st.clock.pushInput(t);
  return t;
}

// The clock period for frame j: the manual factor moved by the oscillator and
// the envelope, unless that provably leaves it alone.
template <int kSize>
KORVA_STAGE float modulatedPeriod(const LoopSettings& s, const Chunk<kSize>& ch, int j,
                                  float envelope) {
  const float depth = ch.depths[j];
  if (s.bounds.negligibleAt(depth, std::max(envelope, 1.0f)))
    return clockPeriodFor(0.0f, depth, s.manualFactor, s.multiplier);
  float wave = 0.0f;
  if (s.lfoAmount != 0.0f)
    wave = ch.waveReady[j] ? ch.waves[j] : oscillatorWave(s.squareWave, ch.phases[j]);
  const float modulation = wave * s.lfoAmount + envelopeModulation(envelope, s.envAmount);
  // x 1 is exact: without Dlyx2 the multiplication leaves the path.
  return s.multiplier == 1.0f ? clockPeriodFor(modulation, depth, s.manualFactor, 1.0f)
                              : clockPeriodFor(modulation, depth, s.manualFactor, s.multiplier);
}

// The clock and the delay memory: the delayed signal for this frame, then a
// pending delay change.
KORVA_STAGE Pair runClock(const LoopSettings& s, LoopState& st, float period, Pair conditioned) {
  st.clockPeriod = detached(period);
  Pair o = st.step.advance(st.clock, period, st.holding);
  // Under three ticks the interpolators cannot work: the conditioned input
  // stands in for the delayed signal.
  if (st.delayTicks < 3.0f && !st.holding) o = conditioned;
  if (st.jump) {
    st.jump = false;
    st.delayTicks = s.jumpTicks;
    st.clock.readPos =
        ClockedDelayLine::readPositionFor(st.clock.writePos, st.clock.length, st.delayTicks);
  }
  return o;
}

// The feedback for the next frame: through the high cut, times the smoothed
// feedback with its sign; while holding, the loop recirculates unchanged.
KORVA_STAGE void feedBack(const LoopSettings& s, LoopState& st, Pair delayed, float feedback) {
  const Pair h = s.highCut.run(s.highCutOn, st.highCut, delayed);
  st.highCut = detached(h);
  if (st.holding)
    st.feedback = h;
  else if (st.feedbackLive)
    st.feedback = flipSign(feedback * h, s.feedbackFlip);
}

// A hold switched on with sync waits for a delay-cycle boundary; it starts
// there unless it was switched off meanwhile.
KORVA_STAGE void startWaitingHold(const LoopSettings& s, LoopState& st) {
  st.holdWaiting = false;
  int expected = kHoldRequested;
  if (s.holdState->compare_exchange_strong(expected, kHoldRequested | kHolding,
                                           std::memory_order_relaxed)) {
    st.clock.writeFade = kFadeStart;
    st.holding = true;
    st.feedbackLive = true;
  }
}

// Delay-cycle position, indicator and the synchronised hold start. With no
// delay cycle (delay 0) there is no boundary to wait for.
KORVA_STAGE void countCycle(const LoopSettings& s, LoopState& st) {
  bool boundary = true;
  if (st.cycle.active) boundary = st.cycle.tick(st.indicator);
  if (boundary && st.holdWaiting) startWaitingHold(s, st);
}

// Shortcut: the delay-cycle counter per chunk (of 64). Only a hold waiting for
// a boundary needs to know at which sample it falls; without one, the
// position and the indicator after n samples follow in closed form
// (CycleCounter::skip), so the counter moves on once per chunk. A hold never
// starts waiting inside a block.
KORVA_STAGE bool cycleCountedEachSample(const LoopState& st) {
  return st.holdWaiting;
}

template <int kSize>
KORVA_STAGE void closeLoop(const LoopSettings& s, LoopState& st, StereoLevelLimiter& limiter,
                           Chunk<kSize>& ch, int j, bool countEachSample) {
  float envelope;
  const Pair t = limitLoopInput(s, st, limiter, ch.filtered[j], envelope);
  const float feedback = ch.feedbacks[j];
  const float period = modulatedPeriod(s, ch, j, envelope);
  const Pair o = runClock(s, st, period, t);
  feedBack(s, st, o, feedback);
  ch.delayed[j] = o;
  if (countEachSample) countCycle(s, st);
}

// Pass 3 -----------------------------------------------------------------

// Dry and wet to the host's buffers, or with Power off the input as it came.
template <int kSize>
KORVA_STAGE void writeOutput(const LoopSettings& s, const Chunk<kSize>& ch, int j,
                             const LoopBuffers& io, int k) {
  if (s.powerOn) {
    const Pair dry = ch.gained[j] * ch.dryGains[j], wet = ch.delayed[j] * ch.wetGains[j];
    if (io.outR) {
      const Pair out = dry + wet;
      io.outL[k] = out[0];
      io.outR[k] = out[1];
    } else {
      io.outL[k] = 0.5f * (dry[0] + wet[0]) + 0.5f * dry[1] + 0.5f * wet[1];
    }
  } else if (io.outR) {
    const float l = io.inL[k], r = io.inR[k];
    io.outL[k] = l;
    io.outR[k] = r;
  } else {
    io.outL[k] = 0.5f * io.inL[k] + 0.5f * io.inR[k];
  }
}

// The block ---------------------------------------------------------------

template <int kSize>
KORVA_STAGE void runChunks(const LoopSettings& s, LoopState& st, StereoLevelLimiter& limiter,
                           const LoopBuffers& io) {
  Chunk<kSize> ch;
  for (int start = 0; start < io.frames; start += kSize) {
    if constexpr (kSize == 1) {
      // Frame 0 written as such, so the chunk's arrays become registers.
      prepareFrame(s, st, ch, 0, io.inL[start], io.inR[start]);
      closeLoop(s, st, limiter, ch, 0, true);
      writeOutput(s, ch, 0, io, start);
    } else {
      const int n = std::min(kSize, io.frames - start);
      const bool countEachSample = cycleCountedEachSample(st);
      for (int j = 0; j < n; ++j) prepareFrame(s, st, ch, j, io.inL[start + j], io.inR[start + j]);
      for (int j = 0; j < n; ++j) closeLoop(s, st, limiter, ch, j, countEachSample);
      for (int j = 0; j < n; ++j) writeOutput(s, ch, j, io, start + j);
      if (!countEachSample && st.cycle.active) st.cycle.skip(n, st.indicator);
    }
  }
}

// The feedback the silent-feedback shortcut left out, for the next block.
KORVA_STAGE void finishFeedback(const LoopSettings& s, LoopState& st) {
  if (!st.feedbackLive) st.feedback = flipSign(st.smoothedFeedback * st.highCut, s.feedbackFlip);
}

// One block on locals: the caller hands in copies it writes back afterwards.
KORVA_STAGE void runBlock(const LoopSettings& s, LoopState& st, StereoLevelLimiter& limiter,
                          const LoopBuffers& io) {
  st.feedbackLive = !feedbackIsSilent(s, st);
  if (loopWaitsOnItself(s, st))
    runChunks<1>(s, st, limiter, io);
  else
    runChunks<64>(s, st, limiter, io);
  finishFeedback(s, st);
}

}  // namespace dsp
