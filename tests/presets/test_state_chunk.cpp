// The 1736-byte state chunk: layout, round trip, either byte order, refusals.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "tests/presets/PresetTestEffect.h"
#include "tests/support/FakeHost.h"

namespace {

// A chunk written word by word in a chosen byte order, independent of the
// code under test.
class ChunkBuilder {
 public:
  explicit ChunkBuilder(bool bigEndian) : big(bigEndian), bytes(1736, 0) {}

  void word(size_t offset, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
      int shift = big ? 24 - 8 * i : 8 * i;
      bytes[offset + i] = static_cast<unsigned char>(v >> shift);
    }
  }
  void real(size_t offset, float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    word(offset, v);
  }
  void name(int preset, const char* text) {
    std::strncpy(reinterpret_cast<char*>(&bytes[32 + 96 * preset]), text, 24);
  }
  void value(int preset, int parameter, float f) { real(32 + 96 * preset + 24 + 4 * parameter, f); }
  void assignment(int parameter, float f) { real(1664 + 4 * parameter, f); }
  // 'K' 'V' 'R' 'A' with the first character in the most significant byte.
  void header(uint32_t magic = 0x01000000u, uint32_t id = 0x4B565241u, uint32_t count = 17,
              uint32_t current = 0) {
    word(0, magic);
    word(4, id);
    word(8, count);
    word(12, current);
  }

  bool big;
  std::vector<unsigned char> bytes;
};

// A recognisable state: every preset named and valued by its numbers.
void fillState(ChunkBuilder& b, uint32_t current) {
  b.header(0x01000000u, 0x4B565241u, 17, current);
  for (int p = 0; p < 17; ++p) {
    std::string n = "state preset " + std::to_string(p);
    b.name(p, n.c_str());
    for (int i = 0; i < 18; ++i) b.value(p, i, (p * 18 + i) / 400.0f);
  }
  for (int i = 0; i < 18; ++i) b.assignment(i, 7.7480621f);
  b.assignment(kFbck, (74 + 0.5f) / 129.0f);
  b.assignment(kMix, (7 + 0.5f) / 129.0f);
  b.assignment(kRate, 0.995f);
}

void expectState(PresetTestEffect& e, int current) {
  for (int p = 0; p < 17; ++p) {
    std::string n = "state preset " + std::to_string(p);
    EXPECT_STREQ(e.presetStore()[p].name, n.c_str());
    for (int i = 0; i < 18; ++i) EXPECT_EQ(e.presetStore()[p].values[i], (p * 18 + i) / 400.0f);
  }
  EXPECT_EQ(e.getCurrentPreset(), current);
  for (int i = 0; i < 18; ++i) EXPECT_EQ(e.raw[i], (current * 18 + i) / 400.0f) << i;
  EXPECT_EQ(e.getParameterController(kFbck), 74);
  EXPECT_EQ(e.getParameterController(kMix), 7);
  EXPECT_EQ(e.getControllerParameter(74), kFbck);
  EXPECT_EQ(e.getControllerParameter(7), kMix);
  EXPECT_EQ(e.getParameterController(kRate), 999);
  EXPECT_EQ(e.getParameter(18 + kRate), 1.0f);
  EXPECT_EQ(e.storedAssignmentValue(kRate), 0.995f);
  EXPECT_EQ(e.getParameter(18 + kFbck), (74 + 0.5f) / 129.0f);
  EXPECT_EQ(e.getParameter(18 + kInput), 1.0f);
}

uint32_t littleWord(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

TEST(StateChunk, LayoutInTheMachinesOrder) {
  PresetTestEffect e;
  e.selectPreset(5);
  e.assignController(kDepth, 1);
  void* data = nullptr;
  ASSERT_EQ(e.getChunk(&data, false), 1736);
  const auto* b = static_cast<const unsigned char*>(data);
  const unsigned char head[16] = {0, 0, 0, 1, 'A', 'R', 'V', 'K', 17, 0, 0, 0, 5, 0, 0, 0};
  EXPECT_EQ(std::memcmp(b, head, 16), 0);
  for (int i = 16; i < 32; ++i) EXPECT_EQ(b[i], 0) << i;
  for (int p = 0; p < 17; ++p) {
    EXPECT_EQ(std::memcmp(b + 32 + 96 * p, e.presetStore()[p].name, 24), 0);
    for (int i = 0; i < 18; ++i) {
      float v;
      std::memcpy(&v, b + 32 + 96 * p + 24 + 4 * i, 4);
      EXPECT_EQ(v, e.presetStore()[p].values[i]);
    }
  }
  EXPECT_STREQ(reinterpret_cast<const char*>(b + 32 + 96 * 6), "wow tape");
  for (int i = 0; i < 18; ++i) {
    float v;
    std::memcpy(&v, b + 1664 + 4 * i, 4);
    EXPECT_EQ(v, i == kDepth ? 1.5f / 129.0f : (999.5f / 129.0f)) << i;
  }
  EXPECT_EQ(littleWord(b + 4), 0x4B565241u);
  // The preset flag changes nothing.
  std::vector<unsigned char> bank(b, b + 1736);
  void* again = nullptr;
  ASSERT_EQ(e.getChunk(&again, true), 1736);
  EXPECT_EQ(std::memcmp(again, bank.data(), 1736), 0);
  // Through the dispatcher.
  void* viaHost = nullptr;
  EXPECT_EQ(e.dispatcher(effGetChunk, 1, 0, &viaHost, 0.0f), 1736);
  EXPECT_EQ(viaHost, again);
  EXPECT_EQ(e.getChunk(nullptr), 0);
}

TEST(StateChunk, RoundTripRestoresEverything) {
  PresetTestEffect a;
  for (int p = 0; p < 17; ++p) {
    a.selectPreset(p);
    std::string n = "edited " + std::to_string(p * 7);
    a.renameCurrentPreset(n.c_str());
    for (int i = 0; i < 18; ++i) a.setParameter(i, (p + 1) * 0.01f + i * 0.03f);
  }
  a.renameCurrentPreset("exactly twenty-four char");  // preset 16, no terminator
  a.selectPreset(9);
  a.setParameter(18 + kInput, (3 + 0.5f) / 129.0f);
  a.startLearn();
  a.setParameter(kWaveform, 0.6f);          // also an edit of preset 9
  sendEvents(a, {midiEvent(0xB2, 99, 5)});  // learned: Waveform on 99
  ASSERT_EQ(a.getParameterController(kWaveform), 99);

  void* data = nullptr;
  ASSERT_EQ(a.getChunk(&data), 1736);
  std::vector<unsigned char> copy(static_cast<unsigned char*>(data),
                                  static_cast<unsigned char*>(data) + 1736);

  FakeHost host;
  PresetTestEffect b(FakeHost::callback());
  EXPECT_EQ(b.setChunk(copy.data(), 1736), 0);
  EXPECT_EQ(std::memcmp(b.presetStore(), a.presetStore(), sizeof(PresetRecord) * 17), 0);
  EXPECT_EQ(b.getCurrentPreset(), 9);
  for (int i = 0; i < 18; ++i) {
    EXPECT_EQ(b.raw[i], a.presetStore()[9].values[i]) << i;
    EXPECT_EQ(b.getParameter(18 + i), a.getParameter(18 + i)) << i;
    EXPECT_EQ(b.getParameterController(i), a.getParameterController(i)) << i;
  }
  EXPECT_EQ(b.presetStore()[9].values[kWaveform], 5.0f / 127.0f);
  EXPECT_EQ(b.getParameterController(kInput), 3);
  EXPECT_EQ(host.count(audioMasterUpdateDisplay), 1);
  // The restored controllers drive their parameters.
  b.calls.clear();
  sendEvents(b, {midiEvent(0xB0, 99, 127), midiEvent(0xB0, 3, 0)});
  ASSERT_EQ(b.calls.size(), 2u);
  EXPECT_EQ(b.calls[0].index, kWaveform);
  EXPECT_EQ(b.calls[1].index, kInput);
  // A restore keeps the learn and forget modes.
  b.startForget();
  EXPECT_EQ(b.setChunk(copy.data(), 1736), 0);
  EXPECT_TRUE(b.isForgetActive());

  // The host may hand our own buffer back.
  void* own = nullptr;
  ASSERT_EQ(b.getChunk(&own), 1736);
  b.selectPreset(0);
  EXPECT_EQ(b.setChunk(own, 1736), 0);
  EXPECT_EQ(b.getCurrentPreset(), 9);
}

TEST(StateChunk, BigEndianTwinRestoresTheSameState) {
  ChunkBuilder little(false), big(true);
  fillState(little, 12);
  fillState(big, 12);
  ASSERT_NE(little.bytes, big.bytes);
  // The names are the same bytes in both.
  EXPECT_EQ(std::memcmp(&little.bytes[32], &big.bytes[32], 24), 0);
  EXPECT_EQ(big.bytes[4], 'K');
  EXPECT_EQ(big.bytes[0], 1);
  EXPECT_EQ(little.bytes[3], 1);

  PresetTestEffect fromLittle, fromBig;
  EXPECT_EQ(fromLittle.setChunk(little.bytes.data(), 1736), 0);
  EXPECT_EQ(fromBig.setChunk(big.bytes.data(), 1736), 0);
  expectState(fromLittle, 12);
  expectState(fromBig, 12);
  EXPECT_TRUE(PresetSnapshot::of(fromLittle) == PresetSnapshot::of(fromBig));

  // Writing back is in the machine's order.
  void* data = nullptr;
  ASSERT_EQ(fromBig.getChunk(&data), 1736);
  EXPECT_EQ(std::memcmp(data, little.bytes.data(), 1736), 0);
}

TEST(StateChunk, RefusedBlocksChangeNothing) {
  FakeHost host;
  PresetTestEffect e(FakeHost::callback());
  e.selectPreset(4);
  e.assignController(kMix, 7);
  e.startLearn();
  e.setParameter(kFbck, 0.3f);
  host.calls.clear();
  const PresetSnapshot before = PresetSnapshot::of(e);

  ChunkBuilder good(false);
  fillState(good, 2);
  std::vector<unsigned char> longer = good.bytes;
  longer.push_back(0);
  EXPECT_EQ(e.setChunk(good.bytes.data(), 1735), -1);
  EXPECT_EQ(e.setChunk(longer.data(), 1737), -1);
  EXPECT_EQ(e.setChunk(good.bytes.data(), 0), -1);
  EXPECT_EQ(e.setChunk(good.bytes.data(), -1736), -1);
  EXPECT_EQ(e.setChunk(nullptr, 1736), -1);
  EXPECT_EQ(e.dispatcher(effSetChunk, 0, 1735, good.bytes.data(), 0.0f), -1);

  for (bool bigEndian : {false, true}) {
    ChunkBuilder wrongId(bigEndian);
    fillState(wrongId, 2);
    wrongId.word(4, 0x4B565242u);  // 'KVRB'
    EXPECT_EQ(e.setChunk(wrongId.bytes.data(), 1736), -1);
    ChunkBuilder half(bigEndian);
    fillState(half, 2);
    half.bytes[4] = 'K';
    half.bytes[5] = 'V';
    half.bytes[6] = 'A';
    half.bytes[7] = 'R';
    EXPECT_EQ(e.setChunk(half.bytes.data(), 1736), -1);

    ChunkBuilder wrongMagic(bigEndian);
    fillState(wrongMagic, 2);
    wrongMagic.word(0, 0x00000001u);
    EXPECT_EQ(e.setChunk(wrongMagic.bytes.data(), 1736), 0);
    wrongMagic.word(0, 0x02000000u);
    EXPECT_EQ(e.setChunk(wrongMagic.bytes.data(), 1736), 0);

    for (uint32_t count : {16u, 18u, 0u, 0x11000000u}) {
      ChunkBuilder wrongCount(bigEndian);
      fillState(wrongCount, 2);
      wrongCount.word(8, count);
      EXPECT_EQ(e.setChunk(wrongCount.bytes.data(), 1736), -1) << count;
    }

    // A sound value outside 0..1 or no number in any stored preset, not only
    // the current one, and an assignment that is no number.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (float bad : {1000.0f, -1e-6f, 1.0000001f, nan, -std::numeric_limits<float>::infinity()}) {
      ChunkBuilder outOfRange(bigEndian);
      fillState(outOfRange, 2);
      outOfRange.value(16, kInput, bad);
      EXPECT_EQ(e.setChunk(outOfRange.bytes.data(), 1736), -1) << bad;
    }
    ChunkBuilder noNumber(bigEndian);
    fillState(noNumber, 2);
    noNumber.assignment(kMix, nan);
    EXPECT_EQ(e.setChunk(noNumber.bytes.data(), 1736), -1);
  }
  EXPECT_TRUE(PresetSnapshot::of(e) == before);
  EXPECT_TRUE(host.calls.empty());
}

TEST(StateChunk, CurrentPresetOutsideTheBankReplacesRecordsOnly) {
  for (uint32_t current : {17u, 0xFFFFFFFFu, 1000u, 0x80000000u}) {
    FakeHost host;
    PresetTestEffect e(FakeHost::callback());
    e.selectPreset(3);
    e.calls.clear();
    host.calls.clear();
    float rawBefore[18];
    std::memcpy(rawBefore, e.raw, sizeof rawBefore);

    ChunkBuilder b(true);
    fillState(b, current);
    EXPECT_EQ(e.setChunk(b.bytes.data(), 1736), 0);
    EXPECT_EQ(e.getCurrentPreset(), 3);
    EXPECT_TRUE(e.calls.empty());
    EXPECT_EQ(std::memcmp(rawBefore, e.raw, sizeof rawBefore), 0);
    EXPECT_EQ(host.count(audioMasterUpdateDisplay), 0);
    EXPECT_STREQ(e.presetStore()[3].name, "state preset 3");
    EXPECT_EQ(e.presetStore()[16].values[17], (16 * 18 + 17) / 400.0f);
    EXPECT_EQ(e.getParameterController(kFbck), 74);
    // Selecting a preset now brings the new values.
    e.selectPreset(3);
    EXPECT_EQ(e.raw[0], (3 * 18) / 400.0f);
  }
}

TEST(StateChunk, AssignmentValuesRebuildTheTables) {
  PresetTestEffect e;
  e.assignController(kOutput, 40);  // replaced by the restore
  ChunkBuilder b(false);
  fillState(b, 0);
  // Two parameters claim controller 7: the later one keeps it.
  b.assignment(kInput, (7 + 0.5f) / 129.0f);
  b.assignment(kDen, std::numeric_limits<float>::infinity());
  EXPECT_EQ(e.setChunk(b.bytes.data(), 1736), 0);
  EXPECT_EQ(e.getParameterController(kOutput), 999);
  EXPECT_EQ(e.rawControllerParameter(40), 999);
  EXPECT_EQ(e.getParameterController(kInput), 999);
  EXPECT_EQ(e.getParameterController(kMix), 7);
  EXPECT_EQ(e.getParameterController(kDen), 999);
  EXPECT_EQ(e.getParameter(18 + kDen), 1.0f);
  EXPECT_EQ(e.getParameterController(kFbck), 74);
}
