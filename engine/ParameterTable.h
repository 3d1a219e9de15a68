// The 18 sound parameters, one row each: what the host, the LV2 Turtle, the
// editor and the skin say of a parameter, its default, and the one law
// between its value in the unit a host shows and the engine's 0..1. Whatever
// names, maps, shows or defaults a parameter reads this table; the DSP adds
// only what the parameter does to the sound. It needs nothing but the
// standard library, so the DSP and the skin generator read it too.
#pragma once

#include <cmath>

#include "engine/ParameterIds.h"

namespace params {

enum Kind { Continuous, Toggle, Stepped };

// How a value v (0..1) becomes a value in the unit, and back.
enum Law {
  Linear,   // minimum + (maximum - minimum) v
  Gain,     // a gain of v, shown in dB: 20 log10 v
  Gain4v2,  // a gain of 4 v^2 (v 0.5 is unity, 1 about +12 dB), shown in dB: 40 log10 2v
  ExpRate,  // minimum (maximum / minimum)^v: equal turns, equal ratios
  Steps,    // the value of step quantizeSteps(v, steps); back: the middle of the nearest step
};

enum Unit { NoUnit, Decibel, Percent, Millisecond, Coefficient, Hertz };

// How the host's display text is made from the value the engine took.
enum Text {
  DecibelText,      // the law's gain in dB, "-oo" for none
  DecimalText,      // the value in the unit, eight characters
  RoundedText,      // the value in the unit, rounded to a whole number
  TruncatedText,    // the whole part of the value in the unit
  DryWetText,       // "dry", "wet", or the dry and wet shares in percent ("70-30")
  PointSharesText,  // a named point's name, or the shares in percent of the two
                    // named points around the value ("80-20")
  StepNameText,     // the step's name, or its value as a whole number
};

struct ScalePoint {
  const char* label;
  float value;  // in the unit
};

struct PointList {
  const ScalePoint* points;
  int count;
};

struct StepList {
  const float* values;       // each step's value in the unit, ascending
  const char* const* names;  // each step's text; null: its value as a whole number
  int count;
};

// What the sync and hold states freeze (isFrozen, below).
enum Freeze : unsigned { kNeverFrozen = 0, kFrozenWhileHeld = 1, kFrozenWhileSynced = 2 };

struct Parameter {
  ParameterIndex id;
  const char* name;       // as the host shows it
  const char* symbol;     // the LV2 port's symbol
  const char* label;      // the host's unit label
  const char* panelName;  // printed at the parameter's control; "" when it has none
  Kind kind;
  Law law;
  Unit unit;
  // The range in the unit, as written: the law's constants. A host sees the
  // nearest floats (hostMinimum, hostMaximum), the LV2 port's range.
  double minimum, maximum;
  float defaultValue;  // 0..1: the engine's value before the first preset; a knob's reset
  Text text;
  StepList steps;    // Toggle, Stepped
  PointList points;  // Continuous: named values (an LV2 host's scale points)
  float hostStep;    // the VST float step and small step (a share of 0..1); 0 for none
  unsigned frozen;   // Freeze bits

  constexpr float hostMinimum() const { return static_cast<float>(minimum); }
  constexpr float hostMaximum() const { return static_cast<float>(maximum); }
};

// Steps and named values the rows share.
constexpr float kSwitchValues[] = {0.0f, 1.0f};
constexpr const char* kOffOnNames[] = {"off", "on"};
constexpr const char* kDlyClkNames[] = {"dly", "clk"};
constexpr StepList kOffOn = {kSwitchValues, kOffOnNames, 2};
constexpr StepList kDlyOrClk = {kSwitchValues, kDlyClkNames, 2};
constexpr StepList kNumSteps = {kNumerators, nullptr, kNumNumerators};
constexpr StepList kDenSteps = {kDenominators, nullptr, kNumDenominators};
constexpr StepList kNoSteps = {nullptr, nullptr, 0};
// The level ports end in "off": a gain of 0 is silence, not a level.
constexpr ScalePoint kLevelPointArray[] = {{"off", -80.0f}, {"0 dB", 0.0f}};
constexpr ScalePoint kFeedbackPointArray[] = {{"off", -80.0f}};
constexpr ScalePoint kWavePointArray[] = {{"sin", 0.0f}, {"env", 1.0f}, {"sqr", 2.0f}};
constexpr PointList kLevelPoints = {kLevelPointArray, 2};
constexpr PointList kFeedbackPoints = {kFeedbackPointArray, 1};
constexpr PointList kWavePoints = {kWavePointArray, 3};
constexpr PointList kNoPoints = {nullptr, 0};
constexpr unsigned kHeldOrSynced = kFrozenWhileHeld | kFrozenWhileSynced;

// The Input and Output range ends at 40 log10 2 dB, the gain 4 v^2 at v = 1.
// DlyTime's float step, about 0.5 ms of its range, is 1/6401, not 1/6400.
// clang-format off
constexpr Parameter kParameters[kNumParams] = {
//  id         name        symbol      label panel       kind        law      unit         minimum maximum default text             steps      points           host step       frozen
  {kInput,    "Input",    "input",    "dB", "INPUT",    Continuous, Gain4v2, Decibel,     -80.0,  12.0412, 0.5f,   DecibelText,     kNoSteps,  kLevelPoints,    0.0f,           kNeverFrozen},
  {kOutput,   "Output",   "output",   "dB", "OUTPUT",   Continuous, Gain4v2, Decibel,     -80.0,  12.0412, 0.5f,   DecibelText,     kNoSteps,  kLevelPoints,    0.0f,           kNeverFrozen},
  {kMix,      "Mix",      "mix",      "%",  "MIX",      Continuous, Linear,  Percent,     0.0,    100.0,   0.5f,   DryWetText,      kNoSteps,  kNoPoints,       0.0f,           kNeverFrozen},
  {kDlyTime,  "DlyTime",  "dly_time", "ms", "",         Continuous, Linear,  Millisecond, 0.0,    3200.0,  0.625f, RoundedText,     kNoSteps,  kNoPoints,       1.0f / 6401.0f, kHeldOrSynced},
  {kDlyx2,    "Dlyx2",    "dly_x2",   " ",  "DLY x2",   Toggle,     Steps,   NoUnit,      0.0,    1.0,     0.0f,   StepNameText,    kOffOn,    kNoPoints,       0.0f,           kNeverFrozen},
  {kDlyInv,   "DlyInv",   "dly_inv",  " ",  "DLY INV",  Toggle,     Steps,   NoUnit,      0.0,    1.0,     0.0f,   StepNameText,    kOffOn,    kNoPoints,       0.0f,           kNeverFrozen},
  {kFbck,     "Fbck",     "fbck",     "dB", "FEEDBACK", Continuous, Gain,    Decibel,     -80.0,  0.0,     0.0f,   DecibelText,     kNoSteps,  kFeedbackPoints, 0.0f,           kNeverFrozen},
  {kHiCut,    "HiCut",    "hi_cut",   " ",  "HI CUT",   Toggle,     Steps,   NoUnit,      0.0,    1.0,     0.0f,   StepNameText,    kOffOn,    kNoPoints,       0.0f,           kNeverFrozen},
  {kFbInv,    "FbInv",    "fb_inv",   " ",  "FB INV",   Toggle,     Steps,   NoUnit,      0.0,    1.0,     0.0f,   StepNameText,    kOffOn,    kNoPoints,       0.0f,           kNeverFrozen},
  {kManVCO,   "ManVCO",   "man_vco",  "X",  "MAN VCO",  Continuous, Linear,  Coefficient, 0.5,    1.5,     0.5f,   DecimalText,     kNoSteps,  kNoPoints,       0.0f,           kNeverFrozen},
  {kDepth,    "Depth",    "depth",    "%",  "DEPTH",    Continuous, Linear,  Percent,     0.0,    100.0,   0.0f,   TruncatedText,   kNoSteps,  kNoPoints,       0.0f,           kNeverFrozen},
  {kWaveform, "Waveform", "waveform", "",   "ENV",      Continuous, Linear,  NoUnit,      0.0,    2.0,     0.5f,   PointSharesText, kNoSteps,  kWavePoints,     0.0f,           kNeverFrozen},
  {kRate,     "Rate",     "rate",     "Hz", "RATE",     Continuous, ExpRate, Hertz,       0.1,    10.0,    0.0f,   DecimalText,     kNoSteps,  kNoPoints,       0.0f,           kNeverFrozen},
  {kRptInf,   "RptInf",   "rpt_inf",  " ",  "INFINITE", Toggle,     Steps,   NoUnit,      0.0,    1.0,     0.0f,   StepNameText,    kOffOn,    kNoPoints,       0.0f,           kNeverFrozen},
  {kPower,    "Power",    "power",    " ",  "POWER",    Toggle,     Steps,   NoUnit,      0.0,    1.0,     0.5f,   StepNameText,    kOffOn,    kNoPoints,       0.0f,           kNeverFrozen},
  {kDlyClk,   "Dly<>Clk", "dly_clk",  " ",  "",         Toggle,     Steps,   NoUnit,      0.0,    1.0,     0.0f,   StepNameText,    kDlyOrClk, kNoPoints,       0.0f,           kFrozenWhileHeld},
  {kNum,      "Num",      "num",      " ",  "",         Stepped,    Steps,   NoUnit,      1.0,    9.0,     0.0f,   StepNameText,    kNumSteps, kNoPoints,       0.0f,           kNeverFrozen},
  {kDen,      "Den",      "den",      " ",  "",         Stepped,    Steps,   NoUnit,      1.0,    96.0,    0.0f,   StepNameText,    kDenSteps, kNoPoints,       0.0f,           kNeverFrozen},
};
// clang-format on

inline const Parameter& parameter(int index) {
  return kParameters[index >= 0 && index < kNumParams ? index : 0];
}

// ---------------------------------------------------------------------------
// The law, both ways.

// The step a value selects.
inline int stepIndex(const Parameter& p, float v) {
  return quantizeSteps(v, p.steps.count);
}

// The quantity the engine derives from v, in single precision as the sound
// and the host's texts use it: the gain factor for the gain laws (their unit,
// dB, is for showing), the value in the unit for the others.
inline float engineQuantity(const Parameter& p, float v) {
  switch (p.law) {
    case Linear:
      return static_cast<float>(p.minimum) + static_cast<float>(p.maximum - p.minimum) * v;
    case Gain:
      return v;
    case Gain4v2:
      return 4.0f * v * v;
    case ExpRate:
      return static_cast<float>(p.minimum) * std::pow(static_cast<float>(p.maximum / p.minimum), v);
    case Steps:
      return p.steps.values[stepIndex(p, v)];
  }
  return v;
}

namespace detail {
inline double clampTo(double x, double lo, double hi) {
  if (!(x >= lo)) return lo;  // NaN too
  return x > hi ? hi : x;
}
}  // namespace detail

// v (0..1) in the unit a host shows, within the host's range: dB for the gain
// laws, whose silence is the range's minimum.
inline double toUnit(const Parameter& p, float v) {
  const double lo = p.hostMinimum(), hi = p.hostMaximum();
  const double d = v;
  double x = lo;
  switch (p.law) {
    case Linear:
      x = p.minimum + (p.maximum - p.minimum) * d;
      break;
    case Gain:
      x = d > 0.0 ? 20.0 * std::log10(d) : lo;
      break;
    case Gain4v2:
      x = d > 0.0 ? 40.0 * std::log10(2.0 * d) : lo;
      break;
    case ExpRate:
      x = p.minimum * std::pow(p.maximum / p.minimum, d);
      break;
    case Steps:
      x = p.steps.values[stepIndex(p, v)];
      break;
  }
  return detail::clampTo(x, lo, hi);
}

// The value (0..1) of x in the unit. Values beyond the host's range are its
// ends, NaN is the minimum; a continuous range's ends are exactly 0 and 1, a
// toggle is on from the middle, other steps take the nearest (the lower on a
// tie) and give the middle of their step.
inline float fromUnit(const Parameter& p, float unit) {
  const double lo = p.hostMinimum(), hi = p.hostMaximum();
  const double x = detail::clampTo(unit, lo, hi);
  if (p.kind == Continuous && x <= lo) return 0.0f;
  if (p.kind == Continuous && x >= hi) return 1.0f;
  double v = 0.0;
  switch (p.law) {
    case Linear:
      v = (x - p.minimum) / (p.maximum - p.minimum);
      break;
    case Gain:
      v = std::pow(10.0, x / 20.0);
      break;
    case Gain4v2:
      v = 0.5 * std::pow(10.0, x / 40.0);
      break;
    case ExpRate:
      v = std::log10(x / p.minimum) / std::log10(p.maximum / p.minimum);
      break;
    case Steps: {
      if (p.kind == Toggle)
        return stepCenter(x >= 0.5 * (p.steps.values[0] + p.steps.values[1]) ? 1 : 0, 2);
      int best = 0;
      for (int i = 1; i < p.steps.count; ++i)
        if (std::fabs(p.steps.values[i] - x) < std::fabs(p.steps.values[best] - x)) best = i;
      return stepCenter(best, p.steps.count);
    }
  }
  return static_cast<float>(detail::clampTo(v, 0.0, 1.0));
}

// ---------------------------------------------------------------------------
// Sync and hold. RptInf requests a hold: the delay memory recirculates, and
// the delay time, the synced delay and the Dly<>Clk switch keep their values
// (values sent meanwhile are not taken, though a preset records them).
// Dly<>Clk syncs the delay to the tempo, Num and Den: delay times sent then
// are ignored. The rows say what each state freezes.

constexpr int kHoldSwitch = kRptInf;
constexpr int kSyncSwitch = kDlyClk;

struct DelayLock {
  bool held;    // a hold is requested
  bool synced;  // the delay follows the tempo
};

// True while the parameter keeps its value whatever is sent.
constexpr bool isFrozen(int index, DelayLock lock) {
  if (index < 0 || index >= kNumParams) return false;
  const unsigned f = kParameters[index].frozen;
  return (lock.held && (f & kFrozenWhileHeld)) || (lock.synced && (f & kFrozenWhileSynced));
}

// A change of this parameter may free or freeze others.
constexpr bool changesLock(int index) {
  return index == kHoldSwitch || index == kSyncSwitch;
}

// Num/Den of a whole note (four beats) at the tempo, in ms: the synced delay
// before the delay time's range limits it.
inline float noteLengthMs(int numStep, int denStep, float tempoBpm) {
  return kNumerators[numStep] * 240000.0f / (kDenominators[denStep] * tempoBpm);
}

// ---------------------------------------------------------------------------
// What the code above and the table's readers rely on.

namespace detail {
constexpr bool equal(const char* a, const char* b) {
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}

constexpr bool rowIsSound(const Parameter& p, int index) {
  if (p.id != index || !p.name || !p.symbol || !p.label || !p.panelName) return false;
  if (!(p.defaultValue >= 0.0f && p.defaultValue <= 1.0f) || !(p.minimum < p.maximum)) return false;
  if (p.hostStep < 0.0f || p.hostStep >= 1.0f) return false;
  const bool stepped = p.kind != Continuous;
  if (stepped != (p.law == Steps) || stepped != (p.steps.count > 0)) return false;
  if (stepped) {
    // The range is that of the steps; a toggle is off and on, 0 and 1.
    if (p.steps.values[0] != p.minimum || p.steps.values[p.steps.count - 1] != p.maximum)
      return false;
    for (int i = 1; i < p.steps.count; ++i)
      if (!(p.steps.values[i - 1] < p.steps.values[i])) return false;
    if (p.kind == Toggle && (p.steps.count != 2 || p.minimum != 0.0 || p.maximum != 1.0))
      return false;
    if (p.text != StepNameText || p.points.count != 0) return false;
  } else if (p.text == StepNameText) {
    return false;
  }
  if (p.law == ExpRate && !(p.minimum > 0.0)) return false;
  if (p.text == PointSharesText && p.points.count < 2) return false;
  for (int i = 0; i < p.points.count; ++i) {
    if (p.points.points[i].value < p.hostMinimum() || p.points.points[i].value > p.hostMaximum())
      return false;
    if (i > 0 && !(p.points.points[i - 1].value < p.points.points[i].value)) return false;
  }
  return true;
}

constexpr bool tableIsSound() {
  for (int i = 0; i < kNumParams; ++i) {
    if (!rowIsSound(kParameters[i], i)) return false;
    for (int j = 0; j < i; ++j)
      if (equal(kParameters[i].name, kParameters[j].name) ||
          equal(kParameters[i].symbol, kParameters[j].symbol))
        return false;
  }
  return true;
}
}  // namespace detail

static_assert(detail::tableIsSound(),
              "one row per parameter in index order, each with its names, a range, a default "
              "within 0..1, and steps or points that fit its kind and range");

}  // namespace params
