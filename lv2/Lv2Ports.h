// The 18 sound parameters as LV2 control ports: the parameter table's rows,
// with their values in the unit a host shows (dB, ms, Hz, switches, note
// values). The Turtle generator, the plug-in and the tests all read the
// table, so the bundle's description cannot drift from the code.
#pragma once

#include "engine/ParameterTable.h"

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

using ControlPort = params::Parameter;
using PortKind = params::Kind;

// The description of sound parameter `parameter` (0..17).
const ControlPort& controlPort(int parameter);

// The port's unit (lv2:units), or null for none.
const char* unitUri(const ControlPort& port);

// Engine value (0..1) to the value the port shows, and back. Port values
// outside the port's range are clamped; NaN gives the port's minimum.
float portValue(int parameter, float engineValue);
float engineValue(int parameter, float portValue);

// The port value nearest portValue(engineValue) that maps back to exactly
// engineValue when there is one within a few steps of float precision, so
// presets and defaults reach the engine bit for bit.
float exactPortValue(int parameter, float engineValue);

}  // namespace korvalv2
