// Random and mutated chunks and event lists: nothing crashes, a refused chunk
// changes nothing, and the controller tables stay one-to-one.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "tests/presets/PresetTestEffect.h"

namespace {

bool tablesAreOneToOne(PresetTestEffect& e) {
  for (int p = 0; p < kNumParams; ++p) {
    int c = e.rawParameterController(p);
    if (c != 999 && (c < 0 || c > 127 || e.rawControllerParameter(c) != p)) return false;
  }
  for (int c = 0; c < kNumControllers; ++c) {
    int p = e.rawControllerParameter(c);
    if (p != 999 && (p < 0 || p >= kNumParams || e.rawParameterController(p) != c)) return false;
  }
  return true;
}

uint32_t wordAt(const std::vector<unsigned char>& b, size_t offset, bool big) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) {
    int shift = big ? 24 - 8 * i : 8 * i;
    v |= static_cast<uint32_t>(b[offset + i]) << shift;
  }
  return v;
}

// Which answer the failure table gives, worked out from the bytes alone:
// -1 refused, 0 with change false (wrong magic), 0 with change true.
struct Verdict {
  int result;
  bool changes;
};
Verdict judge(const std::vector<unsigned char>& b) {
  if (b.size() != 1736) return {-1, false};
  bool big;
  if (wordAt(b, 4, false) == 0x4B565241u)
    big = false;
  else if (wordAt(b, 4, true) == 0x4B565241u)
    big = true;
  else
    return {-1, false};
  if (wordAt(b, 0, big) != 0x01000000u) return {0, false};
  if (wordAt(b, 8, big) != 17u) return {-1, false};
  // Any stored preset's sound value outside 0..1 (or no number) and any
  // assignment that is no number refuse the whole block.
  auto real = [&](size_t offset) {
    const uint32_t w = wordAt(b, offset, big);
    float f;
    std::memcpy(&f, &w, 4);
    return f;
  };
  for (size_t p = 0; p < 17; ++p)
    for (size_t j = 0; j < 18; ++j) {
      const float v = real(32 + 96 * p + 24 + 4 * j);
      if (!(v >= 0.0f && v <= 1.0f)) return {-1, false};
    }
  for (size_t j = 0; j < 18; ++j)
    if (std::isnan(real(1664 + 4 * j))) return {-1, false};
  return {0, true};
}

std::vector<unsigned char> validChunk(std::mt19937& rng, bool big) {
  std::vector<unsigned char> b(1736, 0);
  auto put = [&](size_t off, uint32_t v) {
    for (int i = 0; i < 4; ++i)
      b[off + i] = static_cast<unsigned char>(v >> (big ? 24 - 8 * i : 8 * i));
  };
  put(0, 0x01000000u);
  put(4, 0x4B565241u);
  put(8, 17);
  put(12, rng() % 20);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  for (int p = 0; p < 17; ++p) {
    for (int i = 0; i < 24; ++i) b[32 + 96 * p + i] = static_cast<unsigned char>(rng());
    for (int j = 0; j < 18; ++j) {
      float f = unit(rng);
      uint32_t v;
      std::memcpy(&v, &f, 4);
      put(32 + 96 * p + 24 + 4 * j, v);
    }
  }
  for (int j = 0; j < 18; ++j) {
    float f = unit(rng) * 1.1f;
    uint32_t v;
    std::memcpy(&v, &f, 4);
    put(1664 + 4 * j, v);
  }
  return b;
}

}  // namespace

TEST(PresetFuzz, ChunksRandomAndMutated) {
  std::mt19937 rng(0x4B565241u);
  PresetTestEffect e;
  e.selectPreset(1);
  int accepted = 0, refused = 0;
  for (int round = 0; round < 4000; ++round) {
    std::vector<unsigned char> b;
    switch (rng() % 4) {
      case 0: {  // noise of a random size near the real one
        size_t size = rng() % 3 == 0 ? 1736 : 1730 + rng() % 12;
        b.resize(size);
        for (auto& x : b) x = static_cast<unsigned char>(rng());
        if (size == 1736 && rng() % 2) {  // a valid identifier in front of noise
          const unsigned char id[2][4] = {{'A', 'R', 'V', 'K'}, {'K', 'V', 'R', 'A'}};
          std::memcpy(&b[4], id[rng() % 2], 4);
        }
        break;
      }
      default: {  // a valid chunk with a few bytes changed, or its size
        b = validChunk(rng, rng() % 2);
        int flips = rng() % 4;
        for (int i = 0; i < flips; ++i) {
          // Mostly in the header, where the checks are.
          size_t at = rng() % 2 ? rng() % 16 : rng() % b.size();
          b[at] ^= static_cast<unsigned char>(1u << (rng() % 8));
        }
        if (rng() % 10 == 0) b.resize(b.size() + (rng() % 2 ? 1 : -1));
        break;
      }
    }
    const Verdict expected = judge(b);
    const PresetSnapshot before = PresetSnapshot::of(e);
    const int result = e.setChunk(b.data(), static_cast<VstInt32>(b.size()));
    ASSERT_EQ(result, expected.result) << "round " << round;
    if (!expected.changes) {
      ASSERT_TRUE(PresetSnapshot::of(e) == before) << "round " << round;
      ++refused;
    } else {
      ++accepted;
      ASSERT_TRUE(tablesAreOneToOne(e)) << "round " << round;
      ASSERT_GE(e.getCurrentPreset(), 0);
      ASSERT_LT(e.getCurrentPreset(), 17);
      // What was restored comes back out unchanged, in the machine's order.
      void* data = nullptr;
      ASSERT_EQ(e.getChunk(&data), 1736);
      const auto* out = static_cast<const unsigned char*>(data);
      ASSERT_EQ(std::memcmp(out + 32, e.presetStore(), 1632), 0);
    }
  }
  // Both kinds were exercised in earnest.
  EXPECT_GT(accepted, 500);
  EXPECT_GT(refused, 500);
}

TEST(PresetFuzz, EventListsWithLearnAndForget) {
  std::mt19937 rng(74);
  PresetTestEffect e;
  for (int round = 0; round < 3000; ++round) {
    switch (rng() % 8) {
      case 0:
        e.startLearn();
        break;
      case 1:
        e.startForget();
        break;
      case 2:
        e.setParameter(rng() % 40 - 2, static_cast<float>(rng() % 1000) / 900.0f);
        break;
      case 3:
        e.selectPreset(rng() % 17);
        break;
      default:
        break;
    }
    EventList list;
    const int n = rng() % 12;
    for (int i = 0; i < n; ++i) {
      VstMidiEvent m{};
      for (auto* p = reinterpret_cast<unsigned char*>(&m);
           p < reinterpret_cast<unsigned char*>(&m + 1); ++p)
        *p = static_cast<unsigned char>(rng());
      if (rng() % 4) m.type = kVstMidiType;
      if (rng() % 2) m.midiData[0] = static_cast<char>(0xB0 | (rng() % 16));
      if (rng() % 2) m.midiData[1] = static_cast<char>(rng() % 128);
      list.add(m);
    }
    e.calls.clear();
    ASSERT_EQ(e.processEvents(list.get()), 1);
    ASSERT_TRUE(tablesAreOneToOne(e)) << "round " << round;
    // Every driven value is a 7-bit controller value scaled to 0..1.
    for (const ParameterCall& c : e.calls) {
      ASSERT_GE(c.index, 0);
      ASSERT_LT(c.index, kNumParams);
      float steps = c.value * 127.0f;
      ASSERT_EQ(steps, static_cast<float>(static_cast<int>(steps + 0.5f)));
      ASSERT_LE(c.value, 1.0f);
    }
    for (int p = 0; p < kNumParams; ++p) {
      const int c = e.getParameterController(p);
      const float v = e.getParameter(18 + p);
      if (c == 999)
        ASSERT_GE(v, 128.0f / 129.0f);
      else
        ASSERT_EQ(quantizeSteps(v, 129), c);
    }
  }
}
