// Writes the demo's dry signal: two short plucked-string notes (Karplus-Strong)
// with silence around them, so each echo is easy to hear and to see.
// Deterministic: the same file every time.
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {
constexpr int kRate = 44100;

// A small deterministic noise source for the excitation.
struct Lcg {
  uint32_t s = 12345;
  float next() {
    s = s * 1664525u + 1013904223u;
    return static_cast<float>(s >> 8) / 8388608.0f - 1.0f;
  }
};

void pluck(std::vector<float>& out, int start, float hz, float gain, float seconds, Lcg& rng) {
  int period = static_cast<int>(kRate / hz + 0.5f);
  std::vector<float> line(period);
  for (float& v : line) v = rng.next();
  int length = static_cast<int>(seconds * kRate);
  int pos = 0;
  float prev = 0;
  for (int i = 0; i < length && start + i < static_cast<int>(out.size()); ++i) {
    float v = line[pos];
    // Averaging two neighbours is the string's loss; 0.99 a quick decay, so
    // each note is short and its echoes stand apart from it.
    float next = 0.99f * 0.5f * (v + prev);
    prev = v;
    line[pos] = next;
    pos = (pos + 1) % period;
    // A short fade-out keeps the note's end click-free.
    float fade = std::min(1.0f, (length - i) / 400.0f);
    out[start + i] += gain * v * fade;
  }
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_demo_signal OUT.wav\n");
    return 1;
  }
  const float seconds = 3.0f;
  std::vector<float> mono(static_cast<size_t>(seconds * kRate), 0.0f);
  Lcg rng;
  // An A, then an E a little later; the rest is silence for the echoes.
  const float notes[] = {220.0f, 329.63f};
  const float at[] = {0.05f, 1.45f};
  for (int n = 0; n < 2; ++n)
    pluck(mono, static_cast<int>(at[n] * kRate), notes[n], 0.7f, 0.15f, rng);

  std::vector<float> stereo(mono.size() * 2);
  for (size_t i = 0; i < mono.size(); ++i) {
    // A little width: the right channel slightly quieter.
    stereo[2 * i] = mono[i];
    stereo[2 * i + 1] = 0.8f * mono[i];
  }
  SF_INFO info{};
  info.samplerate = kRate;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* f = sf_open(argv[1], SFM_WRITE, &info);
  if (!f) {
    std::fprintf(stderr, "make_demo_signal: cannot write %s: %s\n", argv[1], sf_strerror(nullptr));
    return 3;
  }
  sf_writef_float(f, stereo.data(), static_cast<sf_count_t>(mono.size()));
  sf_close(f);
  return 0;
}
