#include "engine/dsp/DelayEngine.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::memory_order relaxed = std::memory_order_relaxed;

// Raw values before the first preset is applied.
constexpr float kDefaults[kNumParams] = {0.5f, 0.5f, 0.5f, 0.625f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
                                         0.5f, 0.0f, 0.5f, 0.0f,   0.0f, 0.5f, 0.0f, 0.0f, 0.0f};

constexpr float kStartRate = 44100.0f;

int bufferLengthFor(float rate) {
  // The longest delay, 3200 ms in ticks, with a slot to spare. Ticks, not
  // samples: with Dlyx2 (two samples per tick) the same memory holds 6400 ms.
  return 1 + static_cast<int>(3.2f * rate);
}

// The value the engine takes for a parameter: nothing outside what a control
// can send reaches the sound, whoever sent it (a host, a stored state, MIDI).
// NaN is refused (false), but DlyTime takes it as 0.
bool takeValue(int index, float& v) {
  if (std::isnan(v)) {
    if (index != kDlyTime) return false;
    v = 0.0f;
  }
  v = v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
  return true;
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
  limiter.length = dsp::StereoLevelLimiter::lengthForRate(rate);
  limiter.position = 0;
  placeReadNow();

  highCutC = dsp::HighCut::coefficientFor(kStartRate);
  envelopeC = dsp::envelopeCoefficientFor(kStartRate);
  n50 = 2205;
  line.setWriteFadeStep(std::pow(dsp::kFadeStart, -1.0f / static_cast<float>(n50)));
  carried.cycle.window = 882;
  // The first preset designs the filter again through Dlyx2; until then the
  // engine is usable on its own.
  designAntiAlias(dsp::antiAliasCutoff(false, kStartRate, 30000.0f));
  resetEngine();
}

void DelayEngine::recomputeManualFactor() {
  const float mf = (1.0f - raw[kDepth].load(relaxed)) * (raw[kManVCO].load(relaxed) - 0.5f) + 1.0f;
  manualFactorValue.store(mf, relaxed);
  clockPeriodValue.store(mf * clockMultiplierValue.load(relaxed), relaxed);
}

void DelayEngine::setParameter(int index, float v) {
  if (index < 0 || index >= kNumParams || !takeValue(index, v)) return;
  switch (index) {
    case kInput:
    case kOutput:
      raw[index].store(v, relaxed);
      (index == kInput ? inputGainTarget : outputGainTarget).store(4.0f * v * v, relaxed);
      break;
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
    case kDlyInv:
    case kFbInv: {  // the sign of the wet signal, of the feedback
      raw[index].store(v, relaxed);
      const int on = quantizeSteps(v, 2);
      (index == kDlyInv ? dlyInv : fbInv).store(on, relaxed);
      (index == kDlyInv ? wetSign : feedbackSign).store(on ? -1.0f : 1.0f, relaxed);
      break;
    }
    case kHiCut:
      raw[index].store(v, relaxed);
      hiCut.store(quantizeSteps(v, 2), relaxed);
      break;
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
      raw[index].store(v, relaxed);
      lfoRateValue.store(hz, relaxed);
      lfoPeriodValue.store(period, relaxed);
      lfoIncrement.store(6.2831855f / period, relaxed);
      break;
    }
    case kRptInf: {
      raw[index].store(v, relaxed);
      const int on = quantizeSteps(v, 2);
      // With sync on the hold waits for the next delay-cycle boundary.
      holdState.store(on ? (dsp::kHoldRequested | (syncOn() ? 0 : dsp::kHolding)) : 0, relaxed);
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
  carried.delayTicks = rateF * delayMsValue.load(relaxed) / 1000.0f;
  line.placeRead(carried.delayTicks);
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
  line.setWriteFadeStep(std::pow(dsp::kFadeStart, -1.0f / static_cast<float>(n50)));
  carried.cycle.window = rate / 50;
  highCutC = dsp::HighCut::coefficientFor(rateF);
  envelopeC = dsp::envelopeCoefficientFor(rateF);
  limiter.length = dsp::StereoLevelLimiter::lengthForRate(rate);
  limiter.position = 0;
  antiAliasRedesignPending.store(false, relaxed);
  designAntiAlias(dsp::antiAliasCutoff(dlyx2On(), rateF, 30000.0f));
}

bool DelayEngine::resume(float hostSampleRate) {
  songPositionBeats = 0.0f;
  rateSupported = supportsSampleRate(hostSampleRate);
  if (rateSupported) {
    const int r = static_cast<int>(hostSampleRate);
    if (r != rate || !line.ready()) setRate(r);
  }
  resetEngine();
  return rateSupported;
}

void DelayEngine::suspend() {
  carried.smoothed = dsp::Pair{inputGainTarget.load(relaxed), outputGainTarget.load(relaxed),
                               raw[kMix].load(relaxed), raw[kDepth].load(relaxed)};
  carried.smoothedFeedback = raw[kFbck].load(relaxed);
  // The cleared memory is faded into from silence.
  fadeRestartPending.store(false, relaxed);
  line.restartWriteFade();
  placeReadNow();
  resetEngine();
}

void DelayEngine::resetEngine() {
  carried.indicator = false;
  indicatorResetRequest.store(false, relaxed);
  sharedIndicator.store(false, relaxed);
  limiter.clear();
  line.clear();
  carried.highCut = carried.feedback = dsp::Pair{};
  carried.phase = 0.0f;  // the envelope keeps the level across resets
  carried.antiAlias.clear();
  carried.peak = 0.0f;
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
  carried.cycle.start(delayMsValue.load(relaxed), rateF, tempo, songPositionBeats);
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
  if (!line.ready() || !rateSupported) {
    // Without delay memory, or at a rate the engine cannot run at, the input
    // passes.
    passThrough(inL, inR, outL, outR, frames);
    return;
  }
  if (frames > 0) run(dsp::LoopBuffers{inL, inR, outL, outR, frames});
  const dsp::CycleCounter& cycle = carried.cycle;
  if (cycle.active && cycle.near(cycle.position + 1)) carried.indicator = true;
  sharedPhase.store(carried.phase, relaxed);
  sharedPeak.store(carried.peak, relaxed);
  sharedIndicator.store(carried.indicator, relaxed);
}

// Requests, taken where the block's first sample would have taken them.
bool DelayEngine::takeRequests() {
  if (takeRequest(fadeRestartPending)) line.restartWriteFade();
  if (takeRequest(antiAliasRedesignPending))
    designAntiAlias(dsp::antiAliasCutoff(dlyx2On(), rateF, 28000.0f));
  if (takeRequest(peakResetRequest)) carried.peak = 0.0f;
  if (takeRequest(indicatorResetRequest)) carried.indicator = false;
  return takeRequest(jumpPending);  // carried out after the first sample's clock step
}

dsp::LoopSettings DelayEngine::loopSettings() {
  dsp::LoopSettings s;
  const float b = smoothB;
  s.a = smoothA;
  s.smoothTargets = dsp::Pair{b * inputGainTarget.load(relaxed), b * outputGainTarget.load(relaxed),
                              b * raw[kMix].load(relaxed), b * raw[kDepth].load(relaxed)};
  s.feedbackTarget = b * raw[kFbck].load(relaxed);
  s.antiAlias = dsp::StereoAntiAlias::Taps(aa);
  s.inverseRingLength = 1.0f / static_cast<float>(limiter.length);
  s.lfoAmount = lfoAmountValue.load(relaxed);
  s.envAmount = envAmountValue.load(relaxed);
  s.phaseIncrement = lfoIncrement.load(relaxed);
  s.manualFactor = manualFactorValue.load(relaxed);
  s.multiplier = clockMultiplierValue.load(relaxed);
  s.squareWave = square.load(relaxed) != 0;
  s.bounds = dsp::ModulationBounds(s.lfoAmount, s.envAmount, s.manualFactor);
  s.envelopeKeep = envelopeC;
  s.envelopeTakeHalf = 0.5f * (1.0f - envelopeC);
  s.likelyEnvelopeCeiling = std::max(1.0f, 2.0f * static_cast<float>(limiter.length));
  s.highCutOn = hiCut.load(relaxed) != 0;
  s.highCut = dsp::HighCut(highCutC);
  s.feedbackFlip = dsp::signMask(feedbackSign.load(relaxed));
  s.wetSign = wetSign.load(relaxed);
  s.powerOn = power.load(relaxed) != 0;
  s.jumpTicks = rateF * delayMsValue.load(relaxed) / 1000.0f;
  s.holdState = &holdState;
  return s;
}

void DelayEngine::run(const dsp::LoopBuffers& buffers) {
  carried.jump = takeRequests();
  const int hold = holdState.load(relaxed);
  carried.holding = (hold & dsp::kHolding) != 0;
  carried.holdWaiting = hold == dsp::kHoldRequested;
  carried.step = dsp::ClockStep{};
  carried.clockPeriod = clockPeriodValue.load(relaxed);
  carried.clock = line.cursor();
  dsp::runLoop(loopSettings(), carried, limiter, buffers);
  line.store(carried.clock);
  clockPeriodValue.store(carried.clockPeriod, relaxed);
}
