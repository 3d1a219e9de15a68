#include "tests/reference/ReferenceEngine.h"

#include <algorithm>
#include <cmath>

namespace reference {

PerSampleEngine::PerSampleEngine() {
  a = std::exp(-0.0042742756f);
  b = 1.0f - a;
  applySyncedDelay();
  bufferLength = 1 + static_cast<int>(3.2f * 44100.0f);
  mem[0].assign(bufferLength, 0.0f);
  mem[1].assign(bufferLength, 0.0f);
  placeRead();
  delayJumpPending = false;
  cH = std::exp(-25132.742f / rateF);
  envC = std::exp(-62.831856f / rateF);
  writeFadeStep = std::pow(0.001f, -1.0f / 2205.0f);
}

float PerSampleEngine::flush(float x) {
  return (x + 1.0e-18f) - 1.0e-18f;
}

float PerSampleEngine::catmullRom(float p0, float p1, float p2, float p3, float x) {
  return 0.5f * (2.0f * p1 + (p2 - p0) * x + (2.0f * p0 - 5.0f * p1 + 4.0f * p2 - p3) * x * x +
                 (p3 - 3.0f * p2 + 3.0f * p1 - p0) * x * x * x);
}

int PerSampleEngine::isOn(float v) {
  return std::floor(2.0f * v) >= 1.0f ? 1 : 0;
}

void PerSampleEngine::setAntiAliasCutoff(float f) {
  const float k = 1.0f / std::tan(3.1415927f * f / rateF);
  const float rr = std::sqrt(2.0f) * k;
  const float n = k * k + rr + 1.0f;
  d2 = (k * k - rr + 1.0f) / n;
  c0 = 1.0f / n;
  c2 = 1.0f / n;
  d1 = (k * k - 1.0f) * (-2.0f) / n;
  c1 = 2.0f * c0;
}

void PerSampleEngine::placeRead() {
  delayTicks = rateF * delayMs / 1000.0f;
  readPos = writePos - static_cast<int>(delayTicks);
  if (readPos < 0) readPos += bufferLength;
}

void PerSampleEngine::applySyncedDelay() {
  static const float nums[] = {1, 3, 5, 7, 9};
  static const float dens[] = {1, 2, 3, 4, 6, 8, 12, 16, 24, 32, 48, 64, 96};
  float s = nums[numIndex] * 240000.0f / (dens[denIndex] * tempoBpm) / 3200.0f;
  if (s > 1.0f) s = 1.0f;
  if (holdRequested) return;
  delayJumpPending = true;
  raw[kDlyTime] = s;
  delayMs = 3200.0f * s;
}

void PerSampleEngine::setParameter(int i, float v) {
  if (i < 0 || i >= kNumParams) return;
  // Every value is taken in 0..1; NaN is refused, but DlyTime takes it as 0.
  if (v != v) {
    if (i != kDlyTime) return;
    v = 0.0f;
  }
  v = std::min(1.0f, std::max(0.0f, v));
  switch (i) {
    case kInput:
      raw[i] = v;
      inputGain = 4 * v * v;
      break;
    case kOutput:
      raw[i] = v;
      outputGain = 4 * v * v;
      break;
    case kDlyTime:
      if (syncOn || holdRequested) break;
      raw[i] = v;
      delayJumpPending = true;
      delayMs = 3200 * v;
      break;
    case kDlyx2:
      raw[i] = v;
      dlyx2On = isOn(v);
      clockMultiplier = dlyx2On ? 2.0f : 1.0f;
      if (dlyx2On)
        setAntiAliasCutoff(rate > 28000 ? 6000.0f : 6.0f * rateF / 44.1f);
      else
        setAntiAliasCutoff(rate > 28000 ? 14000.0f : 14.0f * rateF / 44.1f);
      clockPeriod = manualFactor * clockMultiplier;
      break;
    case kDlyInv:
      raw[i] = v;
      wetSign = isOn(v) ? -1.0f : 1.0f;
      break;
    case kHiCut:
      raw[i] = v;
      hiCutOn = isOn(v);
      break;
    case kFbInv:
      raw[i] = v;
      feedbackSign = isOn(v) ? -1.0f : 1.0f;
      break;
    case kManVCO:
    case kDepth:
      raw[i] = v;
      manualFactor = (1 - raw[kDepth]) * (raw[kManVCO] - 0.5f) + 1;
      clockPeriod = manualFactor * clockMultiplier;
      break;
    case kWaveform:
      raw[i] = v;
      lfoAmount = std::fabs(v - 0.5f);
      envAmount = 1 - 2 * lfoAmount;
      squareWave = isOn(v);
      break;
    case kRate:
      raw[i] = v;
      lfoRateHz = 0.1f * std::pow(100.0f, v);
      lfoPeriod = rateF / lfoRateHz;
      lfoPhaseIncrement = 6.2831855f / lfoPeriod;
      break;
    case kRptInf:
      raw[i] = v;
      writeFade = 0.001f;
      holdRequested = isOn(v);
      holding = holdRequested && !syncOn;
      break;
    case kPower:
      raw[i] = v;
      powerOn = isOn(v);
      break;
    case kDlyClk:
      if (holdRequested) break;
      raw[i] = v;
      syncOn = isOn(v);
      delayJumpPending = true;
      if (syncOn) applySyncedDelay();
      break;
    case kNum:
      raw[i] = v;
      numIndex = std::min(static_cast<int>(std::floor(5 * v)), 4);
      if (syncOn) applySyncedDelay();
      break;
    case kDen:
      raw[i] = v;
      denIndex = std::min(static_cast<int>(std::floor(13 * v)), 12);
      if (syncOn) applySyncedDelay();
      break;
    default:
      raw[i] = v;
      break;
  }
}

void PerSampleEngine::resetEngine() {
  latch = indicatorReset = false;
  levelSum[0] = levelSum[1] = 0;
  for (auto& m : mem) std::fill(m.begin(), m.end(), 0.0f);
  for (int c = 0; c < 2; ++c) {
    for (int j = 0; j < 4; ++j) h[c][j] = r[c][j] = 0;
    for (float& v : ring[c]) v = 0;
    for (int s = 0; s < 2; ++s) x1[c][s] = x2[c][s] = y1[c][s] = y2[c][s] = 0;
    hcState[c] = feedback[c] = 0;
  }
  envValue = oscValue = lfoPhase = tickPhase = 0;
  peakLevel = 0;
  statusPhase = 0;
}

void PerSampleEngine::suspend() {
  sIn = inputGain;
  sOut = outputGain;
  sMix = raw[kMix];
  sFb = raw[kFbck];
  sDepth = raw[kDepth];
  writeFade = 0.001f;
  placeRead();
  delayJumpPending = false;
  resetEngine();
}

void PerSampleEngine::setRate(int newRate) {
  rate = newRate;
  rateF = static_cast<float>(newRate);
  a = std::exp(-188.49556f / rateF);
  b = 1 - a;
  bufferLength = 1 + static_cast<int>(3.2f * rateF);
  mem[0].assign(bufferLength, 0.0f);
  mem[1].assign(bufferLength, 0.0f);
  writePos = 0;
  placeRead();
  delayJumpPending = false;
  lfoPeriod = rateF / lfoRateHz;
  lfoPhaseIncrement = 6.2831855f / lfoPeriod;
  n50 = rate * 50 / 1000;
  writeFadeStep = std::pow(0.001f, -1.0f / static_cast<float>(n50));
  window = rate / 50;
  cH = std::exp(-25132.742f / rateF);
  envC = std::exp(-62.831856f / rateF);
  // 80 to 160 microseconds above 25 kHz.
  N = 2;
  for (int top = 25000; rate > top && N < 64; top *= 2) N *= 2;
  ringPos = 0;
  if (dlyx2On)
    setAntiAliasCutoff(rate > 30000 ? 6000.0f : 6.0f * rateF / 44.1f);
  else
    setAntiAliasCutoff(rate > 30000 ? 14000.0f : 14.0f * rateF / 44.1f);
}

void PerSampleEngine::resume(float hostRate) {
  songPositionBeats = 0;
  // 5 kHz to 768 kHz; at any other rate the input passes dry.
  running = hostRate >= 5000.0f && hostRate < 768001.0f;
  if (running && static_cast<int>(hostRate) != rate) setRate(static_cast<int>(hostRate));
  resetEngine();
}

void PerSampleEngine::process(const float* inL, const float* inR, float* outL, float* outR,
                              int frames, const BlockTiming& timing) {
  for (int c = 0; c < 2; ++c) {
    float s = 0;
    for (int j = 0; j < N; ++j) s += ring[c][j];
    levelSum[c] = s;
  }
  if (timing.hasTempo) {
    float tempo = static_cast<float>(timing.tempo);
    tempo = std::min(400.0f, std::max(40.0f, tempo));
    const float previous = tempoBpm;
    tempoBpm = tempo;
    if (tempo != previous && syncOn) applySyncedDelay();
  }
  if (timing.hasPosition)
    songPositionBeats = static_cast<float>(timing.ppqPos);
  else
    songPositionBeats = songPositionBeats + frames * tempoBpm / (rateF * 60.0f);
  if (!running) {
    for (int k = 0; k < frames; ++k) {
      if (outR) {
        outL[k] = inL[k];
        outR[k] = inR[k];
      } else {
        outL[k] = 0.5f * inL[k] + 0.5f * inR[k];
      }
    }
    return;
  }
  const int P = static_cast<int>(delayMs * rateF / 1000.0f);
  const float B = delayMs * tempoBpm / 60000.0f;
  int i = static_cast<int>((songPositionBeats - std::trunc(songPositionBeats / B) * B) * rateF *
                           60.0f / tempoBpm);
  const int W = window;
  for (int k = 0; k < frames; ++k) {
    const float in[2] = {inL[k], inR[k]};
    processSample(in, outL, outR, k, i, P, W);
  }
  if ((i + 1) < W || (i + 1) > P - W) latch = true;
}

void PerSampleEngine::processSample(const float in[2], float* outL, float* outR, int k, int& i,
                                    int P, int W) {
  ditherOffset = -ditherOffset;
  float g[2], t[2];
  limitInput(in, g, t);
  float dryGain, wetGain;
  smoothAndModulate(dryGain, wetGain);
  float o[2];
  runClock(o);
  if (delayTicks < 3 && !holding) {
    o[0] = t[0];
    o[1] = t[1];
  }
  if (delayJumpPending) {
    delayJumpPending = false;
    placeRead();
  }
  for (int c = 0; c < 2; ++c) {
    hcState[c] = hiCutOn ? cH * hcState[c] + (1 - cH) * o[c] : o[c];
    hcState[c] = flush(hcState[c]);
    feedback[c] = holding ? hcState[c] : (sFb * hcState[c]) * feedbackSign;
  }
  if (powerOn) {
    if (outR) {
      outL[k] = g[0] * dryGain + o[0] * wetGain;
      outR[k] = g[1] * dryGain + o[1] * wetGain;
    } else {
      outL[k] = 0.5f * (g[0] * dryGain + o[0] * wetGain) + 0.5f * (g[1] * dryGain) +
                0.5f * (o[1] * wetGain);
    }
  } else if (outR) {
    outL[k] = in[0];
    outR[k] = in[1];
  } else {
    outL[k] = 0.5f * in[0] + 0.5f * in[1];
  }
  i = i + 1;
  const bool near = i < W || i > P - W;
  if (i > P) {
    i = 0;
    if (!holding && holdRequested) {
      holding = true;
      writeFade = 0.001f;
    }
  }
  if (indicatorReset) {
    indicatorReset = false;
    latch = false;
  }
  if (near) latch = true;
}

// Input gain and dither (g), the anti-alias sections, the feedback, the
// limiter and its meter (t), the envelope; t enters the write history.
void PerSampleEngine::limitInput(const float in[2], float g[2], float t[2]) {
  float m[2], gain[2];
  for (int c = 0; c < 2; ++c) {
    // Not a number or infinite: silence; absurd: limited.
    const float x = std::isfinite(in[c]) ? std::min(1.0e20f, std::max(-1.0e20f, in[c])) : 0.0f;
    g[c] = sIn * x + ditherOffset;
  }
  for (int c = 0; c < 2; ++c) {
    float u = std::min(4.0f, std::max(-4.0f, g[c]));
    for (int s = 0; s < 2; ++s) {
      const float o = flush(c0 * u + c1 * x1[c][s] + c2 * x2[c][s] - d1 * y1[c][s] - d2 * y2[c][s]);
      x2[c][s] = x1[c][s];
      x1[c][s] = u;
      y2[c][s] = y1[c][s];
      y1[c][s] = o;
      u = o;
    }
    t[c] = u + feedback[c];
    m[c] = std::fabs(t[c]);
    levelSum[c] = levelSum[c] + m[c] - ring[c][ringPos];
    ring[c][ringPos] = m[c];
    const float avg = levelSum[c] / N;
    gain[c] = avg > 2 ? 1 / avg : 1 - 0.25f * avg;
  }
  ringPos = (ringPos + 1) % N;
  if (peakReset) {
    peakReset = false;
    peakLevel = 0;
  }
  peakLevel = std::max(peakLevel, m[0] + m[1]);
  for (int c = 0; c < 2; ++c) t[c] = t[c] * gain[c];
  const float L = 0.5f * (gain[0] * m[0] + gain[1] * m[1]);
  envState = flush(envC * envState + (1 - envC) * L);
  const float e = std::pow(envState, 0.3f);
  for (int c = 0; c < 2; ++c) {
    h[c][0] = h[c][1];
    h[c][1] = h[c][2];
    h[c][2] = h[c][3];
    h[c][3] = t[c];
  }
  envValue = (e - 0.5f) * envAmount;
}

// The smoothers and the gains they give, the oscillator, the clock period.
void PerSampleEngine::smoothAndModulate(float& dryGain, float& wetGain) {
  sIn = a * sIn + b * inputGain + ditherOffset;
  sOut = a * sOut + b * outputGain + ditherOffset;
  sMix = a * sMix + b * raw[kMix] + ditherOffset;
  sFb = a * sFb + b * raw[kFbck];
  if (std::fabs(sFb) < 1e-5f) sFb = 0;
  const float p = flush(sMix * sOut);
  dryGain = sOut - p;
  wetGain = p * wetSign;
  sDepth = a * sDepth + b * raw[kDepth] + ditherOffset;
  const float w = squareWave ? (lfoPhase <= 0 ? 1.0f : -1.0f) : -std::sin(lfoPhase);
  lfoPhase = lfoPhase + lfoPhaseIncrement;
  if (lfoPhase >= 3.1415927f) lfoPhase -= 6.2831855f;
  statusPhase = lfoPhase;
  oscValue = w * lfoAmount;
  clockPeriod = ((oscValue + envValue) * sDepth + manualFactor) * clockMultiplier;
  if (!(clockPeriod >= 0.25f)) clockPeriod = 0.25f;
  if (clockPeriod > 1.0e6f) clockPeriod = 1.0e6f;
}

// The tick clock: ticks written from the write history and read back, the
// delayed signal o interpolated between them.
void PerSampleEngine::runClock(float o[2]) {
  const float newStep = 1 / clockPeriod;
  const float prior = 1 - (1 - tickPhase) * newStep / tickStep;
  tickPhase = prior + newStep;
  tickStep = newStep;
  float f = 1 - prior;
  while (tickPhase >= 1) {
    tickPhase = tickPhase - 1;
    const float x = f / tickStep;
    for (int c = 0; c < 2; ++c) {
      const float y = catmullRom(h[c][0], h[c][1], h[c][2], h[c][3], x);
      const float mv = mem[c][readPos];
      mem[c][writePos] =
          holding ? (1 - writeFade) * y + writeFade * mv : (1 - writeFade) * mv + writeFade * y;
    }
    writeFade = std::min(1.0f, writeFade * writeFadeStep);
    for (int c = 0; c < 2; ++c) {
      r[c][0] = r[c][1];
      r[c][1] = r[c][2];
      r[c][2] = r[c][3];
      r[c][3] = mem[c][readPos];
    }
    writePos = (writePos + 1) % bufferLength;
    readPos = (readPos + 1) % bufferLength;
    f = f + 1;
  }
  for (int c = 0; c < 2; ++c) o[c] = catmullRom(r[c][0], r[c][1], r[c][2], r[c][3], tickPhase);
}

EngineStatus PerSampleEngine::readStatus() {
  EngineStatus s;
  s.phase = statusPhase;
  s.peak = 0.5f * peakLevel;
  s.effectiveDelayMs = static_cast<int>(clockPeriod * delayMs + 0.5f);
  s.nominalDelayMs = static_cast<int>(delayMs + 0.5f);
  s.indicator = latch;
  peakReset = indicatorReset = true;
  return s;
}

}  // namespace reference
