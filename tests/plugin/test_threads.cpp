// The threads a host really uses, at once: the audio thread processes blocks
// and MIDI, an automation thread moves every parameter, and the UI thread
// idles the open editor, reads displays and restores chunks. Meant for
// ThreadSanitizer: any shared value that is not an atomic is a reported race.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "host/AudioEffect.h"
#include "tests/support/TempConfigHome.h"

namespace {
// Answers without keeping records, so it is safe from any thread.
VstIntPtr quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

VstIntPtr dispatch(AEffect* e, VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0,
                   void* ptr = nullptr, float opt = 0) {
  return e->dispatcher(e, op, index, value, ptr, opt);
}
}  // namespace

TEST(Threads, AudioAutomationAndEditorRunTogether) {
  TempConfigHome config;
  AEffect* e = pluginEntry(&quietHost);
  ASSERT_NE(e, nullptr);
  dispatch(e, effSetSampleRate, 0, 0, nullptr, 44100.0f);
  dispatch(e, effSetBlockSize, 0, 256);
  dispatch(e, effMainsChanged, 0, 1);
  ASSERT_EQ(dispatch(e, effEditOpen, 0, 0, nullptr), 1);  // offscreen: no parent window

  void* saved = nullptr;
  const VstInt32 chunkSize = static_cast<VstInt32>(dispatch(e, effGetChunk, 0, 0, &saved));
  ASSERT_EQ(chunkSize, 1736);
  std::vector<unsigned char> chunk(static_cast<const unsigned char*>(saved),
                                   static_cast<const unsigned char*>(saved) + chunkSize);

  std::atomic<bool> stop{false};
  std::thread audio([&] {
    std::vector<float> l(256), r(256);
    float* ins[2] = {l.data(), r.data()};
    float* outs[2] = {l.data(), r.data()};
    VstMidiEvent cc{};
    cc.type = kVstMidiType;
    cc.byteSize = sizeof cc;
    cc.midiData[0] = static_cast<char>(0xB0);
    cc.midiData[1] = 7;
    VstEvents events{};
    events.numEvents = 1;
    events.events[0] = reinterpret_cast<VstEvent*>(&cc);
    for (int block = 0; block < 400; ++block) {
      for (int i = 0; i < 256; ++i) l[i] = r[i] = (i % 50 == 0) ? 0.8f : 0.0f;
      cc.midiData[2] = static_cast<char>(block % 128);
      dispatch(e, effProcessEvents, 0, 0, &events);
      e->processReplacing(e, ins, outs, 256);
    }
    stop = true;
  });
  std::thread automation([&] {
    unsigned seed = 1;
    while (!stop) {
      seed = seed * 1103515245u + 12345u;
      const VstInt32 index = static_cast<VstInt32>(seed >> 8) % 36;
      const float value = static_cast<float>((seed >> 12) % 1000) / 999.0f;
      // The hold would freeze the delay for the rest of the run; keep it off.
      if (index != 13) e->setParameter(e, index, value);
    }
  });
  char text[256];
  int passes = 0;
  while (!stop) {
    dispatch(e, effEditIdle);
    for (VstInt32 i = 0; i < 36; ++i) dispatch(e, effGetParamDisplay, i, 0, text);
    if (++passes % 20 == 0) dispatch(e, effSetChunk, 0, chunkSize, chunk.data());
  }
  audio.join();
  automation.join();
  EXPECT_GT(passes, 0);
  dispatch(e, effEditClose);
  dispatch(e, effMainsChanged, 0, 0);
  dispatch(e, effClose);
}
