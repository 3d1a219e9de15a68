// The 17 presets the bank holds when the plug-in is created.
#pragma once

#include "presets/PresetRecord.h"

struct FactoryPreset {
  const char* name;
  float values[kNumParams];
};

extern const FactoryPreset kFactoryPresets[kNumPresets];
