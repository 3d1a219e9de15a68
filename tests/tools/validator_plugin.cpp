// A small, correct VST 2.4 effect for testing korva-host validate, written
// against host/vst_abi.h only: stereo smoothing filter with gain, a stepped
// mode parameter, program and bank chunks, MIDI, an X11 editor. Built once
// clean and once per KV_FAULT, each planting one fault the validator must
// catch:
//   1 allocates in processReplacing        2 writes a 40-character display
//   3 lets NaN poison its filter state     4 changes the process locale
//   5 ignores effSetChunk                  6 reads back another value than set
//   7 crashes in effEditClose              8 leaks memory per instance
//   9 hangs in its entry point            10 crashes in its entry point
//  11 its silent tail costs far more than its signal, as a filter stuck in
//     denormals does on CPUs that take a penalty for them
//  12 hangs in a 0-frame processReplacing call
//  13 writes a file into $HOME                14 leaves its window behind on close
//  15 takes a reader-writer lock in processReplacing
//  16 reads a whole chunk's worth before checking the size it was given
//  17 trusts its chunk's gain: odd values play up to +120 dB, yet finite
//  18 pads displays and labels with zeros to 32 bytes (hosts give 64)
//  19 throws an exception out of effSetChunk on a chunk shorter than 8 bytes
//  20 sets flush-to-zero when loaded, as libraries built with -ffast-math do
//  21 random by design: a little noise, seeded differently per instance
//  22 calls a different blocking function in each processReplacing
//  23 reads one sample past the end of its input buffers
//  24 correct: adds a slow linear decay (seconds) of every finite input,
//     so a huge burst is still huge, in proportion, after 10 s
//  25 as 24, but its decay stops once driven far beyond any signal
#include <X11/Xlib.h>
#include <fcntl.h>
#include <locale.h>
#include <poll.h>
#include <pthread.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/select.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <xmmintrin.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <string>

#include "host/vst_abi.h"

#ifndef KV_FAULT
#define KV_FAULT 0
#endif

namespace {

constexpr int kParams = 3;  // Gain, Smooth, Mode (5 steps)
constexpr int kPrograms = 2;
constexpr int kModeSteps = 5;

struct Program {
  char name[kVstMaxProgNameLen + 1];
  float values[kParams];
};

struct Effect {
  AEffect record{};
  audioMasterCallback host = nullptr;
  Program programs[kPrograms] = {{"Plain", {0.5f, 0.2f, 0.0f}}, {"Soft", {0.4f, 0.8f, 0.5f}}};
  int current = 0;
  float state[2] = {0, 0};
  float cascade[2][32] = {};
  float slow[2][2] = {};
  bool resumed = false;
  int maxBlock = 0;
  unsigned char chunk[4 + 4 + kPrograms * (sizeof(Program))];
  Display* display = nullptr;
  Window window = 0;
  ERect rect{0, 0, 60, 200};
  char* leak = nullptr;
  pthread_rwlock_t lock = PTHREAD_RWLOCK_INITIALIZER;
  unsigned noise = 1;
  long blocks = 0;
  unsigned chunkSum = 0;
};

#if KV_FAULT == 20
__attribute__((constructor)) void flushToZero() {
  _mm_setcsr(_mm_getcsr() | 0x8040);
}
#endif

Effect* self(AEffect* e) {
  return static_cast<Effect*>(e->object);
}

float stepped(float v) {
  return std::round(v * (kModeSteps - 1)) / (kModeSteps - 1);
}

float clamp01(float v) {
  return v >= 0.0f && v <= 1.0f ? v : v > 1.0f ? 1.0f : 0.0f;  // NaN becomes 0
}

void setParam(AEffect* e, VstInt32 index, float v) {
  if (index < 0 || index >= kParams) return;
  v = clamp01(v);
  self(e)->programs[self(e)->current].values[index] = index == 2 ? stepped(v) : v;
}

float getParam(AEffect* e, VstInt32 index) {
  if (index < 0 || index >= kParams) return 0.0f;
  const float v = self(e)->programs[self(e)->current].values[index];
  return KV_FAULT == 6 ? v * 0.5f : v;
}

VstIntPtr makeChunk(Effect* t, bool program, void** out) {
  unsigned char* p = t->chunk;
  std::memcpy(p, program ? "KVP1" : "KVB1", 4);
  p += 4;
  if (program) {
    std::memcpy(p, &t->programs[t->current], sizeof(Program));
    p += sizeof(Program);
  } else {
    std::memcpy(p, &t->current, 4);
    p += 4;
    std::memcpy(p, t->programs, sizeof t->programs);
    p += sizeof t->programs;
  }
  *out = t->chunk;
  return p - t->chunk;
}

bool validProgram(const Program& p) {
  if (std::memchr(p.name, 0, sizeof p.name) == nullptr) return false;
  for (int k = 0; k < kParams; ++k)
    if (KV_FAULT == 17 ? !std::isfinite(p.values[k])
                       : !(p.values[k] >= 0.0f && p.values[k] <= 1.0f))
      return false;
  return stepped(p.values[2]) == p.values[2];
}

// Everything is checked before anything changes; a refused chunk answers 0.
VstIntPtr takeChunk(Effect* t, const unsigned char* p, VstIntPtr size, bool program) {
  if (KV_FAULT == 5) return 1;
  if (KV_FAULT == 19 && size < 8) throw std::length_error("chunk shorter than its header");
  const VstIntPtr want = program ? 4 + sizeof(Program) : 8 + sizeof t->programs;
  if (KV_FAULT == 16 && p != nullptr) {
    // Everything first, the size afterwards: fine while chunks are whole.
    unsigned char copy[8 + sizeof t->programs];
    std::memcpy(copy, p, static_cast<size_t>(want));
    unsigned sum = 0;
    for (VstIntPtr i = 0; i < want; ++i) sum += copy[i];
    t->chunkSum = sum;
  }
  if (p == nullptr || size != want || std::memcmp(p, program ? "KVP1" : "KVB1", 4) != 0) return 0;
  if (program) {
    Program q;
    std::memcpy(&q, p + 4, sizeof q);
    if (!validProgram(q)) return 0;
    t->programs[t->current] = q;
    return 1;
  }
  int current;
  Program q[kPrograms];
  std::memcpy(&current, p + 4, 4);
  std::memcpy(q, p + 8, sizeof q);
  if (current < 0 || current >= kPrograms) return 0;
  for (const Program& one : q)
    if (!validProgram(one)) return 0;
  t->current = current;
  std::memcpy(t->programs, q, sizeof q);
  return 1;
}

// At most `limit` characters and the terminator, never more.
void copyText(void* ptr, const char* text, size_t limit) {
  const size_t n = strnlen(text, limit);
  std::memcpy(ptr, text, n);
  static_cast<char*>(ptr)[n] = '\0';
}

// Parameter labels and displays: within the limit, but zero-padded to 32
// bytes where the fault is planted.
void copyShortText(void* ptr, const char* text) {
  if (KV_FAULT == 18)
    std::strncpy(static_cast<char*>(ptr), text, 32);
  else
    copyText(ptr, text, kVstMaxParamStrLen);
}

// One blocking call per block, a different one each time.
void blockSomehow(Effect* t) {
  static pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
  static pthread_spinlock_t spin;
  static pthread_cond_t cond = PTHREAD_COND_INITIALIZER;
  static sem_t sem;
  static bool ready = false;
  if (!ready) {
    pthread_spin_init(&spin, 0);
    sem_init(&sem, 0, 1000000);
    ready = true;
  }
  timespec past{0, 0};
  timespec none{0, 0};
  switch (t->blocks++ % 20) {
    case 0:
      pthread_mutex_lock(&mutex);
      pthread_mutex_unlock(&mutex);
      break;
    case 1:
      pthread_mutex_timedlock(&mutex, &past);
      pthread_mutex_unlock(&mutex);
      break;
    case 2:
      pthread_rwlock_rdlock(&t->lock);
      pthread_rwlock_unlock(&t->lock);
      break;
    case 3:
      pthread_rwlock_wrlock(&t->lock);
      pthread_rwlock_unlock(&t->lock);
      break;
    case 4:
      pthread_spin_lock(&spin);
      pthread_spin_unlock(&spin);
      break;
    case 5:
      pthread_mutex_trylock(&mutex);
      pthread_cond_timedwait(&cond, &mutex, &past);
      pthread_mutex_unlock(&mutex);
      break;
    case 6:
      sem_wait(&sem);
      break;
    case 7:
      sem_timedwait(&sem, &past);
      break;
    case 8:
      syscall(SYS_futex, &t->blocks, 1 /* FUTEX_WAKE */, 1, nullptr, nullptr, 0);
      break;
    case 9: {
      const int fd = open("/dev/null", O_RDONLY);
      if (fd >= 0) close(fd);
      break;
    }
    case 10:
      if (std::FILE* f = std::fopen("/dev/null", "r")) std::fclose(f);
      break;
    case 11: {
      char byte;
      if (read(-1, &byte, 1) < 0) break;
      break;
    }
    case 12:
      if (write(-1, "x", 1) < 0) break;
      break;
    case 13: {
      void* m = mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      if (m != MAP_FAILED) munmap(m, 4096);
      break;
    }
    case 14:
      usleep(0);
      break;
    case 15:
      nanosleep(&none, nullptr);
      break;
    case 16:
      clock_nanosleep(CLOCK_MONOTONIC, 0, &none, nullptr);
      break;
    case 17:
      poll(nullptr, 0, 0);
      break;
    case 18: {
      timeval zero{0, 0};
      select(0, nullptr, nullptr, nullptr, &zero);
      break;
    }
    default:
      sleep(0);
      break;
  }
}

VstIntPtr dispatch(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                   float opt) {
  Effect* t = self(e);
  (void)opt;
  switch (opcode) {
    case effClose:
      if (t->display != nullptr) XCloseDisplay(t->display);
      if (KV_FAULT != 8) delete[] t->leak;
      delete t;
      return 1;
    case effSetProgram:
      if (value >= 0 && value < kPrograms) t->current = static_cast<int>(value);
      return 0;
    case effGetProgram:
      return t->current;
    case effSetProgramName:
      copyText(t->programs[t->current].name, static_cast<const char*>(ptr), kVstMaxProgNameLen);
      return 0;
    case effGetProgramName:
      copyText(ptr, t->programs[t->current].name, kVstMaxProgNameLen);
      return 0;
    case effGetProgramNameIndexed:
      if (index < 0 || index >= kPrograms) return 0;
      copyText(ptr, t->programs[index].name, kVstMaxProgNameLen);
      return 1;
    case effGetParamName:
      copyText(ptr,
               index == 0   ? "Gain"
               : index == 1 ? "Smooth"
               : index == 2 ? "Mode"
                            : "",
               kVstMaxParamStrLen);
      return 0;
    case effGetParamLabel:
      copyShortText(ptr, index == 0 ? "dB" : "");
      return 0;
    case effGetParamDisplay: {
      if (index < 0 || index >= kParams) return 0;
      if (KV_FAULT == 4) setlocale(LC_NUMERIC, "C");
      if (KV_FAULT == 2 && index == 1) {
        std::memset(ptr, 'x', 40);
        static_cast<char*>(ptr)[40] = 0;
        return 0;
      }
      char text[32];
      std::snprintf(text, sizeof text, "%d",
                    static_cast<int>(std::lround(t->programs[t->current].values[index] * 100)));
      copyShortText(ptr, text);
      return 0;
    }
    case effSetBlockSize:
      t->maxBlock = static_cast<int>(value);
      return 0;
    case effMainsChanged:
      t->resumed = value != 0;
      t->state[0] = t->state[1] = 0;
      std::memset(t->cascade, 0, sizeof t->cascade);
      std::memset(t->slow, 0, sizeof t->slow);
      return 0;
    case effEditGetRect:
      *static_cast<ERect**>(ptr) = &t->rect;
      return 1;
    case effEditOpen:
      if (t->display == nullptr) t->display = XOpenDisplay(nullptr);
      if (t->display == nullptr) return 0;
      t->window = XCreateSimpleWindow(t->display, reinterpret_cast<Window>(ptr), 0, 0, 200, 60, 0,
                                      0, 0x208040);
      XMapWindow(t->display, t->window);
      XFlush(t->display);
      return 1;
    case effEditIdle:
      if (t->display != nullptr)
        while (XPending(t->display) > 0) {
          XEvent ev;
          XNextEvent(t->display, &ev);
        }
      return 0;
    case effEditClose:
      if (KV_FAULT == 7) raise(SIGSEGV);
      if (KV_FAULT != 14 && t->display != nullptr && t->window != 0) {
        XDestroyWindow(t->display, t->window);
        XSync(t->display, False);
        t->window = 0;
      }
      return 0;
    case effGetChunk:
      return makeChunk(t, index != 0, static_cast<void**>(ptr));
    case effSetChunk:
      return takeChunk(t, static_cast<const unsigned char*>(ptr), value, index != 0);
    case effProcessEvents:
      return 1;
    case effGetEffectName:
      copyText(ptr, "KV Validator Test", kVstMaxEffectNameLen);
      return 1;
    case effGetVendorString:
      copyText(ptr, "korva-host tests", kVstMaxVendorStrLen);
      return 1;
    case effGetProductString:
      copyText(ptr, "KV Validator Test", kVstMaxProductStrLen);
      return 1;
    case effGetPlugCategory:
      return kPlugCategEffect;
    case effCanDo:
      return ptr != nullptr &&
                     std::strcmp(static_cast<const char*>(ptr), "receiveVstMidiEvent") == 0
                 ? 1
                 : -1;
    case effCanBeAutomated:
      return index >= 0 && index < kParams ? 1 : 0;
    case effGetVstVersion:
      return kVstVersion;
    default:
      return 0;
  }
}

void processReplacing(AEffect* e, float** in, float** out, VstInt32 frames) {
  Effect* t = self(e);
  if (KV_FAULT == 12 && frames == 0)
    for (;;) pause();
  if (KV_FAULT == 1) {
    void* volatile scratch = std::malloc(64);
    std::free(scratch);
  }
  if (KV_FAULT == 15) pthread_rwlock_rdlock(&t->lock);
  if (KV_FAULT == 22) blockSomehow(t);
  if (KV_FAULT == 23)
    for (int c = 0; c < 2; ++c) {
      volatile float past = in[c][frames];
      (void)past;
    }
  const float* v = t->programs[t->current].values;
  // Where 17 is planted, only the gain trusts the stored number, up to
  // +120 dB: the output stays finite.
  const float gain = KV_FAULT == 17 ? std::min(std::fabs(2.0f * v[0]), 1e6f) : 2.0f * v[0];
  const float a = 0.9f * (KV_FAULT == 17 ? clamp01(v[1]) : v[1]);
  for (int c = 0; c < 2; ++c) {
    float y = t->state[c];
    for (VstInt32 i = 0; i < frames; ++i) {
      float x = in[c][i];
      const float raw = std::isfinite(x) ? x : 0.0f;
      // Input that is not a signal is silence; the state stays finite.
      if (KV_FAULT != 3 && !(std::fabs(x) <= 1e3f)) x = 0.0f;
      y = a * y + (1.0f - a) * x;
      if (std::fabs(y) < 1e-20f) y = 0.0f;
      out[c][i] = y * gain;
      if (KV_FAULT == 24 || KV_FAULT == 25) {
        // Two slow poles, at 0 and at Nyquist, so that neither DC nor an
        // alternating burst cancels out.
        float* s = t->slow[c];
        const float r =
            KV_FAULT == 25 && std::fabs(s[0]) + std::fabs(s[1]) > 1e6f ? 1.0f : 0.99998f;
        s[0] = r * s[0] + 2e-5f * raw;
        s[1] = -r * s[1] + 2e-5f * raw;
        out[c][i] += s[0] + s[1];
      }
      if (KV_FAULT == 21) {
        t->noise = t->noise * 1664525u + 1013904223u;
        out[c][i] += 1e-3f * (static_cast<float>(t->noise >> 8) / 16777216.0f - 0.5f);
      }
#if KV_FAULT == 11
      // The slow path a denormal state takes, made explicit so that it is
      // slow on every CPU (some take no penalty for denormals).
      if (x == 0.0f)
        for (int k = 0; k < 8; ++k)
          for (float& z : t->cascade[c]) {
            volatile float slow = z;
            z = a * slow + (1.0f - a) * x;
          }
#endif
    }
    t->state[c] = y;
  }
  if (KV_FAULT == 15) pthread_rwlock_unlock(&t->lock);
}

AEffect* create(audioMasterCallback host) {
#if KV_FAULT == 9
  for (;;) pause();
#elif KV_FAULT == 10
  raise(SIGSEGV);
#endif
  if (host == nullptr) return nullptr;
  if (KV_FAULT == 13 && std::getenv("HOME") != nullptr) {
    const std::string path = std::string(std::getenv("HOME")) + "/.kv-validator-test";
    if (std::FILE* f = std::fopen(path.c_str(), "w")) std::fclose(f);
  }
  Effect* t = new Effect;
  t->host = host;
  // Where it is planted, each instance's noise starts elsewhere.
  if (KV_FAULT == 21)
    t->noise = static_cast<unsigned>(reinterpret_cast<uintptr_t>(t) >> 4) ^
               static_cast<unsigned>(std::time(nullptr)) ^ static_cast<unsigned>(clock());
  t->leak = new char[16384];
  std::memset(t->leak, 1, 16384);
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
  r.flags = effFlagsCanReplacing | effFlagsProgramChunks | effFlagsHasEditor;
  r.uniqueID = vstFourCC('K', 'v', 'T', 'p');
  r.version = 1;
  r.object = t;
  return &r;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback host) {
  return create(host);
}
