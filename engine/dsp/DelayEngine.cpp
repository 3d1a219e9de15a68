#include "engine/dsp/DelayEngine.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace {

constexpr std::memory_order relaxed = std::memory_order_relaxed;

// Raw values before the first preset is applied.
constexpr float kDefaults[kNumParams] = {0.5f, 0.5f, 0.5f, 0.625f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
                                         0.5f, 0.0f, 0.5f, 0.0f,   0.0f, 0.5f, 0.0f, 0.0f, 0.0f};

constexpr float kStartRate = 44100.0f;
constexpr float kFadeStart = 0.001f;

int bufferLengthFor(float rate) {
  // The longest delay, 3200 ms at one sample per tick, with a slot to spare.
  return 1 + static_cast<int>(3.2f * rate);
}

// Consumes a request flag; the plain load keeps the common case cheap.
bool takeRequest(std::atomic<bool>& flag) {
  return flag.load(relaxed) && flag.exchange(false, std::memory_order_acquire);
}

}  // namespace

DelayEngine::DelayEngine() {
  for (int i = 0; i < kNumParams; ++i) raw[i].store(kDefaults[i], relaxed);
  lfoIncrement.store(6.2831855f / 441000.0f, relaxed);
  rate = 44100;
  rateF = kStartRate;
  parameterRate.store(kStartRate, relaxed);
  smoothA = std::exp(-0.0042742756f);
  smoothB = 1.0f - smoothA;
  applySyncedDelay();  // Num 1, Den 1 at 120 BPM: 2000 ms

  line.allocate(bufferLengthFor(kStartRate));
  limiter.length = dsp::LevelLimiter::lengthForRate(rate);
  limiter.position = 0;
  placeReadNow();

  highCutC = std::exp(-25132.742f / kStartRate);
  osc.setRate(kStartRate);
  n50 = 2205;
  line.writeFadeStep = std::pow(kFadeStart, -1.0f / static_cast<float>(n50));
  line.writeFade = 1.0f;
  cycle.window = 882;
  // The first preset designs the filter again through Dlyx2; until then the
  // engine is usable on its own.
  designAntiAlias(dsp::antiAliasCutoff(false, kStartRate, 30000.0f));
  resetEngine();
}

float DelayEngine::clampDelayTime(float value) {
  if (!(value > 0.0f)) return 0.0f;  // negative or NaN
  return value > 1.0f ? 1.0f : value;
}

void DelayEngine::recomputeManualFactor() {
  const float mf = (1.0f - raw[kDepth].load(relaxed)) * (raw[kManVCO].load(relaxed) - 0.5f) + 1.0f;
  manualFactorValue.store(mf, relaxed);
  clockPeriodValue.store(mf * clockMultiplierValue.load(relaxed), relaxed);
}

void DelayEngine::setParameter(int index, float v) {
  if (index < 0 || index >= kNumParams) return;
  if (index == kDlyTime)
    v = clampDelayTime(v);
  else if (!(std::fabs(v) <= kMaxParameterMagnitude))
    return;  // not a number, or beyond anything a control can mean

  switch (index) {
    case kInput:
    case kOutput: {
      raw[index].store(v, relaxed);
      (index == kInput ? inputGainTarget : outputGainTarget).store(4.0f * v * v, relaxed);
      break;
    }
    case kDlyTime:
      if (syncOn() || holdRequested()) return;
      raw[kDlyTime].store(v, relaxed);
      delayMsValue.store(3200.0f * v, relaxed);
      jumpPending.store(true, std::memory_order_release);
      break;
    case kDlyx2: {
      raw[index].store(v, relaxed);
      const int on = quantizeSteps(v, 2);
      dlyx2.store(on, relaxed);
      clockMultiplierValue.store(on ? 2.0f : 1.0f, relaxed);
      antiAliasRedesignPending.store(true, std::memory_order_release);
      clockPeriodValue.store(manualFactorValue.load(relaxed) * (on ? 2.0f : 1.0f), relaxed);
      break;
    }
    case kDlyInv: {
      raw[index].store(v, relaxed);
      const int on = quantizeSteps(v, 2);
      dlyInv.store(on, relaxed);
      wetSign.store(on ? -1.0f : 1.0f, relaxed);
      break;
    }
    case kHiCut:
      raw[index].store(v, relaxed);
      hiCut.store(quantizeSteps(v, 2), relaxed);
      break;
    case kFbInv: {
      raw[index].store(v, relaxed);
      const int on = quantizeSteps(v, 2);
      fbInv.store(on, relaxed);
      feedbackSign.store(on ? -1.0f : 1.0f, relaxed);
      break;
    }
    case kManVCO:
    case kDepth:
      raw[index].store(v, relaxed);
      recomputeManualFactor();
      break;
    case kWaveform: {
      raw[index].store(v, relaxed);
      const float amount = std::fabs(v - 0.5f);
      lfoAmountValue.store(amount, relaxed);
      envAmountValue.store(1.0f - 2.0f * amount, relaxed);
      square.store(quantizeSteps(v, 2), relaxed);
      break;
    }
    case kRate: {
      const float hz = 0.1f * std::pow(100.0f, v);
      const float period = parameterRate.load(relaxed) / hz;
      const float increment = 6.2831855f / period;
      if (!std::isfinite(hz) || !std::isfinite(increment)) return;
      raw[index].store(v, relaxed);
      lfoRateValue.store(hz, relaxed);
      lfoPeriodValue.store(period, relaxed);
      lfoIncrement.store(increment, relaxed);
      break;
    }
    case kRptInf: {
      raw[index].store(v, relaxed);
      const int on = quantizeSteps(v, 2);
      // With sync on the hold waits for the next delay-cycle boundary.
      holdState.store(on ? (kHoldRequested | (syncOn() ? 0 : kHolding)) : 0, relaxed);
      fadeRestartPending.store(true, std::memory_order_release);
      break;
    }
    case kPower:
      raw[index].store(v, relaxed);
      power.store(quantizeSteps(v, 2), relaxed);
      break;
    case kDlyClk: {
      // Frozen while a hold is requested, like the delay time itself.
      if (holdRequested()) return;
      raw[index].store(v, relaxed);
      const int on = quantizeSteps(v, 2);
      sync.store(on, relaxed);
      jumpPending.store(true, std::memory_order_release);
      if (on) applySyncedDelay();
      break;
    }
    case kNum:
      raw[index].store(v, relaxed);
      numIdx.store(quantizeSteps(v, kNumNumerators), relaxed);
      if (syncOn()) applySyncedDelay();
      break;
    case kDen:
      raw[index].store(v, relaxed);
      denIdx.store(quantizeSteps(v, kNumDenominators), relaxed);
      if (syncOn()) applySyncedDelay();
      break;
    default:  // Mix, Fbck: the loop smooths the raw value
      raw[index].store(v, relaxed);
      break;
  }
}

float DelayEngine::getParameter(int index) const {
  if (index < 0 || index >= kNumParams) return 0.0f;
  return raw[index].load(relaxed);
}

void DelayEngine::applySyncedDelay() {
  int num = numIdx.load(relaxed), den = denIdx.load(relaxed);
  if (num < 0 || num >= kNumNumerators) num = 0;
  if (den < 0 || den >= kNumDenominators) den = 0;
  // Num/Den of a whole note (four beats) in ms, over the 3200 ms range.
  float s = kNumerators[num] * 240000.0f / (kDenominators[den] * tempoBpm.load(relaxed)) / 3200.0f;
  if (s > 1.0f) s = 1.0f;
  if (holdRequested()) return;
  raw[kDlyTime].store(s, relaxed);
  delayMsValue.store(3200.0f * s, relaxed);
  jumpPending.store(true, std::memory_order_release);
}

void DelayEngine::clearSyncForPreset() {
  raw[kDlyClk].store(0.0f, relaxed);
  sync.store(0, relaxed);
  jumpPending.store(false, relaxed);
}

void DelayEngine::setTempoFromControl(float value) {
  float t = 400.0f * value;
  if (!(t >= 40.0f)) t = 40.0f;
  if (t > 400.0f) t = 400.0f;
  const float previous = tempoBpm.exchange(t, relaxed);
  if (t != previous) applySyncedDelay();
}

void DelayEngine::designAntiAlias(float cutoff) {
  aa.design(cutoff, rateF);
  aaCutoff = cutoff;
}

void DelayEngine::placeReadNow() {
  delayTicksValue = rateF * delayMsValue.load(relaxed) / 1000.0f;
  line.placeRead(delayTicksValue);
  jumpPending.store(false, relaxed);
}

void DelayEngine::setRate(int newRate) {
  rate = newRate;
  rateF = static_cast<float>(newRate);
  parameterRate.store(rateF, relaxed);
  smoothA = std::exp(-188.49556f / rateF);
  smoothB = 1.0f - smoothA;
  // A failed allocation leaves no memory: process then passes the input on.
  line.allocate(bufferLengthFor(rateF));
  placeReadNow();
  const float period = rateF / lfoRateValue.load(relaxed);
  lfoPeriodValue.store(period, relaxed);
  lfoIncrement.store(6.2831855f / period, relaxed);
  n50 = rate * 50 / 1000;
  line.writeFadeStep = std::pow(kFadeStart, -1.0f / static_cast<float>(n50));
  cycle.window = rate / 50;
  highCutC = std::exp(-25132.742f / rateF);
  osc.setRate(rateF);
  limiter.length = dsp::LevelLimiter::lengthForRate(rate);
  limiter.position = 0;
  antiAliasRedesignPending.store(false, relaxed);
  designAntiAlias(dsp::antiAliasCutoff(dlyx2On(), rateF, 30000.0f));
}

void DelayEngine::resume(float hostSampleRate) {
  songPositionBeats = 0.0f;
  int r = 44100;
  if (hostSampleRate >= 5000.0f && hostSampleRate < 200001.0f) r = static_cast<int>(hostSampleRate);
  if (r != rate || !line.ready()) setRate(r);
  resetEngine();
}

void DelayEngine::suspend() {
  smoothedInputGain = inputGainTarget.load(relaxed);
  smoothedOutputGain = outputGainTarget.load(relaxed);
  smoothedMix = raw[kMix].load(relaxed);
  smoothedFeedbackValue = raw[kFbck].load(relaxed);
  smoothedDepth = raw[kDepth].load(relaxed);
  // The cleared memory is faded into from silence.
  fadeRestartPending.store(false, relaxed);
  line.writeFade = kFadeStart;
  placeReadNow();
  resetEngine();
}

void DelayEngine::resetEngine() {
  indicatorLatch = false;
  indicatorResetRequest.store(false, relaxed);
  sharedIndicator.store(false, relaxed);
  limiter.clear();
  line.clear();
  highCut = feedback = dsp::Pair{};
  osc.clear();
  antiAlias.clear();
  peakLevel = 0.0f;
  peakResetRequest.store(false, relaxed);
  sharedPeak.store(0.0f, relaxed);
  sharedPhase.store(0.0f, relaxed);
}

EngineStatus DelayEngine::readStatus() {
  EngineStatus s;
  s.phase = sharedPhase.load(relaxed);
  s.peak = 0.5f * sharedPeak.load(relaxed);
  const float ms = delayMsValue.load(relaxed);
  float effective = clockPeriodValue.load(relaxed) * ms + 0.5f;
  if (!(effective < 2.0e9f)) effective = 2.0e9f;
  s.effectiveDelayMs = static_cast<int>(effective);
  s.nominalDelayMs = static_cast<int>(ms + 0.5f);
  s.indicator = sharedIndicator.load(relaxed);
  peakResetRequest.store(true, relaxed);
  indicatorResetRequest.store(true, relaxed);
  return s;
}

void DelayEngine::startBlock(int frames, const BlockTiming& timing) {
  limiter.resum();

  // Host values that are not finite keep the previous tempo and position.
  if (timing.hasTempo && std::isfinite(timing.tempo)) {
    double t = timing.tempo;
    if (t < 40.0) t = 40.0;
    if (t > 400.0) t = 400.0;
    const float tf = static_cast<float>(t);
    const float previous = tempoBpm.exchange(tf, relaxed);
    if (tf != previous && syncOn()) applySyncedDelay();
  }
  const float tempo = tempoBpm.load(relaxed);
  if (timing.hasPosition) {
    if (std::fabs(timing.ppqPos) < 1.0e12) songPositionBeats = static_cast<float>(timing.ppqPos);
  } else {
    songPositionBeats += static_cast<float>(frames) * tempo / (rateF * 60.0f);
  }
  cycle.start(delayMsValue.load(relaxed), rateF, tempo, songPositionBeats);
}

void DelayEngine::passThrough(const float* inL, const float* inR, float* outL, float* outR,
                              int frames) {
  for (int k = 0; k < frames; ++k) {
    const float l = inL[k], r = inR[k];
    if (outR) {
      outL[k] = l;
      outR[k] = r;
    } else {
      outL[k] = 0.5f * l + 0.5f * r;
    }
  }
}

void DelayEngine::process(const float* inL, const float* inR, float* outL, float* outR, int frames,
                          const BlockTiming& timing) {
  if (frames < 0) frames = 0;
  startBlock(frames, timing);
  if (!line.ready()) {
    // Without delay memory there is nothing to delay: the input passes.
    passThrough(inL, inR, outL, outR, frames);
    return;
  }
  if (frames > 0) run(inL, inR, outL, outR, frames);
  if (cycle.active && cycle.near(cycle.position + 1)) indicatorLatch = true;
  sharedPhase.store(osc.phase, relaxed);
  sharedPeak.store(peakLevel, relaxed);
  sharedIndicator.store(indicatorLatch, relaxed);
}

namespace {

// The limiter's ring is copied in and out of the loop out of line, so that
// its AVX-512 build does not copy it with 512-bit moves, which can lower the
// clock of some processors for a while.
__attribute__((noinline)) dsp::StereoLevelLimiter copyOf(const dsp::StereoLevelLimiter& l) {
  return l;
}
__attribute__((noinline)) void copyTo(dsp::StereoLevelLimiter& to,
                                      const dsp::StereoLevelLimiter& from) {
  to = from;
}

bool isPowerOfTwo(float v) {
  std::uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  const std::uint32_t exponent = (bits >> 23) & 0xffu;
  return (bits & 0x807fffffu) == 0 && exponent != 0 && exponent != 0xffu;
}

}  // namespace

// The loop keeps its whole state in locals (the compiler cannot keep members
// in registers across the stores to the output buffers) and writes it back at
// the end. Every value is computed with exactly the operations, in exactly the
// order, of a plain per-sample evaluation; only work whose result is known
// without doing it is left out.
inline __attribute__((always_inline)) void DelayEngine::runLoop(const float* inL, const float* inR,
                                                                float* outL, float* outR,
                                                                int frames) {
  using dsp::Pair;

  // Requests, taken where the first sample would have taken them.
  if (takeRequest(fadeRestartPending)) line.writeFade = kFadeStart;
  if (takeRequest(antiAliasRedesignPending))
    designAntiAlias(dsp::antiAliasCutoff(dlyx2On(), rateF, 28000.0f));
  if (takeRequest(peakResetRequest)) peakLevel = 0.0f;
  if (takeRequest(indicatorResetRequest)) indicatorLatch = false;
  bool jump = takeRequest(jumpPending);  // carried out after the first sample's clock step

  // Parameters.
  const float a = smoothA, b = smoothB;
  const Pair smoothTargets = {b * inputGainTarget.load(relaxed), b * outputGainTarget.load(relaxed),
                              b * raw[kMix].load(relaxed), b * raw[kDepth].load(relaxed)};
  const float feedbackTarget = b * raw[kFbck].load(relaxed);
  const float envAmount = envAmountValue.load(relaxed);
  const float wet = wetSign.load(relaxed);
  const bool squareWave = square.load(relaxed) != 0;
  const float increment = lfoIncrement.load(relaxed);
  const float lfoAmount = lfoAmountValue.load(relaxed);
  const float manualFactor = manualFactorValue.load(relaxed);
  const float multiplier = clockMultiplierValue.load(relaxed);
  const bool hiCutOn = hiCut.load(relaxed) != 0;
  // Multiplying by +-1 is exact: a sign flip does it with one multiplication
  // less on the feedback path.
  const dsp::PairMask fbFlip = dsp::signMask(feedbackSign.load(relaxed));
  const bool powerOn = power.load(relaxed) != 0;
  const int holdAtStart = holdState.load(relaxed);
  bool holding = (holdAtStart & kHolding) != 0;
  bool holdWaiting = holdAtStart == kHoldRequested;

  // Bounds that prove the modulation cannot move the clock: |oscillator| is
  // at most lfoAmount, the envelope term at most (max(1, state) + 0.5) x
  // envAmount (pow(s, 0.3) <= max(1, s)); a product below a quarter of an ulp
  // of the manual factor leaves the sum at the manual factor. A state that is
  // not a number makes the bound NaN and the test fail, as it must.
  const float lfoBound = std::fabs(lfoAmount) * 1.001f;
  const float envBound = std::fabs(envAmount) * 1.001f;
  const float negligible = std::fabs(manualFactor) * 0x1p-26f;

  // State.
  Pair smoothed = {smoothedInputGain, smoothedOutputGain, smoothedMix, smoothedDepth};
  float smoothedFb = smoothedFeedbackValue;
  float dither = ditherOffset;
  float cp = clockPeriodValue.load(relaxed);
  const dsp::StereoAntiAlias::Taps taps(aa);
  dsp::StereoAntiAlias filter = antiAlias;
  dsp::StereoLevelLimiter lim = copyOf(limiter);
  const float inverseLength = 1.0f / static_cast<float>(lim.length);
  dsp::ClockedDelayLine::Cursor c = line.cursor();
  float delayTicks = delayTicksValue;
  Pair hc = highCut, fb = feedback;
  const Pair hcKeep = dsp::splat(highCutC), hcTake = dsp::splat(1.0f - highCutC);
  float phase = osc.phase;
  float envState = osc.envelopeState;
  // (1 - c) x (0.5 x level): the halving is exact, so it can go first.
  const float envC = osc.envelopeCoeff, envTakeHalf = 0.5f * (1.0f - osc.envelopeCoeff);
  float peak = peakLevel;
  bool latch = indicatorLatch;
  const bool cycleActive = cycle.active;
  int cyclePos = cycle.position;
  const int cycleLength = cycle.length, window = cycle.window;

  // With the smoothed feedback at 0 and held there by its target, and no
  // hold, the feedback is a signed zero: adding it changes nothing (the
  // filter output is never -0), so each sample no longer waits for the last.
  bool feedbackLive = holding || !(fb[0] == 0.0f && fb[1] == 0.0f && smoothedFb == 0.0f &&
                                   std::fabs(a * 0.0f + feedbackTarget) < 1.0e-5f);

  // 1 / clock period, and whether the clock step is an exact power of two.
  float lastCp = -1.0f, newStep = 1.0f, inverseStep = 1.0f;
  bool powerOfTwoStep = false, checkStep = false;

  // Work in chunks: a first pass computes everything that does not depend on
  // the delayed signal (input conditioning up to the anti-alias filter, the
  // smoothers, the oscillator phase), the second runs the loop through the
  // limiter, the clock and the feedback. Each pass alone keeps its state in
  // registers. All inputs of a chunk are read before any output is written
  // and the outputs go to the same indices, so in-place buffers work.
  auto runChunks = [&](auto chunkSize) __attribute__((always_inline)) {
    constexpr int kChunk = decltype(chunkSize)::value;
    alignas(16) Pair filtered[kChunk], gained[kChunk], delayed[kChunk];
    float dryGains[kChunk], wetGains[kChunk], depths[kChunk], feedbacks[kChunk], phases[kChunk];
    float waves[kChunk];
    bool waveReady[kChunk];
    // The oscillator's wave off the loop's critical path, where it will likely
    // be needed (the loop computes it itself where this guessed wrong).
    const float likelyEnvelope = std::max(1.0f, 2.0f * static_cast<float>(limiter.length));

    for (int start = 0; start < frames; start += kChunk) {
      const int n = std::min(kChunk, frames - start);
      for (int j = 0; j < n; ++j) {
        const Pair x = dsp::sanitizePair(dsp::pair(inL[start + j], inR[start + j]));
        dither = -dither;
        const Pair g = smoothed[0] * x + dsp::Pair{dither, dither, 0.0f, 0.0f};
        gained[j] = g;
        filtered[j] =
            filter.run(taps, dsp::clampPair(g, -dsp::kWetInputLimit, dsp::kWetInputLimit));
        smoothed = a * smoothed + smoothTargets + dither;
        smoothedFb = a * smoothedFb + feedbackTarget;
        if (std::fabs(smoothedFb) < 1.0e-5f) smoothedFb = 0.0f;
        feedbacks[j] = smoothedFb;
        const float p = dsp::flush(smoothed[2] * smoothed[1]);
        dryGains[j] = smoothed[1] - p;
        wetGains[j] = p * wet;
        depths[j] = smoothed[3];
        phases[j] = phase;
        waveReady[j] = false;
        if (lfoAmount != 0.0f &&
            !(std::fabs(smoothed[3]) * (lfoBound + (likelyEnvelope + 0.5f) * envBound) <
              negligible)) {
          waves[j] = squareWave ? (phase <= 0.0f ? 1.0f : -1.0f) : -std::sin(phase);
          waveReady[j] = true;
        }
        phase += increment;
        if (phase >= dsp::kPi) {
          phase -= dsp::kTwoPi;
          // Only rates far beyond the control range step more than a turn.
          if (phase >= dsp::kPi) phase = std::remainder(phase, dsp::kTwoPi);
        }
      }

      for (int j = 0; j < n; ++j) {
        // Conditioning: feedback, soft limiter, peak meter, envelope.
        Pair t = filtered[j];
        if (feedbackLive) t = t + fb;
        const Pair m = dsp::absPair(t);
        const Pair gain = lim.gainFor(m, inverseLength);
        const float level = m[0] + m[1];
        if (level > peak) peak = level;
        t = t * gain;
        const Pair gm = gain * m;
        // env, period, step and h are the feedback path's own copies (see
        // detached()).
        const float env = dsp::flushLikelyLarge(envC * envState + envTakeHalf * (gm[0] + gm[1]));
        envState = dsp::detached(env);
        c.pushInput(t);
        const float smoothedFbNow = feedbacks[j];

        // Modulation, skipped where it provably leaves the clock period alone.
        const float depth = depths[j];
        const float bound = std::fabs(depth) * (lfoBound + (std::max(env, 1.0f) + 0.5f) * envBound);
        float w = 0.0f;
        const bool modulating = !(bound < negligible);
        if (modulating && lfoAmount != 0.0f) {
          if (waveReady[j]) {
            w = waves[j];
          } else {
            const float ph = phases[j];
            w = squareWave ? (ph <= 0.0f ? 1.0f : -1.0f) : -std::sin(ph);
          }
        }
        float period;
        if (modulating) {
          const float envValue =
              envAmount != 0.0f ? (std::pow(env, 0.3f) - 0.5f) * envAmount : 0.0f;
          // x 1 is exact: without Dlyx2 the multiplication leaves the path.
          period =
              multiplier == 1.0f
                  ? dsp::clockPeriodFor(w * lfoAmount + envValue, depth, manualFactor, 1.0f)
                  : dsp::clockPeriodFor(w * lfoAmount + envValue, depth, manualFactor, multiplier);
        } else {
          period = dsp::clockPeriodFor(0.0f, depth, manualFactor, multiplier);
        }
        cp = dsp::detached(period);

        // Under modulation the period changes every sample and the exact-step
        // test stays off the path from the period to the tick phase. The clock
        // runs in both branches so that the new step reaches it in a register.
        Pair o;
        if (period != lastCp) {
          lastCp = dsp::detached(period);
          const float step = 1.0f / period;
          newStep = dsp::detached(step);
          checkStep = true;
          o = holding ? c.advance<true>(step, false, inverseStep)
                      : c.advance<false>(step, false, inverseStep);
        } else {
          if (checkStep) {
            checkStep = false;
            powerOfTwoStep = isPowerOfTwo(newStep);
            if (powerOfTwoStep) inverseStep = 1.0f / newStep;
          }
          const bool exact = powerOfTwoStep && newStep == c.tickStep;
          o = holding ? c.advance<true>(newStep, exact, inverseStep)
                      : c.advance<false>(newStep, exact, inverseStep);
        }

        // Under three ticks the interpolators cannot work: the conditioned input
        // stands in for the delayed signal.
        if (delayTicks < 3.0f && !holding) o = t;

        if (jump) {
          jump = false;
          delayTicks = rateF * delayMsValue.load(relaxed) / 1000.0f;
          c.readPos = dsp::ClockedDelayLine::readPositionFor(c.writePos, c.length, delayTicks);
        }

        // Feedback for the next sample; the high cut follows o while off so that
        // switching it on starts without a step.
        const Pair h = dsp::flushPairLikelyLarge(hiCutOn ? hcKeep * hc + hcTake * o : o);
        hc = dsp::detached(h);
        if (holding)
          fb = h;
        else if (feedbackLive)
          fb = dsp::flipSign(smoothedFbNow * h, fbFlip);

        delayed[j] = o;

        // Delay-cycle position, indicator and the synchronised hold start. With
        // no delay cycle (delay 0) there is no boundary to wait for.
        bool boundary = true;
        if (cycleActive) {
          ++cyclePos;
          if (cyclePos < window || cyclePos > cycleLength - window) latch = true;
          boundary = cyclePos > cycleLength;
          if (boundary) cyclePos = 0;
        }
        if (boundary && holdWaiting) {
          holdWaiting = false;
          int expected = kHoldRequested;
          if (holdState.compare_exchange_strong(expected, kHoldRequested | kHolding, relaxed)) {
            c.writeFade = kFadeStart;
            holding = true;
            feedbackLive = true;
          }
        }
      }

      // Outputs, apart from the loop so that it carries less across its call
      // of pow.
      for (int j = 0; j < n; ++j) {
        const int k = start + j;
        if (powerOn) {
          const Pair dry = gained[j] * dryGains[j], wetPart = delayed[j] * wetGains[j];
          if (outR) {
            const Pair out = dry + wetPart;
            outL[k] = out[0];
            outR[k] = out[1];
          } else {
            outL[k] = 0.5f * (dry[0] + wetPart[0]) + 0.5f * dry[1] + 0.5f * wetPart[1];
          }
        } else if (outR) {
          const float l = inL[k], r = inR[k];
          outL[k] = l;
          outR[k] = r;
        } else {
          outL[k] = 0.5f * inL[k] + 0.5f * inR[k];
        }
      }
    }
  };
  // When the feedback closes the loop through the modulated clock (the
  // envelope's pow on the way), each sample waits for the last: then one
  // sample per chunk lets the first pass's work fill that wait.
  const bool modulationLikely = std::fabs(smoothed[3]) > 1.0e-6f || smoothTargets[3] != 0.0f;
  if (feedbackLive && modulationLikely)
    runChunks(std::integral_constant<int, 1>{});
  else
    runChunks(std::integral_constant<int, 64>{});
  if (!feedbackLive) fb = dsp::flipSign(smoothedFb * hc, fbFlip);

  smoothedInputGain = smoothed[0];
  smoothedOutputGain = smoothed[1];
  smoothedMix = smoothed[2];
  smoothedDepth = smoothed[3];
  smoothedFeedbackValue = smoothedFb;
  ditherOffset = dither;
  antiAlias = filter;
  copyTo(limiter, lim);
  line.store(c);
  delayTicksValue = delayTicks;
  highCut = hc;
  feedback = fb;
  osc.phase = phase;
  osc.envelopeState = envState;
  peakLevel = peak;
  indicatorLatch = latch;
  cycle.position = cyclePos;
  clockPeriodValue.store(cp, relaxed);
}

// The same loop built three times: for any x86-64, with AVX2 encodings
// (three operands, fewer register moves), and with AVX-512 encodings, whose
// 32 vector registers save spills (the loop stays on 128-bit vectors). Each
// pays about 8 % at the defaults. Contraction is off for all, so they produce
// the same bits.
void DelayEngine::runBaseline(const float* inL, const float* inR, float* outL, float* outR,
                              int frames) {
  runLoop(inL, inR, outL, outR, frames);
}

__attribute__((target("avx2,fma,bmi,bmi2"))) void DelayEngine::runWide(const float* inL,
                                                                       const float* inR,
                                                                       float* outL, float* outR,
                                                                       int frames) {
  runLoop(inL, inR, outL, outR, frames);
}

__attribute__((
    target("avx512f,avx512vl,avx512bw,avx512dq,avx2,fma,bmi,bmi2,prefer-vector-width=128"))) void
DelayEngine::runWidest(const float* inL, const float* inR, float* outL, float* outR, int frames) {
  runLoop(inL, inR, outL, outR, frames);
}

namespace {

std::atomic<int> loopBuildCap{static_cast<int>(DelayEngine::LoopBuild::Avx512)};

DelayEngine::LoopBuild processorLoopBuild() {
  __builtin_cpu_init();
  if (!(__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") &&
        __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2")))
    return DelayEngine::LoopBuild::X86_64;
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
      __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512dq"))
    return DelayEngine::LoopBuild::Avx512;
  return DelayEngine::LoopBuild::Avx2;
}

}  // namespace

void DelayEngine::allowWideLoop(bool allowed) {
  capLoopBuild(allowed ? LoopBuild::Avx512 : LoopBuild::X86_64);
}

void DelayEngine::capLoopBuild(LoopBuild cap) {
  loopBuildCap.store(static_cast<int>(cap), relaxed);
}

DelayEngine::LoopBuild DelayEngine::loopBuild() {
  static const LoopBuild available = processorLoopBuild();
  return static_cast<LoopBuild>(std::min(static_cast<int>(available), loopBuildCap.load(relaxed)));
}

bool DelayEngine::usesWideLoop() {
  return loopBuild() != LoopBuild::X86_64;
}

const char* DelayEngine::loopBuildName(LoopBuild build) {
  switch (build) {
    case LoopBuild::X86_64:
      return "x86-64";
    case LoopBuild::Avx2:
      return "AVX2";
    case LoopBuild::Avx512:
      return "AVX-512";
  }
  return "";
}

void DelayEngine::run(const float* inL, const float* inR, float* outL, float* outR, int frames) {
  switch (loopBuild()) {
    case LoopBuild::Avx512:
      runWidest(inL, inR, outL, outR, frames);
      break;
    case LoopBuild::Avx2:
      runWide(inL, inR, outL, outR, frames);
      break;
    case LoopBuild::X86_64:
      runBaseline(inL, inR, outL, outR, frames);
      break;
  }
}
