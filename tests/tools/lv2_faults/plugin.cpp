// A small, correct LV2 stereo effect for testing korva-host validate, written
// against the LV2 headers only: out = 2 * gain * level * (mix * wet + (1 - mix)
// * dry), where wet is a one-pole low-pass of the input and the level (0..1,
// 0.5 at start) lives only in the state. MIDI All Sound Off / All Notes Off
// clears the filter; time:Position is read for tempo and transport. Built once
// per KV_FAULT (see kv_faults.h and README.md), each build planting one fault.
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>
#include <pthread.h>
#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "kv_faults.h"

namespace kvfaults {
namespace {

struct Instance : Plugin {
  uint32_t sequenceCapacity = 0;  // bytes of the atom port's buffer, 0 if not told
  LV2_URID sequenceType = 0;
  pthread_rwlock_t lock = PTHREAD_RWLOCK_INITIALIZER;  // kRwlock only
  unsigned recordSum = 0;                              // kOverreadsState only
  float* history = nullptr;                            // kCleanupNeedsActivate only
  // The worker builds: the gain a request was made for, and the one applied.
  const LV2_Worker_Schedule* schedule = nullptr;
  float requestedGain = NAN, appliedGain = 1.0f;
  bool awaiting = false;             // a response is due before the next run
  unsigned long runs = 0, ends = 0;  // run and end_run calls
};

constexpr bool kWorker = kFault >= kWorkerCorrect;
constexpr bool kHasWorker = kFault == kWorkerCorrect || kFault == kWorkerAllocatesInResponse;

// The instance has pages of its own, returned at cleanup, so a use after
// cleanup (from a UI, say) faults at once in every build.
constexpr size_t kInstanceBytes = (sizeof(Instance) + 4095) / 4096 * 4096;

const char* const kUris[] = {
    "urn:korva-validate-test:correct",
    "urn:korva-validate-test:allocates",
    "urn:korva-validate-test:nan-poison",
    "urn:korva-validate-test:trusts-state",
    "urn:korva-validate-test:ignores-state",
    "urn:korva-validate-test:overreads-state",
    "urn:korva-validate-test:rwlock",
    "urn:korva-validate-test:success-on-refusal",
    "urn:korva-validate-test:short-midi",
    "urn:korva-validate-test:ui-after-cleanup",
    "urn:korva-validate-test:letter-only",
    "urn:korva-validate-test:cleanup-needs-activate",
    "urn:korva-validate-test:worker-correct",
    "urn:korva-validate-test:worker-allocates-in-response",
    "urn:korva-validate-test:worker-no-interface",
    "urn:korva-validate-test:loud-gain",
};

// A control value within its range; what is not a number is the default.
float control(const float* port, float lo, float hi, float fallback) {
  if (port == nullptr || std::isnan(*port)) return fallback;
  return std::min(std::max(*port, lo), hi);
}

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*,
                       const LV2_Feature* const* features) {
  const LV2_URID_Map* map = nullptr;
  const LV2_Options_Option* options = nullptr;
  const LV2_Worker_Schedule* schedule = nullptr;
  for (int i = 0; features && features[i]; ++i) {
    if (std::strcmp(features[i]->URI, LV2_WORKER__schedule) == 0)
      schedule = static_cast<const LV2_Worker_Schedule*>(features[i]->data);
    if (std::strcmp(features[i]->URI, LV2_URID__map) == 0)
      map = static_cast<const LV2_URID_Map*>(features[i]->data);
    if (std::strcmp(features[i]->URI, LV2_OPTIONS__options) == 0)
      options = static_cast<const LV2_Options_Option*>(features[i]->data);
  }
  if (map == nullptr || (kWorker && schedule == nullptr) || !(rate >= 1.0 && rate <= 1e7))
    return nullptr;
  void* pages =
      mmap(nullptr, kInstanceBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (pages == MAP_FAILED) return nullptr;
  Instance* t = new (pages) Instance;
  t->schedule = schedule;
  auto id = [map](const char* uri) { return map->map(map->handle, uri); };
  t->coefficient = static_cast<float>(std::exp(-2.0 * M_PI * 1000.0 / rate));
  t->levelKey = id(kLevelUri);
  t->floatType = id(LV2_ATOM__Float);
  t->objectType = id(LV2_ATOM__Object);
  t->blankType = id(LV2_ATOM__Blank);
  t->sequenceType = id(LV2_ATOM__Sequence);
  t->midiEvent = id(LV2_MIDI__MidiEvent);
  t->position = id(LV2_TIME__Position);
  t->speed = id(LV2_TIME__speed);
  t->beatsPerMinute = id(LV2_TIME__beatsPerMinute);
  const LV2_URID sequenceSize = id(LV2_BUF_SIZE__sequenceSize), intType = id(LV2_ATOM__Int);
  for (int i = 0; options && options[i].key != 0; ++i)
    if (options[i].key == sequenceSize && options[i].type == intType &&
        options[i].size == sizeof(int32_t) && options[i].value != nullptr) {
      int32_t bytes = 0;
      std::memcpy(&bytes, options[i].value, sizeof bytes);
      if (bytes > 0) t->sequenceCapacity = static_cast<uint32_t>(bytes);
    }
  return t;
}

void connect(LV2_Handle h, uint32_t port, void* data) {
  Instance* t = static_cast<Instance*>(h);
  switch (port) {
    case kInL:
    case kInR:
      t->in[port - kInL] = static_cast<const float*>(data);
      break;
    case kOutL:
    case kOutR:
      t->out[port - kOutL] = static_cast<float*>(data);
      break;
    case kGain:
      t->gain = static_cast<const float*>(data);
      break;
    case kMix:
      t->mix = static_cast<const float*>(data);
      break;
    case kControl:
      t->control = data;
      break;
    default:
      break;
  }
}

void activate(LV2_Handle h) {
  Instance* t = static_cast<Instance*>(h);
  t->filter[0] = t->filter[1] = 0.0f;
  if (kFault == kCleanupNeedsActivate && t->history == nullptr) t->history = new float[64];
}

// A float property's value of a time:Position object, if it has a whole one.
bool positionFloat(const Instance* t, const LV2_Atom_Object* object, LV2_URID key, float* value) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(&object->body + 1);
  const uint8_t* end = reinterpret_cast<const uint8_t*>(&object->body) + object->atom.size;
  while (end - p >= static_cast<long>(sizeof(LV2_Atom_Property_Body))) {
    const auto* property = reinterpret_cast<const LV2_Atom_Property_Body*>(p);
    const uint32_t size = property->value.size;
    if (static_cast<uint64_t>(end - p) < sizeof(LV2_Atom_Property_Body) + uint64_t{size}) break;
    if (property->key == key && property->value.type == t->floatType && size == sizeof(float)) {
      std::memcpy(value, property + 1, sizeof(float));
      return std::isfinite(*value);
    }
    p += lv2_atom_pad_size(sizeof(LV2_Atom_Property_Body) + size);
  }
  return false;
}

// Every event that lies whole within the sequence (and the buffer) is read.
void readEvents(Instance* t) {
  const auto* seq = static_cast<const LV2_Atom_Sequence*>(t->control);
  if (seq == nullptr || seq->atom.type != t->sequenceType) return;
  uint64_t size = seq->atom.size;
  if (t->sequenceCapacity != 0)
    size = std::min<uint64_t>(
        size, t->sequenceCapacity - std::min<uint32_t>(t->sequenceCapacity, sizeof(LV2_Atom)));
  if (size < sizeof(LV2_Atom_Sequence_Body)) return;
  const uint8_t* p = reinterpret_cast<const uint8_t*>(&seq->body + 1);
  const uint8_t* end = reinterpret_cast<const uint8_t*>(&seq->body) + size;
  while (end - p >= static_cast<long>(sizeof(LV2_Atom_Event))) {
    const auto* ev = reinterpret_cast<const LV2_Atom_Event*>(p);
    const uint32_t bodySize = ev->body.size;
    if (static_cast<uint64_t>(end - p) < sizeof(LV2_Atom_Event) + uint64_t{bodySize}) break;
    const auto* body = reinterpret_cast<const uint8_t*>(ev + 1);
    if (ev->body.type == t->midiEvent) {
      uint8_t msg[3] = {};
      if (kFault == kShortMidi) {
        // A whole controller message, whatever the size (volatile: every byte
        // is read in optimised builds too).
        const volatile uint8_t* bytes = body;
        for (uint8_t& b : msg) b = *bytes++;
      } else {
        std::memcpy(msg, body, std::min<uint32_t>(bodySize, 3));
      }
      const bool controller = (kFault == kShortMidi || bodySize == 3) && (msg[0] & 0xF0) == 0xB0;
      if (controller && (msg[1] == 120 || msg[1] == 123) && msg[2] == 0)
        t->filter[0] = t->filter[1] = 0.0f;
    } else if ((ev->body.type == t->objectType || ev->body.type == t->blankType) &&
               bodySize >= sizeof(LV2_Atom_Object_Body)) {
      const auto* object = reinterpret_cast<const LV2_Atom_Object*>(&ev->body);
      float value = 0.0f;
      if (object->body.otype == t->position) {
        if (positionFloat(t, object, t->speed, &value)) t->rolling = value != 0.0f;
        if (positionFloat(t, object, t->beatsPerMinute, &value) && value > 0.0f) t->tempo = value;
      }
    }
    p += lv2_atom_pad_size(sizeof(LV2_Atom_Event) + bodySize);
  }
}

void run(LV2_Handle h, uint32_t frames) {
  Instance* t = static_cast<Instance*>(h);
  // A host must connect every port first; one that did not gets nothing.
  if (!t->in[0] || !t->in[1] || !t->out[0] || !t->out[1]) return;
  if (kFault == kRwlock) pthread_rwlock_rdlock(&t->lock);
  if (kFault == kAllocates) {
    void* volatile scratch = std::malloc(64);
    std::free(scratch);
  }
  readEvents(t);
  const float level = kFault == kTrustsState ? std::min(std::fabs(t->level), 1e6f) : t->level;
  // The validator answers each request before the next run and calls end_run
  // after each: a host that does not plays NaN, which every check sees.
  const bool lost = kHasWorker && (t->awaiting || t->runs != t->ends);
  if (kHasWorker) ++t->runs;
  float gain = control(t->gain, 0.0f, kFault == kLoudGain ? 1000.0f : 2.0f, 1.0f);
  if (kWorker && gain != t->requestedGain) {
    // Without a worker to do it, the change is made here.
    if (t->schedule->schedule_work(t->schedule->handle, sizeof gain, &gain) == LV2_WORKER_SUCCESS) {
      t->requestedGain = gain;
      t->awaiting = true;
    } else {
      t->appliedGain = gain;
    }
  }
  if (kWorker) gain = lost ? NAN : t->appliedGain;
  gain *= 2.0f * level;
  const float mix = control(t->mix, 0.0f, 1.0f, 1.0f);
  const float a = t->coefficient;
  for (int c = 0; c < 2; ++c) {
    float y = t->filter[c];
    for (uint32_t i = 0; i < frames; ++i) {
      float x = t->in[c][i];
      // Input that is not a signal is silence, so the filter stays finite.
      if (kFault != kNanPoison && !(std::fabs(x) <= 1e3f)) x = 0.0f;
      y = a * y + (1.0f - a) * x;
      if (std::fabs(y) < 1e-20f) y = 0.0f;
      t->out[c][i] = gain * (mix * y + (1.0f - mix) * x);
    }
    t->filter[c] = y;
  }
  if (kFault == kRwlock) pthread_rwlock_unlock(&t->lock);
}

void cleanup(LV2_Handle h) {
  Instance* t = static_cast<Instance*>(h);
  if (kFault == kCleanupNeedsActivate) {
    t->history[0] = 0.0f;  // as if activate had always run
    delete[] t->history;
  }
  t->~Instance();
  munmap(t, kInstanceBytes);
}

LV2_State_Status save(LV2_Handle h, LV2_State_Store_Function store, LV2_State_Handle handle,
                      uint32_t, const LV2_Feature* const*) {
  Instance* t = static_cast<Instance*>(h);
  return store(handle, t->levelKey, &t->level, sizeof(float), t->floatType,
               LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

LV2_State_Status refuse(LV2_State_Status why) {
  return kFault == kSuccessOnRefusal ? LV2_STATE_SUCCESS : why;
}

// A state without the level, of another type or outside 0..1 is refused and
// the level stays as it was.
LV2_State_Status restore(LV2_Handle h, LV2_State_Retrieve_Function retrieve,
                         LV2_State_Handle handle, uint32_t, const LV2_Feature* const*) {
  Instance* t = static_cast<Instance*>(h);
  size_t size = 0;
  uint32_t type = 0, flags = 0;
  const void* value = retrieve(handle, t->levelKey, &size, &type, &flags);
  if (value == nullptr) return refuse(LV2_STATE_ERR_NO_PROPERTY);
  if (kFault == kOverreadsState) {
    // A whole record first, the size afterwards: fine while values are large.
    unsigned char record[16];
    std::memcpy(record, value, sizeof record);
    unsigned sum = 0;
    for (unsigned char byte : record) sum += byte;
    t->recordSum = sum;
  }
  if (type != t->floatType || size != sizeof(float)) return refuse(LV2_STATE_ERR_BAD_TYPE);
  float level = 0.0f;
  std::memcpy(&level, value, sizeof level);
  if (kFault == kTrustsState ? !std::isfinite(level) : !(level >= 0.0f && level <= 1.0f))
    return refuse(LV2_STATE_ERR_UNKNOWN);
  if (kFault == kIgnoresState) return LV2_STATE_SUCCESS;
  if (kFault == kRwlock) pthread_rwlock_wrlock(&t->lock);
  t->level = level;
  if (kFault == kRwlock) pthread_rwlock_unlock(&t->lock);
  return LV2_STATE_SUCCESS;
}

// The worker's work may allocate: it runs outside the audio thread.
LV2_Worker_Status work(LV2_Handle, LV2_Worker_Respond_Function respond,
                       LV2_Worker_Respond_Handle handle, uint32_t size, const void* data) {
  if (size != sizeof(float)) return LV2_WORKER_ERR_UNKNOWN;
  float* volatile scratch = new float[64];
  std::memcpy(scratch, data, sizeof(float));
  const float gain = scratch[0];
  delete[] scratch;
  return respond(handle, sizeof gain, &gain);
}

LV2_Worker_Status workResponse(LV2_Handle h, uint32_t size, const void* data) {
  Instance* t = static_cast<Instance*>(h);
  if (kFault == kWorkerAllocatesInResponse) {
    void* volatile scratch = std::malloc(64);
    std::free(scratch);
  }
  if (size != sizeof(float)) return LV2_WORKER_ERR_UNKNOWN;
  std::memcpy(&t->appliedGain, data, sizeof(float));
  t->awaiting = false;
  return LV2_WORKER_SUCCESS;
}

LV2_Worker_Status endRun(LV2_Handle h) {
  ++static_cast<Instance*>(h)->ends;
  return LV2_WORKER_SUCCESS;
}

const void* extensionData(const char* uri) {
  static const LV2_State_Interface state{save, restore};
  static const LV2_Worker_Interface worker{work, workResponse, endRun};
  if (std::strcmp(uri, LV2_STATE__interface) == 0) return &state;
  const bool hasWorker = kFault == kWorkerCorrect || kFault == kWorkerAllocatesInResponse;
  if (hasWorker && std::strcmp(uri, LV2_WORKER__interface) == 0) return &worker;
  return nullptr;
}

const LV2_Descriptor descriptor{kUris[kFault], instantiate, connect, activate,
                                run,           nullptr,     cleanup, extensionData};

}  // namespace
}  // namespace kvfaults

extern "C" __attribute__((visibility("default"))) const LV2_Descriptor* lv2_descriptor(
    uint32_t index) {
  return index == 0 ? &kvfaults::descriptor : nullptr;
}
