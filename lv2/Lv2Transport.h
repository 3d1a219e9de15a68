// The host's transport as the effect asks for it: time:Position objects from
// the atom port become the VstTimeInfo its audioMasterGetTime answers. Hosts
// send a position only when something changes, so between positions the
// musical position runs on at the last tempo and speed.
#pragma once

#include "host/vst_abi.h"
#include "lv2/Lv2Uris.h"

namespace korvalv2 {

class Lv2Transport {
 public:
  void setSampleRate(double rate) { sampleRate = rate > 0.0 ? rate : 44100.0; }

  // Reads a time:Position object body (size bytes after the atom header).
  // Properties of other types or unknown keys are ignored, as is an object
  // whose values are not finite. `frameInBlock` is where it fell in the block.
  void readPosition(const Uris& uris, const LV2_Atom_Object_Body* body, uint32_t size,
                    uint32_t frameInBlock);

  // The answer to audioMasterGetTime for the current block: null before the
  // host has told us a tempo, or a position when the filter asks for one.
  VstTimeInfo* timeInfo(VstIntPtr filter);

  // After the block: the position advances by its frames.
  void endBlock(uint32_t frames);

  bool hasTempo() const { return tempoKnown; }
  double tempo() const { return bpm; }
  double beatAtBlockStart() const { return beat; }

 private:
  double sampleRate = 44100.0;
  bool tempoKnown = false;
  bool positionKnown = false;
  double bpm = 120.0;
  double beat = 0.0;  // in quarter notes, at the start of the current block
  double speed = 0.0;
  float beatsPerBar = 4.0f;
  float beatUnit = 4.0f;
  VstTimeInfo info{};
};

}  // namespace korvalv2
