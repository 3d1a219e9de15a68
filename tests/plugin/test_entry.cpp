// The plug-in as a host first meets it: the entry point, the record it hands
// back, the identity texts and the capability answers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "host/AudioEffect.h"
#include "tests/support/FakeHost.h"
#include "tests/support/TempConfigHome.h"

namespace {
VstIntPtr dispatch(AEffect* e, VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0,
                   void* ptr = nullptr, float opt = 0) {
  return e->dispatcher(e, op, index, value, ptr, opt);
}

std::string text(AEffect* e, VstInt32 op, VstInt32 index = 0) {
  char buf[256];
  std::memset(buf, 0x7F, sizeof buf);
  dispatch(e, op, index, 0, buf);
  return buf;
}

class Entry : public ::testing::Test {
 protected:
  TempConfigHome config;  // no stored defaults
  FakeHost host;
};
}  // namespace

TEST_F(Entry, RefusesAHostThatAnswersVersionZero) {
  host.version = 0;
  EXPECT_EQ(pluginEntry(FakeHost::callback()), nullptr);
  EXPECT_EQ(host.count(audioMasterVersion), 1);
  EXPECT_EQ(host.count(audioMasterUpdateDisplay), 0);
  EXPECT_EQ(pluginEntry(nullptr), nullptr);
}

TEST_F(Entry, RecordFields) {
  AEffect* e = pluginEntry(FakeHost::callback());
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->magic, 0x56737450);
  EXPECT_EQ(e->numPrograms, 1);
  EXPECT_EQ(e->numParams, 36);
  EXPECT_EQ(e->numInputs, 2);
  EXPECT_EQ(e->numOutputs, 2);
  EXPECT_EQ(e->flags, 0x31);
  EXPECT_EQ(e->initialDelay, 0);
  EXPECT_EQ(e->version, 1);
  EXPECT_EQ(e->ioRatio, 1.0f);
  EXPECT_EQ(e->uniqueID, ('K' << 24) | ('V' << 16) | ('R' << 8) | 'A');
  EXPECT_NE(e->object, nullptr);
  EXPECT_EQ(static_cast<AudioEffect*>(e->object)->getAeffect(), e);
  EXPECT_EQ(dispatch(e, effClose), 1);
}

TEST_F(Entry, ConstructionTalksToTheHostBeforeReturning) {
  AEffect* e = pluginEntry(FakeHost::callback());
  ASSERT_NE(e, nullptr);
  // Two version queries (entry point and factory), two display updates (the
  // bank load's first selection and the final selection), all with our record.
  EXPECT_EQ(host.count(audioMasterVersion), 2);
  auto updates = host.callsOf(audioMasterUpdateDisplay);
  ASSERT_EQ(updates.size(), 2u);
  for (const HostCall& c : updates) EXPECT_EQ(c.effect, e);
  // Preset 0 ("default") is applied: Power on, DlyTime 0.624961.
  EXPECT_EQ(e->getParameter(e, 14), 0.75f);
  EXPECT_EQ(e->getParameter(e, 3), 0.624961f);
  EXPECT_EQ(text(e, effGetProgramName), "default");
  dispatch(e, effClose);
}

TEST_F(Entry, IdentityTexts) {
  AEffect* e = pluginEntry(FakeHost::callback());
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(text(e, effGetEffectName), "Vantrel Korva");
  std::string vendor = text(e, effGetVendorString);
  EXPECT_EQ(vendor.size(), 16u);
  std::string product = text(e, effGetProductString);
  EXPECT_EQ(product, "Vantrel Korva - clocked stereo repeats, with bends, holds, sync!");
  EXPECT_EQ(product.size(), 64u);
  EXPECT_EQ(dispatch(e, effGetEffectName, 0, 0, nullptr), 0);  // no buffer, no write
  dispatch(e, effClose);
}

// Hosts whose scanner never says it sends MIDI (or says it does not) must
// still see a MIDI input, or controllers never reach MIDI learn: Qtractor
// lists it on "receiveVstMidiEvent" alone. MusE 4.1 files a plug-in that
// answers "receiveVstEvents" (or has the synth flag) as an instrument, so
// that question gets no yes: Korva is an effect.
TEST_F(Entry, CanDoDeclaresMidiInputWhateverTheHostSaysAndIsNoInstrument) {
  AEffect* e = pluginEntry(FakeHost::callback());
  ASSERT_NE(e, nullptr);
  char receive[] = "receiveVstMidiEvent";
  char events[] = "receiveVstEvents";
  for (VstIntPtr answer : {1, 0, -1}) {
    host.canDoAnswer = answer;
    EXPECT_EQ(dispatch(e, effCanDo, 0, 0, receive), 1) << answer;
    EXPECT_LE(dispatch(e, effCanDo, 0, 0, events), 0) << answer;
  }
  EXPECT_EQ(e->flags & effFlagsIsSynth, 0);
  host.canDoAnswer = 1;
  char blank[] = "receiveVstMidiEvent ";
  char shortText[] = "receiveVstMidiEven";
  char send[] = "sendVstMidiEvent";
  char bypass[] = "bypass";
  EXPECT_EQ(dispatch(e, effCanDo, 0, 0, blank), 0);
  EXPECT_EQ(dispatch(e, effCanDo, 0, 0, shortText), 0);
  EXPECT_EQ(dispatch(e, effCanDo, 0, 0, send), 0);
  EXPECT_EQ(dispatch(e, effCanDo, 0, 0, bypass), 0);
  EXPECT_EQ(dispatch(e, effCanDo, 0, 0, nullptr), 0);
  dispatch(e, effClose);
}

TEST_F(Entry, ResumeAsksForMidiAndProgramsStayPut) {
  AEffect* e = pluginEntry(FakeHost::callback());
  ASSERT_NE(e, nullptr);
  host.calls.clear();
  dispatch(e, effMainsChanged, 0, 1);
  auto want = host.callsOf(audioMasterWantMidi);
  ASSERT_EQ(want.size(), 1u);
  EXPECT_EQ(want[0].value, 1);
  dispatch(e, effMainsChanged, 0, 0);
  EXPECT_EQ(host.count(audioMasterWantMidi), 1);  // suspend sends nothing
  dispatch(e, effSetProgram, 0, 5);
  dispatch(e, effSetProgram, 0, 0);
  EXPECT_EQ(dispatch(e, effGetProgram), 0);
  EXPECT_EQ(text(e, effGetProgramName), "default");
  dispatch(e, effClose);
}

TEST_F(Entry, TwoInstancesShareNoValues) {
  AEffect* a = pluginEntry(FakeHost::callback());
  AEffect* b = pluginEntry(FakeHost::callback());
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  ASSERT_NE(a, b);
  a->setParameter(a, 6, 0.9f);
  b->setParameter(b, 6, 0.1f);
  EXPECT_EQ(a->getParameter(a, 6), 0.9f);
  EXPECT_EQ(b->getParameter(b, 6), 0.1f);
  dispatch(a, effClose);
  EXPECT_EQ(b->getParameter(b, 6), 0.1f);
  dispatch(b, effClose);
}

TEST_F(Entry, EditorRectIsTheWindowSize) {
  AEffect* e = pluginEntry(FakeHost::callback());
  ASSERT_NE(e, nullptr);
  ERect* r = nullptr;
  EXPECT_EQ(dispatch(e, effEditGetRect, 0, 0, &r), 1);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->top, 0);
  EXPECT_EQ(r->left, 0);
  EXPECT_EQ(r->bottom, 101);
  EXPECT_EQ(r->right, 870);
  dispatch(e, effClose);
}

namespace {
// Answers the first version query and refuses the second (the factory's).
int versionQueries = 0;
int otherRequests = 0;
VstIntPtr refuseSecondVersion(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  if (opcode != audioMasterVersion) {
    ++otherRequests;
    return 0;
  }
  return ++versionQueries == 1 ? 2400 : 0;
}
}  // namespace

TEST(EntryFactory, RefusalByTheSecondVersionQueryAlsoEndsCreation) {
  TempConfigHome config;
  versionQueries = 0;
  otherRequests = 0;
  EXPECT_EQ(pluginEntry(&refuseSecondVersion), nullptr);
  EXPECT_EQ(versionQueries, 2);
  EXPECT_EQ(otherRequests, 0);  // no object was built, so nothing else was asked
}
