#include "lv2/Lv2Ports.h"

#include <cmath>

namespace korvalv2 {

namespace {

#define KORVA_UNITS "http://lv2plug.in/ns/extensions/units#"

// The level ports end in "off": the engine's gain at 0 is silence, not a level.
constexpr float kLevelFloorDb = -80.0f;
// 40 log10(2): the engine's level gain 4 v^2 at v = 1.
constexpr float kLevelTopDb = 12.0412f;

const ScalePoint kLevelPoints[] = {{"off", kLevelFloorDb}, {"0 dB", 0.0f}};
const ScalePoint kFeedbackPoints[] = {{"off", kLevelFloorDb}};
const ScalePoint kSwitchPoints[] = {{"off", 0.0f}, {"on", 1.0f}};
const ScalePoint kSyncPoints[] = {{"dly", 0.0f}, {"clk", 1.0f}};
const ScalePoint kWavePoints[] = {{"sin", 0.0f}, {"env", 1.0f}, {"sqr", 2.0f}};
const ScalePoint kNumPoints[] = {{"1", 1}, {"3", 3}, {"5", 5}, {"7", 7}, {"9", 9}};
const ScalePoint kDenPoints[] = {{"1", 1},   {"2", 2},   {"3", 3},   {"4", 4},   {"6", 6},
                                 {"8", 8},   {"12", 12}, {"16", 16}, {"24", 24}, {"32", 32},
                                 {"48", 48}, {"64", 64}, {"96", 96}};
static_assert(sizeof(kNumPoints) / sizeof(kNumPoints[0]) == kNumNumerators, "one point a step");
static_assert(sizeof(kDenPoints) / sizeof(kDenPoints[0]) == kNumDenominators, "one point a step");

#define POINTS(a) a, static_cast<int>(sizeof(a) / sizeof(a[0]))

const ControlPort kPorts[kNumParams] = {
    {"input", KORVA_UNITS "db", PortKind::Continuous, kLevelFloorDb, kLevelTopDb, false,
     POINTS(kLevelPoints)},
    {"output", KORVA_UNITS "db", PortKind::Continuous, kLevelFloorDb, kLevelTopDb, false,
     POINTS(kLevelPoints)},
    {"mix", KORVA_UNITS "pc", PortKind::Continuous, 0.0f, 100.0f, false, nullptr, 0},
    {"dly_time", KORVA_UNITS "ms", PortKind::Continuous, 0.0f, 3200.0f, false, nullptr, 0},
    {"dly_x2", nullptr, PortKind::Toggle, 0.0f, 1.0f, false, POINTS(kSwitchPoints)},
    {"dly_inv", nullptr, PortKind::Toggle, 0.0f, 1.0f, false, POINTS(kSwitchPoints)},
    {"fbck", KORVA_UNITS "db", PortKind::Continuous, kLevelFloorDb, 0.0f, false,
     POINTS(kFeedbackPoints)},
    {"hi_cut", nullptr, PortKind::Toggle, 0.0f, 1.0f, false, POINTS(kSwitchPoints)},
    {"fb_inv", nullptr, PortKind::Toggle, 0.0f, 1.0f, false, POINTS(kSwitchPoints)},
    {"man_vco", KORVA_UNITS "coef", PortKind::Continuous, 0.5f, 1.5f, false, nullptr, 0},
    {"depth", KORVA_UNITS "pc", PortKind::Continuous, 0.0f, 100.0f, false, nullptr, 0},
    {"waveform", nullptr, PortKind::Continuous, 0.0f, 2.0f, false, POINTS(kWavePoints)},
    {"rate", KORVA_UNITS "hz", PortKind::Continuous, 0.1f, 10.0f, true, nullptr, 0},
    {"rpt_inf", nullptr, PortKind::Toggle, 0.0f, 1.0f, false, POINTS(kSwitchPoints)},
    {"power", nullptr, PortKind::Toggle, 0.0f, 1.0f, false, POINTS(kSwitchPoints)},
    {"dly_clk", nullptr, PortKind::Toggle, 0.0f, 1.0f, false, POINTS(kSyncPoints)},
    {"num", nullptr, PortKind::Enumeration, 1.0f, 9.0f, false, POINTS(kNumPoints)},
    {"den", nullptr, PortKind::Enumeration, 1.0f, 96.0f, false, POINTS(kDenPoints)},
};

bool valid(int parameter) {
  return parameter >= 0 && parameter < kNumParams;
}

double clampTo(double x, double lo, double hi) {
  if (!(x >= lo)) return lo;  // NaN too
  return x > hi ? hi : x;
}

// Index of the enumeration point nearest x (the lower one on a tie).
int nearestPoint(const ControlPort& p, double x) {
  int best = 0;
  for (int i = 1; i < p.numPoints; ++i)
    if (std::fabs(p.points[i].value - x) < std::fabs(p.points[best].value - x)) best = i;
  return best;
}

}  // namespace

const ControlPort& controlPort(int parameter) {
  return kPorts[valid(parameter) ? parameter : 0];
}

float portValue(int parameter, float engine) {
  if (!valid(parameter)) return 0.0f;
  const ControlPort& p = kPorts[parameter];
  const double v = engine;
  double x = 0.0;
  switch (parameter) {
    case kInput:
    case kOutput:
      // The engine's gain is 4 v^2: 40 log10(2 v) dB.
      x = v > 0.0 ? 40.0 * std::log10(2.0 * v) : p.minimum;
      break;
    case kFbck:
      x = v > 0.0 ? 20.0 * std::log10(v) : p.minimum;
      break;
    case kMix:
    case kDepth:
      x = 100.0 * v;
      break;
    case kDlyTime:
      x = 3200.0 * v;
      break;
    case kManVCO:
      x = v + 0.5;
      break;
    case kWaveform:
      x = 2.0 * v;
      break;
    case kRate:
      x = 0.1 * std::pow(100.0, v);
      break;
    case kNum:
      x = kNumerators[quantizeSteps(engine, kNumNumerators)];
      break;
    case kDen:
      x = kDenominators[quantizeSteps(engine, kNumDenominators)];
      break;
    default:  // switches
      x = switchOn(engine) ? 1.0 : 0.0;
      break;
  }
  return static_cast<float>(clampTo(x, p.minimum, p.maximum));
}

float engineValue(int parameter, float port) {
  if (!valid(parameter)) return 0.0f;
  const ControlPort& p = kPorts[parameter];
  const double x = clampTo(port, p.minimum, p.maximum);
  // Every continuous port spans the engine's whole 0..1: its ends are exact.
  if (p.kind == PortKind::Continuous && x <= p.minimum) return 0.0f;
  if (p.kind == PortKind::Continuous && x >= p.maximum) return 1.0f;
  double v = 0.0;
  switch (parameter) {
    case kInput:
    case kOutput:
      v = 0.5 * std::pow(10.0, x / 40.0);
      break;
    case kFbck:
      v = std::pow(10.0, x / 20.0);
      break;
    case kMix:
    case kDepth:
      v = x / 100.0;
      break;
    case kDlyTime:
      v = x / 3200.0;
      break;
    case kManVCO:
      v = x - 0.5;
      break;
    case kWaveform:
      v = x / 2.0;
      break;
    case kRate:
      v = std::log10(x / 0.1) / 2.0;
      break;
    case kNum:
    case kDen:
      return stepCenter(nearestPoint(p, x), p.numPoints);
    default:
      return stepCenter(x >= 0.5 ? 1 : 0, 2);
  }
  return static_cast<float>(clampTo(v, 0.0, 1.0));
}

float exactPortValue(int parameter, float engine) {
  const float nearest = portValue(parameter, engine);
  if (!valid(parameter) || kPorts[parameter].kind != PortKind::Continuous) return nearest;
  if (engineValue(parameter, nearest) == engine) return nearest;
  float below = nearest, above = nearest;
  for (int step = 0; step < 64; ++step) {
    below = std::nextafter(below, -INFINITY);
    above = std::nextafter(above, INFINITY);
    if (engineValue(parameter, below) == engine) return below;
    if (engineValue(parameter, above) == engine) return above;
  }
  return nearest;
}

}  // namespace korvalv2
