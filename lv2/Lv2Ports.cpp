#include "lv2/Lv2Ports.h"

#include <cmath>

namespace korvalv2 {

namespace {

bool valid(int parameter) {
  return parameter >= 0 && parameter < kNumParams;
}

}  // namespace

const ControlPort& controlPort(int parameter) {
  return params::parameter(parameter);
}

const char* unitUri(const ControlPort& port) {
  switch (port.unit) {
#define KORVA_UNIT(name) "http://lv2plug.in/ns/extensions/units#" name
    case params::Decibel:
      return KORVA_UNIT("db");
    case params::Percent:
      return KORVA_UNIT("pc");
    case params::Millisecond:
      return KORVA_UNIT("ms");
    case params::Coefficient:
      return KORVA_UNIT("coef");
    case params::Hertz:
      return KORVA_UNIT("hz");
#undef KORVA_UNIT
    case params::NoUnit:
      break;
  }
  return nullptr;
}

float portValue(int parameter, float engine) {
  if (!valid(parameter)) return 0.0f;
  return static_cast<float>(params::toUnit(params::kParameters[parameter], engine));
}

float engineValue(int parameter, float port) {
  if (!valid(parameter)) return 0.0f;
  return params::fromUnit(params::kParameters[parameter], port);
}

float exactPortValue(int parameter, float engine) {
  const float nearest = portValue(parameter, engine);
  if (!valid(parameter) || controlPort(parameter).kind != params::Continuous) return nearest;
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
