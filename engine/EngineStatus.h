// The snapshot of the engine that the editor reads once per idle.
#pragma once

#include <cstdint>

struct EngineStatus {
  float phase = 0.0f;        // modulation oscillator phase, radians
  float peak = 0.0f;         // half the peak level into the delay memory since the last read
  int effectiveDelayMs = 0;  // delay as heard: clock period x nominal delay
  int nominalDelayMs = 0;    // delay set by DlyTime or the tempo sync
  bool indicator = false;    // near a delay-cycle boundary since the last read
  // Process calls so far: standing still, it says the other fields are stale
  // (the host stopped processing without suspending).
  uint32_t processCalls = 0;
};
