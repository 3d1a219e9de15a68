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

// A sound value a stored state, file or setting may hold: a number within
// 0..1. Anything else is refused before it can reach the sound.
inline bool isStorableValue(float v) {
  return v >= 0.0f && v <= 1.0f;
}

inline bool areStorableValues(const float* values, int count) {
  for (int i = 0; i < count; ++i)
    if (!isStorableValue(values[i])) return false;
  return true;
}

// An assignment value is read by its step (at or above 128/129, including the
// 7.748 that "none" has always been stored as, it means no controller); only
// a value that is no number names no step at all.
inline bool isStorableAssignment(float v) {
  return v == v;
}
