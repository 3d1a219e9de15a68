// Parameter indices and the step helpers shared by the engine, the preset
// system and the editor. Indices 18..35 are the MIDI controller assignments of
// parameters 0..17, in the same order.
#pragma once

#include <cmath>

enum ParameterIndex {
  kInput = 0,
  kOutput,
  kMix,
  kDlyTime,
  kDlyx2,
  kDlyInv,
  kFbck,
  kHiCut,
  kFbInv,
  kManVCO,
  kDepth,
  kWaveform,
  kRate,
  kRptInf,
  kPower,
  kDlyClk,
  kNum,
  kDen,
  kNumParams  // 18 sound parameters
};

constexpr int kNumAssignmentParams = kNumParams;                   // 18..35
constexpr int kNumHostParams = kNumParams + kNumAssignmentParams;  // 36

constexpr int kNumNumerators = 5;
constexpr int kNumDenominators = 13;
constexpr float kNumerators[kNumNumerators] = {1, 3, 5, 7, 9};
constexpr float kDenominators[kNumDenominators] = {1, 2, 3, 4, 6, 8, 12, 16, 24, 32, 48, 64, 96};

// Step min(floor(n*v), n-1) of n steps, in single precision; values below 0
// (and NaN) select step 0.
inline int quantizeSteps(float v, int n) {
  float s = std::floor(static_cast<float>(n) * v);
  if (!(s >= 0.0f)) return 0;
  if (s >= static_cast<float>(n - 1)) return n - 1;
  return static_cast<int>(s);
}

// The value presets store for step i of n: the middle of the step.
inline float stepCenter(int i, int n) {
  return (static_cast<float>(i) + 0.5f) / static_cast<float>(n);
}

inline bool switchOn(float v) {
  return quantizeSteps(v, 2) == 1;
}
