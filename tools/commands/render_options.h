// What render takes alike for LinuxVST and LV2 plug-ins: MIDI control
// changes and the output's sample format.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/base/midi.h"
#include "tools/io/wav_io.h"

namespace khost {

// --cc TIME:CHANNEL:CONTROLLER:VALUE, checked before the input's rate is known.
struct CcRequest {
  double time = 0;
  int channel = 1, controller = 0, value = 0;
  std::string text;
};
CcRequest parseCc(const std::string& text);

// The requests at their frames (TIME rounded to the nearest), in time order;
// a usage error for one at or past `total` frames.
std::vector<MidiControlChange> ccEvents(const std::vector<CcRequest>& requests, double rate,
                                        int64_t total);

// --format: "float" or "pcm24".
SampleFormat parseFormat(const std::string& text);

}  // namespace khost
