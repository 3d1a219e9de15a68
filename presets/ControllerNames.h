// Texts of the controller display: one per MIDI controller number, then
// "not assigned" and the empty text shown when no control is under the mouse.
#pragma once

#include "engine/ParameterIds.h"

constexpr int kNumControllerNames = 130;
constexpr int kControllerNotAssigned = 128;  // entry shown for the 999 marker
constexpr int kControllerNoControl = 129;    // empty text

extern const char* const controllerNames[kNumControllerNames];

// Entry for a display value x: min(floor(130 x), 129).
int controllerNameIndex(float displayValue);

// Display value of entry n, (n + 0.5) / 130; controllers outside 0..127 (the
// 999 marker among them) show "not assigned", except 129 itself.
float controllerDisplayValue(int controller);
