// The LV2 groups: each file's checks, and what they share.
#pragma once

#include <string>
#include <vector>

#include "tools/validate/check.h"
#include "tools/validate/lv2/lv2_instance.h"

namespace validate::lv2 {

// Loads the plug-in in a child (found on LV2_PATH, instantiated, cleaned up).
// Empty when it loads; otherwise the one-line reason it cannot be validated.
std::string preflight(const std::string& uri, double timeoutSeconds);

std::vector<CheckDef> identityChecks();
std::vector<CheckDef> parameterChecks();
std::vector<CheckDef> processingChecks();
std::vector<CheckDef> badInputChecks();
std::vector<CheckDef> realtimeChecks();
std::vector<CheckDef> stateChecks();
std::vector<CheckDef> atomChecks();
std::vector<CheckDef> threadChecks();
std::vector<CheckDef> uiChecks();
std::vector<CheckDef> lifecycleChecks();
std::vector<CheckDef> environmentChecks();

// Runs `frames` frames in blocks of `block` (cases.h: 0 and -1 are patterns)
// with the musical signal and now and then MIDI, activating first and
// deactivating after; output beyond the bound is a finding of `kind`. The
// output of every channel, block by block, goes to `keep` when given.
void feed(Check& c, Instance& inst, int block, int64_t frames, bool inPlace,
          std::vector<float>* keep, uint64_t signalSeed, Kind kind = Kind::Output);

// Runs one block of `frames` of the musical signal from `start`; true when
// the output is finite and within `bound` (else the first bad value and frame).
bool runChecked(Instance& inst, uint32_t frames, int64_t start, float bound, float* value = nullptr,
                long* at = nullptr);

// Whether loud but finite output at these control values is the plug-in's
// gain: fresh instances with these values, fed the test signal at full level
// and at 1/100, give peaks in that proportion (within a factor of 2), or the
// full-level peak stays within the bound (the loudness came from earlier
// settings), and the output does not grow (an unstable filter is linear too).
// Gain ranges reach +40 dB and more in real plug-ins by design.
bool loudByGain(const std::string& uri, double rate, const std::vector<float>& controls,
                float bound);

// A short MIDI burst at random frames of a block: note on, controller,
// pitch bend, note off.
void sendMidiBurst(Instance& inst, uint32_t frames, std::mt19937_64& rng);

}  // namespace validate::lv2
