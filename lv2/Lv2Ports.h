// The 18 sound parameters as LV2 control ports: the values a host shows (dB,
// ms, Hz, switches, note values) and the one mapping between those values and
// the engine's 0..1 values. The Turtle generator, the plug-in and the tests
// all use this table, so the bundle's description cannot drift from the code.
#pragma once

#include "engine/ParameterIds.h"

namespace korvalv2 {

// Port indices: audio, the atom input, then the sound parameters in engine order.
enum PortIndex {
  kPortInL = 0,
  kPortInR,
  kPortOutL,
  kPortOutR,
  kPortEvents,
  kPortFirstControl,
  kNumPorts = kPortFirstControl + kNumParams
};

enum class PortKind { Continuous, Toggle, Enumeration };

struct ScalePoint {
  const char* label;
  float value;
};

struct ControlPort {
  const char* symbol;
  const char* unitUri;  // null: no unit
  PortKind kind;
  float minimum, maximum;
  bool logarithmic;
  const ScalePoint* points;  // labelled values; for enumerations the only values
  int numPoints;
};

// The description of sound parameter `parameter` (0..17).
const ControlPort& controlPort(int parameter);

// Engine value (0..1) to the value the port shows, and back. Port values
// outside the port's range are clamped; NaN gives the port's minimum.
float portValue(int parameter, float engineValue);
float engineValue(int parameter, float portValue);

// The port value nearest portValue(engineValue) that maps back to exactly
// engineValue when there is one within a few steps of float precision, so
// presets and defaults reach the engine bit for bit.
float exactPortValue(int parameter, float engineValue);

}  // namespace korvalv2
