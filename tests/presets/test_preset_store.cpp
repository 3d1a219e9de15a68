// The bank of presets, the factory presets and the host's program operations.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "presets/FactoryPresets.h"
#include "tests/presets/PresetTestEffect.h"
#include "tests/support/FakeHost.h"

namespace {

std::string nameOf(PresetTestEffect& e, int index) {
  char text[64];
  std::memset(text, 'x', sizeof text);
  EXPECT_TRUE(e.getProgramNameIndexed(0, index, text));
  return std::string(text);
}

// The nearest float to a decimal, as the C library reads it.
float nearest(const char* decimal) {
  return std::strtof(decimal, nullptr);
}

}  // namespace

TEST(FactoryPresets, NamesInBankOrder) {
  PresetTestEffect e;
  const char* names[kNumPresets] = {
      "default",       "wiper",        "8th fast tape",    "didgee",  "dotted 8th slow tape",
      "light flanger", "wow tape",     "16th downsampled", "doubler", "running up",
      "deep flanger",  "lezlie",       "fourforty fast",   "vocoder", "fourforty slow",
      "driven crazy",  "16th slapback"};
  for (int p = 0; p < kNumPresets; ++p) {
    EXPECT_EQ(nameOf(e, p), names[p]) << p;
    // Zero-filled behind the text.
    const PresetRecord& r = e.presetStore()[p];
    for (size_t i = std::strlen(names[p]); i < kPresetNameLength; ++i) EXPECT_EQ(r.name[i], 0);
  }
}

TEST(FactoryPresets, ValuesAreTheNearestFloatsOfTheTable) {
  PresetTestEffect e;
  struct Row {
    int preset;
    const char* values[kNumParams];
  };
  // All 17 rows typed from the preset sheet, read by strtof.
  const Row rows[] = {
      {0,
       {"0.5", "0.5", "0.5", "0.624961", "0.25", "0.25", "0", "0.25", "0.25", "0.5", "0", "0.5",
        "0", "0.25", "0.75", "0.25", "0.1", "0.038462"}},
      {1,
       {"0.6", "0.3885", "0.5", "0.000344", "0.25", "0.75", "0.9975", "0.75", "0.25", "0.5",
        "0.5965", "0", "0", "0.25", "0.75", "0.25", "0.1", "0.038462"}},
      {2,
       {"0.5", "0.5", "0.324497", "0.000094", "0.25", "0.25", "0.404367", "0.25", "0.25", "0.5",
        "0", "0.5", "0", "0.25", "0.75", "0.75", "0.1", "0.423077"}},
      {3,
       {"0.5", "0.5", "0.5", "0.002531", "0.25", "0.75", "0.9515", "0.75", "0.75", "0.1895", "0",
        "0.5", "0.514", "0.25", "0.75", "0.25", "0.1", "0.038462"}},
      {4,
       {"0.604228", "0.423066", "0.407912", "0.00007", "0.75", "0.25", "0.565557", "0.75", "0.25",
        "0.5", "0", "0.5", "0", "0.25", "0.75", "0.75", "0.3", "0.730769"}},
      {5,
       {"0.5", "0.5", "0.490091", "0.000344", "0.25", "0.75", "0", "0.25", "0.25", "0.761633",
        "0.811078", "0", "0.138538", "0.25", "0.75", "0.25", "0.1", "0.038462"}},
      {6,
       {"0.622706", "0.479528", "0.459736", "0.053856", "0.25", "0.25", "0.53191", "0.75", "0.25",
        "0.5", "0.1", "0.31", "0.5", "0.25", "0.75", "0.25", "0.1", "0.038462"}},
      {7,
       {"0.5", "0.5", "0.4", "0.000094", "0.25", "0.25", "0.48", "0.25", "0.25", "1", "0", "0.5",
        "0", "0.25", "0.75", "0.75", "0.1", "0.653846"}},
      {8,
       {"0.5", "0.584263", "0.404367", "0.002481", "0.75", "0.25", "0", "0.25", "0.25", "0.5",
        "0.486754", "0.436657", "0.098389", "0.25", "0.75", "0.25", "0.1", "0.038462"}},
      {9,
       {"0.5", "0.5", "0.324497", "0.000094", "0.25", "0.25", "0.5", "0.25", "0.25", "0.5", "0.75",
        "0.5", "0", "0.25", "0.75", "0.75", "0.1", "0.423077"}},
      {10,
       {"0.5", "0.5", "0.490091", "0.000344", "0.25", "0.75", "0.921294", "0.25", "0.75",
        "0.761633", "0.811078", "0", "0.138538", "0.25", "0.75", "0.25", "0.1", "0.038462"}},
      {11,
       {"0.5", "0.523482", "0.5", "0.000344", "0.25", "0.25", "0.431722", "0.75", "0.25",
        "0.840741", "0.633435", "0.133435", "0.964954", "0.25", "0.75", "0.25", "0.1", "0.038462"}},
      {12,
       {"0.622706", "0.479528", "0.379736", "0.053856", "0.25", "0.25", "0.53191", "0.75", "0.25",
        "0.5", "0", "0.5", "0", "0.25", "0.75", "0.25", "0.1", "0.038462"}},
      {13,
       {"0.5", "0.474248", "0.5", "0.002143", "0.25", "0.75", "0.869564", "0.25", "0.75", "0.5",
        "0.150375", "0.5", "0.932633", "0.25", "0.75", "0.25", "0.1", "0.038462"}},
      {14,
       {"0.624045", "0.436143", "0.379736", "0.053756", "0.75", "0.25", "0.398243", "0.75", "0.25",
        "0.5", "0", "0.5", "0", "0.25", "0.75", "0.25", "0.1", "0.038462"}},
      {15,
       {"0.891268", "0.343935", "0.973056", "0.000344", "0.25", "0.25", "0", "0.25", "0.25", "0.5",
        "0", "0.5", "0", "0.25", "0.75", "0.25", "0.1", "0.038462"}},
      {16,
       {"0.604228", "0.5", "0.407912", "0.019531", "0.75", "0.25", "0", "0.75", "0.25", "0.5", "0",
        "0.5", "0", "0.25", "0.75", "0.75", "0.1", "0.730769"}},
  };
  static_assert(sizeof(rows) / sizeof(rows[0]) == kNumPresets, "every preset");
  for (const Row& row : rows)
    for (int i = 0; i < kNumParams; ++i)
      EXPECT_EQ(e.presetStore()[row.preset].values[i], nearest(row.values[i]))
          << "preset " << row.preset << " parameter " << i;
  // Not a rounded 0.02.
  EXPECT_NE(e.presetStore()[16].values[kDlyTime], 0.02f);
}

TEST(FactoryPresets, SwitchesAndStepsSitInTheMiddleOfTheirSteps) {
  PresetTestEffect e;
  const int switches[] = {kDlyx2, kDlyInv, kHiCut, kFbInv, kRptInf, kPower, kDlyClk};
  for (int p = 0; p < kNumPresets; ++p) {
    const PresetRecord& r = e.presetStore()[p];
    for (int s : switches)
      EXPECT_TRUE(r.values[s] == 0.25f || r.values[s] == 0.75f) << p << " " << s;
    EXPECT_EQ(r.values[kPower], 0.75f) << p;  // every preset is audible
    // Within 0.001 of a step centre (n + 0.5) / 5 and / 13.
    float num = r.values[kNum] * 5.0f - 0.5f, den = r.values[kDen] * 13.0f - 0.5f;
    EXPECT_NEAR(num, std::round(num), 0.001f) << p;
    EXPECT_NEAR(den, std::round(den), 0.001f) << p;
    for (float v : r.values) EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << p;
  }
  // Step indices worked out by hand: 13 x 0.423077 = 5.5, 13 x 0.730769 = 9.5,
  // 13 x 0.653846 = 8.5, 5 x 0.3 = 1.5.
  EXPECT_EQ(quantizeSteps(e.presetStore()[2].values[kDen], 13), 5);
  EXPECT_EQ(quantizeSteps(e.presetStore()[4].values[kNum], 5), 1);
  EXPECT_EQ(quantizeSteps(e.presetStore()[4].values[kDen], 13), 9);
  EXPECT_EQ(quantizeSteps(e.presetStore()[7].values[kDen], 13), 8);
  EXPECT_EQ(quantizeSteps(e.presetStore()[16].values[kDen], 13), 9);
}

TEST(PresetStore, ConstructionLeavesPresetZeroCurrentWithoutTouchingTheHost) {
  FakeHost host;
  PresetTestEffect e(FakeHost::callback());
  EXPECT_TRUE(host.calls.empty());
  EXPECT_EQ(e.getCurrentPreset(), 0);
  EXPECT_EQ(e.getProgram(), 0);
  EXPECT_FALSE(e.isLoadingPreset());
  EXPECT_FALSE(e.isLearnActive());
  EXPECT_FALSE(e.isForgetActive());
  EXPECT_EQ(e.getLearnTarget(), 999);
  EXPECT_EQ(e.getAeffect()->flags & effFlagsProgramChunks, effFlagsProgramChunks);
  EXPECT_EQ(e.getAeffect()->numParams, 36);
  EXPECT_EQ(e.getAeffect()->numPrograms, 1);
  char name[32];
  e.getProgramName(name);
  EXPECT_STREQ(name, "default");
  // The preset system's own answer for Power, before any plug-in class applies it.
  EXPECT_EQ(e.CPresetSystemEffect::getParameter(kPower), 0.75f);
}

TEST(PresetStore, SelectPresetAppliesAllValuesInOrderThenUpdatesTheDisplay) {
  FakeHost host;
  PresetTestEffect e(FakeHost::callback());
  e.selectPreset(6);
  ASSERT_EQ(e.calls.size(), 18u);
  for (int i = 0; i < kNumParams; ++i) {
    EXPECT_EQ(e.calls[i].index, i);
    EXPECT_EQ(e.calls[i].value, e.presetStore()[6].values[i]);
  }
  EXPECT_EQ(e.getCurrentPreset(), 6);
  EXPECT_EQ(host.count(audioMasterUpdateDisplay), 1);
  EXPECT_FALSE(e.isLoadingPreset());
  EXPECT_EQ(e.getParameter(kPower), 0.75f);
  char name[32];
  e.getProgramName(name);
  EXPECT_STREQ(name, "wow tape");
}

TEST(PresetStore, SelectPresetOutsideTheBankDoesNothing) {
  FakeHost host;
  PresetTestEffect e(FakeHost::callback());
  e.selectPreset(2);
  PresetSnapshot before = PresetSnapshot::of(e);
  e.selectPreset(17);
  e.selectPreset(-1);
  EXPECT_TRUE(PresetSnapshot::of(e) == before);
  EXPECT_EQ(host.count(audioMasterUpdateDisplay), 1);
}

TEST(PresetStore, EditIsKeptInThePresetAcrossSelections) {
  PresetTestEffect e;
  e.selectPreset(3);
  e.setParameter(kFbck, 0.123f);
  EXPECT_EQ(e.presetStore()[3].values[kFbck], 0.123f);
  e.selectPreset(4);
  EXPECT_EQ(e.getParameter(kFbck), e.presetStore()[4].values[kFbck]);
  e.selectPreset(3);
  EXPECT_EQ(e.getParameter(kFbck), 0.123f);
  // Only preset 3 changed.
  PresetTestEffect fresh;
  for (int p = 0; p < kNumPresets; ++p) {
    if (p == 3) continue;
    EXPECT_EQ(std::memcmp(&e.presetStore()[p], &fresh.presetStore()[p], sizeof(PresetRecord)), 0);
  }
}

TEST(PresetStore, ApplyingAPresetIsNoLearnGesture) {
  PresetTestEffect e;
  e.startLearn();
  e.selectPreset(5);
  EXPECT_EQ(e.getLearnTarget(), -1);
  EXPECT_TRUE(e.isLearnActive());
  e.startForget();
  e.assignController(kMix, 7);
  e.selectPreset(6);
  EXPECT_TRUE(e.isForgetActive());
  EXPECT_EQ(e.getParameterController(kMix), 7);
}

TEST(PresetStore, SetProgramIsIgnored) {
  PresetTestEffect e;
  e.selectPreset(2);
  PresetSnapshot before = PresetSnapshot::of(e);
  e.setProgram(5);
  EXPECT_TRUE(PresetSnapshot::of(e) == before);
  EXPECT_EQ(e.getProgram(), 0);
  EXPECT_EQ(e.getCurrentPreset(), 2);
  // Through the dispatcher too.
  e.dispatcher(effSetProgram, 0, 5, nullptr, 0.0f);
  EXPECT_TRUE(PresetSnapshot::of(e) == before);
  EXPECT_EQ(e.dispatcher(effGetProgram, 0, 0, nullptr, 0.0f), 0);
}

TEST(PresetStore, ProgramNamesAreCutTo24Bytes) {
  PresetTestEffect e;
  e.selectPreset(1);
  char longName[] = "abcdefghijklmnopqrstuvwxyz0123";  // 30 characters
  e.setProgramName(longName);
  char text[40];
  std::memset(text, 'x', sizeof text);
  e.getProgramName(text);
  EXPECT_EQ(std::string(text), "abcdefghijklmnopqrstuvwx");
  EXPECT_EQ(text[24], 0);
  // Exactly 24 characters: stored without a terminator.
  EXPECT_EQ(std::memcmp(e.presetStore()[1].name, "abcdefghijklmnopqrstuvwx", 24), 0);
  // A shorter name zero-fills what the long one left.
  char shortName[] = "short";
  e.setProgramName(shortName);
  const PresetRecord& r = e.presetStore()[1];
  EXPECT_STREQ(r.name, "short");
  for (int i = 5; i < 24; ++i) EXPECT_EQ(r.name[i], 0) << i;
  // Other presets keep their names.
  EXPECT_EQ(nameOf(e, 0), "default");
  EXPECT_EQ(nameOf(e, 2), "8th fast tape");
}

TEST(PresetStore, ProgramNameIndexedAnswersForTheWholeBank) {
  PresetTestEffect e;
  EXPECT_EQ(nameOf(e, 16), "16th slapback");
  EXPECT_EQ(nameOf(e, 7), "16th downsampled");
  char text[8] = "keep";
  EXPECT_FALSE(e.getProgramNameIndexed(0, 17, text));
  EXPECT_FALSE(e.getProgramNameIndexed(0, -1, text));
  EXPECT_FALSE(e.getProgramNameIndexed(3, 1000, text));
  EXPECT_STREQ(text, "keep");
  char through[40] = {0};
  EXPECT_EQ(e.dispatcher(effGetProgramNameIndexed, 16, 0, through, 0.0f), 1);
  EXPECT_STREQ(through, "16th slapback");
}

TEST(PresetStore, RenameCurrentPresetStoresAndUpdatesTheDisplay) {
  FakeHost host;
  PresetTestEffect e(FakeHost::callback());
  e.selectPreset(9);
  host.calls.clear();
  e.renameCurrentPreset("a name that is far longer than twenty-four");
  EXPECT_EQ(std::memcmp(e.presetStore()[9].name, "a name that is far longe", 24), 0);
  EXPECT_EQ(host.count(audioMasterUpdateDisplay), 1);
  e.renameCurrentPreset(nullptr);
  EXPECT_EQ(std::memcmp(e.presetStore()[9].name, "a name that is far longe", 24), 0);
  EXPECT_EQ(host.count(audioMasterUpdateDisplay), 2);
  e.renameCurrentPreset("x");
  EXPECT_EQ(nameOf(e, 9), "x");
}

TEST(PresetStore, ResumeAsksForMidiAndCanDoDeclaresMidiInput) {
  FakeHost host;
  PresetTestEffect e(FakeHost::callback());
  e.resume();
  auto wants = host.callsOf(audioMasterWantMidi);
  ASSERT_EQ(wants.size(), 1u);
  EXPECT_EQ(wants[0].value, 1);

  char receive[] = "receiveVstMidiEvent";
  for (VstIntPtr answer : {1, 0, -1, 2}) {
    host.canDoAnswer = answer;
    EXPECT_EQ(e.canDo(receive), 1) << answer;
  }
  host.canDoAnswer = 1;
  char trailingBlank[] = "receiveVstMidiEvent ";
  char lastLetterMissing[] = "receiveVstMidiEven";
  char send[] = "sendVstMidiEvent";
  char other[] = "bypass";
  EXPECT_EQ(e.canDo(trailingBlank), 0);
  EXPECT_EQ(e.canDo(lastLetterMissing), 0);
  EXPECT_EQ(e.canDo(send), 0);
  EXPECT_EQ(e.canDo(other), 0);
  EXPECT_EQ(e.canDo(nullptr), 0);

  // Without a host nothing is asked; MIDI input is declared all the same.
  PresetTestEffect alone;
  alone.resume();
  EXPECT_EQ(alone.canDo(receive), 1);
}

TEST(PresetStore, MissingStoreOrTablesAreHandledQuietly) {
  PresetTestEffect e;
  e.dropStore();
  e.setParameter(kFbck, 0.5f);
  EXPECT_EQ(e.CPresetSystemEffect::getParameter(18), -1.0f);
  char text[32] = "keep";
  EXPECT_FALSE(e.getProgramNameIndexed(0, 0, text));
  e.getProgramName(text);
  EXPECT_STREQ(text, "");
  char name[] = "new";
  e.setProgramName(name);
  e.renameCurrentPreset("new");
  e.selectPreset(1);
  e.fillFactoryPresets();
  void* data = nullptr;
  EXPECT_EQ(e.getChunk(&data), 0);
  EXPECT_EQ(data, nullptr);
  unsigned char block[kChunkSize] = {0};
  EXPECT_EQ(e.setChunk(block, kChunkSize), -1);

  PresetTestEffect t;
  t.dropTables();
  EXPECT_EQ(t.CPresetSystemEffect::getParameter(20), -1.0f);
  EXPECT_EQ(t.getParameterController(0), 999);
  EXPECT_EQ(t.getControllerParameter(7), 999);
  t.assignController(0, 7);
  t.unassignParameter(0);
  t.unassignController(7);
  t.resetControllerMap();
  t.setParameter(20, 0.06f);
  EXPECT_EQ(sendEvents(t, {midiEvent(0xB0, 7, 100)}), 0);
  // Without the tables the base entry does nothing at all: no edit is recorded
  // and no learn target taken.
  const float mixBefore = t.presetStore()[0].values[kMix];
  t.startLearn();
  t.setParameter(kMix, 0.3f);
  EXPECT_EQ(t.presetStore()[0].values[kMix], mixBefore);
  EXPECT_EQ(t.getLearnTarget(), -1);
  EXPECT_EQ(t.raw[kMix], 0.3f);  // the plug-in class's own part still runs

  PresetTestEffect c;
  c.dropChunkBuffer();
  EXPECT_EQ(c.getChunk(&data), 0);
  EXPECT_EQ(c.setChunk(block, kChunkSize), -1);
}
