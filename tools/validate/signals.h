// Test signals and MIDI the groups feed to plug-ins.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "host/vst_abi.h"

namespace validate {

// A sine at `hz` of amplitude 0.5 plus white noise of amplitude 0.25, from
// frame `start` on; the same for the same arguments.
void musicalSignal(std::vector<float>& out, int64_t start, double rate, uint64_t noiseSeed);

VstMidiEvent midiEvent(int32_t delta, uint8_t status, uint8_t data1, uint8_t data2);
// A note on, a controller, a pitch bend and a note off spread over a block.
std::vector<VstMidiEvent> midiBurst(int32_t frames, std::mt19937_64& rng);

// Number of frames of output that are not finite or above `bound`; the first
// such frame's index and value go to where/value.
long badSamples(const std::vector<std::vector<float>>& channels, int32_t frames, float bound,
                long* where = nullptr, float* value = nullptr);

// The largest finite magnitude in the first `frames` frames.
float peakOf(const std::vector<std::vector<float>>& channels, int32_t frames);

std::string describeFloat(double v);  // "nan", "inf", or a short number

}  // namespace validate
