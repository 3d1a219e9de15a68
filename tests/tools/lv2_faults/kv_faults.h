// Shared by the plug-in and its UI: which fault this build plants, and the
// instance layout (the ui-after-cleanup UI reads it directly, as some real UIs
// do through instance-access).
#pragma once

#include <lv2/urid/urid.h>

#include <cstdint>

#ifndef KV_FAULT
#define KV_FAULT 0
#endif

namespace kvfaults {

enum Fault {
  kCorrect = 0,
  kAllocates = 1,
  kNanPoison = 2,
  kTrustsState = 3,
  kIgnoresState = 4,
  kOverreadsState = 5,
  kRwlock = 6,
  kSuccessOnRefusal = 7,
  kShortMidi = 8,
  kUiAfterCleanup = 9,
  kLetterOnly = 10,
  kCleanupNeedsActivate = 11,
  // The gain reaches the sound through the worker (work_response).
  kWorkerCorrect = 12,
  kWorkerAllocatesInResponse = 13,
  kWorkerNoInterface = 14,
  kLoudGain = 15,  // no fault: a gain up to 1000 (+60 dB), as real plug-ins offer
};
constexpr Fault kFault = static_cast<Fault>(KV_FAULT);

enum Port : uint32_t { kInL, kInR, kOutL, kOutR, kGain, kMix, kControl, kPorts };

constexpr char kLevelUri[] = "urn:korva-validate-test:level";

struct Plugin {
  const float* in[2] = {};
  float* out[2] = {};
  const float* gain = nullptr;
  const float* mix = nullptr;
  const void* control = nullptr;
  float coefficient = 0.0f;  // of the one-pole low-pass on the wet path
  float filter[2] = {};
  float level = 0.5f;  // kept in the state only
  double tempo = 120.0;
  bool rolling = false;
  LV2_URID levelKey = 0, floatType = 0, objectType = 0, blankType = 0, midiEvent = 0, position = 0,
           speed = 0, beatsPerMinute = 0;
};

}  // namespace kvfaults
