// The engine as a plain, sample-by-sample model, written apart from it: one
// class, none of the engine's helpers, every step of a sample in its fixed
// order, each channel on its own. The engine must match it bit for bit, so
// any reordering of the steps (dither, smoothers, tick clock, bypass, jump,
// feedback, hold, cycle counter) or a changed constant shows up as a
// difference. Tests and benchmarks compare the engine with it
// (ReferenceComparison.h).
//
// Built with the engine's floating-point flags (no contraction), as the
// engine is.
#pragma once

#include <vector>

#include "engine/EngineStatus.h"
#include "engine/ParameterIds.h"
#include "engine/dsp/DelayEngine.h"  // BlockTiming only

namespace reference {

class PerSampleEngine {
 public:
  PerSampleEngine();

  void setParameter(int index, float value);
  void suspend();
  void resume(float hostRate);
  // One block; outR null for mono output.
  void process(const float* inL, const float* inR, float* outL, float* outR, int frames,
               const BlockTiming& timing);
  EngineStatus readStatus();

 private:
  static float flush(float x);
  static float catmullRom(float p0, float p1, float p2, float p3, float x);
  static int isOn(float v);
  void setAntiAliasCutoff(float cutoff);
  void placeRead();
  void applySyncedDelay();
  void resetEngine();
  void setRate(int newRate);
  void processSample(const float in[2], float* outL, float* outR, int k, int& i, int P, int W);
  void limitInput(const float in[2], float g[2], float t[2]);
  void smoothAndModulate(float& dryGain, float& wetGain);
  void runClock(float o[2]);

  // Rate and its constants; whether the rate is one the engine runs at.
  int rate = 44100;
  float rateF = 44100.0f;
  bool running = true;
  float a, b;
  float ditherOffset = 1.0e-10f;

  // Parameters and what they set.
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

  // Delay line, per channel.
  int bufferLength = 0;
  std::vector<float> mem[2];
  int writePos = 0, readPos = 0;
  float delayTicks = 0;
  float h[2][4] = {}, r[2][4] = {};
  float tickPhase = 0, tickStep = 1;
  float writeFade = 1, writeFadeStep = 1;
  int n50 = 2205, window = 882;

  // Smoothers, filters, levels, modulation.
  float sIn = 0, sOut = 0, sMix = 0, sFb = 0, sDepth = 0;
  float peakLevel = 0;
  bool peakReset = false, indicatorReset = false, latch = false;
  float c0 = 0, c1 = 0, c2 = 0, d1 = 0, d2 = 0;  // b0 b1 b2 a1 a2
  float x1[2][2] = {}, x2[2][2] = {}, y1[2][2] = {}, y2[2][2] = {};
  float ring[2][64] = {};
  int N = 4, ringPos = 0;
  float levelSum[2] = {};
  float hcState[2] = {}, cH = 0, feedback[2] = {};
  float lfoPhase = 0, oscValue = 0, envState = 0, envValue = 0, envC = 0;
  float statusPhase = 0;
};

}  // namespace reference
