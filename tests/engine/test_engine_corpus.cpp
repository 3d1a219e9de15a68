// A fixed corpus of renders whose every output sample is pinned by a hash
// recorded from the straightforward per-sample loop. Any rewrite of the loop
// for speed must reproduce these bits exactly: settings that exercise every
// path (modulation, envelope, feedback with both inversions and the high cut,
// Dlyx2, hold, synchronised hold, Power), both rates, odd and long blocks,
// mono input and output and in-place buffers, and parameter changes between
// blocks.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdint>
#include <cstring>
#include <vector>

#include "EngineRig.h"

namespace {

struct Change {
  double at;  // fraction of the render before which the value is set
  int index;
  float value;
};

struct Setting {
  const char* name;
  std::vector<Change> changes;  // at < 0: before suspend/resume
  double seconds;
  bool transport;  // host tempo and song position
};

enum class Pins { Stereo, MonoIn, MonoOut, InPlace };

// FNV-1a over the bit patterns of the output samples and status readings.
struct Fnv {
  std::uint64_t h = 14695981039346656037ull;
  void word(std::uint32_t w) {
    for (int i = 0; i < 4; ++i) {
      h ^= (w >> (8 * i)) & 0xffu;
      h *= 1099511628211ull;
    }
  }
  void sample(float v) {
    std::uint32_t w;
    std::memcpy(&w, &v, sizeof w);
    word(w);
  }
};

// Noise bursts, a sine with a slow swell, silence and single clicks, so the
// limiter, the envelope, the flush paths and the interpolators all work.
Signal corpusInput(std::size_t n, float rate) {
  Signal s = noise(n, 0.8f, 77);
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / rate;
    const double part = static_cast<double>(i) / static_cast<double>(n);
    double l = 0.0, r = 0.0;
    if (part < 0.15) {
      const double env = std::exp(-8.0 * t);
      l = s.left[i] * env;
      r = s.right[i] * env;
    } else if (part < 0.45) {
      const double swell = 0.5 + 0.45 * std::sin(2.0 * M_PI * 1.3 * t);
      l = swell * std::sin(2.0 * M_PI * 440.0 * t);
      r = 0.9 * swell * std::sin(2.0 * M_PI * 443.0 * t + 0.4);
    } else if (part > 0.75 && part < 0.8) {
      l = (i % 997 == 0) ? 1.0 : 0.0;
      r = (i % 1499 == 0) ? -1.0 : 0.0;
    }
    s.left[i] = static_cast<float>(l);
    s.right[i] = static_cast<float>(r);
  }
  return s;
}

const std::vector<Setting>& settings() {
  static const std::vector<Setting> all = {
      {"defaults", {}, 2.3, false},
      {"wow tape",
       {{-1, kInput, 0.622706f},
        {-1, kOutput, 0.479528f},
        {-1, kMix, 0.459736f},
        {-1, kDlyTime, 0.053856f},
        {-1, kFbck, 0.53191f},
        {-1, kHiCut, kOn},
        {-1, kDepth, 0.1f},
        {-1, kWaveform, 0.31f},
        {-1, kRate, 0.5f}},
       0.6,
       false},
      {"full feedback, both inversions, high cut",
       {{-1, kDlyTime, 0.011f},
        {-1, kFbck, 1.0f},
        {-1, kFbInv, kOn},
        {-1, kDlyInv, kOn},
        {-1, kHiCut, kOn},
        {-1, kMix, 0.7f},
        {0.5, kFbInv, kOff},
        {0.6, kHiCut, kOff},
        {0.7, kDlyTime, 0.004f}},
       0.6,
       false},
      {"envelope, ManVCO 0",
       {{-1, kDlyTime, 0.02f},
        {-1, kFbck, 0.5f},
        {-1, kDepth, 0.8f},
        {-1, kWaveform, 0.5f},
        {-1, kManVCO, 0.0f},
        {0.5, kInput, 0.9f}},
       0.6,
       false},
      {"square, Dlyx2",
       {{-1, kDlyx2, kOn},
        {-1, kDlyTime, 0.04f},
        {-1, kFbck, 0.6f},
        {-1, kDepth, 0.6f},
        {-1, kWaveform, 1.0f},
        {-1, kRate, 0.7f},
        {0.55, kDlyx2, kOff},
        {0.8, kDlyx2, kOn}},
       0.6,
       false},
      {"hold",
       {{-1, kDlyTime, 0.01f},
        {-1, kFbck, 0.3f},
        {-1, kMix, 1.0f},
        {-1, kDepth, 0.3f},
        {-1, kWaveform, 0.2f},
        {0.3, kRptInf, kOn},
        {0.4, kDlyTime, 0.002f},  // frozen while held
        {0.7, kRptInf, kOff},
        {0.85, kDlyTime, 0.00002f}},  // under three ticks
       0.6,
       false},
      {"sync",
       {{-1, kNum, stepCenter(1, 5)},
        {-1, kDen, stepCenter(7, 13)},  // 3/16
        {-1, kDlyClk, kOn},
        {-1, kFbck, 0.7f},
        {-1, kDepth, 0.2f},
        {0.4, kRptInf, kOn},  // waits for the next cycle boundary
        {0.8, kRptInf, kOff}},
       0.6,
       true},
      {"power off",
       {{-1, kPower, kOff},
        {-1, kDlyTime, 0.015f},
        {-1, kFbck, 0.8f},
        {-1, kDepth, 0.5f},
        {-1, kWaveform, 0.1f},
        {-1, kRate, 0.9f},
        {0.35, kPower, kOn},
        {0.7, kPower, kOff},
        {0.85, kPower, kOn}},
       0.6,
       false},
      {"gains and mix at the extremes",
       {{-1, kInput, 1.0f},
        {-1, kOutput, 1.0f},
        {-1, kMix, 0.0f},
        {-1, kDlyTime, 0.03f},
        {-1, kFbck, 0.9f},
        {0.3, kMix, 1.0f},
        {0.6, kOutput, 0.0f},
        {0.7, kOutput, 0.8f},
        {0.8, kFbck, 0.0f}},
       0.6,
       false},
  };
  return all;
}

BlockTiming transportAt(int block, int frames, float rate) {
  BlockTiming t;
  t.hasTempo = true;
  t.tempo = block < 40 ? 110.0 : 137.0;
  t.hasPosition = block % 5 != 0;
  t.ppqPos = 2.0 + static_cast<double>(block) * frames * t.tempo / (60.0 * rate);
  return t;
}

std::uint64_t render(const Setting& s, float rate, int block, Pins pins) {
  DelayEngine e;
  e.setParameter(kDlyx2, 0.0f);  // as the first preset does
  for (const Change& c : s.changes)
    if (c.at < 0) e.setParameter(c.index, c.value);
  settle(e, rate);

  const std::size_t n = static_cast<std::size_t>(s.seconds * rate);
  Signal in = corpusInput(n, rate);
  Signal out(n);
  Fnv hash;
  const int blocks = static_cast<int>((n + block - 1) / block);
  for (int b = 0; b < blocks; ++b) {
    const std::size_t pos = static_cast<std::size_t>(b) * block;
    const int frames = static_cast<int>(std::min<std::size_t>(block, n - pos));
    for (const Change& c : s.changes) {
      const std::size_t at = static_cast<std::size_t>(c.at * static_cast<double>(n));
      if (c.at >= 0 && at >= pos && at < pos + frames) e.setParameter(c.index, c.value);
    }
    const BlockTiming timing = s.transport ? transportAt(b, block, rate) : BlockTiming{};
    float* l = in.left.data() + pos;
    float* r = in.right.data() + pos;
    switch (pins) {
      case Pins::Stereo:
        e.process(l, r, out.left.data() + pos, out.right.data() + pos, frames, timing);
        break;
      case Pins::MonoIn:
        e.process(l, l, out.left.data() + pos, out.right.data() + pos, frames, timing);
        break;
      case Pins::MonoOut:
        e.process(l, r, out.left.data() + pos, nullptr, frames, timing);
        break;
      case Pins::InPlace:
        e.process(l, r, l, r, frames, timing);
        break;
    }
    const float* oL = pins == Pins::InPlace ? l : out.left.data() + pos;
    const float* oR = pins == Pins::InPlace ? r : out.right.data() + pos;
    for (int k = 0; k < frames; ++k) {
      hash.sample(oL[k]);
      if (pins != Pins::MonoOut) hash.sample(oR[k]);
    }
    if (b % 11 == 5) {
      const EngineStatus st = e.readStatus();
      hash.sample(st.phase);
      hash.sample(st.peak);
      hash.word(static_cast<std::uint32_t>(st.effectiveDelayMs));
      hash.word(static_cast<std::uint32_t>(st.nominalDelayMs));
      hash.word(st.indicator ? 1u : 0u);
    }
  }
  return hash.h;
}

// Recorded from the per-sample loop, in the order setting x rate x block.
// clang-format off
const std::uint64_t kExpected[] = {
    0x3c7bd658f296fe21ull,  // defaults, 44100 Hz, block 37, pins 0
    0x1b7714495ea6f79dull,  // defaults, 44100 Hz, block 512, pins 1
    0x5df6f9f83f499b0dull,  // defaults, 96000 Hz, block 37, pins 2
    0xa2e76d08b2d6b913ull,  // defaults, 96000 Hz, block 512, pins 3
    0x9152024000452ce9ull,  // wow tape, 44100 Hz, block 37, pins 1
    0x5f5039b992916635ull,  // wow tape, 44100 Hz, block 512, pins 2
    0x866ac8e128dd6016ull,  // wow tape, 96000 Hz, block 37, pins 3
    0xae455a83716e61cfull,  // wow tape, 96000 Hz, block 512, pins 0
    0x5d8faff2c3018995ull,  // full feedback, both inversions, high cut, 44100 Hz, block 37, pins 2
    0x1ce5e9a0c043af74ull,  // full feedback, both inversions, high cut, 44100 Hz, block 512, pins 3
    0x385883b63629c871ull,  // full feedback, both inversions, high cut, 96000 Hz, block 37, pins 0
    0x686f6cda882d1918ull,  // full feedback, both inversions, high cut, 96000 Hz, block 512, pins 1
    0x9216a84eec5ba02eull,  // envelope, ManVCO 0, 44100 Hz, block 37, pins 3
    0x081d84080accd9eeull,  // envelope, ManVCO 0, 44100 Hz, block 512, pins 0
    0xd59bc9af351553b8ull,  // envelope, ManVCO 0, 96000 Hz, block 37, pins 1
    0x0ae55b82ffa79c4dull,  // envelope, ManVCO 0, 96000 Hz, block 512, pins 2
    0xbf934c6323239e86ull,  // square, Dlyx2, 44100 Hz, block 37, pins 0
    0x2d5115dfe0900db9ull,  // square, Dlyx2, 44100 Hz, block 512, pins 1
    0xd9e3cf8064b2d19eull,  // square, Dlyx2, 96000 Hz, block 37, pins 2
    0x7f1673d0f35201acull,  // square, Dlyx2, 96000 Hz, block 512, pins 3
    0xf840b99677cd94e2ull,  // hold, 44100 Hz, block 37, pins 1
    0x5ed51455bd29a14dull,  // hold, 44100 Hz, block 512, pins 2
    0x9d9347cacce8b8e9ull,  // hold, 96000 Hz, block 37, pins 3
    0x67ac69630229e704ull,  // hold, 96000 Hz, block 512, pins 0
    0x5125c2ceb09b2a5bull,  // sync, 44100 Hz, block 37, pins 2
    0xc63ae41b0b0050bdull,  // sync, 44100 Hz, block 512, pins 3
    0xb23eb27ad0c4576bull,  // sync, 96000 Hz, block 37, pins 0
    0x6712e168b804ec02ull,  // sync, 96000 Hz, block 512, pins 1
    0x7293184d3a55601full,  // power off, 44100 Hz, block 37, pins 3
    0x08f3664520629d22ull,  // power off, 44100 Hz, block 512, pins 0
    0xb4fb3ddce1496ed7ull,  // power off, 96000 Hz, block 37, pins 1
    0x827e94d5a3fbe10bull,  // power off, 96000 Hz, block 512, pins 2
    0xcd79021d25cb86a3ull,  // gains and mix at the extremes, 44100 Hz, block 37, pins 0
    0xfaedf52b0dddb48eull,  // gains and mix at the extremes, 44100 Hz, block 512, pins 1
    0xf51d6cb117af3228ull,  // gains and mix at the extremes, 96000 Hz, block 37, pins 2
    0x6f2ada7233f2e089ull,  // gains and mix at the extremes, 96000 Hz, block 512, pins 3
};
// clang-format on

}  // namespace

// Both builds of the loop (any x86-64, and AVX2 where the processor has it)
// must give the recorded bits.
TEST(EngineCorpus, EveryOutputSampleMatchesTheRecordedRenders) {
  const float rates[] = {44100.0f, 96000.0f};
  const int blocks[] = {37, 512};
  for (bool wide : {false, true}) {
    DelayEngine::allowWideLoop(wide);
    if (wide && !DelayEngine::usesWideLoop()) break;  // no AVX2 here
    std::vector<std::uint64_t> got;
    std::string table;
    for (std::size_t si = 0; si < settings().size(); ++si)
      for (int ri = 0; ri < 2; ++ri)
        for (int bi = 0; bi < 2; ++bi) {
          // Each setting meets every pin layout once over its four renders.
          const Pins pins = static_cast<Pins>((si + 2 * ri + bi) % 4);
          const std::uint64_t h = render(settings()[si], rates[ri], blocks[bi], pins);
          got.push_back(h);
          char line[160];
          std::snprintf(line, sizeof line,
                        "    0x%016" PRIx64 "ull,  // %s, %g Hz, block %d, pins %d\n", h,
                        settings()[si].name, rates[ri], blocks[bi], static_cast<int>(pins));
          table += line;
        }
    ASSERT_EQ(got.size(), sizeof kExpected / sizeof kExpected[0]) << table;
    for (std::size_t i = 0; i < got.size(); ++i)
      EXPECT_EQ(got[i], kExpected[i]) << (wide ? "AVX2" : "x86-64") << " loop, render " << i << "\n"
                                      << table;
  }
  DelayEngine::allowWideLoop(true);
}
