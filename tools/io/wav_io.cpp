#include "tools/io/wav_io.h"

#include <sndfile.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "tools/base/cli.h"
#include "tools/io/files.h"

namespace khost {

Audio readAudio(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open_fd(openRegularFile(path), SFM_READ, &info, SF_TRUE);
  if (file == nullptr)
    throw HostError(kExitIo, "cannot read audio file " + path + ": " + sf_strerror(nullptr));
  if (info.frames < 0 || info.frames > kMaxAudioSamples / std::max(info.channels, 1)) {
    sf_close(file);
    throw HostError(kExitIo, path + " is longer than the limit of " +
                                 std::to_string(kMaxAudioSamples) + " samples");
  }
  if (info.channels < 1 || info.channels > 2) {
    sf_close(file);
    throw HostError(
        kExitIo, path + " has " + std::to_string(info.channels) + " channels; mono or stereo only");
  }
  Audio audio;
  audio.sampleRate = info.samplerate;
  audio.channels = info.channels;
  std::vector<float> interleaved(static_cast<size_t>(info.frames) *
                                 static_cast<size_t>(info.channels));
  const sf_count_t got = sf_readf_float(file, interleaved.data(), info.frames);
  const bool failed = sf_error(file) != SF_ERR_NO_ERROR;
  const std::string why = sf_strerror(file);
  sf_close(file);
  if (failed || got != info.frames)
    throw HostError(kExitIo, "cannot read audio file " + path + ": " + why);
  audio.left.resize(static_cast<size_t>(got));
  audio.right.resize(static_cast<size_t>(got));
  for (size_t i = 0; i < audio.left.size(); ++i) {
    audio.left[i] = interleaved[i * static_cast<size_t>(info.channels)];
    audio.right[i] = interleaved[i * static_cast<size_t>(info.channels) +
                                 static_cast<size_t>(info.channels - 1)];
  }
  return audio;
}

namespace {

// libsndfile's virtual I/O over a growing byte vector.
struct MemoryFile {
  std::vector<uint8_t> bytes;
  sf_count_t position = 0;
};

sf_count_t memoryLength(void* user) {
  return static_cast<sf_count_t>(static_cast<MemoryFile*>(user)->bytes.size());
}

sf_count_t memorySeek(sf_count_t offset, int whence, void* user) {
  MemoryFile& f = *static_cast<MemoryFile*>(user);
  const sf_count_t base = whence == SEEK_SET   ? 0
                          : whence == SEEK_CUR ? f.position
                                               : static_cast<sf_count_t>(f.bytes.size());
  if (base + offset < 0) return -1;
  f.position = base + offset;
  return f.position;
}

sf_count_t memoryRead(void* out, sf_count_t count, void* user) {
  MemoryFile& f = *static_cast<MemoryFile*>(user);
  const sf_count_t size = static_cast<sf_count_t>(f.bytes.size());
  const sf_count_t n = std::max<sf_count_t>(0, std::min(count, size - f.position));
  if (n > 0) std::memcpy(out, f.bytes.data() + f.position, static_cast<size_t>(n));
  f.position += n;
  return n;
}

sf_count_t memoryWrite(const void* in, sf_count_t count, void* user) {
  MemoryFile& f = *static_cast<MemoryFile*>(user);
  const size_t end = static_cast<size_t>(f.position + count);
  if (end > f.bytes.size()) f.bytes.resize(end);
  std::memcpy(f.bytes.data() + f.position, in, static_cast<size_t>(count));
  f.position += count;
  return count;
}

sf_count_t memoryTell(void* user) {
  return static_cast<MemoryFile*>(user)->position;
}

}  // namespace

std::vector<uint8_t> encodeWav(const Audio& audio, int channels, SampleFormat format) {
  SF_INFO info{};
  info.samplerate = audio.sampleRate;
  info.channels = channels;
  info.format =
      SF_FORMAT_WAV | (format == SampleFormat::Float32 ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_24);
  SF_VIRTUAL_IO io{memoryLength, memorySeek, memoryRead, memoryWrite, memoryTell};
  MemoryFile memory;
  SNDFILE* file = sf_open_virtual(&io, SFM_WRITE, &info, &memory);
  if (file == nullptr)
    throw HostError(kExitIo, std::string("cannot write audio: ") + sf_strerror(nullptr));
  // PCM output clips instead of wrapping around.
  sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  std::vector<float> interleaved(audio.frames() * static_cast<size_t>(channels));
  for (size_t i = 0; i < audio.frames(); ++i) {
    interleaved[i * static_cast<size_t>(channels)] = audio.left[i];
    if (channels == 2) interleaved[i * 2 + 1] = audio.right[i];
  }
  const sf_count_t wrote =
      sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(audio.frames()));
  const bool ok = wrote == static_cast<sf_count_t>(audio.frames());
  const std::string why = sf_strerror(file);
  if (sf_close(file) != 0 || !ok) throw HostError(kExitIo, "cannot write audio: " + why);
  return std::move(memory.bytes);
}

}  // namespace khost
