// A tiny VST 2.4 effect for testing korva-host, written against host/vst_abi.h
// only. It reports what the host did through its audio output so that tests
// can read the host's behaviour from a rendered file:
//   Gain  (0) out = in * 2 * Gain; CC 7 on any channel sets Gain = value/127,
//             CC 8 on channel c sets the gain to c (1..16), both applied at the
//             event's deltaFrames
//   Delay (1) >= 0.5: one sample of delay
//   Probe (2) < 1/3 audio; < 2/3 time probe: left = ppqPos, right = samplePos
//             (-1 for a null time record, -2 for missing flags); otherwise pin
//             probe: left = input pin 1 answer + 10 * output pin 1 answer,
//             right = the sample rate from effSetSampleRate
// Not resumed, or a block longer than effSetBlockSize: every sample is 1000.
// Built twice: parameter lists (entry VSTPluginMain) and program chunks
// (entry exported only as "main", and no editor).
#include <X11/Xlib.h>

#include <cstdio>
#include <cstring>

#include "host/vst_abi.h"

#ifndef KH_CHUNKS
#define KH_CHUNKS 0
#endif

namespace {

constexpr int kParams = 3;
constexpr int kPrograms = 2;
constexpr int kMaxEvents = 256;

struct Program {
  char name[25];
  float values[kParams];
};

struct TestEffect {
  AEffect record{};
  audioMasterCallback host = nullptr;
  Program programs[kPrograms] = {{"Prog A", {0.5f, 0.0f, 0.0f}}, {"Prog B", {0.25f, 1.0f, 0.0f}}};
  int current = 0;
  float gain = 1.0f;  // follows Gain and control changes
  float lastL = 0, lastR = 0;
  float sampleRate = 0;
  int blockSize = 0;
  bool resumed = false;
  VstMidiEvent pending[kMaxEvents];
  int numPending = 0;
  unsigned char chunk[4 + 4 + kPrograms * (24 + 4 * kParams)];
  Display* display = nullptr;
  Window window = 0;
  ERect rect{0, 0, 80, 120};
};

TestEffect* self(AEffect* e) {
  return static_cast<TestEffect*>(e->object);
}

VstIntPtr ask(TestEffect* t, VstInt32 opcode, VstInt32 index, VstIntPtr value) {
  return t->host(&t->record, opcode, index, value, nullptr, 0.0f);
}

void setParam(AEffect* e, VstInt32 index, float v) {
  TestEffect* t = self(e);
  if (index < 0 || index >= kParams) return;
  t->programs[t->current].values[index] = v;
  if (index == 0) t->gain = 2.0f * v;
}

float getParam(AEffect* e, VstInt32 index) {
  TestEffect* t = self(e);
  return index >= 0 && index < kParams ? t->programs[t->current].values[index] : 0.0f;
}

void putFloat(unsigned char* p, float v) {
  std::memcpy(p, &v, 4);
}
float getFloat(const unsigned char* p) {
  float v;
  std::memcpy(&v, p, 4);
  return v;
}

// Chunk: "KHTB" + current program + each program's 24-byte name and values
// for a bank; "KHTP" + one program for a program.
VstIntPtr makeChunk(TestEffect* t, bool program, void** out) {
  unsigned char* p = t->chunk;
  std::memcpy(p, program ? "KHTP" : "KHTB", 4);
  p += 4;
  int first = program ? t->current : 0, count = program ? 1 : kPrograms;
  if (!program) {
    std::memcpy(p, &t->current, 4);
    p += 4;
  }
  for (int i = first; i < first + count; ++i) {
    std::memset(p, 0, 24);
    std::memcpy(p, t->programs[i].name, std::strlen(t->programs[i].name));
    p += 24;
    for (int k = 0; k < kParams; ++k, p += 4) putFloat(p, t->programs[i].values[k]);
  }
  *out = t->chunk;
  return p - t->chunk;
}

VstIntPtr takeChunk(TestEffect* t, const unsigned char* p, VstIntPtr size, bool program) {
  const VstIntPtr want = program ? 4 + 24 + 4 * kParams : 8 + kPrograms * (24 + 4 * kParams);
  if (size != want || std::memcmp(p, program ? "KHTP" : "KHTB", 4) != 0) return -1;
  p += 4;
  int first = t->current, count = 1;
  if (!program) {
    int cur;
    std::memcpy(&cur, p, 4);
    if (cur < 0 || cur >= kPrograms) return -1;
    p += 4;
    first = 0;
    count = kPrograms;
    t->current = cur;
  }
  for (int i = first; i < first + count; ++i) {
    std::memcpy(t->programs[i].name, p, 24);
    t->programs[i].name[24] = 0;
    p += 24;
    for (int k = 0; k < kParams; ++k, p += 4) t->programs[i].values[k] = getFloat(p);
  }
  t->gain = 2.0f * t->programs[t->current].values[0];
  return 1;
}

void copyText(void* ptr, const char* text) {
  std::strcpy(static_cast<char*>(ptr), text);
}

VstIntPtr dispatch(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                   float opt) {
  TestEffect* t = self(e);
  switch (opcode) {
    case effClose:
      delete t;
      return 1;
    case effSetProgram:
      if (value >= 0 && value < kPrograms) {
        t->current = static_cast<int>(value);
        t->gain = 2.0f * t->programs[t->current].values[0];
      }
      return 0;
    case effGetProgram:
      return t->current;
    case effSetProgramName:
      std::snprintf(t->programs[t->current].name, 25, "%s", static_cast<const char*>(ptr));
      return 0;
    case effGetProgramName:
      copyText(ptr, t->programs[t->current].name);
      return 0;
    case effGetParamName:
      copyText(ptr, index == 0 ? "Gain" : index == 1 ? "Delay" : index == 2 ? "Probe" : "");
      return 0;
    case effGetParamLabel:
      copyText(ptr, index == 0 ? "%" : "");
      return 0;
    case effGetParamDisplay:
      if (index >= 0 && index < kParams)
        std::snprintf(static_cast<char*>(ptr), 9, "%d",
                      static_cast<int>(getParam(e, index) * 200.0f + 0.5f));
      return 0;
    case effSetSampleRate:
      t->sampleRate = opt;
      return 0;
    case effSetBlockSize:
      t->blockSize = static_cast<int>(value);
      return 0;
    case effMainsChanged:
      t->resumed = value != 0;
      if (t->resumed) {
        t->lastL = t->lastR = 0;
        ask(t, audioMasterWantMidi, 0, 1);
      }
      return 0;
    case effEditGetRect:
      *static_cast<ERect**>(ptr) = &t->rect;
      return 1;
    case effEditOpen: {
      t->display = XOpenDisplay(nullptr);
      if (t->display == nullptr) return 0;
      t->window = XCreateSimpleWindow(t->display, reinterpret_cast<Window>(ptr), 0, 0, 120, 80, 0,
                                      0, 0x3366CC);
      XMapWindow(t->display, t->window);
      XFlush(t->display);
      return 1;
    }
    case effEditIdle:
      if (t->display != nullptr)
        while (XPending(t->display) > 0) {
          XEvent ev;
          XNextEvent(t->display, &ev);
        }
      return 0;
    case effEditClose:
      if (t->display != nullptr) {
        XDestroyWindow(t->display, t->window);
        XCloseDisplay(t->display);
        t->display = nullptr;
      }
      return 0;
    case effGetChunk:
      return KH_CHUNKS ? makeChunk(t, index != 0, static_cast<void**>(ptr)) : 0;
    case effSetChunk:
      return KH_CHUNKS ? takeChunk(t, static_cast<const unsigned char*>(ptr), value, index != 0)
                       : 0;
    case effProcessEvents: {
      const VstEvents* events = static_cast<const VstEvents*>(ptr);
      for (int i = 0; i < events->numEvents && t->numPending < kMaxEvents; ++i)
        if (events->events[i]->type == kVstMidiType)
          std::memcpy(&t->pending[t->numPending++], events->events[i], sizeof(VstMidiEvent));
      return 1;
    }
    case effGetEffectName:
      copyText(ptr, "KH Test Gain");
      return 1;
    case effGetVendorString:
      copyText(ptr, "korva-host tests");
      return 1;
    case effGetProductString:
      copyText(ptr, "KH Test Gain Product");
      return 1;
    case effGetPlugCategory:
      return kPlugCategEffect;
    case effCanDo:
      return std::strcmp(static_cast<const char*>(ptr), "receiveVstMidiEvent") == 0 ? 1 : -1;
    case effGetVstVersion:
      return kVstVersion;
    default:
      return 0;
  }
}

void applyEvent(TestEffect* t, const VstMidiEvent& m) {
  const unsigned char status = static_cast<unsigned char>(m.midiData[0]);
  if ((status & 0xF0) != 0xB0) return;
  if (m.midiData[1] == 7) t->gain = 2.0f * static_cast<float>(m.midiData[2]) / 127.0f;
  if (m.midiData[1] == 8) t->gain = static_cast<float>((status & 0x0F) + 1);
}

void processReplacing(AEffect* e, float** in, float** out, VstInt32 frames) {
  TestEffect* t = self(e);
  if (!t->resumed || frames > t->blockSize) {
    for (VstInt32 i = 0; i < frames; ++i) out[0][i] = out[1][i] = 1000.0f;
    t->numPending = 0;
    return;
  }
  const float probe = t->programs[t->current].values[2];
  if (probe >= 1.0f / 3.0f) {
    float left, right;
    if (probe < 2.0f / 3.0f) {
      const auto* info =
          reinterpret_cast<const VstTimeInfo*>(ask(t, audioMasterGetTime, 0, kVstPpqPosValid));
      const VstInt32 need = kVstTempoValid | kVstPpqPosValid | kVstTransportPlaying;
      if (info == nullptr)
        left = right = -1.0f;
      else if ((info->flags & need) != need)
        left = right = -2.0f;
      else {
        left = static_cast<float>(info->ppqPos);
        right = static_cast<float>(info->samplePos);
      }
    } else {
      left = static_cast<float>(ask(t, audioMasterPinConnected, 1, 0) +
                                10 * ask(t, audioMasterPinConnected, 1, 1));
      right = t->sampleRate;
    }
    for (VstInt32 i = 0; i < frames; ++i) {
      out[0][i] = left;
      out[1][i] = right;
    }
    t->numPending = 0;
    return;
  }
  const bool rightIn = ask(t, audioMasterPinConnected, 1, 0) == 0;
  const bool delay = t->programs[t->current].values[1] >= 0.5f;
  int next = 0;
  for (VstInt32 i = 0; i < frames; ++i) {
    while (next < t->numPending && t->pending[next].deltaFrames <= i)
      applyEvent(t, t->pending[next++]);
    const float l = in[0][i];
    const float r = rightIn ? in[1][i] : in[0][i];
    const float dl = delay ? t->lastL : l;
    const float dr = delay ? t->lastR : r;
    t->lastL = l;
    t->lastR = r;
    out[0][i] = dl * t->gain;
    out[1][i] = dr * t->gain;
  }
  while (next < t->numPending) applyEvent(t, t->pending[next++]);
  t->numPending = 0;
}

AEffect* create(audioMasterCallback host) {
  if (host == nullptr || host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0)
    return nullptr;
  TestEffect* t = new TestEffect;
  t->host = host;
  AEffect& r = t->record;
  r.magic = kEffectMagic;
  r.dispatcher = dispatch;
  r.setParameter = setParam;
  r.getParameter = getParam;
  r.processReplacing = processReplacing;
  r.numPrograms = kPrograms;
  r.numParams = kParams;
  r.numInputs = 2;
  r.numOutputs = 2;
  r.flags = effFlagsCanReplacing | (KH_CHUNKS ? effFlagsProgramChunks : effFlagsHasEditor);
  r.uniqueID = KH_CHUNKS ? vstFourCC('K', 'h', 'T', '2') : vstFourCC('K', 'h', 'T', '1');
  r.version = 7;
  r.object = t;
  return &r;
}

}  // namespace

#if KH_CHUNKS
extern "C" __attribute__((visibility("default"))) AEffect* khMainEntry(
    audioMasterCallback host) __asm__("main");
extern "C" AEffect* khMainEntry(audioMasterCallback host) {
  return create(host);
}
#else
extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback host) {
  return create(host);
}
#endif
