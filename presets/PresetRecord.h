// One stored preset: the same 96 bytes in memory, in the state chunk, in bank
// and preset files and in the per-user settings.
#pragma once

#include <cstdint>

#include "engine/ParameterIds.h"

constexpr int kPresetNameLength = 24;  // no terminator when all 24 are used
constexpr int kNumPresets = 17;

struct PresetRecord {
  char name[kPresetNameLength];
  float values[kNumParams];
};
static_assert(sizeof(PresetRecord) == 96, "a preset record is 96 packed bytes");
