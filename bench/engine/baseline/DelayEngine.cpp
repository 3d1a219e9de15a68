// Frozen copy of the engine as it was before the block-wise rewrite, in its
// own namespace: the benchmarks run it beside the current engine so the
// speed ratio comes from one run on one machine. Never built into korva.so.
#include "bench/engine/baseline/DelayEngine.h"

#include <cmath>

namespace baseline {

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
  limiterL.length = limiterR.length = dsp::LevelLimiter::lengthForRate(rate);
  limiterL.position = limiterR.position = 0;
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
  limiterL.length = limiterR.length = dsp::LevelLimiter::lengthForRate(rate);
  limiterL.position = limiterR.position = 0;
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
  limiterL.clear();
  limiterR.clear();
  line.clear();
  highCutL = highCutR = 0.0f;
  feedbackL = feedbackR = 0.0f;
  osc.clear();
  aaL.clear();
  aaR.clear();
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
  limiterL.resum();
  limiterR.resum();

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

  const float a = smoothA, b = smoothB;
  float dither = ditherOffset;
  float cp = clockPeriodValue.load(relaxed);

  for (int k = 0; k < frames; ++k) {
    // Every input sample is read before the output of the same index is
    // written, so in-place buffers work.
    const float inSampleL = inL[k], inSampleR = inR[k];
    const float xL = dsp::sanitizeInput(inSampleL), xR = dsp::sanitizeInput(inSampleR);

    if (takeRequest(fadeRestartPending)) line.writeFade = kFadeStart;
    if (takeRequest(antiAliasRedesignPending))
      designAntiAlias(dsp::antiAliasCutoff(dlyx2On(), rateF, 28000.0f));
    const bool isHolding = (holdState.load(relaxed) & kHolding) != 0;

    // Gained inputs.
    dither = -dither;
    const float gL = smoothedInputGain * xL + dither;
    const float gR = smoothedInputGain * xR + dither;

    // Conditioning: anti-alias low-pass, feedback, soft limiter, peak meter.
    float tL = aaL.run(aa, gL) + feedbackL;
    float tR = aaR.run(aa, gR) + feedbackR;
    const float mL = std::fabs(tL), mR = std::fabs(tR);
    const float gainL = limiterL.gainFor(mL);
    const float gainR = limiterR.gainFor(mR);
    if (takeRequest(peakResetRequest)) peakLevel = 0.0f;
    if (mL + mR > peakLevel) peakLevel = mL + mR;
    tL *= gainL;
    tR *= gainR;

    osc.followEnvelope(0.5f * (gainL * mL + gainR * mR), envAmountValue.load(relaxed));
    line.pushInput(tL, tR);

    smoothedInputGain = dsp::smooth(smoothedInputGain, inputGainTarget.load(relaxed), a, b, dither);
    smoothedOutputGain =
        dsp::smooth(smoothedOutputGain, outputGainTarget.load(relaxed), a, b, dither);
    smoothedMix = dsp::smooth(smoothedMix, raw[kMix].load(relaxed), a, b, dither);
    smoothedFeedbackValue = a * smoothedFeedbackValue + b * raw[kFbck].load(relaxed);
    if (std::fabs(smoothedFeedbackValue) < 1.0e-5f) smoothedFeedbackValue = 0.0f;

    const float p = dsp::flush(smoothedMix * smoothedOutputGain);
    const float dryGain = smoothedOutputGain - p;
    const float wetGain = p * wetSign.load(relaxed);

    smoothedDepth = dsp::smooth(smoothedDepth, raw[kDepth].load(relaxed), a, b, dither);
    osc.step(square.load(relaxed) != 0, lfoIncrement.load(relaxed), lfoAmountValue.load(relaxed));
    cp = dsp::clockPeriodFor(osc.oscillatorValue + osc.envelopeValue, smoothedDepth,
                             manualFactorValue.load(relaxed), clockMultiplierValue.load(relaxed));

    float oL, oR;
    line.advance(cp, isHolding, oL, oR);

    // Under three ticks the interpolators cannot work: the conditioned input
    // stands in for the delayed signal.
    if (delayTicksValue < 3.0f && !isHolding) {
      oL = tL;
      oR = tR;
    }

    if (takeRequest(jumpPending)) {
      delayTicksValue = rateF * delayMsValue.load(relaxed) / 1000.0f;
      line.placeRead(delayTicksValue);
    }

    // Feedback for the next sample; the high cut follows o while off so that
    // switching it on starts without a step.
    if (hiCut.load(relaxed)) {
      highCutL = highCutC * highCutL + (1.0f - highCutC) * oL;
      highCutR = highCutC * highCutR + (1.0f - highCutC) * oR;
    } else {
      highCutL = oL;
      highCutR = oR;
    }
    highCutL = dsp::flush(highCutL);
    highCutR = dsp::flush(highCutR);
    if (isHolding) {
      feedbackL = highCutL;
      feedbackR = highCutR;
    } else {
      const float sign = feedbackSign.load(relaxed);
      feedbackL = (smoothedFeedbackValue * highCutL) * sign;
      feedbackR = (smoothedFeedbackValue * highCutR) * sign;
    }

    if (power.load(relaxed)) {
      if (outR) {
        outL[k] = gL * dryGain + oL * wetGain;
        outR[k] = gR * dryGain + oR * wetGain;
      } else {
        outL[k] =
            0.5f * (gL * dryGain + oL * wetGain) + 0.5f * (gR * dryGain) + 0.5f * (oR * wetGain);
      }
    } else if (outR) {
      outL[k] = inSampleL;
      outR[k] = inSampleR;
    } else {
      outL[k] = 0.5f * inSampleL + 0.5f * inSampleR;
    }

    // Delay-cycle position, indicator and the synchronised hold start. With
    // no delay cycle (delay 0) there is no boundary to wait for.
    bool nearBoundary = false;
    const bool boundary = cycle.active ? cycle.tick(nearBoundary) : true;
    if (boundary) {
      int expected = kHoldRequested;
      if (holdState.load(relaxed) == expected &&
          holdState.compare_exchange_strong(expected, kHoldRequested | kHolding, relaxed))
        line.writeFade = kFadeStart;
    }
    if (takeRequest(indicatorResetRequest)) indicatorLatch = false;
    if (nearBoundary) indicatorLatch = true;
  }
  if (cycle.active && cycle.near(cycle.position + 1)) indicatorLatch = true;

  ditherOffset = dither;
  if (frames > 0) clockPeriodValue.store(cp, relaxed);
  sharedPhase.store(osc.phase, relaxed);
  sharedPeak.store(peakLevel, relaxed);
  sharedIndicator.store(indicatorLatch, relaxed);
}

}  // namespace baseline
