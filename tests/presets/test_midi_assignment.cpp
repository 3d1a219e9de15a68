// MIDI controller assignment: the two tables, parameters 18..35, learn and
// forget, and control changes driving parameters.
#include <gtest/gtest.h>

#include <string>

#include "presets/ControllerNames.h"
#include "tests/presets/PresetTestEffect.h"

namespace {

// (c + 0.5) / 129, the value that selects controller c.
float valueFor(int controller) {
  return (controller + 0.5f) / 129.0f;
}

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

size_t callsTo(const PresetTestEffect& e, int index) {
  size_t n = 0;
  for (const auto& c : e.calls) n += c.index == index;
  return n;
}

}  // namespace

TEST(MidiAssignment, StartsWithNothingAssigned) {
  PresetTestEffect e;
  for (int i = 0; i < kNumParams; ++i) {
    // Hosts read 1 for none; states and files still store 7.7480621.
    EXPECT_EQ(e.getParameter(18 + i), 1.0f);
    EXPECT_FLOAT_EQ(e.storedAssignmentValue(i), 7.7480621f);
    EXPECT_EQ(e.getParameterController(i), 999);
  }
  for (int c = 0; c < kNumControllers; ++c) EXPECT_EQ(e.getControllerParameter(c), 999);
  EXPECT_EQ(e.getParameterController(18), 999);
  EXPECT_EQ(e.getParameterController(-1), 999);
  EXPECT_EQ(e.getControllerParameter(128), 999);
  EXPECT_EQ(e.getControllerParameter(-1), 999);
  // Nothing assigned, nothing driven.
  EXPECT_EQ(sendEvents(e, {midiEvent(0xB0, 7, 100)}), 1);
  EXPECT_TRUE(e.calls.empty());
}

TEST(MidiAssignment, AssignmentParametersUse129Steps) {
  PresetTestEffect e;
  // 0.06 * 129 = 7.74: controller 7 ("main volume") drives Mix.
  e.setParameter(20, 0.06f);
  EXPECT_EQ(e.getParameterController(kMix), 7);
  EXPECT_EQ(e.getControllerParameter(7), kMix);
  EXPECT_EQ(e.getParameter(20), 7.5f / 129.0f);  // the middle of the step
  EXPECT_STREQ(controllerNames[e.getParameterController(kMix)], "main volume");
  sendEvents(e, {midiEvent(0xB3, 7, 127)});
  ASSERT_EQ(e.calls.size(), 2u);
  EXPECT_EQ(e.calls.back().index, kMix);
  EXPECT_EQ(e.getParameter(kMix), 1.0f);

  // 0.995 is at or above 128/129: none, and controller 7 no longer drives Mix.
  e.setParameter(20, 0.995f);
  EXPECT_EQ(e.getParameterController(kMix), 999);
  EXPECT_EQ(e.rawControllerParameter(7), 999);
  EXPECT_EQ(e.getParameter(20), 1.0f);
  EXPECT_EQ(e.storedAssignmentValue(kMix), 0.995f);
  size_t before = e.calls.size();
  sendEvents(e, {midiEvent(0xB0, 7, 10)});
  EXPECT_EQ(e.calls.size(), before);

  // Every controller round-trips through its value; the borders of the steps.
  for (int c = 0; c < 128; ++c) {
    e.setParameter(18, valueFor(c));
    EXPECT_EQ(e.getParameterController(kInput), c);
  }
  e.setParameter(18, 128.0f / 129.0f);
  EXPECT_EQ(e.getParameterController(kInput), 999);
  e.setParameter(18, 127.99f / 129.0f);
  EXPECT_EQ(e.getParameterController(kInput), 127);
  e.setParameter(18, -0.5f);
  EXPECT_EQ(e.getParameterController(kInput), 0);
  e.setParameter(18, 7.7480621f);
  EXPECT_EQ(e.getParameterController(kInput), 999);
  EXPECT_TRUE(tablesAreOneToOne(e));
}

TEST(MidiAssignment, ANewControllerReplacesTheOldOne) {
  PresetTestEffect e;
  e.setParameter(18 + kFbck, valueFor(20));
  e.setParameter(18 + kFbck, valueFor(21));
  EXPECT_EQ(e.getParameterController(kFbck), 21);
  EXPECT_EQ(e.rawControllerParameter(20), 999);
  sendEvents(e, {midiEvent(0xB0, 20, 50)});
  EXPECT_TRUE(e.calls.size() == 2u);  // only the two assignment settings
  // Giving a controller that another parameter holds takes it away from it.
  e.setParameter(18 + kDepth, valueFor(21));
  EXPECT_EQ(e.getParameterController(kDepth), 21);
  EXPECT_EQ(e.getParameterController(kFbck), 999);
  EXPECT_GE(e.getParameter(18 + kFbck), 128.0f / 129.0f);
  EXPECT_TRUE(tablesAreOneToOne(e));
}

TEST(MidiAssignment, LearnOnAnyChannelAppliesTheLearningMessage) {
  PresetTestEffect e;
  e.selectPreset(0);
  e.startLearn();
  EXPECT_EQ(e.getLearnTarget(), -1);
  e.setParameter(kDepth, 0.2f);
  e.setParameter(kFbck, 0.4f);  // the last moved wins
  EXPECT_EQ(e.getLearnTarget(), kFbck);
  e.calls.clear();
  EXPECT_EQ(sendEvents(e, {midiEvent(0xB4, 74, 64)}), 1);  // channel 5
  EXPECT_EQ(e.getParameterController(kFbck), 74);
  EXPECT_EQ(e.getControllerParameter(74), kFbck);
  EXPECT_FALSE(e.isLearnActive());
  EXPECT_EQ(e.getLearnTarget(), -1);
  ASSERT_EQ(e.calls.size(), 1u);
  EXPECT_EQ(e.calls[0].index, kFbck);
  EXPECT_FLOAT_EQ(e.calls[0].value, 0.503937f);
  EXPECT_EQ(e.calls[0].value, 64.0f / 127.0f);
  // The learned assignment shows in parameter 18 + Fbck.
  EXPECT_EQ(e.getParameter(18 + kFbck), valueFor(74));
  EXPECT_EQ(e.getParameterController(kDepth), 999);
  // Later messages on any channel move Fbck and are stored in the preset.
  sendEvents(e, {midiEvent(0xB0, 74, 127), midiEvent(0xBF, 74, 0)});
  ASSERT_EQ(e.calls.size(), 3u);
  EXPECT_EQ(e.calls[1].value, 1.0f);
  EXPECT_EQ(e.calls[2].value, 0.0f);
  EXPECT_EQ(e.presetStore()[0].values[kFbck], 0.0f);
}

TEST(MidiAssignment, LearnWithoutTargetAssignsNothing) {
  PresetTestEffect e;
  e.startLearn();
  sendEvents(e, {midiEvent(0xB0, 10, 1)});
  EXPECT_TRUE(e.isLearnActive());
  for (int p = 0; p < kNumParams; ++p) EXPECT_EQ(e.getParameterController(p), 999);
  EXPECT_TRUE(e.calls.empty());
}

TEST(MidiAssignment, ChannelModeControllersAreNeverLearned) {
  PresetTestEffect e;
  e.startLearn();
  e.setParameter(kRate, 0.3f);
  e.calls.clear();
  sendEvents(e, {midiEvent(0xB0, 121, 100), midiEvent(0xB0, 120, 1), midiEvent(0xB0, 127, 1)});
  EXPECT_EQ(e.getParameterController(kRate), 999);
  EXPECT_TRUE(e.isLearnActive());
  EXPECT_EQ(e.getLearnTarget(), kRate);
  EXPECT_TRUE(e.calls.empty());
  // 119 is still learnable.
  sendEvents(e, {midiEvent(0xB0, 119, 1)});
  EXPECT_EQ(e.getParameterController(kRate), 119);

  // Assigned through its parameter, 121 drives.
  PresetTestEffect f;
  f.setParameter(18 + kMix, valueFor(121));
  EXPECT_EQ(f.getParameterController(kMix), 121);
  EXPECT_STREQ(controllerNames[121], "reset ctrl");
  sendEvents(f, {midiEvent(0xB9, 121, 127)});
  EXPECT_EQ(f.getParameter(kMix), 1.0f);
}

TEST(MidiAssignment, LearningAControllerTakesItFromItsParameter) {
  PresetTestEffect e;
  e.setParameter(18 + kInput, valueFor(7));
  EXPECT_EQ(e.getParameterController(kInput), 7);
  e.startLearn();
  e.setParameter(kMix, 0.5f);
  sendEvents(e, {midiEvent(0xB0, 7, 32)});
  EXPECT_EQ(e.getParameterController(kMix), 7);
  EXPECT_EQ(e.getParameterController(kInput), 999);
  EXPECT_EQ(e.getControllerParameter(7), kMix);
  EXPECT_GE(e.getParameter(18 + kInput), 128.0f / 129.0f);
  EXPECT_EQ(e.getParameter(18 + kMix), valueFor(7));
  EXPECT_EQ(e.getParameter(kMix), 32.0f / 127.0f);
  EXPECT_TRUE(tablesAreOneToOne(e));

  // Relearning Mix to another controller frees controller 7.
  e.startLearn();
  e.setParameter(kMix, 0.5f);
  sendEvents(e, {midiEvent(0xB0, 11, 0)});
  EXPECT_EQ(e.getParameterController(kMix), 11);
  EXPECT_EQ(e.rawControllerParameter(7), 999);
  EXPECT_TRUE(tablesAreOneToOne(e));
}

TEST(MidiAssignment, ForgetRemovesTheNextMovedParametersController) {
  PresetTestEffect e;
  e.assignController(kFbck, 7);
  e.assignController(kMix, 8);
  EXPECT_EQ(e.getParameter(18 + kFbck), valueFor(7));
  e.startForget();
  e.setParameter(kFbck, 0.25f);
  EXPECT_FALSE(e.isForgetActive());
  EXPECT_EQ(e.getParameterController(kFbck), 999);
  EXPECT_EQ(e.getControllerParameter(7), 999);
  EXPECT_GE(e.getParameter(18 + kFbck), 128.0f / 129.0f);
  EXPECT_EQ(e.getParameterController(kMix), 8);  // forget ends after one
  e.setParameter(kMix, 0.25f);
  EXPECT_EQ(e.getParameterController(kMix), 8);
  size_t before = callsTo(e, kFbck);
  sendEvents(e, {midiEvent(0xB0, 7, 99)});
  EXPECT_EQ(callsTo(e, kFbck), before);
}

TEST(MidiAssignment, DirectTableOperations) {
  PresetTestEffect e;
  e.assignController(kRate, 1);
  EXPECT_EQ(e.getControllerParameter(1), kRate);
  EXPECT_EQ(e.getParameter(18 + kRate), valueFor(1));
  e.unassignController(1);
  EXPECT_EQ(e.getParameterController(kRate), 999);
  EXPECT_EQ(e.getControllerParameter(1), 999);
  e.assignController(kRate, 1);
  e.unassignParameter(kRate);
  EXPECT_EQ(e.rawControllerParameter(1), 999);
  // Out of range: ignored.
  e.assignController(18, 1);
  e.assignController(0, 128);
  e.assignController(-1, -1);
  e.unassignParameter(99);
  e.unassignController(999);
  for (int p = 0; p < kNumParams; ++p) EXPECT_EQ(e.getParameterController(p), 999);
  // Reset clears everything, values included.
  e.assignController(kNum, 64);
  e.assignController(kDen, 65);
  e.resetControllerMap();
  for (int p = 0; p < kNumParams; ++p) EXPECT_EQ(e.getParameter(18 + p), 1.0f);
  for (int c = 0; c < kNumControllers; ++c) EXPECT_EQ(e.rawControllerParameter(c), 999);
  // Learn and forget switches.
  e.startLearn();
  e.setLearnTarget(5);
  EXPECT_EQ(e.getLearnTarget(), 5);
  e.stopLearn();
  EXPECT_FALSE(e.isLearnActive());
  EXPECT_EQ(e.getLearnTarget(), -1);
  e.startForget();
  EXPECT_TRUE(e.isForgetActive());
  e.stopForget();
  EXPECT_FALSE(e.isForgetActive());
}

TEST(MidiAssignment, OnlyControlChangesDriveParameters) {
  PresetTestEffect e;
  e.assignController(kFbck, 0x40);
  e.assignController(kMix, 0x10);
  e.startLearn();
  e.setParameter(kDepth, 0.1f);
  e.calls.clear();
  sendEvents(e,
             {midiEvent(0x90, 0x40, 0x7F), midiEvent(0x80, 0x40, 0), midiEvent(0xE0, 0x40, 0x40),
              midiEvent(0xA0, 0x40, 1), midiEvent(0xC0, 0x40, 1), midiEvent(0xD0, 0x40, 1),
              midiEvent(0xF2, 0x10, 0x40), midiEvent(0xF0, 0x40, 0x40), midiEvent(0xFF, 0x10, 1)});
  EXPECT_TRUE(e.calls.empty());
  EXPECT_TRUE(e.isLearnActive());  // nothing was taken for a controller

  // A system-exclusive event whose bytes look like a control change.
  VstMidiEvent sysex = midiEvent(0xB0, 0x40, 0x7F);
  sysex.type = kVstSysExType;
  EventList list;
  list.add(sysex);
  EXPECT_EQ(e.processEvents(list.get()), 1);
  EXPECT_TRUE(e.calls.empty());
}

TEST(MidiAssignment, DataBytesWithTheTopBitSetAreIgnored) {
  PresetTestEffect e;
  e.assignController(kFbck, 5);
  e.startLearn();
  e.setParameter(kMix, 0.5f);
  e.calls.clear();
  sendEvents(e, {midiEvent(0xB0, 5, 0x80), midiEvent(0xB0, 5, 0xFF), midiEvent(0xB0, 0x85, 10)});
  EXPECT_TRUE(e.calls.empty());
  EXPECT_TRUE(e.isLearnActive());
  EXPECT_EQ(e.getParameterController(kMix), 999);
  // The extremes of 7-bit data.
  e.stopLearn();
  sendEvents(e, {midiEvent(0xB0, 5, 127), midiEvent(0xB0, 5, 0), midiEvent(0xB0, 5, 1)});
  ASSERT_EQ(e.calls.size(), 3u);
  EXPECT_EQ(e.calls[0].value, 1.0f);
  EXPECT_EQ(e.calls[1].value, 0.0f);
  EXPECT_EQ(e.calls[2].value, 1.0f / 127.0f);
}

TEST(MidiAssignment, EventListsOfAnyShape) {
  PresetTestEffect e;
  e.assignController(kMix, 1);
  EXPECT_EQ(e.processEvents(nullptr), 0);
  EventList empty;
  EXPECT_EQ(e.processEvents(empty.get()), 1);
  // Null slots are skipped; events beyond the two declared slots are read.
  EventList list;
  for (int i = 0; i < 10; ++i) list.add(midiEvent(0xB0, 1, i));
  VstEvents* events = list.get();
  VstEvent** slots = events->events;
  slots[3] = nullptr;
  EXPECT_EQ(e.processEvents(events), 1);
  ASSERT_EQ(e.calls.size(), 9u);
  EXPECT_EQ(e.calls.back().value, 9.0f / 127.0f);
  // Negative counts examine nothing.
  events->numEvents = -5;
  EXPECT_EQ(e.processEvents(events), 1);
  EXPECT_EQ(e.calls.size(), 9u);
  // Through the dispatcher.
  events->numEvents = 1;
  EXPECT_EQ(e.dispatcher(effProcessEvents, 0, 0, events, 0.0f), 1);
  EXPECT_EQ(e.calls.size(), 10u);
}

TEST(ControllerNames, TableOf130Texts) {
  // Named controllers, typed from the controller sheet.
  const std::pair<int, const char*> named[] = {
      {0, "bank sel MSB"},   {1, "modulation"},     {2, "breath"},
      {3, "control 3"},      {4, "foot"},           {5, "portamento"},
      {6, "data ent MSB"},   {7, "main volume"},    {8, "balance"},
      {9, "control 9"},      {10, "pan"},           {11, "expression"},
      {12, "control 12"},    {15, "control 15"},    {16, "gen purp 1"},
      {19, "gen purp 4"},    {32, "bank sel LSB"},  {33, "modul. LSB"},
      {34, "breath LSB"},    {35, "control 35"},    {36, "foot LSB"},
      {37, "porta LSB"},     {38, "data ent LSB"},  {39, "main vol LSB"},
      {40, "balance LSB"},   {41, "control 41"},    {42, "pan LSB"},
      {43, "express. LSB"},  {64, "sustain"},       {65, "porta on/off"},
      {66, "sostenuto"},     {67, "soft pedal"},    {68, "legato FS"},
      {69, "hold 2"},        {70, "sound var"},     {71, "harmonic"},
      {72, "release time"},  {73, "attack time"},   {74, "brightness"},
      {80, "gen purp 5"},    {83, "gen purp 8"},    {84, "porta ctrl"},
      {91, "ext FX"},        {92, "tremolo"},       {93, "chorus"},
      {94, "detune"},        {95, "phaser"},        {96, "data incr"},
      {97, "data decr"},     {98, "NRPN LSB"},      {99, "NRPN MSB"},
      {100, "RPN LSB"},      {101, "RPN MSB"},      {120, "all snd off"},
      {121, "reset ctrl"},   {122, "local ctrl"},   {123, "all note off"},
      {124, "omni off"},     {125, "omni on"},      {126, "mono mode on"},
      {127, "poly mode on"}, {128, "not assigned"}, {129, ""}};
  for (const auto& [n, text] : named) EXPECT_STREQ(controllerNames[n], text) << n;
  const std::pair<int, int> plain[] = {{20, 31}, {44, 63}, {75, 79}, {85, 90}, {102, 119}};
  for (const auto& [from, to] : plain)
    for (int n = from; n <= to; ++n)
      EXPECT_EQ(std::string(controllerNames[n]), "control " + std::to_string(n));
  // Display value (n + 0.5) / 130 selects entry n; the top is 129.
  for (int n = 0; n < kNumControllerNames; ++n) {
    EXPECT_EQ(controllerNameIndex((n + 0.5f) / 130.0f), n);
    EXPECT_FLOAT_EQ(controllerDisplayValue(n), (n + 0.5f) / 130.0f);
  }
  EXPECT_EQ(controllerNameIndex(1.0f), 129);
  EXPECT_EQ(controllerNameIndex(-1.0f), 0);
  EXPECT_EQ(controllerNameIndex(controllerDisplayValue(999)), 128);
}
