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
#include "tests/support/TempConfigHome.h"

#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
std::atomic<long> allocations{0};

void* allocate(std::size_t n) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(n ? n : 1);
}

// A host that answers the version query and nothing else, keeping no records.
VstIntPtr quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}
}  // namespace

void* operator new(std::size_t n) {
  if (void* p = allocate(n)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
  if (void* p = allocate(n)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  return allocate(n);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
  return allocate(n);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}

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

  const long before = allocations.load();
  fx->startLearn();
  record->setParameter(record, kFbck, 0.3f);  // the learn target
  EXPECT_EQ(record->dispatcher(record, effProcessEvents, 0, 0, learn, 0.0f), 1);
  EXPECT_EQ(record->dispatcher(record, effProcessEvents, 0, 0, drive, 0.0f), 1);
  EXPECT_EQ(record->dispatcher(record, effProcessEvents, 0, 0, mixed, 0.0f), 1);
  fx->startForget();
  EXPECT_EQ(record->dispatcher(record, effProcessEvents, 0, 0, drive, 0.0f), 1);
  EXPECT_EQ(allocations.load() - before, 0);

  // The counter does count, and the messages did their work.
  EXPECT_EQ(fx->getParameterController(kFbck), 999);  // forgotten by the next drive
  EXPECT_FALSE(fx->isForgetActive());
  record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f);
  EventList more;
  more.add(midiEvent(0xB0, 1, 1));
  more.get();
  EXPECT_GT(allocations.load() - before, 0);
}
