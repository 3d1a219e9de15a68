// A MIDI control change at a frame of a render, as either host sends it.
#pragma once

#include <cstdint>

namespace khost {

struct MidiControlChange {
  int64_t frame = 0;    // absolute frame the event falls on
  uint8_t channel = 0;  // 0..15
  uint8_t controller = 0;
  uint8_t value = 0;
};

}  // namespace khost
