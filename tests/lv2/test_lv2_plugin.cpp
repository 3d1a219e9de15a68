// The LV2 interface of Korva through its own descriptor: the port mapping,
// the state chunk in LV2 state with everything a bad host may hand back,
// MIDI and time from the atom port, odd atom events, and no allocation in run.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/ParameterIds.h"
#include "lv2/Lv2Korva.h"
#include "lv2/Lv2Ports.h"
#include "presets/CPresetSystemEffect.h"
#include "tests/lv2/Lv2TestHost.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/TempConfigHome.h"

using korvalv2::controlPort;
using korvalv2::engineValue;
using korvalv2::exactPortValue;
using korvalv2::PortKind;

namespace {

// Chunk layout: current preset at 12, records of 96 bytes from 32 (name 24,
// then 18 floats), the 18 assignment values from 1664.
float chunkFloat(const std::vector<uint8_t>& b, size_t offset) {
  float v;
  std::memcpy(&v, b.data() + offset, sizeof v);
  return v;
}
void setChunkFloat(std::vector<uint8_t>& b, size_t offset, float v) {
  std::memcpy(b.data() + offset, &v, sizeof v);
}
uint32_t chunkWord(const std::vector<uint8_t>& b, size_t offset) {
  uint32_t v;
  std::memcpy(&v, b.data() + offset, sizeof v);
  return v;
}
float currentPresetValue(const std::vector<uint8_t>& b, int parameter) {
  const uint32_t current = chunkWord(b, 12);
  return chunkFloat(b, 32 + 96 * current + 24 + 4 * parameter);
}

// The same chunk as a machine of the other byte order writes it: every word
// reversed except the identifier's bytes (written as text) and the names.
std::vector<uint8_t> otherByteOrder(std::vector<uint8_t> b) {
  auto swapAt = [&b](size_t o) {
    std::swap(b[o], b[o + 3]);
    std::swap(b[o + 1], b[o + 2]);
  };
  for (size_t o : {0, 4, 8, 12, 16, 20, 24, 28}) swapAt(o);
  for (size_t p = 0; p < kNumPresets; ++p)
    for (size_t j = 0; j < kNumParams; ++j) swapAt(32 + 96 * p + 24 + 4 * j);
  for (size_t j = 0; j < kNumParams; ++j) swapAt(1664 + 4 * j);
  return b;
}

class Lv2PluginTest : public ::testing::Test {
 protected:
  TempConfigHome config;  // no stored defaults take part
};

}  // namespace

// Every continuous port spans the engine's 0..1 with exact ends (the Rate
// port's minimum once came back as 3e-9, not 0), and the factory presets
// reach the engine through the ports: switches and steps on the same step,
// continuous values within float precision, the first preset bit for bit.
TEST(Lv2Ports, EndsAndFactoryPresetsMapBack) {
  for (int i = 0; i < kNumParams; ++i) {
    const auto& p = controlPort(i);
    if (p.kind != PortKind::Continuous) continue;
    EXPECT_EQ(engineValue(i, p.minimum), 0.0f) << p.symbol;
    EXPECT_EQ(engineValue(i, p.maximum), 1.0f) << p.symbol;
    EXPECT_EQ(engineValue(i, std::numeric_limits<float>::quiet_NaN()), 0.0f) << p.symbol;
  }
  // A host may write anything: beyond either end is that end, for every kind.
  const float inf = std::numeric_limits<float>::infinity();
  for (int i = 0; i < kNumParams; ++i) {
    const auto& p = controlPort(i);
    for (const float above : {inf, 1e30f, p.maximum + 1.0f})
      EXPECT_EQ(engineValue(i, above), engineValue(i, p.maximum)) << p.symbol << " " << above;
    for (const float below : {-inf, -1e30f, p.minimum - 1.0f})
      EXPECT_EQ(engineValue(i, below), engineValue(i, p.minimum)) << p.symbol << " " << below;
  }
  for (const FactoryPreset& preset : kFactoryPresets) {
    for (int i = 0; i < kNumParams; ++i) {
      const float v = preset.values[i];
      const float back = engineValue(i, exactPortValue(i, v));
      const auto& p = controlPort(i);
      if (p.kind == PortKind::Continuous) {
        EXPECT_NEAR(back, v, 2.5e-7 * std::max(v, 1e-3f)) << preset.name << " " << p.symbol;
        if (&preset == &kFactoryPresets[0]) {
          EXPECT_EQ(back, v) << p.symbol;
        }
      } else {
        const int steps = p.kind == PortKind::Toggle ? 2 : p.numPoints;
        EXPECT_EQ(quantizeSteps(back, steps), quantizeSteps(v, steps))
            << preset.name << " " << p.symbol;
      }
    }
  }
  // Port values that name no step of an enumeration go to the nearest one.
  EXPECT_EQ(quantizeSteps(engineValue(kDen, 5.0f), kNumDenominators), 3);  // 4, not 6
  EXPECT_EQ(quantizeSteps(engineValue(kNum, 100.0f), kNumNumerators), 4);
}

TEST_F(Lv2PluginTest, RefusesAHostWithoutUridMap) {
  testing::internal::CaptureStderr();
  Lv2TestHost host(48000.0, /*withMap=*/false);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(host.handle, nullptr);
  EXPECT_NE(err.find("urid:map"), std::string::npos) << err;
  EXPECT_NE(err.find(LV2_URID__map), std::string::npos) << err;
}

// Outside the rates the engine runs at, instantiate refuses and says why; at
// the ends of the range it runs.
TEST_F(Lv2PluginTest, RefusesSampleRatesTheEngineDoesNotRunAt) {
  for (double rate : {4000.0, 1.0e6, 0.0, -44100.0, std::nan("")}) {
    testing::internal::CaptureStderr();
    Lv2TestHost host(rate);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(host.handle, nullptr) << rate;
    EXPECT_NE(err.find("sample rate"), std::string::npos) << err;
  }
  for (double rate : {8000.0, 768000.0}) {
    Lv2TestHost host(rate);
    EXPECT_NE(host.handle, nullptr) << rate;
  }
}

// A state that is truncated, of an unknown type, from another version, with
// a wrong identifier or with a value outside 0..1 in any stored preset is
// refused with an error status and changes nothing; the same state written
// in the other byte order is taken whole.
TEST_F(Lv2PluginTest, StateRestoreRefusesBadChunksAndReadsTheOtherByteOrder) {
  Lv2TestHost a, b;
  ASSERT_TRUE(a.handle && b.handle && a.state);
  a.activate();
  b.activate();
  b.controls[kMix] = 12.5f;
  b.controls[kDen] = 16.0f;
  b.run();
  const Lv2TestHost::Saved original = a.save();
  const Lv2TestHost::Saved other = b.save();
  ASSERT_EQ(original.bytes.size(), static_cast<size_t>(kChunkSize));
  EXPECT_EQ(original.type, a.urids.id(LV2_ATOM__Chunk));
  EXPECT_TRUE(original.flags & LV2_STATE_IS_PORTABLE);
  EXPECT_EQ(currentPresetValue(other.bytes, kMix), 0.125f);
  ASSERT_NE(original.bytes, other.bytes);

  Lv2TestHost::Saved truncated = other;
  truncated.bytes.pop_back();
  EXPECT_NE(a.restore(truncated), LV2_STATE_SUCCESS);
  Lv2TestHost::Saved unknownType = other;
  unknownType.type = a.urids.id("urn:korva-test:not-a-chunk-type");
  EXPECT_EQ(a.restore(unknownType), LV2_STATE_ERR_BAD_TYPE);
  Lv2TestHost::Saved wrongId = other;
  wrongId.bytes[5] ^= 0x20;
  EXPECT_NE(a.restore(wrongId), LV2_STATE_SUCCESS);
  Lv2TestHost::Saved nextVersion = other;
  setChunkFloat(nextVersion.bytes, 0, 2.0f);  // magic word of a later layout
  testing::internal::CaptureStderr();
  EXPECT_EQ(a.restore(nextVersion), LV2_STATE_ERR_UNKNOWN);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("another layout"), std::string::npos);
  for (const float bad : {1000.0f, -0.5f, std::numeric_limits<float>::quiet_NaN()}) {
    Lv2TestHost::Saved loud = other;
    setChunkFloat(loud.bytes, 32 + 96 * 16 + 24 + 4 * kInput, bad);  // not the current preset
    testing::internal::CaptureStderr();
    EXPECT_EQ(a.restore(loud), LV2_STATE_ERR_UNKNOWN) << bad;
    EXPECT_NE(testing::internal::GetCapturedStderr().find("outside 0..1"), std::string::npos);
  }
  Lv2TestHost::Saved nothing = other;
  nothing.bytes.clear();
  EXPECT_EQ(a.restore(nothing), LV2_STATE_ERR_NO_PROPERTY);
  a.run();
  EXPECT_EQ(a.save().bytes, original.bytes);

  Lv2TestHost::Saved swapped = other;
  swapped.bytes = otherByteOrder(other.bytes);
  ASSERT_NE(swapped.bytes, other.bytes);
  EXPECT_EQ(a.restore(swapped), LV2_STATE_SUCCESS);
  EXPECT_EQ(a.save().bytes, other.bytes);
}

// A factory preset of the bundle, applied from a host's preset menu, is a
// state with only the preset's number, then the preset's port values (lilv
// restores the state first, then sets the ports; Ardour's engine may run
// between the two). The preset is selected as the editor's menu selects it
// and the stored presets stay as they were: the state saved afterwards is
// that of the same bank with the preset current.
TEST_F(Lv2PluginTest, HostPresetSelectsTheStoredPresetAndItsPortsChangeNothing) {
  Lv2TestHost expected;
  ASSERT_TRUE(expected.handle);
  expected.activate();
  const std::vector<uint8_t> bank = expected.save().bytes;
  const LV2_URID presetKey = expected.urids.id("http://vek-sonimark.com/plugins/korva#preset");
  const LV2_URID atomInt = expected.urids.id(LV2_ATOM__Int);

  for (int n : {6, 16, 0}) {
    Lv2TestHost host;
    ASSERT_TRUE(host.handle);
    host.activate();
    host.run();
    Lv2TestHost::Saved preset;
    preset.key = host.urids.id("http://vek-sonimark.com/plugins/korva#preset");
    preset.type = host.urids.id(LV2_ATOM__Int);
    ASSERT_EQ(preset.key, presetKey);
    ASSERT_EQ(preset.type, atomInt);
    const int32_t number = n;
    preset.bytes.assign(reinterpret_cast<const uint8_t*>(&number),
                        reinterpret_cast<const uint8_t*>(&number) + sizeof number);
    ASSERT_EQ(host.restore(preset), LV2_STATE_SUCCESS) << n;
    host.run();  // the ports still hold the previous preset's values
    for (int i = 0; i < kNumParams; ++i)
      host.controls[i] = exactPortValue(i, kFactoryPresets[n].values[i]);
    host.run();
    std::vector<uint8_t> want = bank;
    want[12] = static_cast<uint8_t>(n);  // the current preset, little-endian
    const std::vector<uint8_t> got = host.save().bytes;
    for (size_t b = 0; b < got.size(); ++b)
      if (got[b] != want[b]) ADD_FAILURE() << "preset " << n << " byte " << b;
  }

  // A number outside the bank or of another type is refused and changes nothing.
  Lv2TestHost host;
  ASSERT_TRUE(host.handle);
  for (const int64_t bad : {17, -1}) {
    Lv2TestHost::Saved preset;
    preset.key = host.urids.id("http://vek-sonimark.com/plugins/korva#preset");
    preset.type = host.urids.id(LV2_ATOM__Long);
    preset.bytes.assign(reinterpret_cast<const uint8_t*>(&bad),
                        reinterpret_cast<const uint8_t*>(&bad) + sizeof bad);
    testing::internal::CaptureStderr();
    EXPECT_EQ(host.restore(preset), LV2_STATE_ERR_UNKNOWN) << bad;
    testing::internal::GetCapturedStderr();
    preset.type = host.urids.id(LV2_ATOM__Float);
    testing::internal::CaptureStderr();
    EXPECT_EQ(host.restore(preset), LV2_STATE_ERR_BAD_TYPE) << bad;
    testing::internal::GetCapturedStderr();
  }
  EXPECT_EQ(host.save().bytes, bank);
}

// A controller assigned in the state drives its parameter from the atom
// port's MIDI; the tempo of a time:Position sets the synced delay, heard as
// the first echo of an impulse: a quarter note, 500 ms at 120 BPM and 1000 ms
// at 60 BPM.
TEST_F(Lv2PluginTest, MidiAndTempoFromTheAtomPort) {
  {
    Lv2TestHost host;
    ASSERT_TRUE(host.handle);
    host.activate();
    Lv2TestHost::Saved s = host.save();
    setChunkFloat(s.bytes, 1664 + 4 * kMix, (7 + 0.5f) / 129.0f);  // CC 7 drives Mix
    ASSERT_EQ(host.restore(s), LV2_STATE_SUCCESS);
    host.addMidi(10, 0xB0, 7, 127);
    host.run();
    EXPECT_EQ(currentPresetValue(host.save().bytes, kMix), 1.0f);
    host.addMidi(0, 0xB3, 7, 0);  // any channel
    host.run();
    EXPECT_EQ(currentPresetValue(host.save().bytes, kMix), 0.0f);
  }
  for (const float bpm : {120.0f, 60.0f}) {
    const double rate = 48000.0;
    Lv2TestHost host(rate);
    ASSERT_TRUE(host.handle);
    host.controls[kMix] = 100.0f;
    host.controls[kDlyClk] = 1.0f;
    host.controls[kNum] = 1.0f;
    host.controls[kDen] = 4.0f;
    host.activate();
    const int expected = static_cast<int>(rate * 60.0 / bpm);
    // The impulse opens block 20 (107 ms, after the write fade-in of a fresh
    // delay memory); the loudest output 100 ms after it is the first echo.
    constexpr int kImpulseBlock = 20;
    std::vector<float> out;
    for (int block = 0; block * 256 < expected + 9600 + kImpulseBlock * 256; ++block) {
      if (block == 0) host.addPosition(0, bpm, 0.0);
      for (uint32_t k = 0; k < 256; ++k)
        host.audio[0][k] = host.audio[1][k] = (block == kImpulseBlock && k == 0) ? 1.0f : 0.0f;
      host.run(std::numeric_limits<float>::quiet_NaN());
      if (block >= kImpulseBlock) out.insert(out.end(), host.audio[2], host.audio[2] + 256);
    }
    int first = 0;
    for (size_t k = static_cast<size_t>(rate / 10); k < out.size(); ++k)
      if (std::fabs(out[k]) > std::fabs(out[static_cast<size_t>(first)]))
        first = static_cast<int>(k);
    EXPECT_NEAR(first, expected, 0.005 * expected) << bpm << " BPM";
  }
}

// A channel message cut short (a lone 0xB0, a controller number without its
// value) or with a data byte whose top bit is set is no message: it neither
// moves the parameter controller 0 drives nor ends a learn as controller 0.
TEST_F(Lv2PluginTest, ShortOrBrokenMidiMessagesAreIgnored) {
  Lv2TestHost host;
  ASSERT_TRUE(host.handle);
  host.activate();
  Lv2TestHost::Saved s = host.save();
  setChunkFloat(s.bytes, 1664 + 4 * kMix, 0.5f / 129.0f);  // CC 0 drives Mix
  ASSERT_EQ(host.restore(s), LV2_STATE_SUCCESS);
  host.run();
  VEK& effect = static_cast<korvalv2::Lv2Korva*>(host.handle)->effect();
  const float mix = effect.getParameter(kMix);
  ASSERT_GT(mix, 0.0f);
  const std::vector<std::vector<uint8_t>> broken = {
      {0xB0}, {0xB3, 0x00}, {0xB0, 0x00, 0x80}, {0xB0, 0x80, 0x00}, {0xC0}, {0xE0, 0x00}};
  auto sendBroken = [&] {
    for (const auto& m : broken) host.addMidiBytes(0, m.data(), static_cast<uint32_t>(m.size()));
    host.run();
  };
  sendBroken();
  EXPECT_EQ(effect.getParameter(kMix), mix);
  effect.startLearn();
  effect.setLearnTarget(kFbck);
  sendBroken();
  EXPECT_TRUE(effect.isLearnActive());
  EXPECT_EQ(effect.getParameterController(kFbck), kNoAssignment);
  effect.stopLearn();

  // Whole messages around them still arrive.
  const uint8_t program[2] = {0xC0, 0x05}, full[3] = {0xB0, 0x00, 0x7F};
  host.addMidiBytes(0, program, 2);
  host.addMidiBytes(1, broken[0].data(), 1);
  host.addMidiBytes(2, full, 3);
  host.run();
  EXPECT_EQ(effect.getParameter(kMix), 1.0f);
}

// Events a careless host may send: sizes that run past the sequence, MIDI
// of no or too many bytes, unknown types and keys, a position whose values
// are of the wrong type or not finite. None is read past its end, none
// changes the state, the output stays finite.
TEST_F(Lv2PluginTest, OddAtomEventsAreIgnored) {
  Lv2TestHost host;
  ASSERT_TRUE(host.handle);
  host.activate();
  host.run(0.5f);
  const std::vector<uint8_t> before = host.save().bytes;

  UridTable& u = host.urids;
  const LV2_URID midi = u.id(LV2_MIDI__MidiEvent), position = u.id(LV2_TIME__Position);
  const LV2_URID object = u.id(LV2_ATOM__Object), sequence = u.id(LV2_ATOM__Sequence);
  std::vector<uint8_t> bytes;
  auto put = [&bytes](const void* p, size_t n) {
    const auto* c = static_cast<const uint8_t*>(p);
    bytes.insert(bytes.end(), c, c + n);
    while (bytes.size() % 8) bytes.push_back(0);
  };
  auto event = [&](int64_t frame, uint32_t size, uint32_t type, const void* body, size_t n) {
    LV2_Atom_Event e{};
    e.time.frames = frame;
    e.body.size = size;
    e.body.type = type;
    bytes.insert(bytes.end(), reinterpret_cast<uint8_t*>(&e),
                 reinterpret_cast<uint8_t*>(&e) + sizeof e);
    put(body, n);
  };
  LV2_Atom_Sequence head{};
  head.atom.type = sequence;
  bytes.insert(bytes.end(), reinterpret_cast<uint8_t*>(&head),
               reinterpret_cast<uint8_t*>(&head) + sizeof head);
  const uint8_t sysex[5] = {0xF0, 0x7E, 0x00, 0x09, 0xF7};
  const uint8_t dataOnly[3] = {0x07, 0x07, 0x07};
  event(-5, 0, midi, nullptr, 0);
  event(1 << 30, 5, midi, sysex, 5);
  event(3, 3, midi, dataOnly, 3);
  event(4, 3, u.id("urn:korva-test:unknown-event"), dataOnly, 3);
  // A position with a text tempo, a NaN beat and a property that claims
  // more bytes than the object has.
  struct {
    LV2_Atom_Object_Body body;
    LV2_Atom_Property_Body bpm;
    char text[8];
    LV2_Atom_Property_Body beat;
    double nan;
    LV2_Atom_Property_Body runaway;
  } pos{};
  pos.body.otype = position;
  pos.bpm.key = u.id(LV2_TIME__beatsPerMinute);
  pos.bpm.value = {8, u.id(LV2_ATOM__String)};
  std::memcpy(pos.text, "fast", 5);
  pos.beat.key = u.id(LV2_TIME__beat);
  pos.beat.value = {8, u.id(LV2_ATOM__Double)};
  pos.nan = std::numeric_limits<double>::quiet_NaN();
  pos.runaway.key = u.id(LV2_TIME__speed);
  pos.runaway.value = {1000, u.id(LV2_ATOM__Float)};
  event(5, sizeof pos, object, &pos, sizeof pos);
  const size_t endOfPosition = bytes.size();
  // Last a MIDI header whose three bytes would lie past the end of the
  // sequence.
  event(7, 3, midi, nullptr, 0);

  // Each sequence in a buffer exactly as long as it is: a read past its end
  // is caught by ASan.
  auto runExact = [&](bool wrongType) {
    auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(bytes.data());
    seq->atom.size = static_cast<uint32_t>(bytes.size() - sizeof(LV2_Atom));
    seq->atom.type = wrongType ? u.id(LV2_ATOM__Chunk) : sequence;
    auto* exact = new uint8_t[bytes.size()];
    std::memcpy(exact, bytes.data(), bytes.size());
    host.descriptor->connect_port(host.handle, korvalv2::kPortEvents, exact);
    host.descriptor->run(host.handle, Lv2TestHost::kBlock);
    host.descriptor->connect_port(host.handle, korvalv2::kPortEvents, host.sequence.data());
    delete[] exact;
  };
  runExact(false);
  runExact(true);               // a sequence of another type is not read at all
  bytes.resize(endOfPosition);  // now the position's runaway property ends the buffer
  runExact(false);

  for (uint32_t k = 0; k < Lv2TestHost::kBlock; ++k) ASSERT_TRUE(std::isfinite(host.audio[2][k]));
  EXPECT_EQ(host.save().bytes, before);
}

// run is the audio thread's: port changes, MIDI, positions and audio
// without a single allocation (the bundle declares lv2:hardRTCapable).
TEST_F(Lv2PluginTest, RunDoesNotAllocate) {
  Lv2TestHost host;
  ASSERT_TRUE(host.handle);
  host.activate();
  host.run(0.25f);
  const long before = allocationCount();
  for (int block = 0; block < 40; ++block) {
    host.controls[kFbck] = -6.0f - static_cast<float>(block % 7);
    host.controls[kDlyClk] = static_cast<float>(block % 2);
    host.controls[kRate] = 0.5f + 0.1f * static_cast<float>(block);
    host.addPosition(0, 100.0f + static_cast<float>(block), 4.0 * block);
    host.addMidi(block % 256, 0xB0, 1, static_cast<uint8_t>(block));
    host.run(0.25f);
  }
  EXPECT_EQ(allocationCount(), before);
}
