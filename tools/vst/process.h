// Running audio through a plug-in block by block, with the time information
// and MIDI events a host gives each block.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/base/midi.h"
#include "tools/vst/plugin.h"

namespace khost {

class BlockProcessor {
 public:
  BlockProcessor(const Plugin& plugin, int32_t blockSize);

  // Processes `frames` frames: input frames past the end of inL/inR are
  // silence; outL/outR receive outputs 0 and 1 (output 0 twice for a
  // single-output plug-in). Events must be sorted by frame. Advances the
  // host's sample position from `startFrame`.
  void run(const float* inL, const float* inR, int64_t inFrames, int64_t frames, float* outL,
           float* outR, const std::vector<MidiControlChange>& events, int64_t startFrame = 0);

 private:
  const Plugin& plugin_;
  int32_t blockSize_;
  std::vector<std::vector<float>> inputs_, outputs_;
  std::vector<float*> inPtrs_, outPtrs_;
  std::vector<VstMidiEvent> midi_;
  std::vector<uint8_t> eventList_;  // VstEvents with a pointer array of any length
};

}  // namespace khost
