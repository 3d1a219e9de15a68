// The whole loop against a plain, sample-by-sample model written apart from
// the engine: one struct, none of the engine's helpers, every step of a sample
// in its fixed order. The engine must match it bit for bit, so any reordering
// of the steps (dither, smoothers, tick clock, bypass, jump, feedback, hold,
// cycle counter) or a changed constant shows up as a difference. Parameter
// changes are applied between blocks, where the engine's deferred requests
// (write-fade restart, filter redesign) must act exactly as immediate ones.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "EngineRig.h"

namespace {

struct Model {
  // Rate and its constants.
  int rate = 44100;
  float rateF = 44100.0f;
  float a = std::exp(-0.0042742756f);
  float b = 1.0f - a;
  float ditherOffset = 1.0e-10f;

  // Parameters.
  float raw[kNumParams] = {0.5f, 0.5f, 0.5f, 0.625f, 0, 0,    0, 0, 0,
                           0.5f, 0,    0.5f, 0,      0, 0.5f, 0, 0, 0};
  float inputGain = 1, outputGain = 1, delayMs = 2000;
  bool delayJumpPending = false;
  int dlyx2On = 0;
  float clockMultiplier = 1, wetSign = 1, feedbackSign = 1;
  int hiCutOn = 0, powerOn = 1, squareWave = 1;
  float manualFactor = 1, clockPeriod = 1;
  float lfoAmount = 0, envAmount = 1, lfoRateHz = 0.1f;
  float lfoPeriod = 441000.0f, lfoPhaseIncrement = 6.2831855f / 441000.0f;
  int holdRequested = 0;
  bool holding = false;
  int syncOn = 0, numIndex = 0, denIndex = 0;
  float tempoBpm = 120.0f, songPositionBeats = 0.0f;

  // Delay line.
  int bufferLength = 0;
  std::vector<float> mem[2];
  int writePos = 0, readPos = 0;
  float delayTicks = 0;
  float h[2][4] = {}, r[2][4] = {};
  float tickPhase = 0, tickStep = 1;
  float writeFade = 1, writeFadeStep = 1;
  int n50 = 2205, window = 882;

  // Smoothers and levels.
  float sIn = 0, sOut = 0, sMix = 0, sFb = 0, sDepth = 0;
  float peakLevel = 0;
  bool peakReset = false, indicatorReset = false, latch = false;
  float c0 = 0, c1 = 0, c2 = 0, d1 = 0, d2 = 0;  // b0 b1 b2 a1 a2
  float x1[2][2] = {}, x2[2][2] = {}, y1[2][2] = {}, y2[2][2] = {};
  float ring[2][16] = {};
  int N = 4, ringPos = 0;
  float levelSum[2] = {};
  float hcState[2] = {}, cH = 0, feedback[2] = {};
  float lfoPhase = 0, oscValue = 0, envState = 0, envValue = 0, envC = 0;
  float statusPhase = 0;

  static float flush(float x) { return (x + 1.0e-18f) - 1.0e-18f; }
  static float cr(float p0, float p1, float p2, float p3, float x) {
    return 0.5f * (2.0f * p1 + (p2 - p0) * x + (2.0f * p0 - 5.0f * p1 + 4.0f * p2 - p3) * x * x +
                   (p3 - 3.0f * p2 + 3.0f * p1 - p0) * x * x * x);
  }
  static int sw(float v) {
    float s = std::floor(2.0f * v);
    return s >= 1.0f ? 1 : 0;
  }

  void setAntiAliasCutoff(float f) {
    float k = 1.0f / std::tan(3.1415927f * f / rateF);
    float rr = std::sqrt(2.0f) * k;
    float n = k * k + rr + 1.0f;
    d2 = (k * k - rr + 1.0f) / n;
    c0 = 1.0f / n;
    c2 = 1.0f / n;
    d1 = (k * k - 1.0f) * (-2.0f) / n;
    c1 = 2.0f * c0;
  }
  void placeRead() {
    delayTicks = rateF * delayMs / 1000.0f;
    readPos = writePos - static_cast<int>(delayTicks);
    if (readPos < 0) readPos += bufferLength;
  }
  void applySyncedDelay() {
    static const float nums[] = {1, 3, 5, 7, 9};
    static const float dens[] = {1, 2, 3, 4, 6, 8, 12, 16, 24, 32, 48, 64, 96};
    float s = nums[numIndex] * 240000.0f / (dens[denIndex] * tempoBpm) / 3200.0f;
    if (s > 1.0f) s = 1.0f;
    if (holdRequested) return;
    delayJumpPending = true;
    raw[kDlyTime] = s;
    delayMs = 3200.0f * s;
  }

  Model() {
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

  void set(int i, float v) {
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
        if (syncOn) break;
        if (v > 1) v = 1;
        if (holdRequested) break;
        raw[i] = v;
        delayJumpPending = true;
        delayMs = 3200 * v;
        break;
      case kDlyx2:
        raw[i] = v;
        dlyx2On = sw(v);
        clockMultiplier = dlyx2On ? 2.0f : 1.0f;
        if (dlyx2On)
          setAntiAliasCutoff(rate > 28000 ? 6000.0f : 6.0f * rateF / 44.1f);
        else
          setAntiAliasCutoff(rate > 28000 ? 14000.0f : 14.0f * rateF / 44.1f);
        clockPeriod = manualFactor * clockMultiplier;
        break;
      case kDlyInv:
        raw[i] = v;
        wetSign = sw(v) ? -1.0f : 1.0f;
        break;
      case kHiCut:
        raw[i] = v;
        hiCutOn = sw(v);
        break;
      case kFbInv:
        raw[i] = v;
        feedbackSign = sw(v) ? -1.0f : 1.0f;
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
        squareWave = sw(v);
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
        holdRequested = sw(v);
        holding = holdRequested && !syncOn;
        break;
      case kPower:
        raw[i] = v;
        powerOn = sw(v);
        break;
      case kDlyClk:
        raw[i] = v;
        if (holdRequested) break;
        syncOn = sw(v);
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

  void resetEngine() {
    latch = indicatorReset = false;
    levelSum[0] = levelSum[1] = 0;
    for (auto& m : mem) std::fill(m.begin(), m.end(), 0.0f);
    for (int c = 0; c < 2; ++c) {
      for (int j = 0; j < 4; ++j) h[c][j] = r[c][j] = 0;
      for (int j = 0; j < 16; ++j) ring[c][j] = 0;
      for (int s = 0; s < 2; ++s) x1[c][s] = x2[c][s] = y1[c][s] = y2[c][s] = 0;
      hcState[c] = feedback[c] = 0;
    }
    envValue = oscValue = lfoPhase = tickPhase = 0;
    peakLevel = 0;
    statusPhase = 0;
  }
  void suspend() {
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
  void resume(float hostRate) {
    songPositionBeats = 0;
    int newRate = static_cast<int>(hostRate);
    if (newRate < 5000 || newRate > 200000) newRate = 44100;
    if (newRate != rate) {
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
      N = rate > 100000 ? 16 : rate > 50000 ? 8 : rate > 25000 ? 4 : 2;
      ringPos = 0;
      if (dlyx2On)
        setAntiAliasCutoff(rate > 30000 ? 6000.0f : 6.0f * rateF / 44.1f);
      else
        setAntiAliasCutoff(rate > 30000 ? 14000.0f : 14.0f * rateF / 44.1f);
    }
    resetEngine();
  }

  // One block without host time information; outR null for mono output.
  void process(const float* inL, const float* inR, float* outL, float* outR, int frames,
               const BlockTiming& timing) {
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
    int P = static_cast<int>(delayMs * rateF / 1000.0f);
    float B = delayMs * tempoBpm / 60000.0f;
    int i = static_cast<int>((songPositionBeats - std::trunc(songPositionBeats / B) * B) * rateF *
                             60.0f / tempoBpm);
    const int W = window;
    for (int k = 0; k < frames; ++k) {
      const float in[2] = {inL[k], inR[k]};
      ditherOffset = -ditherOffset;
      float g[2], t[2], m[2], gain[2];
      for (int c = 0; c < 2; ++c) g[c] = sIn * in[c] + ditherOffset;
      for (int c = 0; c < 2; ++c) {
        float u = g[c];
        for (int s = 0; s < 2; ++s) {
          float o = flush(c0 * u + c1 * x1[c][s] + c2 * x2[c][s] - d1 * y1[c][s] - d2 * y2[c][s]);
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
        float avg = levelSum[c] / N;
        gain[c] = avg > 2 ? 1 / avg : 1 - 0.25f * avg;
      }
      ringPos = (ringPos + 1) % N;
      if (peakReset) {
        peakReset = false;
        peakLevel = 0;
      }
      peakLevel = std::max(peakLevel, m[0] + m[1]);
      for (int c = 0; c < 2; ++c) t[c] = t[c] * gain[c];
      float L = 0.5f * (gain[0] * m[0] + gain[1] * m[1]);
      envState = flush(envC * envState + (1 - envC) * L);
      float e = std::pow(envState, 0.3f);
      for (int c = 0; c < 2; ++c) {
        h[c][0] = h[c][1];
        h[c][1] = h[c][2];
        h[c][2] = h[c][3];
        h[c][3] = t[c];
      }
      envValue = (e - 0.5f) * envAmount;
      sIn = a * sIn + b * inputGain + ditherOffset;
      sOut = a * sOut + b * outputGain + ditherOffset;
      sMix = a * sMix + b * raw[kMix] + ditherOffset;
      sFb = a * sFb + b * raw[kFbck];
      if (std::fabs(sFb) < 1e-5f) sFb = 0;
      float p = flush(sMix * sOut);
      float dryGain = sOut - p, wetGain = p * wetSign;
      sDepth = a * sDepth + b * raw[kDepth] + ditherOffset;
      float w = squareWave ? (lfoPhase <= 0 ? 1.0f : -1.0f) : -std::sin(lfoPhase);
      lfoPhase = lfoPhase + lfoPhaseIncrement;
      if (lfoPhase >= 3.1415927f) lfoPhase -= 6.2831855f;
      statusPhase = lfoPhase;
      oscValue = w * lfoAmount;
      clockPeriod = ((oscValue + envValue) * sDepth + manualFactor) * clockMultiplier;
      float newStep = 1 / clockPeriod;
      float prior = 1 - (1 - tickPhase) * newStep / tickStep;
      tickPhase = prior + newStep;
      tickStep = newStep;
      float f = 1 - prior;
      while (tickPhase >= 1) {
        tickPhase = tickPhase - 1;
        float x = f / tickStep;
        for (int c = 0; c < 2; ++c) {
          float y = cr(h[c][0], h[c][1], h[c][2], h[c][3], x);
          float mv = mem[c][readPos];
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
      float o[2];
      for (int c = 0; c < 2; ++c) o[c] = cr(r[c][0], r[c][1], r[c][2], r[c][3], tickPhase);
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
      bool near = i < W || i > P - W;
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
    if ((i + 1) < W || (i + 1) > P - W) latch = true;
  }

  EngineStatus readStatus() {
    EngineStatus s;
    s.phase = statusPhase;
    s.peak = 0.5f * peakLevel;
    s.effectiveDelayMs = static_cast<int>(clockPeriod * delayMs + 0.5f);
    s.nominalDelayMs = static_cast<int>(delayMs + 0.5f);
    s.indicator = latch;
    peakReset = indicatorReset = true;
    return s;
  }
};

struct Step {
  int at;  // block number before which the value is set
  int index;
  float value;
};

// Runs engine and model side by side through `blocks` blocks of `block`
// frames, applying the parameter steps between blocks; compares every output
// sample and the status after every block.
using TimingFor = BlockTiming (*)(int block);

BlockTiming noTime(int) {
  return BlockTiming{};
}

void compare(const std::vector<Step>& steps, int blocks, int block, bool monoOut, unsigned seed,
             float rate = 44100.0f, TimingFor timingFor = noTime) {
  DelayEngine e;
  Model m;
  // As the first preset does: Dlyx2 designs the input filter.
  e.setParameter(kDlyx2, 0.0f);
  m.set(kDlyx2, 0.0f);
  for (const Step& s : steps)
    if (s.at < 0) {
      e.setParameter(s.index, s.value);
      m.set(s.index, s.value);
    }
  e.suspend();
  m.suspend();
  e.resume(rate);
  m.resume(rate);
  Signal in = noise(static_cast<std::size_t>(blocks) * block, 0.8f, seed);
  for (int n = 0; n < blocks; ++n) {
    for (const Step& s : steps)
      if (s.at == n) {
        e.setParameter(s.index, s.value);
        m.set(s.index, s.value);
      }
    const std::size_t pos = static_cast<std::size_t>(n) * block;
    std::vector<float> eL(block), eR(block), mL(block), mR(block);
    e.process(in.left.data() + pos, in.right.data() + pos, eL.data(), monoOut ? nullptr : eR.data(),
              block, timingFor(n));
    m.process(in.left.data() + pos, in.right.data() + pos, mL.data(), monoOut ? nullptr : mR.data(),
              block, timingFor(n));
    for (int k = 0; k < block; ++k) {
      ASSERT_EQ(eL[k], mL[k]) << "block " << n << " sample " << k;
      if (!monoOut) {
        ASSERT_EQ(eR[k], mR[k]) << "block " << n << " sample " << k;
      }
    }
    if (n % 7 == 3) {
      EngineStatus es = e.readStatus(), ms = m.readStatus();
      ASSERT_EQ(es.phase, ms.phase) << n;
      ASSERT_EQ(es.peak, ms.peak) << n;
      ASSERT_EQ(es.effectiveDelayMs, ms.effectiveDelayMs) << n;
      ASSERT_EQ(es.nominalDelayMs, ms.nominalDelayMs) << n;
      ASSERT_EQ(es.indicator, ms.indicator) << n;
    }
  }
}

}  // namespace

TEST(EngineReference, SineModulationFeedbackAndHighCut) {
  compare({{-1, kDlyTime, 0.01f},
           {-1, kMix, 0.6f},
           {-1, kFbck, 0.7f},
           {-1, kHiCut, kOn},
           {-1, kDepth, 0.4f},
           {-1, kWaveform, 0.15f},
           {-1, kRate, 0.8f},
           {-1, kManVCO, 0.3f},
           {40, kFbInv, kOn},
           {60, kDlyTime, 0.004f},
           {80, kInput, 0.8f},
           {90, kDlyInv, kOn}},
          160, 128, false, 5);
}

TEST(EngineReference, SquareEnvelopeDlyx2AndMonoOutput) {
  compare({{-1, kDlyTime, 0.02f},
           {-1, kFbck, 0.5f},
           {-1, kDepth, 0.9f},
           {-1, kWaveform, 0.8f},
           {-1, kRate, 1.0f},
           {30, kDlyx2, kOn},
           {70, kOutput, 0.3f},
           {100, kDlyx2, kOff}},
          150, 100, true, 9);
}

TEST(EngineReference, HoldReleaseAndShortDelays) {
  compare({{-1, kDlyTime, 0.005f},
           {-1, kFbck, 0.4f},
           {-1, kMix, 1.0f},
           {50, kRptInf, kOn},
           {80, kFbck, 0.9f},
           {90, kDlyTime, 0.0f},  // frozen while held
           {100, kRptInf, kOff},
           {120, kDlyTime, 0.00002f},  // under three ticks: bypass
           {140, kPower, kOff},
           {150, kPower, kOn}},
          180, 64, false, 13);
}

TEST(EngineReference, SynchronisedHoldAndIndicator) {
  compare({{-1, kNum, 0.0f},
           {-1, kDen, stepCenter(10, 13)},  // 1/48 at 120 BPM: 41.67 ms
           {-1, kDlyClk, kOn},
           {-1, kFbck, 0.6f},
           {-1, kDepth, 0.2f},
           {20, kRptInf, kOn},
           {60, kRptInf, kOff},
           {70, kDen, stepCenter(8, 13)}},
          120, 97, false, 17);
}

// A host with transport: tempo changes and a song position that jumps back.
BlockTiming hostTransport(int n) {
  BlockTiming t;
  t.hasTempo = true;
  t.tempo = n < 40 ? 128.0 : (n < 80 ? 20.0 : 97.5);  // 20 is clamped to 40
  t.hasPosition = n % 3 != 0;
  t.ppqPos = n < 60 ? 0.37 + n * 0.061 : 1.5 + (n - 60) * 0.02;
  return t;
}

TEST(EngineReference, SyncAtNinetySixKilohertzWithHostTransport) {
  compare({{-1, kDlyx2, kOn},
           {-1, kNum, stepCenter(1, 5)},
           {-1, kDen, stepCenter(9, 13)},  // 3/32
           {-1, kDlyClk, kOn},
           {-1, kFbck, 0.8f},
           {-1, kHiCut, kOn},
           {-1, kDepth, 0.5f},
           {-1, kWaveform, 0.3f},
           {-1, kRate, 0.6f},
           {30, kRptInf, kOn},
           {90, kRptInf, kOff}},
          130, 256, false, 23, 96000.0f, hostTransport);
}

TEST(EngineReference, LowRateWithDlyx2Switching) {
  compare({{-1, kDlyTime, 0.02f},
           {-1, kFbck, 0.6f},
           {-1, kDepth, 0.3f},
           {-1, kWaveform, 0.9f},
           {-1, kRate, 0.9f},
           {20, kDlyx2, kOn},
           {60, kDlyx2, kOff}},
          100, 64, true, 29, 22050.0f);
}
