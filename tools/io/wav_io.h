// Audio files through libsndfile: any format it reads, written as WAV.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/io/files.h"

namespace khost {

struct Audio {
  int sampleRate = 0;
  int channels = 0;
  std::vector<float> left, right;  // right equals left for a mono file
  size_t frames() const { return left.size(); }
};

// Input audio above this many samples (all channels) is refused: about an
// hour of stereo at 48 kHz, 1 GB of memory as floats.
constexpr int64_t kMaxAudioSamples = int64_t{1} << 28;

// A regular file, mono or stereo, at most kMaxAudioSamples; anything else, or
// an unreadable file, throws HostError(kExitIo).
Audio readAudio(const std::string& path);

enum class SampleFormat { Float32, Pcm24 };

// The bytes of a WAV file of one (left only) or two channels, for
// writeWholeFile; throws HostError(kExitIo).
std::vector<uint8_t> encodeWav(const Audio& audio, int channels, SampleFormat format);

}  // namespace khost
