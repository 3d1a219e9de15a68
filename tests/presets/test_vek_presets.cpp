// The preset system inside the real plug-in, reached as a host reaches it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/AudioEffect.h"
#include "presets/CPresetSystemEffect.h"
#include "tests/presets/PresetTestEffect.h"
#include "tests/support/FakeHost.h"
#include "tests/support/TempConfigHome.h"

namespace {

struct Plugin {
  Plugin() : record(pluginEntry(FakeHost::callback())) {
    effect = record ? dynamic_cast<CPresetSystemEffect*>(static_cast<AudioEffect*>(record->object))
                    : nullptr;
  }
  ~Plugin() {
    if (record) record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f);
  }
  float get(int index) { return record->getParameter(record, index); }
  void set(int index, float v) { record->setParameter(record, index, v); }
  VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                     void* ptr = nullptr) {
    return record->dispatcher(record, opcode, index, value, ptr, 0.0f);
  }
  std::string programName() {
    char text[64] = {0};
    dispatch(effGetProgramName, 0, 0, text);
    return text;
  }

  AEffect* record;
  CPresetSystemEffect* effect;
};

}  // namespace

class VekPresets : public ::testing::Test {
 protected:
  TempConfigHome config;  // no stored defaults
  FakeHost host;
};

TEST_F(VekPresets, ConstructionAppliesPresetZeroAndUpdatesTheDisplayTwice) {
  Plugin p;
  ASSERT_NE(p.record, nullptr);
  ASSERT_NE(p.effect, nullptr);
  auto updates = host.callsOf(audioMasterUpdateDisplay);
  ASSERT_EQ(updates.size(), 2u);
  for (const HostCall& c : updates) EXPECT_EQ(c.effect, p.record);
  EXPECT_EQ(host.count(audioMasterVersion), 2);
  EXPECT_EQ(p.programName(), "default");
  EXPECT_EQ(p.get(kPower), 0.75f);
  EXPECT_EQ(p.effect->getCurrentPreset(), 0);
  EXPECT_EQ(p.get(18), 1.0f);
  EXPECT_EQ(p.record->uniqueID, kPluginId);
  EXPECT_EQ(p.effect->getPluginId(), kPluginId);
}

TEST_F(VekPresets, EditAndReturnThroughTheRocker) {
  Plugin p;
  p.effect->selectPreset(2);
  p.set(kFbck, 0.42f);  // a host automation: recorded in preset 2
  // The rocker steps to p + 1 and back to p - 1, clamped to the bank.
  p.effect->selectPreset(std::min(p.effect->getCurrentPreset() + 1, 16));
  EXPECT_EQ(p.effect->getCurrentPreset(), 3);
  EXPECT_EQ(p.get(kFbck), p.effect->presetStore()[3].values[kFbck]);
  p.effect->selectPreset(std::max(p.effect->getCurrentPreset() - 1, 0));
  EXPECT_EQ(p.get(kFbck), 0.42f);

  // At 16 upward stays at 16 and re-applies it; at 0 downward likewise.
  p.effect->selectPreset(16);
  p.set(kMix, 0.9f);
  const int before = host.count(audioMasterUpdateDisplay);
  p.effect->selectPreset(std::min(p.effect->getCurrentPreset() + 1, 16));
  EXPECT_EQ(p.effect->getCurrentPreset(), 16);
  EXPECT_EQ(host.count(audioMasterUpdateDisplay), before + 1);
  EXPECT_EQ(p.get(kMix), 0.9f);
  EXPECT_EQ(p.programName(), "16th slapback");
  p.effect->selectPreset(0);
  p.effect->selectPreset(std::max(p.effect->getCurrentPreset() - 1, 0));
  EXPECT_EQ(p.effect->getCurrentPreset(), 0);
  EXPECT_EQ(p.programName(), "default");
}

TEST_F(VekPresets, ProgramOperationsThroughTheDispatcher) {
  Plugin p;
  p.effect->selectPreset(5);
  p.dispatch(effSetProgram, 0, 0);
  EXPECT_EQ(p.effect->getCurrentPreset(), 5);
  EXPECT_EQ(p.dispatch(effGetProgram), 0);
  char name[] = "abcdefghijklmnopqrstuvwxyz0123";
  p.dispatch(effSetProgramName, 0, 0, name);  // an open strip follows at idle
  EXPECT_EQ(p.programName(), "abcdefghijklmnopqrstuvwx");
  char indexed[64] = {0};
  EXPECT_EQ(p.dispatch(effGetProgramNameIndexed, 16, 0, indexed), 1);
  EXPECT_STREQ(indexed, "16th slapback");
  EXPECT_EQ(p.dispatch(effGetProgramNameIndexed, 17, 0, indexed), 0);

  host.canDoAnswer = 1;
  char receive[] = "receiveVstMidiEvent";
  EXPECT_EQ(p.dispatch(effCanDo, 0, 0, receive), 1);
  host.canDoAnswer = -1;
  EXPECT_EQ(p.dispatch(effCanDo, 0, 0, receive), 1);
  host.calls.clear();
  p.dispatch(effMainsChanged, 0, 1);
  auto wants = host.callsOf(audioMasterWantMidi);
  ASSERT_EQ(wants.size(), 1u);
  EXPECT_EQ(wants[0].value, 1);
}

TEST_F(VekPresets, LearnAndDriveThroughTheHostInterface) {
  Plugin p;
  p.effect->startLearn();
  p.effect->selectPreset(4);  // applying a preset is no gesture
  EXPECT_EQ(p.effect->getLearnTarget(), -1);
  p.set(kFbck, 0.1f);
  EventList list;
  list.add(midiEvent(0xB4, 74, 64));
  EXPECT_EQ(p.dispatch(effProcessEvents, 0, 0, list.get()), 1);
  EXPECT_FALSE(p.effect->isLearnActive());  // the editor's learn button is told
  EXPECT_EQ(p.effect->getParameterController(kFbck), 74);
  EXPECT_EQ(p.get(kFbck), 64.0f / 127.0f);
  EXPECT_EQ(p.get(18 + kFbck), 74.5f / 129.0f);
  EXPECT_EQ(p.effect->presetStore()[4].values[kFbck], 64.0f / 127.0f);

  p.effect->startForget();
  p.set(kFbck, 0.2f);
  EXPECT_FALSE(p.effect->isForgetActive());
  EXPECT_EQ(p.effect->getParameterController(kFbck), 999);

  // Assignment parameters set by the host.
  p.set(20, 0.06f);
  EXPECT_EQ(p.effect->getParameterController(kMix), 7);
  EventList cc;
  cc.add(midiEvent(0xB0, 7, 127));
  p.dispatch(effProcessEvents, 0, 0, cc.get());
  EXPECT_EQ(p.get(kMix), 1.0f);
}

TEST_F(VekPresets, ChunkMovesTheWholeStateBetweenInstances) {
  Plugin a;
  a.effect->selectPreset(11);
  a.set(kDepth, 0.33f);
  a.set(18 + kRate, 10.5f / 129.0f);
  char name[] = "my lezlie";
  a.dispatch(effSetProgramName, 0, 0, name);
  void* data = nullptr;
  ASSERT_EQ(a.dispatch(effGetChunk, 0, 0, &data), 1736);
  std::vector<unsigned char> saved(static_cast<unsigned char*>(data),
                                   static_cast<unsigned char*>(data) + 1736);

  Plugin b;
  host.calls.clear();
  EXPECT_EQ(b.dispatch(effSetChunk, 0, 1736, saved.data()), 0);
  EXPECT_EQ(host.count(audioMasterUpdateDisplay), 1);
  EXPECT_EQ(b.effect->getCurrentPreset(), 11);
  EXPECT_EQ(b.programName(), "my lezlie");
  for (int i = 0; i < 36; ++i) EXPECT_EQ(b.get(i), a.get(i)) << i;
  EXPECT_EQ(b.get(kDepth), 0.33f);
  EXPECT_EQ(b.effect->getParameterController(kRate), 10);
  EXPECT_EQ(b.dispatch(effSetChunk, 0, 1735, saved.data()), -1);
  EXPECT_EQ(b.dispatch(effSetChunk, 1, 1737, saved.data()), -1);
}

namespace {

std::vector<unsigned char> chunkOf(Plugin& p) {
  void* data = nullptr;
  const VstIntPtr size = p.dispatch(effGetChunk, 0, 0, &data);
  if (size != 1736 || !data) return {};
  return std::vector<unsigned char>(static_cast<unsigned char*>(data),
                                    static_cast<unsigned char*>(data) + 1736);
}

// What hosts store of each parameter and set again after restoring the
// chunk: Qtractor clamps to 0..1, MusE prints about seven significant digits
// (six is what Qt prints by default).
float clampedCopy(float v) {
  return v < 0.0f ? 0.0f : v > 1.0f ? 1.0f : v;
}
float printedCopy(float v, int digits) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(v));
  return std::strtof(text, nullptr);
}
float sevenDigitCopy(float v) {
  return printedCopy(v, 7);
}
float sixDigitCopy(float v) {
  return printedCopy(v, 6);
}

}  // namespace

// A host that restores the chunk and then sets every parameter to what it
// stored of it leaves the chunk as it was: the factory bank with any preset
// current, and a state with assignments, a hold, sync and odd values.
TEST_F(VekPresets, HostsThatWriteBackWhatTheyReadChangeNothing) {
  std::vector<std::vector<unsigned char>> states;
  {
    Plugin p;
    for (int h = 0; h < 17; ++h) {
      p.effect->selectPreset(h);
      states.push_back(chunkOf(p));
    }
    p.effect->selectPreset(9);
    const float odd[] = {0.123456789f, 1.0f / 3.0f, 0.99999994f, 1e-7f, 0.7777777f};
    for (int i : {kInput, kOutput, kMix, kFbck, kManVCO, kDepth, kWaveform, kRate})
      p.set(i, odd[i % 5]);
    p.set(kDlyTime, 0.31415927f);
    p.set(18 + kMix, 0.06f);
    p.set(18 + kInput, -0.25f);
    p.effect->startLearn();
    p.set(kFbck, 0.5f);
    EventList cc;
    cc.add(midiEvent(0xB0, 74, 33));
    p.dispatch(effProcessEvents, 0, 0, cc.get());
    states.push_back(chunkOf(p));
    p.set(kDlyClk, 0.75f);  // synced
    p.set(kNum, 0.5f);
    states.push_back(chunkOf(p));
    p.set(kRptInf, 0.75f);  // held
    states.push_back(chunkOf(p));
  }
  for (auto copy : {clampedCopy, sevenDigitCopy, sixDigitCopy}) {
    for (size_t s = 0; s < states.size(); ++s) {
      Plugin p;
      ASSERT_EQ(p.dispatch(effSetChunk, 0, 1736, states[s].data()), 0);
      float stored[36];
      for (int i = 0; i < 36; ++i) stored[i] = copy(p.get(i));
      for (int i = 0; i < 36; ++i) p.set(i, stored[i]);
      const std::vector<unsigned char> after = chunkOf(p);
      int differing = 0;
      for (size_t b = 0; b < after.size(); ++b) differing += after[b] != states[s][b];
      EXPECT_EQ(differing, 0) << "state " << s << (copy == clampedCopy ? ", clamped" : ", printed");
    }
  }
}

// While sync is on the engine keeps its synced delay and the preset keeps
// the DlyTime it was saved with; setting that DlyTime again changes neither.
// Once sync is off, the same value is a real change: the delay follows it.
TEST_F(VekPresets, PresetDelayTimeCountsAgainOnceSyncIsOff) {
  Plugin p;
  p.effect->selectPreset(16);  // "16th slapback", synced
  const float saved = p.effect->presetStore()[16].values[kDlyTime];
  const float synced = p.get(kDlyTime);
  ASSERT_NE(synced, saved);
  p.set(kDlyTime, saved);
  EXPECT_EQ(p.get(kDlyTime), synced);
  EXPECT_EQ(p.effect->presetStore()[16].values[kDlyTime], saved);
  p.set(kDlyClk, 0.25f);
  p.set(kDlyTime, saved);
  EXPECT_EQ(p.get(kDlyTime), saved);
}
