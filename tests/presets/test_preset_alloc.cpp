// MIDI handling runs on the host's processing thread, so it never allocates:
// every global allocation is counted while control changes learn, drive and
// forget assignments in the real plug-in. Own binary: it replaces the global
// allocation functions.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "host/AudioEffect.h"
#include "presets/CPresetSystemEffect.h"
#include "tests/presets/PresetTestEffect.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/TempConfigHome.h"

namespace {
// A host that answers the version query and nothing else, keeping no records.
VstIntPtr quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}
}  // namespace

TEST(PresetAllocation, ControlChangesNeverAllocate) {
  TempConfigHome config;  // no stored defaults
  AEffect* record = pluginEntry(&quietHost);
  ASSERT_NE(record, nullptr);
  auto* fx = dynamic_cast<CPresetSystemEffect*>(static_cast<AudioEffect*>(record->object));
  ASSERT_NE(fx, nullptr);

  // Built before counting: what a host hands over is its own memory.
  EventList learnList, driveList, mixedList;
  learnList.add(midiEvent(0xB5, 74, 100));
  for (int d = 0; d < 128; d += 9) driveList.add(midiEvent(0xB0 + (d % 16), 74, d));
  mixedList.add(midiEvent(0x90, 74, 100));   // note-on
  mixedList.add(midiEvent(0xE0, 0, 64));     // pitch bend
  mixedList.add(midiEvent(0xB0, 121, 0));    // channel mode, no parameter
  mixedList.add(midiEvent(0xB0, 74, 0x80));  // data byte with the top bit set
  VstEvents* learn = learnList.get();
  VstEvents* drive = driveList.get();
  VstEvents* mixed = mixedList.get();

  const long before = allocationCount();
  fx->startLearn();
  record->setParameter(record, kFbck, 0.3f);  // the learn target
  EXPECT_EQ(record->dispatcher(record, effProcessEvents, 0, 0, learn, 0.0f), 1);
  EXPECT_EQ(record->dispatcher(record, effProcessEvents, 0, 0, drive, 0.0f), 1);
  EXPECT_EQ(record->dispatcher(record, effProcessEvents, 0, 0, mixed, 0.0f), 1);
  fx->startForget();
  EXPECT_EQ(record->dispatcher(record, effProcessEvents, 0, 0, drive, 0.0f), 1);
  EXPECT_EQ(allocationCount() - before, 0);

  // The counter does count, and the messages did their work.
  EXPECT_EQ(fx->getParameterController(kFbck), 999);  // forgotten by the next drive
  EXPECT_FALSE(fx->isForgetActive());
  record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f);
  EventList more;
  more.add(midiEvent(0xB0, 1, 1));
  more.get();
  EXPECT_GT(allocationCount() - before, 0);
}
