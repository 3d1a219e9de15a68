// A picture of input and output waveforms, left and right, over time.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/io/wav_io.h"

namespace khost {

// PNG bytes of four stacked panels (input L/R, output L/R) sharing one time
// axis in seconds. Throws HostError(kExitIo) if cairo fails.
std::vector<uint8_t> plotWaveforms(const Audio& input, const Audio& output, int width = 1400,
                                   int height = 900);

}  // namespace khost
